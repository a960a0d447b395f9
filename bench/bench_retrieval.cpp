// Retrieval runs through the real window against a local server that runs
// on a thread of its own and answers each request after a delay: 5 ms (a
// near server, 500 symbols) and 50 ms (a distant one, 200 symbols). Beside
// each, the floors with the same client and server: the same requests one
// after another, and kept 4, 6 or 8 in flight. A distant run also goes
// behind the service's redirect hop, paid once a run. Peak heap of a run is
// printed.
#include "alloc_counter.h"
#include "bench_main.h"
#include "net/qt_http_client.h"
#include "retrieval/quote_service.h"
#include "quotes/quote_url.h"
#include "support/quote_page_generator.h"
#include "support/quote_server.h"
#include "support/scripted_dialogs.h"
#include "window/main_window.h"

#include <QElapsedTimer>
#include <ctime>
#include <QThread>

#include <pthread.h>
#include <QTemporaryDir>

using namespace larkspire;

namespace {

// LARKSPIRE_BENCH_SYMBOLS makes the smoke run in the test suite short.
int symbolsFor(int delayMs)
{
    const int smoke = qEnvironmentVariableIntValue("LARKSPIRE_BENCH_SYMBOLS");
    return smoke > 0 ? smoke : delayMs >= 50 ? 200 : 500;
}

// The server runs on a thread of its own, as a remote server would: the
// window's painting must not hold up its answers.
struct Setup {
    QTemporaryDir config;
    test::ScriptedDialogs dialogs;
    QByteArray page;
    QThread serverThread;
    QObject serverContext;
    std::unique_ptr<test::QuoteServer> serverPtr;
    QtHttpClient http{HttpLimits{}, false};
    // With `hop`, a quote URL is answered by a redirect to the symbol's own
    // page, as the real service does, and each answer pays the delay.
    explicit Setup(int delayMs, bool hop = false)
    {
        http.setServiceRules(quoteServiceRules(kQuoteHost));
        test::PageShape shape;
        shape.symbol = QStringLiteral("BENCH");
        shape.targetBytes = 20 * 1024;
        page = test::makeQuotePage(shape);
        serverThread.start();
        serverContext.moveToThread(&serverThread);
        QMetaObject::invokeMethod(
            &serverContext,
            [this, delayMs, hop] {
                serverPtr = std::make_unique<test::QuoteServer>([this, delayMs, hop](const test::Request& r) {
                    test::Response resp;
                    resp.delayMs = delayMs;
                    if (hop && r.target.startsWith("/q?s=")) {
                        resp.status = 301;
                        resp.headers = {{"Location", "/quote/" + r.target.mid(5) + "/"}};
                        return resp;
                    }
                    const QByteArray symbol = r.target.startsWith("/quote/")
                                                  ? QByteArray::fromPercentEncoding(r.target.mid(7).chopped(1))
                                                  : test::QuoteServer::symbolOf(r).toUtf8();
                    resp.body = page;
                    resp.body.replace("BENCH", symbol);
                    return resp;
                });
            },
            Qt::BlockingQueuedConnection);
    }
    ~Setup()
    {
        QMetaObject::invokeMethod(&serverContext, [this] { serverPtr.reset(); }, Qt::BlockingQueuedConnection);
        serverThread.quit();
        serverThread.wait();
    }
    test::QuoteServer& server() { return *serverPtr; }
};

void setRate(benchmark::State& state, int symbols)
{
    state.counters["per_request_ms"] =
        benchmark::Counter(symbols, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The same requests with the same client, one after another (range 1: 1)
// or kept 4, 6 or 8 in flight, the answers taken in order.
void BM_Floor(benchmark::State& state)
{
    const int delayMs = int(state.range(0));
    const int inFlight = int(state.range(1));
    const int symbols = symbolsFor(delayMs);
    Setup s(delayMs);
    QList<QUrl> urls;
    for (int i = 0; i < symbols; ++i)
        urls << quoteUrl(s.server().host(), QStringLiteral("S%1").arg(i));
    for (auto _ : state) {
        for (int i = 0; i < symbols; ++i) {
            if (inFlight > 1)
                s.http.fetchAhead(urls.mid(i, inFlight));
            benchmark::DoNotOptimize(s.http.get(urls[i]));
        }
    }
    setRate(state, symbols);
}
BENCHMARK(BM_Floor)
    ->ArgNames({"delay_ms", "in_flight"})
    ->Args({5, 1})
    ->Args({5, 4})
    ->Args({50, 1})
    ->Args({50, 4})
    ->Args({50, 6})
    ->Args({50, 8})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

void BM_RetrievalRun(benchmark::State& state)
{
    const int delayMs = int(state.range(0));
    const int symbols = symbolsFor(delayMs);
    Setup s(delayMs, state.range(2) != 0);
    Platform p;
    p.dialogs = &s.dialogs;
    p.settingsFolder = s.config.path();
    p.http = &s.http;
    p.quoteHost = s.server().host();
    p.endProgram = [] {};
    MainWindow window(std::move(p));
    if (state.range(1))
        window.show();
    QStringList list;
    for (int i = 0; i < symbols; ++i)
        list << QStringLiteral("S%1").arg(i);
    window.symbolList().addMany(list);
    long long peak = 0;
    for (auto _ : state) {
        const long long before = bench::heapInUse();
        bench::resetHeapPeak();
        window.retrieveQuotes();
        peak = std::max(peak, bench::heapPeak() - before);
        if (window.resultsList().count() != symbols)
            state.SkipWithError("not every symbol gave a row");
    }
    setRate(state, symbols);
    state.counters["peak_heap_MB"] = double(peak) / (1 << 20);
}
BENCHMARK(BM_RetrievalRun)
    ->ArgNames({"delay_ms", "shown", "hop"})
    ->Args({5, 1, 0})
    ->Args({5, 0, 0})
    ->Args({50, 1, 0})
    ->Args({50, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The client's CPU (user and system of every thread of the process but the
// server's: Qt's HTTP work runs on a thread of its own) for a real-size page,
// 2 MB sent gzipped, over an unlimited link (range 0: 0) and one that
// trickles 4 KB every millisecond (1).
void BM_PageCpu(benchmark::State& state)
{
    const bool trickle = state.range(0) != 0;
    test::PageShape shape;
    shape.layout = test::PageLayout::FetchedData;
    shape.symbol = QStringLiteral("BIG");
    shape.targetBytes = 2 << 20;
    const QByteArray gzipped = test::gzipBytes(test::makeQuotePage(shape));
    QThread thread;
    QObject context;
    std::unique_ptr<test::QuoteServer> server;
    thread.start();
    context.moveToThread(&thread);
    QMetaObject::invokeMethod(
        &context,
        [&] {
            server = std::make_unique<test::QuoteServer>([&](const test::Request&) {
                test::Response r;
                r.headers << qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip"));
                r.body = gzipped;
                if (trickle) {
                    r.trickleBytes = 4 * 1024;
                    r.trickleMs = 1;
                }
                return r;
            });
        },
        Qt::BlockingQueuedConnection);
    clockid_t serverClock{};
    QMetaObject::invokeMethod(
        &context, [&] { pthread_getcpuclockid(pthread_self(), &serverClock); }, Qt::BlockingQueuedConnection);
    auto clientMs = [&] {
        timespec all{}, server{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &all);
        clock_gettime(serverClock, &server);
        return double(all.tv_sec - server.tv_sec) * 1e3 + double(all.tv_nsec - server.tv_nsec) / 1e6;
    };
    QtHttpClient http{HttpLimits{}, false};
    http.setServiceRules(quoteServiceRules(kQuoteHost));
    const QUrl url = quoteUrl(server->host(), QStringLiteral("BIG"));
    const int pages = qEnvironmentVariableIntValue("LARKSPIRE_BENCH_SYMBOLS") > 0 ? 1 : 5;
    double cpuMs = 0;
    for (auto _ : state) {
        const double before = clientMs();
        for (int i = 0; i < pages; ++i)
            if (!http.get(url).ok)
                state.SkipWithError("a page failed");
        cpuMs += (clientMs() - before) / pages;
    }
    state.counters["client_cpu_ms_per_page"] = cpuMs / double(state.iterations());
    state.counters["sent_KB"] = double(gzipped.size()) / 1024;
    QMetaObject::invokeMethod(&context, [&] { server.reset(); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}
BENCHMARK(BM_PageCpu)->ArgNames({"trickle"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

LARKSPIRE_BENCHMARK_MAIN_WITH_APP()
