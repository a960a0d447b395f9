// A run with the service's quote list first, against a local stand-in of the
// service: how many pages, crumbs and list requests each way of the service's
// answering costs, and that every row is the row its page gives.
#include "net/qt_http_client.h"
#include "quotes/quote_url.h"
#include "results/quote_row.h"
#include "retrieval/quote_run.h"
#include "retrieval/quote_service.h"
#include "support/quote_list_service.h"

#include <gtest/gtest.h>

using namespace larkspire;
using namespace larkspire::test;

namespace {

HttpLimits quickLimits()
{
    HttpLimits l;
    l.stallMs = 2000;
    l.totalMs = 8000;
    l.firstRetryWaitMs = 10;
    return l;
}

struct Outcomes {
    QStringList rows;    // each symbol's row (the window's nine cells) or its failure, in order
    QStringList sources;
};

Outcomes runOf(QtHttpClient& http, const QString& host, const QStringList& symbols, SourceChoice choice)
{
    Outcomes out;
    QuoteRun run(http, host, choice);
    for (qsizetype i = 0; i < symbols.size(); ++i) {
        const SymbolOutcome o = run.next(symbols[i], symbols.mid(i + 1, run.lookahead()));
        QStringList cells;
        for (const Cell& c : windowRow(o.quote, o.quote.name.value_or(QString())))
            cells << c.text;
        out.rows << (o.fetched() ? cells.join(QLatin1Char('|')) : QStringLiteral("failed: ") + o.fetch.error);
        out.sources << o.source;
    }
    run.finish();
    return out;
}

} // namespace

TEST(QuoteListRun, eachWayTheServiceAnswersCostsWhatItShouldAndEveryRowIsItsPagesRow)
{
    const auto status = [](int code, const QByteArray& reason, const QByteArray& body = QByteArray()) {
        Response r;
        r.status = code, r.reason = reason, r.body = body;
        r.headers << QPair<QByteArray, QByteArray>("Retry-After", "0");
        return std::optional<Response>(r);
    };
    const struct {
        const char* name;
        std::function<void(QuoteListService&)> setup;
        int pages, crumbs, lists; // pages: NOSUCH's twice (its quote URL, then its own address)
        int listRows;
    } cases[] = {
        {"a fresh run: one page brings the cookie", [](QuoteListService&) {}, 3, 1, 2, 69},
        {"raw and fmt pairs", [](QuoteListService& s) { s.formatted = true; }, 3, 1, 2, 69},
        {"the list refuses the crumb once", [](QuoteListService& s) { s.listRefusals = 1; }, 4, 2, 3, 68},
        {"getcrumb refuses twice: pages", [](QuoteListService& s) { s.crumbRefusals = 2; }, 72, 2, 0, 0},
        {"no list and no getcrumb: two round trips more",
         [&](QuoteListService& s) {
             s.crumbFault = [&] { return status(404, "Not Found"); };
             s.listFault = [&](const QStringList&) { return status(404, "Not Found"); };
         },
         72, 2, 0, 0},
        {"an answer that is not JSON, twice: pages",
         [&](QuoteListService& s) { s.listFault = [&](const QStringList&) { return status(200, "OK", "<html>"); }; },
         72, 1, 2, 0},
        {"a quote of a symbol not asked: pages",
         [&](QuoteListService& s) {
             s.listFault = [&](const QStringList&) {
                 return status(200, "OK", quoteListAnswer({makeQuoteListObject(PageShape())}));
             };
         },
         72, 1, 2, 0},
        {"slow down: waited once, then pages",
         [&](QuoteListService& s) { s.listFault = [&](const QStringList&) { return status(429, "Too Many Requests"); }; },
         72, 1, 2, 0},
        {"a server error on the list, twice: pages",
         [&](QuoteListService& s) { s.listFault = [&](const QStringList&) { return status(500, "Server Error"); }; },
         72, 1, 2, 0},
    };
    QStringList symbols;
    QuoteListService reference;
    for (int i = 0; i < 70; ++i)
        reference.add(QStringLiteral("S%1").arg(i, 2, 10, QLatin1Char('0')));
    symbols = reference.known.keys();
    std::sort(symbols.begin(), symbols.end());
    symbols.insert(30, QStringLiteral("NOSUCH"));

    // The rows of the pages alone, as the program made them before the list.
    Outcomes pages;
    {
        QuoteListService service = reference;
        QuoteServer server([&](const Request& r) { return service.answer(r); });
        QtHttpClient http(quickLimits(), false);
        http.setServiceRules(quoteServiceRules(kQuoteHost));
        pages = runOf(http, server.host(), symbols, SourceChoice::Pages);
        EXPECT_EQ(service.count(QStringLiteral("crumb")) + service.count(QStringLiteral("list")), 0)
            << "pages alone ask no crumb and no list";
        EXPECT_EQ(pages.rows.filter(QStringLiteral("failed")).size(), 1);
    }
    for (const auto& c : cases) {
        QuoteListService service = reference;
        c.setup(service);
        QuoteServer server([&](const Request& r) { return service.answer(r); });
        QtHttpClient http(quickLimits(), false);
        http.setServiceRules(quoteServiceRules(kQuoteHost));
        const Outcomes run = runOf(http, server.host(), symbols, SourceChoice::Auto);
        EXPECT_EQ(run.rows, pages.rows) << c.name;
        EXPECT_EQ(service.count(QStringLiteral("page")), c.pages) << c.name << "\n" << service.log.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(service.count(QStringLiteral("crumb")), c.crumbs) << c.name;
        EXPECT_EQ(service.count(QStringLiteral("list")), c.lists) << c.name;
        EXPECT_EQ(run.sources.count(QStringLiteral("list")), c.listRows) << c.name;
        if (c.listRows == 0)
            continue;
        // Asked as a quote page's script asks, each symbol once.
        for (const Request& r : service.listRequests) {
            EXPECT_EQ(r.headers.value("accept"), "*/*");
            EXPECT_EQ(r.headers.value("sec-fetch-mode"), "cors");
            EXPECT_EQ(r.headers.value("sec-fetch-site"), "same-site");
            EXPECT_TRUE(r.headers.value("origin").startsWith("http://127.0.0.1:")) << r.headers.value("origin").constData();
            EXPECT_FALSE(r.headers.contains("upgrade-insecure-requests"));
            EXPECT_EQ(r.headers.value("priority"), "u=1, i");
        }
        // The next run on the same client uses the crumb it kept: no page, no crumb.
        service.log.clear();
        EXPECT_EQ(runOf(http, server.host(), symbols, SourceChoice::Auto).rows, pages.rows) << c.name;
        EXPECT_EQ(service.log.filter(QStringLiteral("page ")), QStringList(2, QStringLiteral("page NOSUCH"))) << c.name;
        EXPECT_EQ(service.count(QStringLiteral("crumb")), 0) << c.name;
        EXPECT_EQ(service.count(QStringLiteral("list")), 2) << c.name;
    }
}
