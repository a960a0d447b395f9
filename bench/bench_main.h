#pragma once
// Benchmarks that drive the real window run inside a QApplication on the
// offscreen platform.
#include <QApplication>
#include <QStandardPaths>
#include <benchmark/benchmark.h>

#define LARKSPIRE_BENCHMARK_MAIN_WITH_APP()                                                                        \
    int main(int argc, char** argv)                                                                                \
    {                                                                                                              \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                               \
        QStandardPaths::setTestModeEnabled(true);                                                                  \
        QApplication app(argc, argv);                                                                              \
        ::benchmark::Initialize(&argc, argv);                                                                      \
        ::benchmark::RunSpecifiedBenchmarks();                                                                     \
        ::benchmark::Shutdown();                                                                                   \
        return 0;                                                                                                  \
    }
