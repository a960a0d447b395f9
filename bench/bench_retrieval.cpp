// A retrieval run of 500 symbols through the real window against a local
// server that answers each request after 5 ms, beside the floor: 500 plain
// sequential requests with the same client and server.
#include "bench_main.h"
#include "platform/qt_http_client.h"
#include "quotes/quote_url.h"
#include "support/quote_page_generator.h"
#include "support/quote_server.h"
#include "support/scripted_dialogs.h"
#include "window/main_window.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTemporaryDir>

using namespace larkspire;

namespace {

// LARKSPIRE_BENCH_SYMBOLS makes the smoke run in the test suite short.
const int kSymbols = qEnvironmentVariableIntValue("LARKSPIRE_BENCH_SYMBOLS") > 0
                         ? qEnvironmentVariableIntValue("LARKSPIRE_BENCH_SYMBOLS")
                         : 500;
constexpr int kDelayMs = 5;

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
    Setup()
    {
        test::PageShape shape;
        shape.symbol = QStringLiteral("BENCH");
        shape.targetBytes = 20 * 1024;
        page = test::makeQuotePage(shape);
        serverThread.start();
        serverContext.moveToThread(&serverThread);
        QMetaObject::invokeMethod(
            &serverContext,
            [this] {
                serverPtr = std::make_unique<test::QuoteServer>([this](const test::Request& r) {
                    test::Response resp;
                    resp.delayMs = kDelayMs;
                    resp.body = page;
                    resp.body.replace("BENCH", test::QuoteServer::symbolOf(r).toUtf8());
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

void BM_FloorPlainRequests(benchmark::State& state)
{
    Setup s;
    for (auto _ : state)
        for (int i = 0; i < kSymbols; ++i)
            benchmark::DoNotOptimize(s.http.get(quoteUrl(s.server().host(), QStringLiteral("S%1").arg(i))));
    state.counters["per_request_ms"] =
        benchmark::Counter(kSymbols, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert) ;
}
BENCHMARK(BM_FloorPlainRequests)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_RetrievalRun(benchmark::State& state)
{
    Setup s;
    Platform p;
    p.dialogs = &s.dialogs;
    p.settingsFolder = s.config.path();
    p.http = &s.http;
    p.quoteHost = s.server().host();
    p.endProgram = [] {};
    MainWindow window(std::move(p));
    if (state.range(0))
        window.show();
    QStringList symbols;
    for (int i = 0; i < kSymbols; ++i)
        symbols << QStringLiteral("S%1").arg(i);
    window.symbolList().addMany(symbols);
    for (auto _ : state) {
        window.retrieveQuotes();
        if (window.resultsList().count() != kSymbols)
            state.SkipWithError("not every symbol gave a row");
    }
    state.counters["per_request_ms"] =
        benchmark::Counter(kSymbols, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RetrievalRun)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

LARKSPIRE_BENCHMARK_MAIN_WITH_APP()
