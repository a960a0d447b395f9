// The start-up online check, wired into the window as the program wires it,
// with a ping of the test's own first on the PATH.
#include "platform/online_check.h"
#include "support/window_fixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

using namespace larkspire;
using namespace larkspire::test;

class OnlineCheck : public WindowFixture {
protected:
    void SetUp() override
    {
        savedPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(binDir.path()) + ":" + savedPath);
    }
    void TearDown() override { qputenv("PATH", savedPath); }
    void fakePing(const QByteArray& script)
    {
        QFile f(binDir.filePath(QStringLiteral("ping")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + script + "\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // The start-up with the online check wired as the program wires it.
    MainWindow& startChecked()
    {
        Platform p = makePlatform();
        p.onlineCheck = [this](const QString& title) {
            CaptureOptions options;
            options.pump = [] { QCoreApplication::processEvents(); };
            CheckOnline(dialogs, title, options);
        };
        window = std::make_unique<MainWindow>(std::move(p));
        return *window;
    }
    QStringList warnings() const
    {
        QStringList out;
        for (const auto& m : dialogs.messages)
            if (m.text == QStringLiteral("You must be online to use this software accurately.")) {
                EXPECT_EQ(m.icon, MessageIcon::None);
                EXPECT_EQ(m.title, QCoreApplication::applicationName()) << "the title before it is set";
                out << m.text;
            }
        return out;
    }
    QTemporaryDir binDir;
    QByteArray savedPath;
};

TEST_F(OnlineCheck, aReplyMeansNoWarning)
{
    // The reply comes only for the command line the check is meant to send.
    fakePing("[ \"$1 $2 $3 $4 $5\" = '-c 1 -W 2 8.8.8.8' ] || exit 9\n"
             "echo 'PING 8.8.8.8 (8.8.8.8) 56(84) bytes of data.'\n"
             "echo '64 bytes from 8.8.8.8: icmp_seq=1 ttl=117 time=9.8 ms'");
    startChecked();
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Larkspire"));
}

TEST_F(OnlineCheck, noReplyEmptyOutputAndAMissingPingEachWarnOnce)
{
    fakePing("echo '1 packets transmitted, 0 received, 100% packet loss'; exit 1");
    startChecked();
    EXPECT_EQ(warnings().size(), 1);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Larkspire")) << "the window still opens";

    dialogs.messages.clear();
    fakePing("echo 'ping: socket: Operation not permitted' >&2; exit 2");
    startChecked();
    EXPECT_EQ(warnings().size(), 1) << "not allowed: nothing on standard output";

    dialogs.messages.clear();
    fakePing("exit 0");
    startChecked();
    EXPECT_EQ(warnings().size(), 1) << "empty output";

    dialogs.messages.clear();
    QFile::remove(binDir.filePath(QStringLiteral("ping")));
    qputenv("PATH", QFile::encodeName(binDir.path()));
    startChecked();
    EXPECT_EQ(warnings().size(), 1) << "ping missing";
    EXPECT_EQ(dialogs.messages.size(), 1u);
}
