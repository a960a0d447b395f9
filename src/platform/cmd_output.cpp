#include "platform/cmd_output.h"

#include "core/failure.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>

namespace larkspire {

QStringList splitCommandLine(const QString& commandLine)
{
    QStringList words;
    QString word;
    bool inWord = false;
    enum { Plain, Single, Double } quote = Plain;
    for (qsizetype i = 0; i < commandLine.size(); ++i) {
        const QChar c = commandLine[i];
        if (quote == Single) {
            if (c == u'\'')
                quote = Plain;
            else
                word += c;
        } else if (quote == Double) {
            if (c == u'"') {
                quote = Plain;
            } else if (c == u'\\' && i + 1 < commandLine.size()) {
                const QChar next = commandLine[i + 1];
                if (next == u'"' || next == u'\\' || next == u'$' || next == u'`') {
                    word += next;
                    ++i;
                } else if (next == u'\n') {
                    ++i;
                } else {
                    word += c;
                }
            } else {
                word += c;
            }
        } else if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inWord) {
                words << word;
                word.clear();
                inWord = false;
            }
        } else {
            inWord = true;
            if (c == u'\'') {
                quote = Single;
            } else if (c == u'"') {
                quote = Double;
            } else if (c == u'\\') {
                if (i + 1 < commandLine.size()) {
                    if (commandLine[i + 1] != u'\n')
                        word += commandLine[i + 1];
                    ++i;
                }
            } else {
                word += c;
            }
        }
    }
    if (inWord)
        words << word;
    return words;
}

QString RunAndCaptureOutput(const QString& CommandLine, bool IncludeStdOut, bool IncludeStdErr, bool ConvertOem,
                            const CaptureOptions& options)
{
    Q_UNUSED(ConvertOem);
    if (!IncludeStdOut && !IncludeStdErr)
        throw Failure(QStringLiteral("Invalid procedure call or argument"), 5);

    const QStringList words = splitCommandLine(CommandLine);
    if (words.isEmpty())
        return kFailedToCreateProcess;
    QString program = words.first();
    if (!program.contains(QLatin1Char('/'))) {
        program = QStandardPaths::findExecutable(program);
        if (program.isEmpty())
            return kFailedToCreateProcess;
    }

    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    if (IncludeStdOut && IncludeStdErr) {
        process.setProcessChannelMode(QProcess::MergedChannels); // one pipe, in the order written
    } else if (IncludeStdOut) {
        process.setStandardErrorFile(QProcess::nullDevice());
    } else {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setReadChannel(QProcess::StandardError);
    }
    bool channelClosed = false;
    QObject::connect(&process, &QProcess::readChannelFinished, &process, [&] { channelClosed = true; });
    process.start(program, words.mid(1), QIODevice::ReadOnly);
    if (!process.waitForStarted(options.timeLimitMs))
        return kFailedToCreateProcess;

    QStringDecoder decode(QStringDecoder::System);
    QString result;
    QElapsedTimer clock;
    clock.start();
    char buffer[1024];
    for (;;) {
        if (options.pump)
            options.pump();
        if (process.bytesAvailable() > 0) {
            const qint64 n = process.read(buffer, sizeof buffer);
            if (n > 0)
                result += decode(QByteArrayView(buffer, n));
            continue;
        }
        if (channelClosed || process.state() == QProcess::NotRunning)
            break;
        if (clock.elapsed() >= options.timeLimitMs)
            break; // the command kept its output open too long
        process.waitForReadyRead(std::min<qint64>(50, options.timeLimitMs - clock.elapsed()));
    }
    // Whatever still runs is stopped; QProcess reaps it, so no zombie stays.
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
    }
    return result;
}

} // namespace larkspire
