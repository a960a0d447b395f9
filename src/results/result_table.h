#pragma once
// Rows of cells under their headers, and the files written from them: the
// column-aligned text the text export writes, tab- and comma-separated text,
// and the cells of the workbook.
#include "core/cell.h"
#include "results/workbook.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace larkspire {

struct ResultTable {
    QStringList headers;
    std::vector<CellRow> rows; // a missing cell reads as empty
};

// Every cell padded to its column's widest text (header included) and
// followed by a TAB; lines end in CR LF; UTF-8.
QByteArray alignedText(const ResultTable& table);
// A header line and a line per row, cells separated by one TAB; LF endings.
// No cell holds a TAB or a line break.
QByteArray tabSeparatedText(const ResultTable& table);
// RFC 4180: CR LF endings, a field with a comma, quote or line break quoted.
QByteArray commaSeparatedText(const ResultTable& table);
// In both, a text cell that would start a formula is made safe; numbers,
// negative ones included, are written as they are.

// What a workbook holds for a cell: a number under its format (the cell's
// text is what the sheet shows), or a text; nothing for an empty text. A
// number that is no finite double is its text, never a number the page did
// not give; a time is a date-time shown "yyyy-mm-dd hh:mm:ss" (UTC); "=" is
// taken out of a figure that is a text.
struct SheetValue {
    std::optional<double> number;
    QString format;
    QString text;
};
SheetValue sheetValueOf(const Cell& cell);

// The header in row 1 and the rows below, columns fitted.
SheetCells sheetOf(const ResultTable& table);

} // namespace larkspire
