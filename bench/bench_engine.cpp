// Cost of handling one analyser line in a measurement run, at increasing run lengths (B = C = 11), without
// and with the run's lines kept for the journal.
#include "fakes/Fakes.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

using namespace lorimet;
using namespace lorimet::testing;

namespace {

struct Bench {
    QTemporaryDir dir;
    Configuration config;
    ManualClock clock;
    Display display;
    ScriptedOperator op;
    RecordingLink link;
    std::unique_ptr<Engine> engine;
    double signal = 95;

    RecordingRunSink sink;

    explicit Bench(bool journal = false) {
        config.load(dir.path());
        engine = std::make_unique<Engine>(config, display, op, link, clock, dir.path());
        if (journal)
            engine->setRunSink(&sink); // the run's lines are kept for the journal as they come
        engine->startUp();
        engine->setFilterCycles(11);
        engine->setFilterWindow(11);
        engine->PGoClick();
        feed("под.");
        engine->OxyUpCalibrationClick();
        feed("под.");
        op.gso = [](Engine& e) {
            QString text = QStringLiteral("10");
            e.GSO_NumberExit(text);
            return true;
        };
        engine->CalibrationsClick();
        feed("изм.");
        engine->TimerTimer();
        while (!engine->acquisition().smoothingActive)
            feed("изм.");
    }
    void feed(const char* mode) {
        clock.ms += 500;
        engine->lineAvailable(analyserLine(signal, mode));
    }
    void runTo(int samples) {
        while (engine->acquisition().currentSample < samples) {
            signal -= 0.0004; // a slow steady fall: the run goes on
            feed("изм.");
        }
    }
};

void BM_LineInRun(benchmark::State& state) {
    Bench bench;
    bench.runTo(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        bench.signal -= 0.0004;
        bench.feed("изм.");
    }
    state.counters["sample"] = bench.engine->acquisition().currentSample;
}

// The same with a run sink listening: each line of the run is kept for the journal.
void BM_LineInRunForTheJournal(benchmark::State& state) {
    Bench bench(true);
    bench.runTo(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        bench.signal -= 0.0004;
        bench.feed("изм.");
    }
    state.counters["sample"] = bench.engine->acquisition().currentSample;
}

} // namespace

BENCHMARK(BM_LineInRunForTheJournal)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_LineInRun)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
