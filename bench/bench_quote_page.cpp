// The whole parse of one quote page (clean, title, eight cells) against a
// straightforward baseline that uses Qt's case-insensitive indexOf for every
// search, on realistic synthetic pages of 0.1 to 10 MB of the 2018 layout,
// and on 2.5 MB pages of today's layout (figures in an embedded fetch): a
// synthetic one and one shaped as served. Each parse gets its own copy of the
// page, as the reader does from the client, made outside the timing.
#include "alloc_counter.h"
#include "quotes/quote_page.h"
#include "quotes/quote_reading.h"
#include "support/quote_page_generator.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>

using namespace larkspire;

namespace {

const QString& pageOfSize(int bytes)
{
    static std::map<int, QString> pages;
    auto it = pages.find(bytes);
    if (it == pages.end()) {
        test::PageShape shape;
        shape.targetBytes = bytes;
        it = pages.emplace(bytes, QString::fromUtf8(test::makeQuotePage(shape))).first;
    }
    return it->second;
}

const QString& fetchedDataPage()
{
    static const QString page = [] {
        test::PageShape shape;
        shape.layout = test::PageLayout::FetchedData;
        shape.targetBytes = 2'500'000;
        return QString::fromUtf8(test::makeQuotePage(shape));
    }();
    return page;
}

// A page shaped as served: many scripts, stylesheet, icons, indented lines.
const QString& servedPage()
{
    static const QString page = [] {
        test::PageShape shape;
        shape.targetBytes = 2'500'000;
        return QString::fromUtf8(test::makeServedTodaysPage(shape));
    }();
    return page;
}

// The page as the reader gets it from the client: its own, which it may
// clean where it stands. Made outside the timing.
QString ownCopy(const QString& page)
{
    QString copy = page;
    copy.detach();
    return copy;
}

const NumberFormats& formats()
{
    static const NumberFormats f{QLocale(QLocale::English, QLocale::UnitedStates)};
    return f;
}

int parse(QString body)
{
    const QuotePage page(CleanQuotePage(std::move(body)));
    const QuoteTitle title = FindQuoteTitle(page.text(), QStringLiteral("AAPL"));
    int filled = title.Name ? 1 : 0;
    for (const QuoteCell& cell : QuoteCellTable)
        if (QuoteCellValue(page, cell, formats()))
            ++filled;
    return filled;
}

// The same work with Qt's own searches.
std::optional<QString> baselineRaw(const QString& page, qsizetype from, const QString& key)
{
    const QString marker = key + QStringLiteral("\":{\"raw\":");
    const qsizetype at = page.indexOf(marker, from, Qt::CaseInsensitive);
    if (at < 0)
        return std::nullopt;
    const qsizetype start = at + marker.size();
    const qsizetype end = page.indexOf(QStringLiteral(",\"fmt\":"), start, Qt::CaseInsensitive);
    if (end < 0)
        return std::nullopt;
    return page.mid(start, end - start);
}

int parseBaseline(QString page)
{
    page.remove(QLatin1Char('\t'));
    page.remove(QLatin1Char('\r'));
    page.remove(QLatin1Char('\n'));
    const QString marker = QStringLiteral("<title>AAPL : Summary for ");
    int filled = 0;
    const qsizetype at = page.indexOf(marker, 0, Qt::CaseInsensitive);
    if (at >= 0 && page.indexOf(QStringLiteral("- Yahoo Finance"), at + marker.size(), Qt::CaseInsensitive) >= 0)
        ++filled;
    const qsizetype store = std::max<qsizetype>(
        0, page.indexOf(QStringLiteral("\"QuoteSummaryStore\":{"), 0, Qt::CaseInsensitive));
    for (const QuoteCell& cell : QuoteCellTable)
        if (baselineRaw(page, store, QString::fromLatin1(cell.key)))
            ++filled;
    return filled;
}

// Today's layout: the 2018 title is looked for first, then the later title
// and the page's own quoteSummary fetch.
int parseLater(QString body)
{
    const QuotePage page(CleanQuotePage(std::move(body)));
    const QuoteReading reading = ReadQuotePage(page, QStringLiteral("AAPL"));
    int filled = reading.title.Name ? 1 : 0;
    for (const QuoteCell& cell : QuoteCellTable)
        if (QuoteCellValue(reading.figures, cell, formats()))
            ++filled;
    return filled;
}

int parseLaterBaseline(QString page)
{
    page.remove(QLatin1Char('\t'));
    page.remove(QLatin1Char('\r'));
    page.remove(QLatin1Char('\n'));
    if (page.indexOf(QStringLiteral("<title>AAPL : Summary for "), 0, Qt::CaseInsensitive) >= 0)
        return 0;
    int filled = 0;
    const qsizetype open = page.indexOf(QStringLiteral("<title>"), 0, Qt::CaseInsensitive);
    const qsizetype close = page.indexOf(QStringLiteral("</title>"), open, Qt::CaseInsensitive);
    if (open >= 0 && close > open && page.mid(open, close - open).contains(QStringLiteral("(AAPL)")))
        ++filled;
    const qsizetype at = page.indexOf(QStringLiteral("data-url=\"https://query1.finance.yahoo.com/v10/finance/quoteSummary/AAPL?"),
                                      0, Qt::CaseInsensitive);
    const qsizetype bodyAt = page.indexOf(QStringLiteral("\"body\":\""), at, Qt::CaseInsensitive);
    const qsizetype end = page.indexOf(QStringLiteral("</script>"), at, Qt::CaseInsensitive);
    if (at < 0 || bodyAt < 0 || end < 0)
        return filled;
    const auto json = DecodeJsonString(page, bodyAt + 7);
    if (!json)
        return filled;
    const qsizetype price = json->indexOf(QStringLiteral("\"price\":{"), 0, Qt::CaseInsensitive);
    const QString object = json->mid(price, JsonValueLength(*json, price + 8) + 8);
    for (const QuoteCell& cell : QuoteCellTable)
        if (baselineRaw(object, 0, QString::fromLatin1(cell.key)))
            ++filled;
    return filled;
}

using Parser = int (*)(QString);

void run(benchmark::State& state, const QString& page, Parser fn)
{
    for (auto _ : state) {
        state.PauseTiming();
        QString copy = ownCopy(page);
        state.ResumeTiming();
        benchmark::DoNotOptimize(fn(std::move(copy)));
    }
    if (fn(ownCopy(page)) != 9)
        state.SkipWithError("the page did not give a name and eight figures");
    QString copy = ownCopy(page);
    const long long peak = bench::peakExtraBytes([&] { benchmark::DoNotOptimize(fn(std::move(copy))); });
    state.counters["page_MB"] = page.size() / 1e6;
    state.counters["peak_extra_x_page"] = double(peak) / double(page.toUtf8().size());
    state.SetBytesProcessed(int64_t(state.iterations()) * page.size());
}

void BM_Parse(benchmark::State& state) { run(state, pageOfSize(int(state.range(0))), parse); }
void BM_ParseBaselineQtIndexOf(benchmark::State& state) { run(state, pageOfSize(int(state.range(0))), parseBaseline); }
void BM_ParseTodaysLayout(benchmark::State& state) { run(state, fetchedDataPage(), parseLater); }
void BM_ParseTodaysLayoutBaselineQtIndexOf(benchmark::State& state) { run(state, fetchedDataPage(), parseLaterBaseline); }
void BM_ParseTodaysLayoutServed(benchmark::State& state) { run(state, servedPage(), parseLater); }
void BM_ParseTodaysLayoutServedBaselineQtIndexOf(benchmark::State& state)
{
    run(state, servedPage(), parseLaterBaseline);
}

// One memmem pass over the served page's bytes for a text it does not hold:
// the speed of memory, the measure the served page's parse is held to.
void BM_MemmemPassServed(benchmark::State& state)
{
    const QByteArray bytes = servedPage().toUtf8();
    static const char needle[] = "/v10/finance/quoteSummary/NONE?";
    for (auto _ : state)
        benchmark::DoNotOptimize(memmem(bytes.constData(), size_t(bytes.size()), needle, sizeof needle - 1));
    state.counters["page_MB"] = double(bytes.size()) / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

} // namespace

BENCHMARK(BM_MemmemPassServed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseTodaysLayout)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseTodaysLayoutBaselineQtIndexOf)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseTodaysLayoutServed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseTodaysLayoutServedBaselineQtIndexOf)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Parse)->Arg(100'000)->Arg(1'000'000)->Arg(2'000'000)->Arg(10'000'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseBaselineQtIndexOf)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Arg(2'000'000)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
