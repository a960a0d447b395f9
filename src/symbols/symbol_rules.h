#pragma once
// What a symbol may be. Tickers are short, and ";" separates the stored
// list, so a typed symbol holding one would come back as two.
#include <QString>

#include <optional>

namespace larkspire {

// Far above any real ticker; a longer text is no symbol.
constexpr qsizetype kMaxSymbolChars = 100;

// Why a typed symbol cannot be added, or nothing when it can.
std::optional<QString> typedSymbolProblem(const QString& symbol);

// Whether a run asks for this symbol at all: an empty or all-blank item
// (a symbol file's last line feed leaves one) is never fetched.
// A symbol longer than a symbol can be (from the stored list, a command
// line or a hand-edited file) is not fetched either; the run counts it.
bool isFetchable(const QString& symbol);
bool isTooLongForASymbol(const QString& symbol);

// The symbol as it is asked for: without the blanks and tabs a file or a
// typing hand left at either end (the list keeps it as given).
QString symbolToSend(const QString& symbol);

} // namespace larkspire
