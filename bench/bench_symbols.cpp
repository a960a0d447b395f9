// Loading symbol files into the real symbol list, end to end through the
// window's handler, and storing / restoring a long list through the
// settings store (close, then start).
#include "alloc_counter.h"
#include "bench_main.h"
#include "support/scripted_dialogs.h"
#include "window/main_window.h"

#include <QFile>
#include <QElapsedTimer>
#include <QTemporaryDir>

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

LARKSPIRE_BENCHMARK_MAIN_WITH_APP()
