#include "core/failure.h"
#include "platform/cmd_output.h"
#include "platform/online_check.h"
#include "support/window_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <unistd.h>

using namespace larkspire;
using namespace larkspire::test;

TEST(CmdOutput, commandLinesSplitLikeAShell)
{
    const std::pair<const char*, QStringList> cases[] = {
        {"ping -c 1 host", {QStringLiteral("ping"), QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("host")}},
        {"  sh   -c  'echo \"a b\"; x' ", {QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo \"a b\"; x")}},
        {"a\\ b \"c \\\" \\$HOME \\x\"", {QStringLiteral("a b"), QStringLiteral("c \" $HOME \\x")}},
        {"'' x", {QString(), QStringLiteral("x")}},
        {"$HOME *", {QStringLiteral("$HOME"), QStringLiteral("*")}},
        {"", {}},
    };
    for (const auto& [line, words] : cases)
        EXPECT_EQ(splitCommandLine(QString::fromUtf8(line)), words) << line;
}

TEST(CmdOutput, streamsAreCapturedAsAsked)
{
    const QString both = QStringLiteral("sh -c 'echo 1; sleep 0.1; echo 2 >&2; sleep 0.1; echo 3'");
    EXPECT_EQ(RunAndCaptureOutput(both, true, true, false), QStringLiteral("1\n2\n3\n"));
    EXPECT_EQ(RunAndCaptureOutput(both, true, false, true), QStringLiteral("1\n3\n"));
    EXPECT_EQ(RunAndCaptureOutput(both, false, true, false), QStringLiteral("2\n"));
    EXPECT_EQ(RunAndCaptureOutput(QStringLiteral("sh -c 'exit 3'"), true, true, false), QString());
    EXPECT_EQ(RunAndCaptureOutput(QStringLiteral("printf abc"), true, false, false), QStringLiteral("abc"));
    EXPECT_EQ(RunAndCaptureOutput(QStringLiteral("printf 'caf\\303\\251 \\342\\202\\254'"), true, false, true),
              QStringLiteral("café €"));
    try {
        RunAndCaptureOutput(both, false, false, false);
        ADD_FAILURE() << "no failure without a stream";
    } catch (const Failure& f) {
        EXPECT_EQ(f.code(), 5);
        EXPECT_EQ(f.description(), QStringLiteral("Invalid procedure call or argument"));
    }
}

TEST(CmdOutput, largeOutputArrivesWholeWithTheWindowPumpedBeforeEveryRead)
{
    int pumps = 0;
    CaptureOptions options;
    options.pump = [&] { ++pumps; };
    const QString out =
        RunAndCaptureOutput(QStringLiteral("sh -c 'head -c 1500000 /dev/zero | tr \"\\\\000\" a'"), true, false, false, options);
    EXPECT_EQ(out.size(), 1500000);
    EXPECT_EQ(out.count(QLatin1Char('a')), 1500000);
    EXPECT_GE(pumps, 1500000 / 1024) << "one pump before every read of at most 1,024 bytes";
}

TEST(CmdOutput, missingProgramsAndOpenOutputsAreBounded)
{
    EXPECT_EQ(RunAndCaptureOutput(QStringLiteral("larkspire-no-such-command -x"), true, true, false),
              kFailedToCreateProcess);
    EXPECT_EQ(RunAndCaptureOutput(QStringLiteral("/nonexistent/program"), true, true, false), kFailedToCreateProcess);
    EXPECT_EQ(RunAndCaptureOutput(QString(), true, true, false), kFailedToCreateProcess);
    CaptureOptions options;
    options.timeLimitMs = 300;
    EXPECT_EQ(RunAndCaptureOutput(QStringLiteral("sh -c 'echo started; exec sleep 30'"), true, false, false, options),
              QStringLiteral("started\n"));
    // No child of ours is left behind, running or as a zombie.
    int children = 0;
    const QByteArray me = QByteArray::number(qint64(getpid()));
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.value(1) == me)
            ++children;
    }
    EXPECT_EQ(children, 0);
}

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
