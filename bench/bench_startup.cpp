// The whole start-up of the window with the real online check (the system's
// ping, whatever the network), as the program runs it.
#include "bench_main.h"
#include "platform/online_check.h"
#include "support/scripted_dialogs.h"
#include "window/main_window.h"

#include <QTemporaryDir>

using namespace larkspire;

namespace {

void BM_StartUpWithOnlineCheck(benchmark::State& state)
{
    QTemporaryDir config;
    test::ScriptedDialogs dialogs;
    for (auto _ : state) {
        Platform p;
        p.dialogs = &dialogs;
        p.settingsFolder = config.path();
        p.endProgram = [] {};
        p.onlineCheck = [&dialogs](const QString& title) {
            CaptureOptions options;
            options.pump = [] { QCoreApplication::processEvents(); };
            CheckOnline(dialogs, title, options);
        };
        MainWindow window(std::move(p));
        window.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(window.isVisible());
    }
    state.counters["warnings"] = double(dialogs.messages.size()) / double(state.iterations());
}
BENCHMARK(BM_StartUpWithOnlineCheck)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

LARKSPIRE_BENCHMARK_MAIN_WITH_APP()
