// The whole path of a run, measured as a user's machine sees it: a local
// server holds real-shaped pages of today's layout (2 MB each, sent
// gzipped), and processes of their own fetch them:
//  - curl, fetching and inflating the pages, 8 at a time (the yardstick);
//  - the program's --batch run, with its real client, reader and writer;
//  - the real window, 500 symbols;
//  - the --batch run with the service's quote list first (the server gives
//    getcrumb and the list from the same pages' values) beside pages alone,
//    200 symbols over a link of 20 Mbit/s with 50 ms before each answer.
// curl and --batch go at full speed (200 pages) and over a link of 100
// Mbit/s (100 pages) and 20 Mbit/s (40) that the answers share.
// For each: CPU (user + system), minor page faults and peak memory of the
// process, as the kernel counts them (wait4). The server runs in this
// process and is not counted.
#include "batch/batch_run.h"
#include "batch/command_line.h"
#include "core/settings_store.h"
#include "core/stored_values.h"
#include "net/qt_http_client.h"
#include "retrieval/quote_service.h"
#include "support/quote_page_generator.h"
#include "support/quote_server.h"
#include "support/scripted_dialogs.h"
#include "window/main_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace larkspire;

namespace {

constexpr int kPageBytes = 2 << 20;

int pagesFor(int full)
{
    const int smoke = qEnvironmentVariableIntValue("LARKSPIRE_BENCH_SYMBOLS");
    return smoke > 0 ? smoke : full;
}

QString symbolAt(int i) { return QStringLiteral("S%1").arg(i); }

// The pages, made and compressed once, served from a thread of this process.
class PageServer {
public:
    explicit PageServer(int pages)
    {
        for (int i = 0; i < pages; ++i) {
            test::PageShape shape;
            shape.symbol = symbolAt(i);
            shape.targetBytes = kPageBytes;
            shape.seed = unsigned(i % 7 + 1);
            m_gzipped.insert(shape.symbol, test::gzipBytes(test::makeServedTodaysPage(shape)));
            m_listObjects.insert(shape.symbol, test::makeQuoteListObject(shape));
        }
        m_thread.start();
        m_context.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_context,
            [this] {
                m_server = std::make_unique<test::QuoteServer>([this](const test::Request& r) {
                    test::Response resp = answer(r);
                    resp.delayMs = m_delayMs;
                    m_sentBytes += resp.body.size();
                    return resp;
                });
            },
            Qt::BlockingQueuedConnection);
    }
    test::Response answer(const test::Request& r)
    {
                    test::Response resp;
                    if (r.target.startsWith("/v1/test/getcrumb")) {
                        ++m_asked["crumb"];
                        resp.body = "crumb/1.X";
                        return resp;
                    }
                    if (r.target.startsWith("/v7/finance/quote?symbols=")) {
                        ++m_asked["list"];
                        const QByteArray symbols = r.target.mid(26, r.target.indexOf('&') - 26);
                        QList<QByteArray> objects;
                        for (const QByteArray& s : symbols.split('%'))
                            objects << m_listObjects.value(QString::fromUtf8(s.startsWith("2C") ? s.mid(2) : s));
                        objects.removeAll(QByteArray());
                        resp.headers = {{"Content-Type", "application/json;charset=utf-8"},
                                        {"Content-Encoding", "gzip"}};
                        resp.body = test::gzipBytes(test::quoteListAnswer(objects));
                        return resp;
                    }
                    ++m_asked["page"];
                    if (m_hop && r.target.startsWith("/q?s=")) {
                        // As the service does: the quote URL leads to the symbol's own page.
                        resp.status = 301;
                        resp.headers = {{"Location", "/quote/" + r.target.mid(5) + "/"}};
                        return resp;
                    }
                    const QString symbol = r.target.startsWith("/quote/")
                                               ? QString::fromUtf8(QByteArray::fromPercentEncoding(r.target.mid(7).chopped(1)))
                                               : test::QuoteServer::symbolOf(r);
                    resp.headers << qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip"));
                    resp.headers << qMakePair(QByteArray("Set-Cookie"), QByteArray("B=1; Max-Age=3600; Path=/"));
                    resp.body = m_gzipped.value(symbol);
                    if (resp.body.isEmpty())
                        resp.status = 404;
                    return resp;
    }
    ~PageServer()
    {
        QMetaObject::invokeMethod(&m_context, [this] { m_server.reset(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    QString host() const { return m_server->host(); }
    // Quote URLs answered with a redirect to the symbol's own page.
    void setHop(bool hop)
    {
        QMetaObject::invokeMethod(&m_context, [this, hop] { m_hop = hop; }, Qt::BlockingQueuedConnection);
    }
    // The link the answers share, in Mbit/s (0: as fast as the machine goes).
    void setLink(int mbit)
    {
        QMetaObject::invokeMethod(
            &m_context, [this, mbit] { m_server->setLinkBytesPerSecond(qint64(mbit) * 1'000'000 / 8); },
            Qt::BlockingQueuedConnection);
    }
    double gzippedKB() const { return double(m_gzipped.value(symbolAt(0)).size()) / 1024; }
    // Each answer waits this long before it is sent (a link's round trip).
    void setDelay(int ms)
    {
        QMetaObject::invokeMethod(&m_context, [this, ms] { m_delayMs = ms; }, Qt::BlockingQueuedConnection);
    }
    // What was asked (page, crumb, list) and the bytes of the bodies sent, since the last call.
    std::pair<QMap<QByteArray, int>, qint64> takeCounts()
    {
        std::pair<QMap<QByteArray, int>, qint64> counts;
        QMetaObject::invokeMethod(
            &m_context, [&] { counts = {std::exchange(m_asked, {}), std::exchange(m_sentBytes, 0)}; },
            Qt::BlockingQueuedConnection);
        return counts;
    }

private:
    QHash<QString, QByteArray> m_gzipped;
    QHash<QString, QByteArray> m_listObjects;
    QMap<QByteArray, int> m_asked;
    qint64 m_sentBytes = 0;
    int m_delayMs = 0;
    bool m_hop = false;
    QThread m_thread;
    QObject m_context;
    std::unique_ptr<test::QuoteServer> m_server;
};

struct Usage {
    bool ok = false;
    double cpuMs = 0;
    double wallMs = 0;
    long minorFaults = 0;
    double peakMB = 0;
};

// Runs a program to its end and takes what the kernel counted of it. It is
// started by a small process of this program's own (--measure): a process
// started straight from this one, which holds every page, would inherit
// this one's peak memory as its own.
Usage runMeasured(const QStringList& arguments)
{
    QProcess measure;
    measure.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--measure")} + arguments);
    Usage u;
    if (!measure.waitForFinished(600'000))
        return u;
    const QList<QByteArray> figures = measure.readAllStandardOutput().trimmed().split(' ');
    if (figures.size() != 5)
        return u;
    u.ok = figures[0] == "0";
    u.cpuMs = figures[1].toDouble();
    u.minorFaults = figures[2].toLong();
    u.peakMB = figures[3].toDouble() / 1024;
    u.wallMs = figures[4].toDouble();
    return u;
}

// The small measuring process: starts the program, waits for it, and prints
// its exit status, CPU ms, minor faults, peak kB and wall ms.
int measure(char** command)
{
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        execvp(command[0], command);
        _exit(127);
    }
    int status = 0;
    rusage r{};
    if (wait4(pid, &status, 0, &r) != pid)
        return 1;
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double cpuMs =
        double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e3 + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e3;
    const double wallMs = double(end.tv_sec - start.tv_sec) * 1e3 + double(end.tv_nsec - start.tv_nsec) / 1e6;
    std::printf("%d %.1f %ld %ld %.1f\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128, cpuMs, r.ru_minflt,
                r.ru_maxrss, wallMs);
    return 0;
}

// Pages of a run over a link: as many as take a few seconds at its speed.
int pagesOver(int mbit) { return pagesFor(mbit == 0 ? 200 : mbit >= 100 ? 100 : 40); }

// `startup`: the same program's run of one page, whose faults are those of
// starting (libraries, fonts, the window) more than of the page.
void report(benchmark::State& state, const Usage& u, int pages, const Usage& startup = {})
{
    if (!u.ok)
        state.SkipWithError("the run did not fetch every page");
    state.SetIterationTime(u.wallMs / 1e3);
    state.counters["cpu_ms"] = u.cpuMs;
    state.counters["faults_per_page"] = double(u.minorFaults) / pages;
    if (startup.ok && pages > 1)
        state.counters["faults_per_page_past_1st"] = double(u.minorFaults - startup.minorFaults) / (pages - 1);
    state.counters["peak_MB"] = u.peakMB;
    state.counters["pages"] = pages;
}

// One server for every benchmark, with the pages of the longest run.
PageServer& server()
{
    static PageServer s(pagesFor(500));
    return s;
}

QString self() { return QCoreApplication::applicationFilePath(); }

void BM_Curl(benchmark::State& state)
{
    const int mbit = int(state.range(0));
    const int pages = pagesOver(mbit);
    PageServer& s = server();
    s.setLink(mbit);
    s.setHop(false);
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("curl.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return state.SkipWithError("no config file");
    config.write("parallel\nparallel-max = 8\ncompressed\nsilent\nfail\n");
    for (int i = 0; i < pages; ++i)
        config.write("url = \"http://" + s.host().toUtf8() + "/quote?s=" + symbolAt(i).toUtf8() +
                     "\"\noutput = \"/dev/null\"\n");
    config.close();
    for (auto _ : state)
        report(state, runMeasured({QStringLiteral("curl"), QStringLiteral("-K"), config.fileName()}), pages);
    state.counters["sent_KB_per_page"] = s.gzippedKB();
    if (mbit > 0)
        state.counters["link_ms"] = s.gzippedKB() * 1024 * 8 * pages / (mbit * 1e3);
}

void BM_ProgramBatch(benchmark::State& state)
{
    const int mbit = int(state.range(0));
    const int pages = pagesOver(mbit);
    PageServer& s = server();
    s.setLink(mbit);
    s.setHop(state.range(1) != 0);
    s.setDelay(0);
    QTemporaryDir dir;
    auto batch = [&](int count) {
        return runMeasured({self(), QStringLiteral("--measured-batch"), s.host(), QString::number(count),
                            dir.filePath(QStringLiteral("quotes.csv")), QStringLiteral("pages")});
    };
    const Usage startup = batch(1);
    for (auto _ : state)
        report(state, batch(pages), pages, startup);
    if (mbit > 0)
        state.counters["link_ms"] = s.gzippedKB() * 1024 * 8 * pages / (mbit * 1e3);
}

// 200 symbols over 20 Mbit/s with 50 ms before each answer (range 1 = 1)
// or at full speed (0): the quote list first (range 0 = 1) or every page
// (0); a fresh run, whose first page brings the cookie the crumb is asked with.
void BM_QuoteList(benchmark::State& state)
{
    const bool list = state.range(0) != 0;
    const bool slowLink = state.range(1) != 0;
    const int symbols = pagesFor(200);
    PageServer& s = server();
    s.setLink(slowLink ? 20 : 0);
    s.setHop(false);
    s.setDelay(slowLink ? 50 : 0);
    QTemporaryDir dir;
    s.takeCounts();
    for (auto _ : state)
        report(state,
               runMeasured({self(), QStringLiteral("--measured-batch"), s.host(), QString::number(symbols),
                            dir.filePath(QStringLiteral("quotes.csv")),
                            list ? QStringLiteral("auto") : QStringLiteral("pages")}),
               symbols);
    const auto [asked, bytes] = s.takeCounts();
    state.counters["requests_page"] = asked.value("page");
    state.counters["requests_crumb"] = asked.value("crumb");
    state.counters["requests_list"] = asked.value("list");
    state.counters["wire_KB"] = double(bytes) / 1024;
    s.setDelay(0);
}

// Range 0: the quote list first (1) or every page (0).
void BM_ProgramWindow(benchmark::State& state)
{
    const int pages = pagesFor(500);
    PageServer& s = server();
    s.setLink(0);
    s.setHop(false);
    s.setDelay(0);
    const QString source = state.range(0) != 0 ? QStringLiteral("auto") : QStringLiteral("pages");
    auto window = [&](int count) {
        return runMeasured({self(), QStringLiteral("--measured-window"), s.host(), QString::number(count), source});
    };
    const Usage startup = window(1);
    for (auto _ : state)
        report(state, window(pages), pages, startup);
}

// Range 0: the link in Mbit/s, 0 for none.
BENCHMARK(BM_Curl)->ArgName("mbit")->Arg(0)->Arg(100)->Arg(20)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
// Range 1: behind the service's redirect hop, learned from the first page.
BENCHMARK(BM_ProgramBatch)
    ->ArgNames({"mbit", "hop"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({100, 0})
    ->Args({20, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_QuoteList)
    ->ArgNames({"list", "link20mbit50ms"})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_ProgramWindow)->ArgName("list")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

QStringList symbols(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << symbolAt(i);
    return list;
}

// The program's --batch run, as main() sets it up, against the local server.
int measuredBatch(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTemporaryDir settings;
    QtHttpClient http{HttpLimits{}, false};
    http.setServiceRules(quoteServiceRules(kQuoteHost));
    BatchServices services;
    services.http = &http;
    services.quoteHost = args.at(2);
    services.settingsFolder = settings.path();
    services.source = sourceChoiceNamed(args.at(5)).value_or(SourceChoice::Auto);
    const CommandLine cl = parseCommandLine(
        QStringList{QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("csv"),
                    QStringLiteral("--output"), args.at(4)} +
        symbols(args.at(3).toInt()));
    return runBatch(cl, services);
}

// The real window's run of the list, against the local server.
int measuredWindow(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTemporaryDir settings;
    SettingsStore(settings.path()).write(kSettingsApplication, kSettingsSection, kKeyQuoteSource, args.at(4));
    test::ScriptedDialogs dialogs;
    QtHttpClient http{HttpLimits{}, false};
    http.setServiceRules(quoteServiceRules(kQuoteHost));
    Platform p;
    p.dialogs = &dialogs;
    p.settingsFolder = settings.path();
    p.http = &http;
    p.quoteHost = args.at(2);
    p.endProgram = [] {};
    MainWindow window(std::move(p));
    window.show();
    const int count = args.at(3).toInt();
    window.symbolList().addMany(symbols(count));
    window.retrieveQuotes();
    return window.resultsList().count() == count ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--measure") == 0)
        return measure(argv + 2);
    if (argc == 5 && std::strcmp(argv[1], "--measured-window") == 0)
        return measuredWindow(argc, argv);
    if (argc == 6 && std::strcmp(argv[1], "--measured-batch") == 0)
        return measuredBatch(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
