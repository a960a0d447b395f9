#pragma once
// Rows of quote cells under their headers, and the files the command line
// writes from them: the column-aligned text the text export writes, tab- and
// comma-separated text, and the cells of the workbook.
#include "quotes/number_format.h"
#include "results/workbook.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace larkspire {

struct ResultTable {
    QStringList headers;
    std::vector<QStringList> rows; // a missing cell reads as empty
    // The page's raw number behind each cell, by row and column ("" or
    // missing: none); what a workbook stores for a figure.
    std::vector<QStringList> raws;
    // Columns that never hold a number (a symbol such as "-1" or a name).
    QList<qsizetype> textColumns{0};
};

// The results list's headers, the first naming what the first cell holds.
QStringList resultHeaders(bool names);

// Every cell padded to its column's widest text (header included) and
// followed by a TAB; lines end in CR LF; UTF-8.
QByteArray alignedText(const ResultTable& table);
// A header line and a line per row, cells separated by one TAB; LF endings.
// No cell holds a TAB or a line break.
QByteArray tabSeparatedText(const ResultTable& table, const NumberFormats& formats = NumberFormats());
// RFC 4180: CR LF endings, a field with a comma, quote or line break quoted.
QByteArray commaSeparatedText(const ResultTable& table, const NumberFormats& formats = NumberFormats());
// In both, a text cell that would start a formula is made safe; numbers,
// negative ones included, are written as they are.
// The header in row 1 and the rows below, columns fitted: the workbook the
// window makes. Figures that are numbers are number cells shown as the
// window shows them; the others are texts with "=" taken out. The first
// column is always text.
SheetCells sheetOf(const ResultTable& table, const NumberFormats& formats = NumberFormats());

} // namespace larkspire
