#pragma once
// Quotes as data for scripts: JSON (one array, or one object a line) of
// named fields whose values are texts, numbers with the page's own digits,
// or null.
#include "core/cell.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace larkspire {

// One symbol's entry: its row of cells under the field names, or why it
// gave no quote (then only "symbol" and "error" are written).
struct JsonEntry {
    QString symbol;
    std::optional<QString> failure;
    CellRow cells;
};

// A JSON string, escaped as JSON requires (control characters as \u00XX).
QString jsonString(const QString& text);
// The entries as one JSON array, or as one object a line (JSON Lines). A
// number is written with its own digits when they are a JSON number that
// fits a finite double, else null; a missing value is null.
QByteArray jsonRecords(const QStringList& names, const std::vector<JsonEntry>& entries, bool oneALine);

} // namespace larkspire
