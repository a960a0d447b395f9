// Ways the program is asked to end besides the close button, and user input
// that arrives while a page is being fetched.
#include "core/settings_store.h"
#include "core/stored_values.h"
#include "window/qt_dialogs.h"
#include "window/retrieval_fixture.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>

#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <qpa/qwindowsysteminterface.h>

#include <csignal>
#include <string>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

using namespace larkspire;
using namespace larkspire::test;

namespace {
// Starts the real program with a stored list and a `ping` of our own, which
// says when the program is up and answers as `pingOutput` says; sends the
// signal and says how the program ended (empty when all went well).
std::string signalEndsTheProgram(int signal, const char* pingOutput)
{
    QTemporaryDir config;
    QTemporaryDir bin;
    // Stored with empty pieces: only the close request writes it back as "GOOG;MSFT".
    SettingsStore(config.path())
        .write(kSettingsApplication, kSettingsSection, kKeyStockQuotes, QStringLiteral("GOOG;;MSFT;"));
    const QString ready = bin.filePath(QStringLiteral("ready"));
    QFile ping(bin.filePath(QStringLiteral("ping")));
    if (!ping.open(QIODevice::WriteOnly))
        return "cannot write the ping script";
    ping.write(QByteArray("#!/bin/sh\ntouch \"$LARKSPIRE_TEST_READY\"\necho '") + pingOutput + "'\n");
    ping.close();
    ping.setPermissions(QFile::ReadOwner | QFile::ExeOwner);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("XDG_CACHE_HOME"), config.path());
    env.insert(QStringLiteral("PATH"), bin.path() + QStringLiteral(":/usr/bin:/bin"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LARKSPIRE_TEST_READY"), ready);
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(LARKSPIRE_PROGRAM), QStringList());
    if (!program.waitForStarted(10000))
        return "the program did not start";
    if (!QTest::qWaitFor([&] { return QFile::exists(ready); }, 30000))
        return "the program never ran its online check";
    QTest::qWait(300); // the window, or the offline box, is up by now
    ::kill(pid_t(program.processId()), signal);
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished();
        return "the signal did not end the program";
    }
    if (program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0)
        return "the program ended with status " + std::to_string(program.exitCode());
    const QString stored = SettingsStore(config.path())
                               .read(kSettingsApplication, kSettingsSection, kKeyStockQuotes, QStringLiteral("<absent>"));
    if (stored != QStringLiteral("GOOG;MSFT"))
        return "the stored list is " + stored.toStdString();
    return {};
}
} // namespace

TEST(Program, terminationSignalsRunTheCloseRequest)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        EXPECT_EQ(signalEndsTheProgram(signal, "64 bytes from 8.8.8.8: icmp_seq=1"), std::string()) << signal;
}

TEST(Program, aSignalEndsTheProgramWhileTheOfflineBoxIsOpen)
{
    EXPECT_EQ(signalEndsTheProgram(SIGTERM, "connect: Network is unreachable"), std::string());
}

class InputDuringAFetch : public RetrievalRun {
protected:
    // A new window whose client waits so long that only a close can end its fetches.
    void restartWithLimitsOnlyACloseEnds(int maxInFlight)
    {
        HttpLimits limits;
        limits.stallMs = 20000;
        limits.totalMs = 30000;
        limits.maxInFlight = maxInFlight;
        http = std::make_unique<QtHttpClient>(limits, false);
        http->setServiceRules(quoteServiceRules(kQuoteHost));
        window.reset();
        start();
        window->show();
    }
    // A click that comes from the window system, as a user's does.
    void clickFromTheWindowSystem(QWidget* widget)
    {
        QWindow* handle = window->windowHandle();
        const QPointF at = widget->mapTo(window.get(), QPointF(widget->rect().center()));
        const QPointF global = window->mapToGlobal(at);
        QWindowSystemInterface::handleMouseEvent(handle, at, global, Qt::LeftButton, Qt::LeftButton,
                                                 QEvent::MouseButtonPress);
        QWindowSystemInterface::handleMouseEvent(handle, at, global, Qt::NoButton, Qt::LeftButton,
                                                 QEvent::MouseButtonRelease);
    }
};

TEST_F(InputDuringAFetch, waitsForTheNextPumpWhileRepaintsAndClosingGoOn)
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->controls().showNamesCheck->setChecked(false);
    symbolsAre({"AAA", "BBB"});
    bool clicked = false;
    handler = [&](const QString& s) {
        Response r;
        r.body = smallPage(s, s + QStringLiteral(" Corp."));
        if (!clicked) { // the first page takes a while; the user ticks the option meanwhile
            clicked = true;
            r.delayMs = 300; // within the fixture's 400 ms stall limit
            QTimer::singleShot(50, window.get(), [this] { clickFromTheWindowSystem(window->controls().showNamesCheck); });
        }
        return r;
    };
    run();
    EXPECT_TRUE(window->controls().showNamesCheck->isChecked());
    EXPECT_EQ(window->resultsList().text(1), QStringLiteral("AAA")) << "the option counted only from the next pump";
    EXPECT_EQ(window->resultsList().text(2), QStringLiteral("BBB Corp. "));

    // A close request from the window system is handled in the middle of a fetch.
    handler = [this](const QString&) {
        QTimer::singleShot(50, window.get(), [this] {
            QWindowSystemInterface::handleCloseEvent(window->windowHandle());
        });
        Response r;
        r.delayMs = 60000;
        return r;
    };
    const qsizetype before = server->requests().size();
    run();
    EXPECT_TRUE(window->hasEnded());
    EXPECT_EQ(endProgramCalls, 1);
    EXPECT_EQ(server->requests().size() - before, 1) << "nothing more is fetched after the close";
    EXPECT_EQ(stored(kKeyStockQuotes), QStringLiteral("AAA;BBB"));
}

namespace {
// What a window manager sends when the user clicks the title bar's close
// button, from a connection of its own.
bool sendDeleteWindow(WId window)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    };
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window);
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, xcb_window_t(window), XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    // A round trip: the server has dealt with the message before we leave.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
    return true;
}
} // namespace

TEST_F(InputDuringAFetch, aWindowManagersCloseEndsTheRunAtOnceOnARealXServer)
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        GTEST_SKIP() << "needs an X server (ctest runs this test under Xvfb)";
    // Only the close can end the fetches, three of them on their way.
    restartWithLimitsOnlyACloseEnds(4);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    // The first page comes at once (it tells the client where pages stand);
    // the three after it take their time.
    symbolsAre({"AAA", "BBB", "CCC", "DDD"});
    bool sent = false;
    handler = [&](const QString& symbol) {
        if (symbol == QStringLiteral("BBB"))
            QTimer::singleShot(100, window.get(), [&] { sent = sendDeleteWindow(window->winId()); });
        Response r;
        r.delayMs = symbol == QStringLiteral("AAA") ? 0 : 60000;
        return r;
    };
    run();
    ASSERT_TRUE(sent);
    EXPECT_TRUE(window->hasEnded());
    EXPECT_EQ(endProgramCalls, 1);
    EXPECT_TRUE(dialogs.messages.empty()) << "the close ended the fetch before it could fail: "
                                          << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(server->requests().size(), 4) << "the pages after the first were fetched ahead";
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 0; }, 5000))
        << "every request in flight ended with the close";
    EXPECT_EQ(server->requests().size(), 4) << "nothing more is fetched after the close";
    EXPECT_EQ(stored(kKeyStockQuotes), QStringLiteral("AAA;BBB;CCC;DDD"));
}

TEST_F(InputDuringAFetch, ctrlQClosesAtOnceAndIdleCommandsPressedDuringTheLastFetchAreDropped)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    symbolsAre({"AAA", "BBB"});
    // Twelve Inserts and F5 while the last page is on its way: no prompt and
    // no second run once the run is over.
    handler = [this](const QString& s) {
        if (s == QStringLiteral("BBB"))
            QTimer::singleShot(30, window.get(), [this] {
                for (int i = 0; i < 12; ++i)
                    QTest::keyClick(window.get(), Qt::Key_Insert);
                QTest::keyClick(window.get(), Qt::Key_F5);
                QTest::mouseClick(window->controls().startButton, Qt::LeftButton);
            });
        Response r;
        r.body = smallPage(s, s + QStringLiteral(" Corp."));
        r.delayMs = s == QStringLiteral("BBB") ? 200 : 0;
        return r;
    };
    run();
    QTest::qWait(50); // whatever was held has been delivered by now
    EXPECT_TRUE(dialogs.prompts.empty());
    EXPECT_EQ(server->requests().size(), 2) << "one run";
    EXPECT_EQ(window->resultsList().count(), 2);

    // Ctrl+Q in the middle of a fetch (or a wait the service asked for) is
    // not held: only the close can end the fetch.
    restartWithLimitsOnlyACloseEnds(HttpLimits{}.maxInFlight);
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    symbolsAre({"AAA", "BBB"});
    handler = [this](const QString&) {
        QTimer::singleShot(50, window.get(), [this] { QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier); });
        Response r;
        r.delayMs = 60000;
        return r;
    };
    QElapsedTimer took;
    took.start();
    run();
    EXPECT_TRUE(window->hasEnded());
    EXPECT_EQ(endProgramCalls, 1);
    EXPECT_LT(took.elapsed(), 3000) << "ended by the close, not by the fixture's fetch limit";
    EXPECT_EQ(stored(kKeyStockQuotes), QStringLiteral("AAA;BBB"));
}

TEST(InputHold, holdsAtMost32EventsAKeyHeldDownOnceAndNothingPastAModalBox)
{
    QWidget window;
    auto* field = new QLineEdit(&window);
    window.show();
    std::vector<HeldInput> held;
    {
        const InputHold hold(&window, held);
        for (int i = 0; i < 45; ++i) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), i > 0 && i < 10);
            QCoreApplication::sendEvent(field, &press);
        }
    }
    EXPECT_EQ(field->text(), QString()) << "nothing reached the field while held";
    EXPECT_EQ(held.size(), kMaxHeldInput) << "nine repeats counted as one key, then the bound";

    // Delivered in order, as the window system would: all of it while no
    // box is up, none of it while a modal box blocks the window.
    deliverHeldInput(held);
    QCoreApplication::processEvents();
    EXPECT_EQ(field->text(), QString(int(kMaxHeldInput), QLatin1Char('a')));

    field->clear();
    {
        const InputHold hold(&window, held);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
        QCoreApplication::sendEvent(field, &press);
    }
    QDialog box(&window);
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    deliverHeldInput(held);
    QCoreApplication::processEvents();
    EXPECT_EQ(field->text(), QString());
}

TEST_F(InputDuringAFetch, aCloseWhileARunsErrorBoxIsUpClosesTheBoxAndEndsTheRun)
{
    // The real boxes, not scripted ones.
    QtDialogs real;
    window.reset();
    Platform platform = makePlatform();
    platform.dialogs = &real;
    window = std::make_unique<MainWindow>(std::move(platform));
    real.setParentWindow(window.get());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    symbolsAre({"AAA", "BBB", "CCC"});
    handler = [](const QString&) {
        Response r;
        r.status = 500;
        r.reason = "Internal Server Error";
        return r;
    };
    // The first box to come up gets the window's close; any later box
    // would be one the user had to click through.
    int boxes = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, window.get(), [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && !box->property("seen").isValid()) {
                box->setProperty("seen", true);
                if (++boxes == 1)
                    QWindowSystemInterface::handleCloseEvent(window->windowHandle());
                else
                    box->reject();
            }
    });
    watch.start(20);
    QElapsedTimer took;
    took.start();
    run();
    EXPECT_TRUE(window->hasEnded());
    EXPECT_EQ(boxes, 1) << "no box after the close";
    EXPECT_EQ(endProgramCalls, 1);
    EXPECT_LT(took.elapsed(), 3000);
    EXPECT_EQ(stored(kKeyStockQuotes), QStringLiteral("AAA;BBB;CCC"));
    EXPECT_EQ(server->requests().size(), 1) << "nothing more is fetched after the close";
}
