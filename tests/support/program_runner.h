#pragma once
// The real program run as a user runs it, its quote requests sent to a test's
// server as to a proxy, with no display and a settings and cache folder of its
// own; the test's server answers while it waits.
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTest>

namespace larkspire::test {

struct Ran {
    int status = -1;
    QByteArray out, err;
};

// With `display`, Qt's offscreen platform; with `descriptor7`, the program
// starts with that file open as descriptor 7 and no other past standard error.
inline Ran runProgram(const QString& program, const QStringList& arguments, const QString& proxyHost,
                      const QString& folder, bool display = false, const QString& descriptor7 = QString())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    if (display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("http_proxy"), QStringLiteral("http://") + proxyHost);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder);
    env.insert(QStringLiteral("XDG_CACHE_HOME"), folder);
    p.setProcessEnvironment(env);
    if (descriptor7.isEmpty())
        p.start(program, arguments);
    else
        p.start(QStringLiteral("bash"),
                QStringList{QStringLiteral("-c"),
                            QStringLiteral("for n in 3 4 5 6 8 9; do eval \"exec $n>&-\"; done; exec 7>\"$0\"; exec \"$@\""),
                            descriptor7, program} +
                    arguments);
    Ran ran;
    if (!p.waitForStarted(10000) || !QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000)) {
        p.kill();
        p.waitForFinished();
        return ran;
    }
    ran.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    ran.out = p.readAllStandardOutput();
    ran.err = p.readAllStandardError();
    return ran;
}

} // namespace larkspire::test
