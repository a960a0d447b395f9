#pragma once
#include <QString>
#include <QUrl>

namespace larkspire {

// The quote page of a symbol: "http://", the host, "/q?s=" and the symbol.
// ASCII letters, digits, ".", "-" and "=" go in as they are; every other
// character is percent-encoded as UTF-8, so the server is asked for exactly
// the symbol typed ("^GSPC" is sent as %5EGSPC, "M&M.NS" as M%26M.NS).
QUrl quoteUrl(const QString& host, const QString& upperSymbol);

// The host of the quote service.
inline const QString kQuoteHost = QStringLiteral("finance.yahoo.com");

} // namespace larkspire
