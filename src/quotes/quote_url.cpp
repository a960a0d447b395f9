#include "quotes/quote_url.h"

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

} // namespace larkspire
