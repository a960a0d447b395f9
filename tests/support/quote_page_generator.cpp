#include "support/quote_page_generator.h"

#include <QStringList>
#include <QUrl>

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

// A fraction's digits in percent: the point moved two places (-0.0163993 is -1.63993).
QString inPercent(const QString& fraction)
{
    const bool negative = fraction.startsWith(QLatin1Char('-'));
    QString digits = fraction.mid(negative ? 1 : 0);
    qsizetype point = digits.indexOf(QLatin1Char('.'));
    if (point < 0)
        point = digits.size();
    else
        digits.remove(point, 1);
    digits += QStringLiteral("00");
    QString text = digits.left(point + 2) + QLatin1Char('.') + digits.mid(point + 2);
    while (text.size() > 1 && text.startsWith(QLatin1Char('0')) && text[1] != QLatin1Char('.'))
        text.remove(0, 1);
    while (text.contains(QLatin1Char('.')) && (text.endsWith(QLatin1Char('0')) || text.endsWith(QLatin1Char('.'))))
        text.chop(1);
    return (negative ? QStringLiteral("-") : QString()) + text;
}

QByteArray ownPriceObject(const PageShape& shape, bool etf)
{
    const QByteArray avgFmt = shape.averageVolumeFormatIsNull ? QByteArray("null") : QByteArray("\"88.31M\"");
    QByteArray json = "\"price\":{\"maxAge\":1";
    json += ",\"regularMarketOpen\":" + value(shape.open, shape.open);
    json += ",\"averageDailyVolume3Month\":{\"raw\":" + shape.averageVolume.toUtf8() + ",\"fmt\":" + avgFmt +
            ",\"longFmt\":\"" + shape.averageVolume.toUtf8() + "\"}";
    json += ",\"regularMarketDayHigh\":" + value(shape.dayHigh, shape.dayHigh);
    json += ",\"regularMarketPreviousClose\":" + value(shape.previousClose, shape.previousClose);
    json += ",\"postMarketPrice\":" +
            (shape.postMarketPrice ? value(*shape.postMarketPrice, *shape.postMarketPrice) : QByteArray("{}"));
    json += ",\"regularMarketDayLow\":" + value(shape.dayLow, shape.dayLow);
    json += ",\"regularMarketVolume\":" + value(shape.volume, QStringLiteral("84.36M"));
    json += ",\"marketCap\":" + (etf ? QByteArray("{}") : value(shape.marketCap, QStringLiteral("2.42T")));
    json += ",\"symbol\":\"" + jsonEscape(shape.symbol) + "\",\"shortName\":\"" + jsonEscape(shape.shortName) +
            "\",\"marketState\":\"POST\"";
    if (shape.currency)
        json += ",\"currency\":\"" + jsonEscape(*shape.currency) + "\"";
    if (shape.exchangeName)
        json += ",\"exchangeName\":\"" + jsonEscape(*shape.exchangeName) + "\"";
    json += ",\"quoteType\":\"" + jsonEscape(shape.quoteType) + "\",\"regularMarketTime\":" + shape.marketTime.toUtf8() +
            ",\"regularMarketPrice\":" + value(shape.regularPrice, shape.regularPrice) +
            ",\"regularMarketChange\":" + value(QStringLiteral("-3.21001"), QStringLiteral("-3.21")) +
            ",\"regularMarketChangePercent\":" + value(shape.changePercent, QStringLiteral("-1.64%")) + "}";
    return json;
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
        QByteArray q = "\"" + sym + "\":{\"symbol\":\"" + sym +
                       "\",\"currency\":\"EUR\",\"exchangeName\":\"Paris\",\"regularMarketTime\":1600000000,"
                       "\"regularMarketPrice\":" + value(QString::fromLatin1(price()), QStringLiteral("1.00")) +
                       ",\"regularMarketPreviousClose\":" +
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


// Text as a JSON string's content: only the quote and the backslash escaped,
// as the service writes the fetched bodies.
QByteArray jsonStringContent(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

// One embedded fetch: the script, its URL HTML-escaped, its body a JSON
// text written as a JSON string.
QByteArray fetchScript(const QByteArray& url, const QByteArray& bodyJson)
{
    QByteArray escapedUrl = url;
    escapedUrl.replace("&", "&amp;");
    return "<script type=\"application/json\" data-sveltekit-fetched data-url=\"" + escapedUrl +
           "\" data-ttl=\"1\">{\"status\":200,\"statusText\":\"OK\",\"headers\":{},\"body\":\"" +
           jsonStringContent(bodyJson) + "\"}</script>\n";
}

QByteArray percentEncoded(const QString& symbol) { return QUrl::toPercentEncoding(symbol); }

QByteArray makeFetchedDataPage(const PageShape& shape, Writer& w)
{
    const bool etf = shape.marketCap == QStringLiteral("{}");
    const QByteArray title = htmlEscape(pageTitle(shape));
    QByteArray page;
    page.reserve(shape.targetBytes + 8192);
    page += "<!doctype html>\n<html lang=\"en-US\"><head><meta charset=\"utf-8\" />\n<title>" + title +
            "</title>\n<meta property=\"og:title\" content=\"" + title + "\" /><meta name=\"twitter:title\" content=\"" +
            title + "\" />\n</head><body><header><h1 class=\"logo\">Yahoo Finance</h1></header>\n";

    // Other instruments: the market strip, trending lists, peers.
    auto otherFetch = [&](int first) -> QByteArray {
        QByteArray symbols;
        QByteArray quotes;
        for (int i = first; i < first + 6; ++i) {
            const QByteArray sym = "OTH" + QByteArray::number(i);
            symbols += (i > first ? "%2C" : "") + sym;
            quotes += QByteArray(i > first ? "," : "") + w.otherQuote(i, false).mid(sym.size() + 3);
        }
        return fetchScript("https://query1.finance.yahoo.com/v7/finance/quote?fields=regularMarketPrice&symbols=" +
                               symbols + "&lang=en-US&region=US",
                           "{\"quoteResponse\":{\"result\":[" + quotes + "],\"error\":null}}");
    };
    auto newsBlock = [&]() -> QByteArray {
        return "<div class=\"stream-item\"><fin-streamer data-symbol=\"OTH" + QByteArray::number(w.pick(1, 99)) +
               "\" data-field=\"regularMarketPrice\" data-value=\"" + w.price() + "\"></fin-streamer><p>" +
               htmlEscape(QString::fromUtf8(w.newsText(w.pick(200, 1200)))) + "</p></div>\n";
    };
    const int ownAt = shape.targetBytes * w.pick(55, 85) / 100;
    int other = 1;
    while (page.size() < ownAt) {
        page += newsBlock();
        page += otherFetch(other);
        other += 6;
    }
    // The page's own symbol in a quote fetch too, with some figures but not all.
    const QByteArray sym = percentEncoded(shape.symbol);
    page += fetchScript("https://query1.finance.yahoo.com/v7/finance/quote?symbols=" + sym,
                        "{\"quoteResponse\":{\"result\":[{\"symbol\":\"" + shape.symbol.toUtf8() +
                            "\",\"regularMarketOpen\":{\"raw\":1.11,\"fmt\":\"1.11\"},\"regularMarketPreviousClose\":"
                            "{\"raw\":1.12,\"fmt\":\"1.12\"}}],\"error\":null}}");
    const QString fetchSymbol = shape.summaryFetchSymbol.value_or(shape.symbol);
    if (!fetchSymbol.isEmpty()) {
        const QByteArray body =
            "{\"quoteSummary\":{\"result\":[{\"summaryProfile\":{\"industry\":\"Consumer Electronics\",\"longBusinessSummary\":\"" +
            w.newsText(1500) + "\"},\"summaryDetail\":{\"maxAge\":1,\"regularMarketOpen\":" + value(QStringLiteral("2.22"), QStringLiteral("2.22")) +
            ",\"regularMarketDayHigh\":" + value(QStringLiteral("2.23"), QStringLiteral("2.23")) +
            ",\"regularMarketVolume\":" + value(QStringLiteral("2224"), QStringLiteral("2.2k")) +
            ",\"marketCap\":" + (etf ? QByteArray("{}") : value(QStringLiteral("2225"), QStringLiteral("2.2k"))) + "}," +
            ownPriceObject(shape, etf).replace("\\u002F", "/") +
            ",\"defaultKeyStatistics\":{\"maxAge\":1,\"sharesOutstanding\":{\"raw\":15204100096,\"fmt\":\"15.2B\"}}}],"
            "\"error\":null}}";
        page += fetchScript("https://query1.finance.yahoo.com/v10/finance/quoteSummary/" + percentEncoded(fetchSymbol) +
                                "?formatted=true&modules=summaryProfile%2CsummaryDetail%2Cprice%2CdefaultKeyStatistics"
                                "&lang=en-US&region=US&crumb=kX1f.abc",
                            body);
    }
    page += "<div data-testid=\"quote-statistics\"><fin-streamer data-field=\"regularMarketOpen\" data-value=\"" +
            shape.open.toUtf8() + "\">" + shape.open.toUtf8() + " </fin-streamer></div>\n";
    while (page.size() < shape.targetBytes - 2000) {
        page += newsBlock();
        page += otherFetch(other);
        other += 6;
    }
    page += "<footer>" + w.newsText(400) + "</footer>\n</body></html>\n";
    return page;
}

// Pieces of a served page of today's layout.
QByteArray base64ish(Writer& w, int chars)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    QByteArray out(chars, Qt::Uninitialized);
    for (char& c : out)
        c = alphabet[w.pick(0, 63)];
    return out;
}

QByteArray imageUrl(Writer& w)
{
    return "https://s.yimg.com/uu/api/res/1.2/" + base64ish(w, 22) + "--/" + base64ish(w, 48) +
           "/https://media.zenfs.com/en/" + base64ish(w, 10) + "/" + base64ish(w, 32) + ".jpg";
}

QByteArray newsStreamBody(Writer& w, int items)
{
    QByteArray json = "{\"data\":{\"main\":{\"stream\":[";
    for (int i = 0; i < items; ++i) {
        const QByteArray id = base64ish(w, 8) + "-" + base64ish(w, 4) + "-" + base64ish(w, 12);
        json += QByteArray(i ? "," : "") + "{\"id\":\"" + id + "\",\"content\":{\"id\":\"" + id +
                "\",\"contentType\":\"STORY\",\"title\":\"" + w.newsText(w.pick(40, 110)) +
                "\",\"pubDate\":\"2026-06-26T20:00:01Z\",\"thumbnail\":{\"originalUrl\":\"" + imageUrl(w) +
                "\",\"resolutions\":[{\"url\":\"" + imageUrl(w) + "\",\"width\":240,\"height\":128,\"tag\":\"240x128\"},"
                "{\"url\":\"" + imageUrl(w) + "\",\"width\":170,\"height\":128,\"tag\":\"170x128\"}]},"
                "\"provider\":{\"displayName\":\"Wire\",\"url\":\"https://www.example.com/\"},\"canonicalUrl\":{\"url\":"
                "\"https://finance.yahoo.com/news/" + base64ish(w, 40).toLower() + ".html\",\"site\":\"finance\"},"
                "\"summary\":\"" + w.newsText(w.pick(150, 400)) + "\",\"finance\":{\"stockTickers\":[{\"symbol\":\"OTH" +
                QByteArray::number(w.pick(1, 99)) + "\"}]}}}";
    }
    return json + "]}}}";
}

QByteArray quoteListBody(Writer& w, int first, int count)
{
    QByteArray quotes;
    for (int i = first; i < first + count; ++i) {
        const QByteArray one = w.otherQuote(i, false);
        quotes += QByteArray(i > first ? "," : "") + "{" + one.mid(one.indexOf(':') + 2) +
                  ",\"fiftyTwoWeekRange\":{\"raw\":\"1.00 - 2.00\",\"fmt\":\"1.00 - 2.00\"},\"logoUrl\":\"https://s.yimg.com/"
                  "lb/brands/150x150_" + base64ish(w, 12) + ".png\",\"longName\":\"" + w.newsText(24) + "\"}";
    }
    return "{\"quoteResponse\":{\"result\":[" + quotes + "],\"error\":null}}";
}

QByteArray icon(Writer& w)
{
    QByteArray path = "M" + QByteArray::number(w.pick(0, 24));
    for (int k = 0; k < 24; ++k)
        path += QByteArray(k % 3 ? " " : "L") + QByteArray::number(w.pick(0, 2400) / 100.0, 'f', 2);
    return "\t\t<svg width=\"24\" height=\"24\" viewBox=\"0 0 24 24\" class=\"icon svelte-" + base64ish(w, 6).toLower() +
           "\" aria-hidden=\"true\"><path d=\"" + path + "Z\"></path></svg>\n";
}

QByteArray markup(Writer& w)
{
    const QByteArray cls = "svelte-" + base64ish(w, 6).toLower();
    return "\t<li class=\"stream-item story-item " + cls + "\">\n\t\t<section class=\"container " + cls +
           "\" data-testid=\"storyitem\">\n\t\t\t<a href=\"https://finance.yahoo.com/news/" + base64ish(w, 30).toLower() +
           ".html\" class=\"subtle-link fin-size-small titles " + cls + "\" aria-label=\"" + w.newsText(60) +
           "\"><h3 class=\"clamp " + cls + "\">" + htmlEscape(QString::fromUtf8(w.newsText(w.pick(40, 100)))) +
           "</h3></a>\n\t\t\t<img src=\"" + imageUrl(w).replace("&", "&amp;") + "\" alt=\"\" loading=\"lazy\" class=\"" +
           cls + "\">\n\t\t\t<p class=\"" + cls + "\">" + htmlEscape(QString::fromUtf8(w.newsText(w.pick(120, 300)))) +
           "</p>\n\t\t</section>\n\t</li>\n";
}

} // namespace

QByteArray makeServedTodaysPage(const PageShape& shape)
{
    const bool etf = shape.marketCap == QStringLiteral("{}");
    Writer w(shape.seed, !etf);
    PageShape today = shape;
    today.layout = PageLayout::FetchedData;
    const QByteArray title = htmlEscape(pageTitle(today));
    QByteArray page;
    page.reserve(shape.targetBytes + 65536);
    page += "<!doctype html>\n<html lang=\"en-US\">\n\t<head>\n\t\t<meta charset=\"utf-8\" />\n";
    for (int i = 0; i < 40; ++i)
        page += "\t\t<link rel=\"modulepreload\" href=\"/_app/immutable/chunks/" + base64ish(w, 8) + "." +
                base64ish(w, 8) + ".js\">\n";
    page += "\t\t<style>\n";
    while (page.size() < shape.targetBytes / 30)
        page += "\t\t\t.x-" + base64ish(w, 6).toLower() + ".svelte-" + base64ish(w, 6).toLower() +
                " {\n\t\t\t\tdisplay: flex;\n\t\t\t\tmargin: 0 var(--space-" + QByteArray::number(w.pick(1, 9)) +
                ");\n\t\t\t\tcolor: var(--text-color);\n\t\t\t}\n";
    page += "\t\t</style>\n\t\t<title>" + title + "</title>\n\t\t<meta property=\"og:title\" content=\"" + title +
            "\" />\n\t\t<meta name=\"twitter:title\" content=\"" + title + "\" />\n\t</head>\n\t<body>\n"
            "\t<header><h1 class=\"logo\">Yahoo Finance</h1></header>\n<ul>\n";

    // About 36 fetches in all; the page's own quoteSummary stands late.
    const int fetches = 36;
    const int ownAfter = fetches * w.pick(55, 85) / 100;
    const int perPart = (shape.targetBytes - page.size() - 40000) / (fetches + 1);
    int other = 1;
    for (int f = 0; f < fetches; ++f) {
        const int partStart = page.size();
        if (f == ownAfter) {
            const QByteArray sym = percentEncoded(shape.symbol);
            page += fetchScript("https://query1.finance.yahoo.com/v7/finance/quote?symbols=" + sym,
                                "{\"quoteResponse\":{\"result\":[{\"symbol\":\"" + shape.symbol.toUtf8() +
                                    "\",\"regularMarketOpen\":{\"raw\":1.11,\"fmt\":\"1.11\"}}],\"error\":null}}");
            QByteArray modules;
            // Dense JSON as the service writes its modules: every key and
            // text quoted (so escaped in the fetch's body string), figures
            // as raw and formatted pairs, long histories of small objects.
            for (const char* name : {"assetProfile", "calendarEvents", "earnings", "financialData",
                                     "recommendationTrend", "upgradeDowngradeHistory", "majorHoldersBreakdown",
                                     "insiderHolders", "netSharePurchaseActivity", "quoteType", "esgScores"}) {
                modules += "\"" + QByteArray(name) + "\":{\"maxAge\":86400,\"longBusinessSummary\":\"" +
                           w.newsText(w.pick(200, 800)) + "\",\"website\":\"https://www.example.com/investors/\"";
                for (int k = w.pick(30, 90); k > 0; --k) {
                    const QByteArray figure = w.price();
                    modules += ",\"figure" + QByteArray::number(k) + "\":{\"raw\":" + figure + ",\"fmt\":\"" + figure + "\"}";
                }
                modules += ",\"history\":[";
                for (int k = w.pick(20, 120); k > 0; --k)
                    modules += "{\"epochGradeDate\":" + QByteArray::number(1700000000 - k * 86400) + ",\"firm\":\"Firm " +
                               QByteArray::number(k % 37) + "\",\"toGrade\":\"Buy\",\"fromGrade\":\"Hold\",\"action\":\"main\"}" +
                               (k > 1 ? "," : "");
                modules += "]},";
            }
            const QByteArray body =
                "{\"quoteSummary\":{\"result\":[{" + modules + "\"summaryDetail\":{\"maxAge\":1,\"regularMarketOpen\":" +
                value(QStringLiteral("2.22"), QStringLiteral("2.22")) + ",\"marketCap\":" +
                (etf ? QByteArray("{}") : value(QStringLiteral("2225"), QStringLiteral("2.2k"))) + "}," +
                ownPriceObject(shape, etf).replace("\\u002F", "/") +
                ",\"defaultKeyStatistics\":{\"maxAge\":1,\"sharesOutstanding\":{\"raw\":15204100096,\"fmt\":\"15.2B\"}},"
                "\"summaryProfile\":{\"industry\":\"Consumer Electronics\"}}],\"error\":null}}";
            page += fetchScript("https://query1.finance.yahoo.com/v10/finance/quoteSummary/" +
                                    percentEncoded(shape.symbol) +
                                    "?formatted=true&modules=assetProfile%2CsummaryDetail%2Cprice%2CdefaultKeyStatistics"
                                    "&lang=en-US&region=US&crumb=kX1f.abc",
                                body);
        }
        switch (f % 3) {
        case 0:
            page += fetchScript("https://finance.yahoo.com/xhr/ncp?location=US&queryRef=qsp&serviceKey=ncp_fin",
                                newsStreamBody(w, 12));
            break;
        case 1:
            page += fetchScript("https://query1.finance.yahoo.com/v7/finance/quote?fields=regularMarketPrice&symbols=OTH" +
                                    QByteArray::number(other) + "&lang=en-US&region=US",
                                quoteListBody(w, other, 20));
            other += 20;
            break;
        default:
            page += fetchScript("https://query1.finance.yahoo.com/v1/finance/screener/predefined/saved?count=25&scrIds=" +
                                    base64ish(w, 12),
                                quoteListBody(w, other, 12));
            other += 12;
        }
        while (page.size() - partStart < perPart) {
            page += markup(w);
            page += icon(w);
        }
    }
    page += "</ul>\n<div data-testid=\"quote-statistics\"><fin-streamer data-field=\"regularMarketOpen\" data-value=\"" +
            shape.open.toUtf8() + "\">" + shape.open.toUtf8() + " </fin-streamer></div>\n";
    page += "\t\t<script>\n\t\t\t{\n\t\t\t\t__sveltekit_" + base64ish(w, 6).toLower() +
            " = {\n\t\t\t\t\tbase: new URL(\".\", location).pathname.slice(0, -1)\n\t\t\t\t};\n"
            "\t\t\t\tconst element = document.currentScript.parentElement;\n\t\t\t\tPromise.all([\n";
    while (page.size() < shape.targetBytes - 200)
        page += "\t\t\t\t\timport(\"/_app/immutable/nodes/" + QByteArray::number(w.pick(0, 99)) + "." +
                base64ish(w, 8) + ".js\"),\n";
    page += "\t\t\t\t]).then(([kit, app]) => { kit.start(app, element); });\n\t\t\t}\n\t\t</script>\n\t</body>\n</html>\n";
    return page;
}

QString pageTitle(const PageShape& shape)
{
    if (shape.layout == PageLayout::Summary2018)
        return shape.symbol + QStringLiteral(" : Summary for ") + shape.shortName + QStringLiteral(" - Yahoo Finance");
    return shape.shortName + QStringLiteral(" (") + shape.symbol +
           QStringLiteral(") Stock Price, News, Quote & History - Yahoo Finance");
}

QByteArray makeQuotePage(const PageShape& shape)
{
    const bool etf = shape.marketCap == QStringLiteral("{}");
    Writer w(shape.seed, !etf);
    const QByteArray sym = shape.symbol.toUtf8();
    if (shape.layout == PageLayout::FetchedData)
        return makeFetchedDataPage(shape, w);
    const QByteArray title = htmlEscape(pageTitle(shape));

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
    json += "\"PageStore\":{\"pageData\":{\"pageName\":\"quote\",\"title\":\"" + jsonEscape(pageTitle(shape)) +
            "\"}},";
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
    json += "\"QuoteSummaryStore\":{" + ownPriceObject(shape, etf) + ",";
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

QByteArray makeQuoteListObject(const PageShape& shape, bool formatted)
{
    const auto number = [formatted](const QString& raw) { return formatted ? value(raw, raw) : raw.toUtf8(); };
    QByteArray json = "{\"language\":\"en-US\",\"region\":\"US\",\"quoteType\":\"" + jsonEscape(shape.quoteType) +
                      "\",\"typeDisp\":\"Equity\",\"marketState\":\"POST\"";
    if (shape.currency)
        json += ",\"currency\":\"" + jsonEscape(*shape.currency) + "\"";
    json += ",\"exchange\":\"NMS\"";
    if (shape.exchangeName)
        json += ",\"fullExchangeName\":\"" + jsonEscape(*shape.exchangeName) + "\"";
    json += ",\"shortName\":\"" + jsonEscape(shape.shortName) + "\",\"longName\":\"" + jsonEscape(shape.shortName) +
            " Long\",\"regularMarketTime\":" + shape.marketTime.toUtf8() + ",\"regularMarketPrice\":" +
            number(shape.regularPrice) + ",\"regularMarketChange\":" + number(QStringLiteral("-3.21001")) +
            ",\"regularMarketChangePercent\":" + number(inPercent(shape.changePercent)) +
            ",\"regularMarketOpen\":" + number(shape.open) + ",\"regularMarketDayHigh\":" + number(shape.dayHigh) +
            ",\"regularMarketDayLow\":" + number(shape.dayLow) + ",\"regularMarketVolume\":" + number(shape.volume) +
            ",\"averageDailyVolume3Month\":" + number(shape.averageVolume) +
            ",\"regularMarketPreviousClose\":" + number(shape.previousClose);
    if (shape.marketCap != QStringLiteral("{}"))
        json += ",\"marketCap\":" + number(shape.marketCap);
    if (shape.postMarketPrice)
        json += ",\"postMarketPrice\":" + number(*shape.postMarketPrice);
    return json + ",\"corporateActions\":[],\"symbol\":\"" + jsonEscape(shape.symbol) + "\"}";
}

QByteArray quoteListAnswer(const QList<QByteArray>& objects)
{
    QByteArray json = "{\"quoteResponse\":{\"result\":[";
    for (qsizetype i = 0; i < objects.size(); ++i)
        json += (i ? "," : "") + objects[i];
    return json + "],\"error\":null}}";
}

} // namespace larkspire::test
