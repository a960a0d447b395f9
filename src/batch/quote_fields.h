#pragma once
// The named fields of a quote that --fields picks and JSON writes, each a
// text, a number with the page's own digits, or a time in ISO 8601 (UTC).
#include "quotes/quote.h"
#include "results/records.h"

#include <QStringList>

namespace larkspire {

// Every field's name, in the order JSON writes them.
QStringList quoteFieldNames();

// Whether a field holds a number (or a time) rather than a text.
bool isNumberField(const QString& name);

// The field's value for a quote; `name` must be one of quoteFieldNames().
FieldValue quoteField(const Quote& quote, const QString& name);

// "2026-06-26T20:00:01Z".
QString isoTime(qint64 utcSeconds);

} // namespace larkspire
