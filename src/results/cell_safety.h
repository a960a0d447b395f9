#pragma once
// What keeps a text cell of CSV and TSV safe to open in a spreadsheet: no
// formula, and no TAB or line break that forges a column or a row.
#include <QString>

namespace larkspire {

// A text cell of CSV or TSV that a spreadsheet would run as a formula
// (it starts with "=", "+", "-", "@", TAB or CR) gets a leading apostrophe.
QString withoutFormula(const QString& text);
// A TSV cell: TAB, CR and LF inside it become blanks, so that it can forge
// no column and no row.
QString tsvCell(const QString& text);

} // namespace larkspire
