#include "quotes/quote_url.h"

#include <algorithm>

namespace larkspire {

QUrl quoteUrl(const QString& host, const QString& upperSymbol)
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
    return QUrl::fromEncoded("http://" + host.toUtf8() + "/q?s=" + query, QUrl::StrictMode);
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
    const QStringList labels = home.split(QLatin1Char('.'));
    const bool address = home.contains(QLatin1Char(':')) || std::all_of(labels.begin(), labels.end(), [](const QString& l) {
                             return !l.isEmpty() && std::all_of(l.begin(), l.end(), [](QChar c) { return c.isDigit(); });
                         });
    if (address || labels.size() < 2) {
        const int defaultPort = scheme == QStringLiteral("https") ? 443 : 80;
        return host == home && target.port(defaultPort) == origin.port(80);
    }
    const QString domain = labels.mid(labels.size() - 2).join(QLatin1Char('.'));
    return host == domain || host.endsWith(QLatin1Char('.') + domain);
}

bool isQuoteServicePort(const QUrl& target, const QUrl& answered)
{
    auto portOf = [](const QUrl& url) { return url.port(url.scheme().toLower() == QStringLiteral("https") ? 443 : 80); };
    const int port = portOf(target);
    return port == 80 || port == 443 || port == portOf(answered);
}

} // namespace larkspire
