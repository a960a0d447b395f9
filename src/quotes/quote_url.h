#pragma once
#include <QString>
#include <QUrl>

#include <optional>

namespace larkspire {

// The quote page of a symbol: "http://", the host, "/q?s=" and the symbol.
// ASCII letters, digits, ".", "-" and "=" go in as they are; every other
// character is percent-encoded as UTF-8, so the server is asked for exactly
// the symbol typed ("^GSPC" is sent as %5EGSPC, "M&M.NS" as M%26M.NS).
QUrl quoteUrl(const QString& host, const QString& upperSymbol);
// The symbol as the quote URL's query holds it.
QByteArray encodedSymbol(const QString& upperSymbol);
// Whether a host is an address or a one-label name (a local stand-in), which
// stands for itself rather than for a domain.
bool isAddressOrOneLabel(const QString& host);

// Whether a redirect or a form post may go to `target` when the request
// began at `origin`: http or https, and a host of the quote service, which
// is the origin's own domain (its last two labels, "yahoo.com" for
// "finance.yahoo.com") or one of its subdomains. An origin given as an
// address or a one-label name (a test server) allows only itself, port
// included.
bool isQuoteServiceUrl(const QUrl& target, const QUrl& origin);

// The quote service's domain for one of its hosts: its last two labels
// ("yahoo.com" for "finance.yahoo.com"); an address or a one-label name
// stands for itself. Empty for no host.
QString quoteServiceDomain(const QString& host);

// Whether a redirect or a form post answering a request to `answered` may
// go to the port of `target`: 80, 443, or the port of that request.
bool isQuoteServicePort(const QUrl& target, const QUrl& answered);

// Where the service's redirect hop leads a quote URL, learned from one
// symbol: the text before and after the symbol (as the quote URL encodes
// it) in the URL the redirects ended at.
struct QuoteUrlShape {
    QByteArray before;
    QByteArray after;
};

// The shape of `landed`, the URL the quote URL `asked` was redirected to,
// when the symbol stands in it exactly once, in its path or query; nothing
// otherwise.
std::optional<QuoteUrlShape> learnQuoteUrlShape(const QUrl& asked, const QUrl& landed);
// The quote URL's symbol put in the shape; an invalid URL when `quoteUrl`
// is none.
QUrl applyQuoteUrlShape(const QuoteUrlShape& shape, const QUrl& quoteUrl);

// The page's own address of a quote URL's symbol: the quote URL's scheme and
// host, path "/quote/SYMBOL/" with the symbol encoded as the quote URL has
// it; an invalid URL when `quoteUrl` is none.
QUrl quotePageAddress(const QUrl& quoteUrl);

// Whether a page's title names the symbol (any layout): a page of that
// symbol's quote, not another's.
bool pageNamesSymbol(const QString& page, const QString& upperSymbol);

// The host of the quote service.
inline const QString kQuoteHost = QStringLiteral("finance.yahoo.com");

} // namespace larkspire
