#pragma once
// A small scanner for the JSON a quote page embeds: where a member's value
// starts, how long an object is, a string decoded. It reads what it needs
// and never builds a document.
#include "quotes/text_search.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace larkspire {

// The JSON string that starts with the quote at `openingQuote`, decoded; its
// end (just past the closing quote) in `end`. Nothing when it is malformed
// or not closed.
std::optional<QString> DecodeJsonString(QStringView text, qsizetype openingQuote, qsizetype* end = nullptr);

// Where the value of the first member `"name": ...` (blanks allowed around
// the colon) that opens with `opener` starts, any value when `opener` is
// null; -1 when there is none. `quotedName` searches for "name" with quotes.
qsizetype JsonMemberValue(QStringView json, const CaseInsensitiveSearch& quotedName, QChar opener = QChar());

// The length of the JSON object or array that opens at `open` (strings
// skipped); up to the end of the text when it is not closed.
qsizetype JsonValueLength(QStringView text, qsizetype open);

} // namespace larkspire
