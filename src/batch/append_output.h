#pragma once
// --append: this run's rows added at the end of a history file, never a
// rewrite of what is there. The header (csv, tsv) or the last line (jsonl)
// is checked first; the rows go in with one write to the same file, opened
// for appending, under an advisory lock held from the check to the write,
// so that runs appending at once queue and lose nothing. A line another
// program adds meanwhile stays, a hard link stays one, the owner stays the
// owner. On a failure the file is cut back to its old length. A row whose
// symbol and quote time stand in the file already is not written again.
#include "batch/command_line.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace larkspire {

struct AppendTarget {
    QString path;       // as the user named it
    BatchFormat format; // csv, tsv or jsonl
    QStringList headers;
    QByteArray header;  // the header line as this run writes it, line end included (empty for jsonl)
};

// Throws a Failure naming the file when it holds something these rows do
// not belong after; a missing or empty file is fine.
void checkAppendTarget(const AppendTarget& target);

// Appends the lines (each with this run's line end); returns how many were
// left out as already there. Throws a Failure naming the file and the cause.
int appendLines(const AppendTarget& target, const QList<QByteArray>& lines);

} // namespace larkspire
