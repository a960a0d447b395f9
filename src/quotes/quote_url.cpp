#include "quotes/quote_url.h"

#include "quotes/quote_page.h"
#include "quotes/quote_reading.h"

#include <algorithm>

namespace larkspire {

QByteArray encodedSymbol(const QString& upperSymbol)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray query;
    const QByteArray utf8 = upperSymbol.toUtf8();
    query.reserve(utf8.size() * 3);
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '=';
        if (plain) {
            query += ch;
        } else {
            query += '%';
            query += hex[c >> 4];
            query += hex[c & 15];
        }
    }
    return query;
}

QUrl quoteUrl(const QString& host, const QString& upperSymbol)
{
    return QUrl::fromEncoded("http://" + host.toUtf8() + "/q?s=" + encodedSymbol(upperSymbol), QUrl::StrictMode);
}

bool isAddressOrOneLabel(const QString& host)
{
    const QStringList labels = host.split(QLatin1Char('.'));
    return host.contains(QLatin1Char(':')) || labels.size() < 2 ||
           std::all_of(labels.begin(), labels.end(), [](const QString& l) {
               return !l.isEmpty() && std::all_of(l.begin(), l.end(), [](QChar c) { return c.isDigit(); });
           });
}

QString quoteServiceDomain(const QString& host)
{
    const QString home = host.toLower();
    if (home.isEmpty() || isAddressOrOneLabel(home))
        return home;
    return home.section(QLatin1Char('.'), -2);
}

bool isQuoteServiceUrl(const QUrl& target, const QUrl& origin)
{
    const QString scheme = target.scheme().toLower();
    if (scheme != QStringLiteral("http") && scheme != QStringLiteral("https"))
        return false;
    const QString host = target.host().toLower();
    const QString home = origin.host().toLower();
    if (host.isEmpty() || home.isEmpty())
        return false;
    if (isAddressOrOneLabel(home)) {
        const int defaultPort = scheme == QStringLiteral("https") ? 443 : 80;
        return host == home && target.port(defaultPort) == origin.port(80);
    }
    const QString domain = quoteServiceDomain(home);
    return host == domain || host.endsWith(QLatin1Char('.') + domain);
}

bool isQuoteServicePort(const QUrl& target, const QUrl& answered)
{
    auto portOf = [](const QUrl& url) { return url.port(url.scheme().toLower() == QStringLiteral("https") ? 443 : 80); };
    const int port = portOf(target);
    return port == 80 || port == 443 || port == portOf(answered);
}

namespace {

// The symbol of a quote URL exactly as the URL encodes it ("%5EGSPC").
std::optional<QByteArray> encodedSymbol(const QUrl& quoteUrl)
{
    if (quoteUrl.path() != QStringLiteral("/q"))
        return std::nullopt;
    const QByteArray query = quoteUrl.query(QUrl::FullyEncoded).toLatin1();
    if (!query.startsWith("s=") || query.contains('&') || query.size() <= 2)
        return std::nullopt;
    return query.mid(2);
}

} // namespace

std::optional<QuoteUrlShape> learnQuoteUrlShape(const QUrl& asked, const QUrl& landed)
{
    const auto symbol = encodedSymbol(asked);
    if (!symbol)
        return std::nullopt;
    const QByteArray target = landed.toEncoded();
    // The symbol must stand in the path or the query: a shape that puts it
    // in the host or the port would send other symbols anywhere.
    const qsizetype authority = target.indexOf("//");
    const qsizetype pathStart = authority < 0 ? -1 : target.indexOf('/', authority + 2);
    const qsizetype at = target.indexOf(*symbol);
    if (at < 0 || pathStart < 0 || at < pathStart || target.indexOf(*symbol, at + 1) >= 0)
        return std::nullopt;
    return QuoteUrlShape{target.left(at), target.mid(at + symbol->size())};
}

QUrl applyQuoteUrlShape(const QuoteUrlShape& shape, const QUrl& quoteUrl)
{
    const auto symbol = encodedSymbol(quoteUrl);
    if (!symbol)
        return QUrl();
    return QUrl::fromEncoded(shape.before + *symbol + shape.after, QUrl::StrictMode);
}

QUrl quotePageAddress(const QUrl& quoteUrl)
{
    const auto symbol = encodedSymbol(quoteUrl);
    if (!symbol)
        return QUrl();
    const QByteArray origin =
        quoteUrl.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo).toEncoded();
    return QUrl::fromEncoded(origin + "/quote/" + *symbol + '/', QUrl::StrictMode);
}

bool pageNamesSymbol(const QString& page, const QString& upperSymbol)
{
    // The title stands near the top of every layout.
    const QString head = CleanQuotePage(page.left(256 * 1024));
    return FindQuoteTitle(head, upperSymbol).TitleFound || FindLaterQuoteTitle(head, upperSymbol).has_value();
}

} // namespace larkspire
