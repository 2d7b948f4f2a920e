#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <benchmark/benchmark.h>

// main() of a benchmark that paints: offscreen unless told otherwise, with the Qt application `App`
// (QApplication for widgets, QGuiApplication for painting alone) alive while the benchmarks run.
template <typename App> int runQtBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
