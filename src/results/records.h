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

} // namespace larkspire
