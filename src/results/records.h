#pragma once
// Quotes as data for scripts: named fields whose values are texts, numbers
// written with the page's own digits, or nothing; JSON (one array, or one
// object a line) and the cell rules that keep CSV and TSV safe to open.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace larkspire {

struct FieldValue {
    bool isNumber = false;        // a JSON number's text, written as it stands
    std::optional<QString> text;  // nothing: null
};

struct Record {
    std::vector<FieldValue> values;  // in the order of the field names
    std::optional<QString> error;    // a symbol that gave no quote: only "symbol" and "error"
    QString symbol;
};

// A JSON string, escaped as JSON requires (control characters as \u00XX).
QString jsonString(const QString& text);
// The records as one JSON array, or as one object a line (JSON Lines).
QByteArray jsonRecords(const QStringList& names, const std::vector<Record>& records, bool oneALine);

// A text cell of CSV or TSV that a spreadsheet would run as a formula
// (it starts with "=", "+", "-", "@", TAB or CR) gets a leading apostrophe.
QString withoutFormula(const QString& text);
// A TSV cell: TAB, CR and LF inside it become blanks, so that it can forge
// no column and no row.
QString tsvCell(const QString& text);

} // namespace larkspire
