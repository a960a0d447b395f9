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

// The object value of the first member `"name": {...}` of the JSON text that
// the JSON string at `openingQuote` holds, decoded: what JsonMemberValue and
// JsonValueLength give in the string decoded with DecodeJsonString, but read
// from the escaped text as it stands, only the object decoded (a string with
// escaped backslashes or \u escapes is decoded whole). `quotedName` searches
// for "name", `escapedQuotedName` for \"name\". Nothing when the string is
// malformed or has no such member.
std::optional<QString> ObjectMemberInJsonString(QStringView text, qsizetype openingQuote,
                                                const CaseInsensitiveSearch& quotedName,
                                                const CaseInsensitiveSearch& escapedQuotedName);

// The length of the JSON object or array that opens at `open` (strings
// skipped); up to the end of the text when it is not closed.
qsizetype JsonValueLength(QStringView text, qsizetype open);

} // namespace larkspire
