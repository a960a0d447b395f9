#include "symbols/symbol_rules.h"

#include "core/plain_text.h"

namespace larkspire {

std::optional<QString> typedSymbolProblem(const QString& symbol)
{
    if (symbol.size() > kMaxSymbolChars)
        return QStringLiteral("A stock symbol has at most %1 characters; nothing was added.").arg(kMaxSymbolChars);
    if (symbol.contains(QLatin1Char(';')))
        return QStringLiteral("A stock symbol cannot hold \";\"; nothing was added.");
    return std::nullopt;
}

bool isFetchable(const QString& symbol) { return !symbol.trimmed().isEmpty() && !isTooLongForASymbol(symbol); }

bool isTooLongForASymbol(const QString& symbol) { return symbol.size() > kMaxSymbolChars; }

QString symbolToSend(const QString& symbol)
{
    return trimmedBy(symbol, [](QChar c) { return c == u' ' || c == u'\t'; }).toString();
}

} // namespace larkspire
