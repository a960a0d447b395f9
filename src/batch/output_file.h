#pragma once
// Where the command line's rows go, and how they get there without ever
// replacing something that is not a plain file of the user's:
//  - "-": standard output;
//  - "/dev/stdout", "/dev/stderr", "/dev/fd/N", "/proc/self/fd/N": the
//    descriptor this program already has, written as it is (a pipe too);
//  - a character or block device, a FIFO or a socket: opened and written in
//    place (as root, "/dev/null" stays the machine's /dev/null);
//  - a symbolic link: it stays a link, and the file it points to is written;
//  - a plain file, or a new name: the whole new file is made beside it and
//    takes its place only when complete; an existing file keeps its mode.
// Every function throws a Failure whose text names the file asked for.
#include "results/workbook.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <optional>

namespace larkspire {

// One line of words on a terminal or a log: control characters dropped, so
// that nothing from a page, a server or an argument can steer the terminal.
void say(FILE* to, const QString& line);

// A name of a stream ("/dev/stdout", "/dev/fd/6") stands for what the
// program was given when it started, never for whatever it opens later under
// that number (a connection to the service, Qt's own event descriptor).
// Called first thing, before anything else opens a descriptor: a path that
// names a descriptor is checked to be open and a duplicate of it is held for
// the run. False when it names one that is not open.
bool holdNamedDescriptor(const QString& path);

// The descriptor number a path names ("/dev/stdout" is 1), open or not.
std::optional<int> descriptorNumberNamed(const QString& path);

// The descriptor to write for a name of an open stream: the one held for it
// at the start, else (a caller that held nothing) the number itself when it
// is open now.
std::optional<int> openDescriptorNamed(const QString& path);

// Why the file cannot be written, found before anything is fetched: its
// folder missing or not writable (a path through a plain file included),
// or a folder named. Nothing when it can be tried.
std::optional<QString> outputProblem(const QString& path);

void writeOutput(const QString& path, const QByteArray& bytes, FILE* standardOutput);
void writeWorkbookOutput(const QString& path, const SheetCells& cells, FILE* standardOutput);

} // namespace larkspire
