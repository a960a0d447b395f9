#pragma once
// The service's own quote list: the quotes of many symbols in one small JSON
// answer, asked with the crumb the service hands a visitor holding its
// cookie. Pure functions: the addresses, the crumb's shape, and the answer
// read into Quotes whose figures are exactly what the symbols' pages give.
#include "quotes/number_format.h"
#include "quotes/quote.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace larkspire {

// At most this many symbols a request.
constexpr qsizetype kListGroupSize = 50;
// An answer larger than this is no list of 50 quotes.
constexpr qsizetype kMaxListAnswerBytes = 4 * 1024 * 1024;

// The list's host: "query1." (or "query2.") before the quote host; a host
// that is an address or a single label (a local stand-in) stands for itself.
QString quoteListHost(const QString& quoteHost, int number);

// ".../v7/finance/quote?symbols=A%2CB&crumb=...&formatted=false": each symbol
// encoded as the quote URL encodes it, the crumb percent-encoded.
QUrl quoteListUrl(const QString& scheme, const QString& listHost, const QStringList& upperSymbols,
                  const QString& crumb);
// ".../v1/test/getcrumb".
QUrl crumbUrl(const QString& scheme, const QString& listHost);
// Whether a getcrumb answer is a crumb: 1 to 64 letters, digits, ".", "/", "_", "-".
bool isUsableCrumb(const QString& text);

// The answer read: the quote of each symbol it holds, by upper-case symbol.
// Nothing when it is not the list's answer: not JSON, cut off, another
// shape, or a quote of a symbol that was not asked for.
std::optional<QHash<QString, Quote>> readQuoteList(const QString& answer, const QStringList& askedUpper,
                                                   const NumberFormats& formats);

} // namespace larkspire
