#include "core/common_routines.h"
#include "platform/online_check.h"
#include "platform/qt_clipboard.h"
#include "platform/qt_http_client.h"
#include "platform/termination_requests.h"
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

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("larkspire"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.larkspire.Larkspire"));

    larkspire::QtDialogs dialogs;
    larkspire::QtHttpClient http;
    larkspire::QtClipboard clipboard;
    larkspire::XlsxSpreadsheetApplication spreadsheet({
        &larkspire::spreadsheetProgramInstalled,
        [](const QUrl& url) { return QDesktopServices::openUrl(url); },
        larkspire::usableTempFolder(),
    });
    larkspire::Platform platform;
    platform.dialogs = &dialogs;
    platform.http = &http;
    platform.clipboard = &clipboard;
    platform.spreadsheet = &spreadsheet;
    platform.settingsFolder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
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
