// Loading symbol files into the real symbol list, end to end through the
// window's handler: as a user does it, once in a program just started (each
// load in a process of its own), and again and again in one process; and
// storing / restoring a long list through the settings store (close, then
// start).
#include "alloc_counter.h"
#include "bench_main.h"
#include "support/scripted_dialogs.h"
#include "window/main_window.h"

#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

using namespace larkspire;

namespace {

struct Fixture {
    QTemporaryDir config;
    QTemporaryDir data;
    test::ScriptedDialogs dialogs;
    Platform platform()
    {
        Platform p;
        p.dialogs = &dialogs;
        p.settingsFolder = config.path();
        p.programFolder = data.path();
        p.endProgram = [] {};
        return p;
    }
    QString symbolFile(int lines)
    {
        const QString path = data.filePath(QStringLiteral("symbols-%1.txt").arg(lines));
        if (!QFile::exists(path)) {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            QByteArray chunk;
            for (int i = 0; i < lines; ++i) {
                chunk += "SYM" + QByteArray::number(i) + ".OL\r\n";
                if (chunk.size() > (1 << 20)) {
                    f.write(chunk);
                    chunk.clear();
                }
            }
            f.write(chunk);
        }
        return path;
    }
};

void BM_LoadSymbolFile(benchmark::State& state)
{
    Fixture fx;
    const QString path = fx.symbolFile(int(state.range(0)));
    long long peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto window = std::make_unique<MainWindow>(fx.platform());
        window->show();
        QCoreApplication::processEvents();
        fx.dialogs.openAnswers = {path};
        state.ResumeTiming();
        peak = std::max(peak, bench::peakExtraBytes([&] {
            window->loadSymbolFiles();
            QCoreApplication::processEvents(); // the repaint that follows
        }));
        state.PauseTiming();
        if (window->symbolList().count() != state.range(0))
            state.SkipWithError("not every line arrived");
        window.reset();
        state.ResumeTiming();
    }
    state.counters["peak_extra_MB"] = double(peak) / 1e6;
}
BENCHMARK(BM_LoadSymbolFile)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One load in a window of a program just started: what the allocator has
// kept of earlier loads does not help it.
int loadOnce(const QString& path, int lines)
{
    Fixture fx;
    MainWindow window(fx.platform());
    window.show();
    QCoreApplication::processEvents();
    fx.dialogs.openAnswers = {path};
    QElapsedTimer t;
    t.start();
    const long long peak = bench::peakExtraBytes([&] {
        window.loadSymbolFiles();
        QCoreApplication::processEvents();
    });
    const double ms = double(t.nsecsElapsed()) / 1e6;
    std::printf("%.3f %lld\n", ms, peak);
    return window.symbolList().count() == lines ? 0 : 1;
}

void BM_LoadSymbolFileFreshProgram(benchmark::State& state)
{
    Fixture fx;
    const QString path = fx.symbolFile(int(state.range(0)));
    double peak = 0;
    for (auto _ : state) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--load-once"), path, QString::number(state.range(0))});
        const bool done = child.waitForFinished(300'000);
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        if (!done || child.exitCode() != 0 || figures.size() != 2) {
            state.SkipWithError("the load did not bring every line");
            break;
        }
        state.SetIterationTime(figures[0].toDouble() / 1e3);
        peak = std::max(peak, figures[1].toDouble());
    }
    state.counters["peak_extra_MB"] = peak / 1e6;
}
BENCHMARK(BM_LoadSymbolFileFreshProgram)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

void BM_StoreAndRestoreSymbols(benchmark::State& state)
{
    Fixture fx;
    QStringList symbols;
    for (int i = 0; i < state.range(0); ++i)
        symbols << QStringLiteral("SYM%1.OL").arg(i);
    double storeSeconds = 0, restoreSeconds = 0;
    for (auto _ : state) {
        auto window = std::make_unique<MainWindow>(fx.platform());
        window->symbolList().clear();
        window->symbolList().addMany(symbols);
        QElapsedTimer t;
        t.start();
        window->close(); // stores the list
        storeSeconds += t.nsecsElapsed() / 1e9;
        window.reset();
        t.restart();
        window = std::make_unique<MainWindow>(fx.platform()); // restores it
        restoreSeconds += t.nsecsElapsed() / 1e9;
        if (window->symbolList().count() != state.range(0))
            state.SkipWithError(qPrintable(QStringLiteral("the list did not come back whole: %1 %2").arg(window->symbolList().count()).arg(fx.dialogs.messageTexts().join(QLatin1Char('|')))));
    }
    state.counters["store_s"] = benchmark::Counter(storeSeconds, benchmark::Counter::kAvgIterations);
    state.counters["restore_s"] = benchmark::Counter(restoreSeconds, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StoreAndRestoreSymbols)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--load-once") == 0)
        return loadOnce(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
