#pragma once
// Which figures a workbook stores as numbers, and under which number format
// a spreadsheet shows each exactly as the window shows its text:
//  - a plain number as cut from the page ("26.18", "27.248", "500"):
//    itself, shown with as many decimals ("0.00", "0.000", "0");
//  - a figure in the "Standard" format ("86,227,835.00"): the page's raw
//    number, shown "#,##0.00";
//  - a market capitalisation in billions ("584.94B"): the page's raw
//    number, shown `0.00,,,"B"`.
// Anything else (markup kept as cut, a text, a number with leading zeros or
// an exponent) stays a text cell.
#include "quotes/number_format.h"

#include <QString>

#include <optional>

namespace larkspire {

struct NumberCell {
    double value = 0;
    QString format; // a spreadsheet number format, locale-neutral
};

// `raw` is the page's raw number behind the text ("" when there is none).
std::optional<NumberCell> numberCellOf(const QString& shown, const QString& raw, const NumberFormats& formats);

// What the window's workbook holds for a results cell below the header
// (`column` from 1): a figure that is a number as a number cell showing
// `text`, anything else as text with "=" taken out of the figures (the first
// column stays as it is); an empty text is no cell.
struct ResultCell {
    std::optional<NumberCell> number;
    QString text;
};
ResultCell resultCellOf(const QString& text, const QString& raw, int column, const NumberFormats& formats);

} // namespace larkspire
