#include "support/quote_list_service.h"

#include <QUrlQuery>

namespace larkspire::test {

namespace {

Response refused(int status, const QByteArray& reason, const QByteArray& description)
{
    Response r;
    r.status = status;
    r.reason = reason;
    r.headers = {{"Content-Type", "application/json"}};
    r.body = "{\"finance\":{\"result\":null,\"error\":{\"code\":\"Unauthorized\",\"description\":\"" + description +
             "\"}}}";
    return r;
}

} // namespace

void QuoteListService::add(const QString& symbol)
{
    PageShape shape;
    shape.layout = PageLayout::FetchedData;
    shape.targetBytes = 24 * 1024;
    shape.symbol = symbol;
    shape.shortName = symbol + QStringLiteral(" Holdings Inc.");
    const int n = int(known.size()) + 1;
    shape.open = QString::number(100 + n) + QStringLiteral(".465");
    shape.volume = QString::number(1000000 + 37 * n);
    shape.marketCap = QString::number(151643930624LL + n);
    known.insert(symbol, shape);
}

int QuoteListService::count(const QString& kind) const
{
    return int(std::count_if(log.begin(), log.end(), [&](const QString& l) { return l.startsWith(kind); }));
}

Response QuoteListService::answer(const Request& request)
{
    const QUrl url = request.target.startsWith("http") ? QUrl::fromEncoded(request.target)
                                                       : QUrl::fromEncoded("http://x" + request.target);
    const QUrlQuery query(url);
    const bool hasCookie = request.headers.value("cookie").contains("B=");
    if (url.path() == QStringLiteral("/v1/test/getcrumb")) {
        log << QStringLiteral("crumb");
        if (crumbFault)
            if (auto fault = crumbFault())
                return *fault;
        if (!hasCookie || crumbRefusals > 0) {
            crumbRefusals = std::max(0, crumbRefusals - 1);
            return refused(401, "Unauthorized", "Invalid Cookie");
        }
        Response r;
        r.headers = {{"Content-Type", "text/plain;charset=utf-8"}};
        r.body = crumb.toUtf8();
        return r;
    }
    if (url.path() == QStringLiteral("/v7/finance/quote")) {
        const QStringList symbols =
            query.queryItemValue(QStringLiteral("symbols"), QUrl::FullyDecoded).split(QLatin1Char(','));
        log << QStringLiteral("list ") + symbols.join(QLatin1Char(','));
        listRequests << request;
        if (listFault)
            if (auto fault = listFault(symbols))
                return *fault;
        if (!hasCookie || query.queryItemValue(QStringLiteral("crumb"), QUrl::FullyDecoded) != crumb ||
            listRefusals > 0) {
            listRefusals = std::max(0, listRefusals - 1);
            return refused(401, "Unauthorized", "Invalid Crumb");
        }
        QList<QByteArray> objects;
        for (const QString& symbol : symbols)
            if (known.contains(symbol))
                objects << makeQuoteListObject(known.value(symbol), formatted);
        Response r;
        r.headers = {{"Content-Type", "application/json;charset=utf-8"}};
        r.body = quoteListAnswer(objects);
        return r;
    }
    // The quote URL, or the page's own address after its 404.
    QString symbol = query.queryItemValue(QStringLiteral("s"), QUrl::FullyDecoded);
    if (url.path().startsWith(QStringLiteral("/quote/")))
        symbol = url.path().section(QLatin1Char('/'), 2, 2);
    log << QStringLiteral("page ") + symbol;
    Response r;
    if (!known.contains(symbol)) {
        r.status = 404;
        r.reason = "Not Found";
        return r;
    }
    // As the service sets it: for its whole domain, so that query1 gets it too.
    const QByteArray domain = url.host().endsWith(QStringLiteral(".yahoo.com")) ? "; Domain=.yahoo.com" : "";
    r.headers << QPair<QByteArray, QByteArray>("Set-Cookie", "B=4fc3a1; Path=/; Max-Age=31536000" + domain);
    r.body = makeQuotePage(known.value(symbol));
    return r;
}

} // namespace larkspire::test
