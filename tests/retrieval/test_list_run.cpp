// The run of a list on its own, with a scripted client: what each symbol's
// outcome is, when the run stops, what it asks for ahead, and a list that
// changes under it.
#include "retrieval/list_run.h"
#include "support/quote_page_generator.h"

#include <gtest/gtest.h>

#include <QUrlQuery>

#include <functional>

using namespace larkspire;

namespace {

// Answers each page from a script, by symbol; records what was named ahead.
class ScriptedClient final : public HttpClient {
public:
    std::function<HttpResult(const QString& symbol)> answer;
    std::function<void(const QString& symbol)> during; // runs while the page "is on its way"
    QList<QStringList> namedAhead;

    HttpResult get(const QUrl& url) override
    {
        const QString symbol = QUrlQuery(url).queryItemValue(QStringLiteral("s"), QUrl::FullyDecoded);
        if (during)
            during(symbol);
        return answer(symbol);
    }
    void fetchAhead(const QList<QUrl>& next) override
    {
        QStringList symbols;
        for (const QUrl& url : next)
            symbols << QUrlQuery(url).queryItemValue(QStringLiteral("s"), QUrl::FullyDecoded);
        namedAhead << symbols;
    }
    int aheadLimit() const override { return 2; }
    void abort() override {}
};

HttpResult page(const QString& symbol)
{
    test::PageShape shape;
    shape.layout = test::PageLayout::FetchedData;
    shape.symbol = symbol;
    shape.targetBytes = 8 * 1024;
    HttpResult r;
    r.ok = true;
    r.status = 200;
    r.body = QString::fromUtf8(test::makeQuotePage(shape));
    return r;
}

HttpResult failed(int status, FetchFailure kind)
{
    HttpResult r;
    r.status = status;
    r.failure = kind;
    r.error = QStringLiteral("HTTP %1").arg(status);
    return r;
}

// Each outcome as "position SYMBOL: quote|failure", then the end.
struct Recorder final : ListRunSink {
    QStringList seen;
    std::function<bool(int)> goOn = [](int) { return true; };
    bool starting(int position) override { return goOn(position); }
    void fetching(const QString&, const ItemRef&, SymbolOutcome&, const std::function<void()>& fetch) override
    {
        fetch();
    }
    void came(int position, const SymbolOutcome& o) override
    {
        seen << QStringLiteral("%1 %2: ").arg(position).arg(o.symbol) +
                    (o.holdsAQuote() ? QStringLiteral("quote") : o.fetched() ? QStringLiteral("no quote")
                                                                             : o.fetch.error);
    }
    void ended(const ListRunEnd& end) override
    {
        seen << QStringLiteral("end: refused %1 by %2, too long %3, stopped %4")
                    .arg(end.refusal ? 1 : 0)
                    .arg(end.refusedSymbol)
                    .arg(end.tooLong)
                    .arg(end.stopped ? 1 : 0);
    }
};

} // namespace

TEST(ListRun, eachSymbolsOutcomeInListOrderAndTheRunsEnd)
{
    const QString tooLong(101, u'X');
    const struct {
        const char* name;
        QStringList symbols;
        std::function<HttpResult(const QString&)> answer;
        QStringList seen;
    } cases[] = {
        {"pages, an unknown symbol, an error of the service's own, blanks and a symbol too long",
         {QStringLiteral("aaa"), QStringLiteral(" "), QStringLiteral("GONE"), tooLong, QStringLiteral("BAD")},
         [](const QString& s) {
             return s == QStringLiteral("GONE") ? failed(404, FetchFailure::NotFound)
                    : s == QStringLiteral("BAD") ? failed(500, FetchFailure::ServerError)
                                                 : page(s);
         },
         {QStringLiteral("1 AAA: quote"), QStringLiteral("3 GONE: HTTP 404"), QStringLiteral("5 BAD: HTTP 500"),
          QStringLiteral("end: refused 0 by , too long 1, stopped 0")}},
        {"three refusals in a row stop the run at the third",
         {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D"), QStringLiteral("E")},
         [](const QString& s) { return s == QStringLiteral("A") ? page(s) : failed(429, FetchFailure::Refused); },
         {QStringLiteral("1 A: quote"), QStringLiteral("2 B: HTTP 429"), QStringLiteral("3 C: HTTP 429"),
          QStringLiteral("end: refused 1 by D, too long 0, stopped 0")}},
    };
    for (const auto& c : cases) {
        ListModel list(false);
        list.addColumn(QStringLiteral("Symbols"));
        list.addMany(c.symbols);
        ScriptedClient http;
        http.answer = c.answer;
        ListRun run(&http, QStringLiteral("quotes.test"), SourceChoice::Pages, list);
        Recorder sink;
        run.run(sink);
        EXPECT_EQ(sink.seen, c.seen) << c.name << "\n" << sink.seen.join(QLatin1Char('\n')).toStdString();
    }
}

TEST(ListRun, theListAsItStandsWhenEachSymbolIsReachedAndAStopAskedFor)
{
    ListModel list(false);
    list.addColumn(QStringLiteral("Symbols"));
    list.addMany({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
    ScriptedClient http;
    http.answer = [](const QString& s) { return page(s); };
    // While A's page comes, B is removed; while C's comes, C itself is.
    http.during = [&](const QString& s) {
        if (s == QStringLiteral("A"))
            list.remove(2);
        if (s == QStringLiteral("C"))
            list.remove(2);
    };
    ListRun run(&http, QStringLiteral("quotes.test"), SourceChoice::Pages, list);
    Recorder sink;
    run.run(sink);
    EXPECT_EQ(sink.seen, (QStringList{QStringLiteral("1 A: quote"), QStringLiteral("2 D: quote"),
                                      QStringLiteral("end: refused 0 by , too long 0, stopped 0")}));
    ASSERT_FALSE(http.namedAhead.isEmpty());
    EXPECT_EQ(http.namedAhead.first(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}))
        << "the symbol's own page first, then the next as far as the client takes";

    // A sink that says stop ends the run before the next symbol.
    list.clear();
    list.addMany({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    http.during = nullptr;
    ListRun again(&http, QStringLiteral("quotes.test"), SourceChoice::Pages, list);
    Recorder stopping;
    stopping.goOn = [](int position) { return position < 2; };
    again.run(stopping);
    EXPECT_EQ(stopping.seen,
              (QStringList{QStringLiteral("1 A: quote"), QStringLiteral("end: refused 0 by , too long 0, stopped 1")}));
}
