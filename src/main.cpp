#include "batch/batch_run.h"
#include "batch/check_run.h"
#include "batch/command_line.h"
#include "batch/output_file.h"
#include "core/common_routines.h"
#include "core/failure.h"
#include "core/plain_text.h"
#include "core/settings_store.h"
#include "core/stored_values.h"
#include "platform/online_check.h"
#include "platform/qt_clipboard.h"
#include "net/qt_http_client.h"
#include "platform/termination_requests.h"
#include "retrieval/quote_service.h"
#include "platform/xlsx_spreadsheet.h"
#include "window/main_window.h"
#include "window/qt_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Whether a window can be shown at all: a display to connect to, or a Qt
// platform named on purpose (offscreen, for one).
bool graphicalSession(int argc, char* argv[])
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

QString settingsFolder() { return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation); }

QString readSetting(const QString& key)
{
    try {
        return larkspire::SettingsStore(settingsFolder())
            .read(larkspire::kSettingsApplication, larkspire::kSettingsSection, key, QString());
    } catch (const larkspire::Failure&) {
        return QString();
    }
}

// The browser identification: the one given on the command line, else the
// "User Agent" setting (which the program only reads), else its own.
// Returns what is sent when it is not the program's own.
QString chooseUserAgent(larkspire::QtHttpClient& http, const QString& given)
{
    const QString text = given.isEmpty() ? readSetting(larkspire::kKeyUserAgent) : given;
    if (text.isEmpty())
        return QString();
    if (!http.setUserAgent(text)) {
        std::fputs("larkspire: the user agent given holds characters a request cannot carry; the program's own is "
                   "sent\n",
                   stderr);
        return QString();
    }
    return text.trimmed();
}

// The TLS cipher suites: the ones given on the command line, else the "TLS
// Ciphers" setting (only read), else Chrome's. Returns what is offered when
// it is not the program's own, and the message when it cannot be used.
std::pair<QString, QString> chooseTlsCiphers(larkspire::QtHttpClient& http, const QString& given)
{
    const QString text = given.isEmpty() ? readSetting(larkspire::kKeyTlsCiphers) : given;
    if (text.trimmed().isEmpty())
        return {};
    const QString by = given.isEmpty() ? QStringLiteral("The \"TLS Ciphers\" setting") : QStringLiteral("--tls-ciphers");
    return {text.trimmed(), http.setTlsCiphers(text, by)};
}

// Where the service's lasting cookies are kept between runs.
QString keptCookiesFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/larkspire/cookies");
}

int runCommandLine(int argc, char* argv[], const larkspire::CommandLine& commandLine)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("larkspire"));
    larkspire::QtHttpClient http;
    larkspire::BatchServices services;
    services.http = &http;
    services.quoteHost = larkspire::kQuoteHost;
    services.settingsFolder = settingsFolder();
    services.progress = ::isatty(STDERR_FILENO) == 1;
    services.userAgent = chooseUserAgent(http, commandLine.userAgent);
    const auto [ciphers, cipherError] = chooseTlsCiphers(http, commandLine.tlsCiphers);
    if (!cipherError.isEmpty()) {
        std::fprintf(stderr, "larkspire: %s\n",
                     larkspire::withoutControlCharacters(cipherError).toLocal8Bit().constData());
        return 2;
    }
    services.tlsCiphers = ciphers;
    services.source = larkspire::sourceChoiceOf(commandLine.source, services.settingsFolder);
    http.setServiceRules(larkspire::quoteServiceRules(larkspire::kQuoteHost));
    http.keepCookiesIn(keptCookiesFile());
    if (commandLine.mode == larkspire::CommandLine::Mode::Check)
        return larkspire::runCheck(commandLine, services);
    return larkspire::runBatch(commandLine, services);
}

// The window: the real services built, the window loaded and shown, the
// event loop run. A kill, Ctrl+C or the end of the session closes it as its
// close button does.
int runWindow(int argc, char* argv[])
{
    if (!graphicalSession(argc, argv)) {
        std::fputs("larkspire: the window needs a graphical session (no DISPLAY or WAYLAND_DISPLAY is set); "
                   "'larkspire --batch' does not\n",
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("larkspire"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.larkspire.Larkspire"));

    larkspire::QtDialogs dialogs;
    larkspire::QtHttpClient http;
    chooseUserAgent(http, QString());
    // A cipher list that cannot be used is said when a run is asked for.
    chooseTlsCiphers(http, QString());
    http.setServiceRules(larkspire::quoteServiceRules(larkspire::kQuoteHost));
    http.keepCookiesIn(keptCookiesFile());
    larkspire::QtClipboard clipboard;
    // Workbooks the window wrote for the user's program days ago have served.
    larkspire::removeOldWorkbooks(larkspire::usableTempFolder(), QDateTime::currentDateTime());
    larkspire::XlsxSpreadsheetApplication spreadsheet({
        &larkspire::spreadsheetProgramInstalled,
        [](const QUrl& url) {
            return larkspire::openInSpreadsheetProgram(url, [](const QUrl& u) { return QDesktopServices::openUrl(u); });
        },
        larkspire::usableTempFolder(),
    });
    larkspire::Platform platform;
    platform.dialogs = &dialogs;
    platform.http = &http;
    platform.clipboard = &clipboard;
    platform.spreadsheet = &spreadsheet;
    platform.settingsFolder = settingsFolder();
    platform.programFolder = QCoreApplication::applicationDirPath();
    platform.endProgram = [] { QCoreApplication::quit(); };
    platform.onlineCheck = [&dialogs](const QString& title) {
        larkspire::CaptureOptions options;
        options.pump = [] { QCoreApplication::processEvents(); };
        larkspire::CheckOnline(dialogs, title, options);
    };

    // A kill, Ctrl+C, a closed terminal or the end of the desktop session
    // closes the window as the close button does: the symbol list is stored.
    // While the window is still loading (the online check's box may be
    // open), its boxes give way first and the window closes once loaded.
    larkspire::TerminationRequests termination;
    larkspire::MainWindow* loaded = nullptr;
    QObject::connect(&termination, &larkspire::TerminationRequests::requested, &app, [&] {
        if (loaded)
            loaded->close();
        else
            dialogs.endAll();
    });

    larkspire::MainWindow window(std::move(platform));
    loaded = &window;
    dialogs.setParentWindow(&window);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window] { window.close(); });
    if (termination.pending()) // asked while the window was still loading
        window.close();
    if (window.hasEnded())
        return 0;
    // Centred on the screen when first shown.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const larkspire::CommandLine commandLine = larkspire::parseCommandLine(arguments);
    switch (commandLine.mode) {
    case larkspire::CommandLine::Mode::Help:
        std::fputs(larkspire::usageText().toLocal8Bit().constData(), stdout);
        return 0;
    case larkspire::CommandLine::Mode::Version:
        std::puts(larkspire::versionText().toLocal8Bit().constData());
        return 0;
    case larkspire::CommandLine::Mode::UsageError:
        std::fprintf(stderr, "larkspire: %s\nTry 'larkspire --help'.\n", larkspire::withoutControlCharacters(commandLine.error).toLocal8Bit().constData());
        return 2;
    case larkspire::CommandLine::Mode::Batch:
    case larkspire::CommandLine::Mode::Check:
        // Before Qt or the client opens anything under the same number.
        if (!larkspire::holdNamedDescriptor(commandLine.output)) {
            std::fprintf(stderr, "larkspire: --output %s names a descriptor that is not open\nTry 'larkspire --help'.\n",
                         larkspire::withoutControlCharacters(commandLine.output).toLocal8Bit().constData());
            return 2;
        }
        return runCommandLine(argc, argv, commandLine);
    case larkspire::CommandLine::Mode::Window:
        break;
    }
    return runWindow(argc, argv);
}
