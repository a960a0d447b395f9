// Ways the program is asked to end besides the close button, and user input
// that arrives while a page is being fetched.
#include "core/settings_store.h"
#include "core/stored_values.h"
#include "window/retrieval_fixture.h"

#include <QProcess>
#include <QTest>
#include <QTimer>
#include <qpa/qwindowsysteminterface.h>

#include <csignal>

using namespace larkspire;
using namespace larkspire::test;

TEST(Program, terminationSignalsRunTheCloseRequest)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        QTemporaryDir config;
        QTemporaryDir bin;
        // Stored with empty pieces: only the close request writes it back as "GOOG;MSFT".
        SettingsStore(config.path())
            .write(kSettingsApplication, kSettingsSection, kKeyStockQuotes, QStringLiteral("GOOG;;MSFT;"));
        // The online check's ping says when the program is up, and that it is online.
        const QString ready = bin.filePath(QStringLiteral("ready"));
        QFile ping(bin.filePath(QStringLiteral("ping")));
        ASSERT_TRUE(ping.open(QIODevice::WriteOnly));
        ping.write("#!/bin/sh\ntouch \"$LARKSPIRE_TEST_READY\"\necho '64 bytes from 8.8.8.8: icmp_seq=1'\n");
        ping.close();
        ping.setPermissions(QFile::ReadOwner | QFile::ExeOwner);

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("PATH"), bin.path() + QStringLiteral(":/usr/bin:/bin"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LARKSPIRE_TEST_READY"), ready);
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(LARKSPIRE_PROGRAM), QStringList());
        ASSERT_TRUE(program.waitForStarted(10000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(ready); }, 30000)) << "the program never started";
        ::kill(pid_t(program.processId()), signal);
        if (!program.waitForFinished(30000)) {
            program.kill();
            program.waitForFinished();
            ADD_FAILURE() << "signal " << signal << " did not end the program";
            continue;
        }
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(program.exitCode(), 0) << signal;
        EXPECT_EQ(SettingsStore(config.path())
                      .read(kSettingsApplication, kSettingsSection, kKeyStockQuotes, QStringLiteral("<absent>")),
                  QStringLiteral("GOOG;MSFT"))
            << signal;
    }
}

class InputDuringAFetch : public RetrievalRun {
protected:
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
