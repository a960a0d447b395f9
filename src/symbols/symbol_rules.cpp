#include "symbols/symbol_rules.h"

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
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype from = 0;
    qsizetype to = symbol.size();
    while (from < to && blank(symbol[from]))
        ++from;
    while (to > from && blank(symbol[to - 1]))
        --to;
    return symbol.mid(from, to - from);
}

} // namespace larkspire
