#pragma once
// Runs a console command and returns, as one text, what it writes to its
// standard output, its standard error, or both interleaved in the order
// they arrive. The command line is split into words the way a shell splits
// them (quotes and backslashes; nothing is expanded) and the program is
// looked up on PATH.
#include <QString>
#include <QStringList>

#include <functional>

namespace larkspire {

inline const QString kFailedToCreateProcess =
    QStringLiteral("Failed to create process, check the path of the command line.");

// Shell-like word splitting: '...' literally, "..." with \" \\ \$ \` and a
// backslash-newline, a backslash outside quotes taking the next character.
QStringList splitCommandLine(const QString& commandLine);

struct CaptureOptions {
    // A command that keeps its output open is stopped after this long and
    // what it wrote until then is returned.
    int timeLimitMs = 15'000;
    // Runs before every read, so that the window stays responsive.
    std::function<void()> pump;
};

// Throws a Failure with code 5 when neither stream is asked for. ConvertOem
// changes nothing on Linux: the console and the system share the locale's
// encoding, which the bytes are decoded in.
QString RunAndCaptureOutput(const QString& CommandLine, bool IncludeStdOut, bool IncludeStdErr, bool ConvertOem,
                            const CaptureOptions& options = {});

} // namespace larkspire
