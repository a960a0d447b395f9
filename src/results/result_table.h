#pragma once
// Rows of quote cells under their headers, and the files the command line
// writes from them: the column-aligned text the text export writes, tab- and
// comma-separated text, and the cells of the workbook.
#include "results/workbook.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace larkspire {

struct ResultTable {
    QStringList headers;
    std::vector<QStringList> rows; // a missing cell reads as empty
};

// The results list's headers, the first naming what the first cell holds.
QStringList resultHeaders(bool names);

// Every cell padded to its column's widest text (header included) and
// followed by a TAB; lines end in CR LF; UTF-8.
QByteArray alignedText(const ResultTable& table);
// A header line and a line per row, cells separated by one TAB; LF endings.
QByteArray tabSeparatedText(const ResultTable& table);
// RFC 4180: CR LF endings, a field with a comma, quote or line break quoted.
QByteArray commaSeparatedText(const ResultTable& table);
// The header in row 1 and the rows below, "=" taken out of the figures,
// columns fitted: the workbook the window makes.
SheetCells sheetOf(const ResultTable& table);

} // namespace larkspire
