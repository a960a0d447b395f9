#include "support/quote_page_generator.h"

#include <QStringList>

#include <random>

namespace larkspire::test {

namespace {

QByteArray htmlEscape(const QString& text)
{
    QString s = text;
    s.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    s.replace(QLatin1Char('\''), QStringLiteral("&#x27;"));
    s.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    return s.toUtf8();
}

QByteArray jsonEscape(const QString& text)
{
    QString s = text;
    s.replace(QLatin1Char('/'), QStringLiteral("\\u002F"));
    s.replace(QLatin1Char('<'), QStringLiteral("\\u003C"));
    s.replace(QLatin1Char('>'), QStringLiteral("\\u003E"));
    s.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return s.toUtf8();
}

QByteArray value(const QString& raw, const QString& fmt)
{
    return "{\"raw\":" + raw.toUtf8() + ",\"fmt\":\"" + fmt.toUtf8() + "\",\"longFmt\":\"" + fmt.toUtf8() + "\"}";
}

class Writer {
public:
    Writer(unsigned seed, bool withMarketCaps) : m_rng(seed), m_withMarketCaps(withMarketCaps) {}
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
    QByteArray price() { return QByteArray::number(pick(100, 500000) / 100.0, 'f', pick(2, 4)); }

    // Quote data of another instrument in the streaming store.
    QByteArray otherQuote(int i, bool bondIndexOnly)
    {
        QByteArray sym = "OTH" + QByteArray::number(i);
        QByteArray q = "\"" + sym + "\":{\"symbol\":\"" + sym + "\",\"regularMarketPreviousClose\":" +
                       value(QString::fromLatin1(price()), QStringLiteral("1.00"));
        if (!bondIndexOnly) {
            for (const char* key : {"regularMarketOpen", "regularMarketDayLow", "regularMarketDayHigh"})
                q += ",\"" + QByteArray(key) + "\":" + value(QString::fromLatin1(price()), QStringLiteral("1.00"));
            q += ",\"regularMarketVolume\":" + value(QString::number(pick(1000, 90000000)), QStringLiteral("1M"));
            if (m_withMarketCaps) // an ETF's page quotes no market capitalisation at all
                q += ",\"marketCap\":" +
                     value(QString::number(qint64(pick(1, 900000)) * 1000000), QStringLiteral("1B"));
        }
        return q + "}";
    }

    QByteArray newsText(int chars)
    {
        static const char* const words[] = {"shares", "rallied", "after", "the", "company", "reported",
                                            "quarterly", "earnings", "Nestlé", "€", "analysts", "said",
                                            "guidance", "’s", "™", "revenue", "grew"};
        QByteArray out;
        while (out.size() < chars) {
            out += words[pick(0, int(std::size(words)) - 1)];
            out += ' ';
        }
        return out;
    }

private:
    std::mt19937 m_rng;
    bool m_withMarketCaps;
};

} // namespace

QByteArray makeQuotePage(const PageShape& shape)
{
    const bool etf = shape.marketCap == QStringLiteral("{}");
    Writer w(shape.seed, !etf);
    const QByteArray sym = shape.symbol.toUtf8();
    const QByteArray title = htmlEscape(shape.symbol + QStringLiteral(" : Summary for ") + shape.shortName +
                                        QStringLiteral(" - Yahoo Finance"));

    // The HTML head and body before the data: about a fifth of the page.
    QByteArray page;
    page.reserve(shape.targetBytes + 4096);
    page += "<!DOCTYPE html><html id=\"atomic\" class=\"NoJs\" lang=\"en-US\">\n<head prefix=\"og: "
            "http://ogp.me/ns#\"><script>window.performance && window.performance.mark && "
            "window.performance.mark('PageStart');</script><meta charSet=\"utf-8\"/>\n<title>" +
            title + "</title><meta name=\"keywords\" content=\"" + sym +
            ", stock, quote\"/>\n<meta property=\"og:title\" content=\"" + title +
            "\"/><meta name=\"twitter:title\" content=\"" + title + "\"/>\n";
    const int htmlPart = std::max(2000, shape.targetBytes / 5);
    int lines = 0;
    while (page.size() < htmlPart) {
        page += "<div class=\"Pos(r) Bgc($lv2BgColor) Mih(265px)\" data-reactid=\"" + QByteArray::number(lines) +
                "\"><p>" + htmlEscape(QString::fromUtf8(w.newsText(w.pick(200, 1600)))) + "</p></div>";
        if (++lines % 2 == 0)
            page += '\n';
    }

    // The embedded JSON, on one line.
    QByteArray json = "root.App.main = {\"context\":{\"dispatcher\":{\"stores\":{";
    json += "\"PageStore\":{\"pageData\":{\"pageName\":\"quote\",\"title\":\"" + jsonEscape(shape.symbol +
            QStringLiteral(" : Summary for ") + shape.shortName + QStringLiteral(" - Yahoo Finance")) + "\"}},";
    json += "\"StreamDataStore\":{\"quoteData\":{";
    const int ownPlace = w.pick(2, 8);
    for (int i = 1; i <= 21; ++i) {
        if (i > 1)
            json += ',';
        json += w.otherQuote(i, i == 1);
        if (i == ownPlace) // the page's own stock, in the streaming store too, with older figures
            json += ",\"" + sym + "\":{\"regularMarketOpen\":" + value(QStringLiteral("1.11"), QStringLiteral("1.11")) +
                    ",\"regularMarketPreviousClose\":" + value(QStringLiteral("1.12"), QStringLiteral("1.12")) + "}";
    }
    json += "}},";
    json += "\"ScreenerStore\":{\"SCREENER_FIELD_intradaymarketcap\":\"Intraday Market Cap\","
            "\"medianMarketCap\":{}},";

    // Filler stores up to the middle of the data.
    const int dataTarget = shape.targetBytes - page.size() - 4000;
    int store = 0;
    while (json.size() < dataTarget * 3 / 5) {
        json += "\"FillerStore" + QByteArray::number(store++) + "\":{\"items\":[";
        for (int k = 0; k < 40; ++k)
            json += "{\"id\":" + QByteArray::number(w.pick(1, 1 << 30)) + ",\"summary\":\"" +
                    jsonEscape(QString::fromUtf8(w.newsText(w.pick(60, 300)))) + "\"},";
        json += "{}]},";
    }

    // The page's own figures.
    const QByteArray avgFmt = shape.averageVolumeFormatIsNull ? QByteArray("null") : QByteArray("\"88.31M\"");
    json += "\"QuoteSummaryStore\":{\"price\":{";
    json += "\"regularMarketOpen\":" + value(shape.open, shape.open);
    json += ",\"averageDailyVolume3Month\":{\"raw\":" + shape.averageVolume.toUtf8() + ",\"fmt\":" + avgFmt +
            ",\"longFmt\":\"" + shape.averageVolume.toUtf8() + "\"}";
    json += ",\"regularMarketDayHigh\":" + value(shape.dayHigh, shape.dayHigh);
    json += ",\"regularMarketPreviousClose\":" + value(shape.previousClose, shape.previousClose);
    json += ",\"postMarketPrice\":" +
            (shape.postMarketPrice ? value(*shape.postMarketPrice, *shape.postMarketPrice) : QByteArray("{}"));
    json += ",\"regularMarketDayLow\":" + value(shape.dayLow, shape.dayLow);
    json += ",\"regularMarketVolume\":" + value(shape.volume, QStringLiteral("84.36M"));
    json += ",\"marketCap\":" + (etf ? QByteArray("{}") : value(shape.marketCap, QStringLiteral("2.42T")));
    json += ",\"symbol\":\"" + jsonEscape(shape.symbol) + "\",\"shortName\":\"" + jsonEscape(shape.shortName) + "\"},";
    json += "\"summaryDetail\":{\"regularMarketOpen\":" + value(shape.open, shape.open) +
            ",\"regularMarketDayHigh\":" + value(shape.dayHigh, shape.dayHigh) +
            ",\"regularMarketPreviousClose\":" + value(shape.previousClose, shape.previousClose) +
            ",\"regularMarketDayLow\":" + value(shape.dayLow, shape.dayLow) +
            ",\"regularMarketVolume\":" + value(shape.volume, QStringLiteral("84.36M")) +
            (etf ? QByteArray(",\"marketCap\":{}") : QByteArray()) + "}},";

    // More stores, then the recommendations with five more instruments.
    while (json.size() < dataTarget - 3000) {
        json += "\"FillerStore" + QByteArray::number(store++) + "\":{\"items\":[";
        for (int k = 0; k < 40 && json.size() < dataTarget - 3000; ++k)
            json += "{\"id\":" + QByteArray::number(w.pick(1, 1 << 30)) + ",\"summary\":\"" +
                    jsonEscape(QString::fromUtf8(w.newsText(w.pick(60, 300)))) + "\"},";
        json += "{}]},";
    }
    json += "\"RecommendationStore\":{\"quotes\":{";
    for (int i = 30; i < 35; ++i)
        json += (i > 30 ? "," : "") + w.otherQuote(i, false);
    json += "}}}}}};\n";

    page += "<script>" + json + "</script>\n";
    page += "<div id=\"footer\">" + w.newsText(400) + "</div>\n</body></html>\n";
    return page;
}

} // namespace larkspire::test
