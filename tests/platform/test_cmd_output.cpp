#include "core/failure.h"
#include "platform/cmd_output.h"
#include "platform/online_check.h"
#include "platform/dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace larkspire;

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

TEST(Dialogs, pipeFilterBecomesQtNameFilters)
{
    EXPECT_EQ(nameFiltersFromPipeList(QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|")),
              (QStringList{QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")}));
}
