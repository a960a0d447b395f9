#pragma once
// The column-aligned text the exports write: every cell followed by blanks
// up to its column's width and one TAB. Widths count UTF-16 code units.
#include <QString>

namespace larkspire {

// Appends the cell, the blanks that fill it to `width` and a TAB. A cell
// longer than its width is written whole, with no blanks.
inline void appendPaddedCell(QString& line, const QString& cell, qsizetype width)
{
    line += cell;
    if (width > cell.size())
        line += QString(width - cell.size(), QLatin1Char(' '));
    line += QLatin1Char('\t');
}

// A clipboard line from a line built with appendPaddedCell: the last TAB
// dropped, trailing blanks (code 32 only) removed, CR LF appended.
inline void finishClipboardLine(QString& line)
{
    if (!line.isEmpty())
        line.chop(1);
    qsizetype end = line.size();
    while (end > 0 && line[end - 1] == QLatin1Char(' '))
        --end;
    line.truncate(end);
    line += QStringLiteral("\r\n");
}

} // namespace larkspire
