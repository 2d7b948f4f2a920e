// The journal's cost for a run of 36 000 lines (30 min at 20 Hz): on the window's thread, handing the
// finished run to the recorder, and for a completed analysis waiting for its commit; on the writer thread,
// the record and its lines committed to SQLite. With LORIMET_BENCH_SERVER set to a server's URL (its schema
// made with lorimet-journal init), also the outbox shipping a backlog of 1 000 records of 20 and of 600
// lines (5 min at 2 Hz) to it.
#include "journal/Outbox.h"
#include "journal/Recorder.h"
#include "journal/Store.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QUuid>
#include <benchmark/benchmark.h>

using namespace lorimet;
using namespace lorimet::journal;

namespace {

constexpr int kLines = 36'000;

FinishedRun longRun() {
    FinishedRun run;
    run.kind = RunKind::Analysis;
    run.startedAt = QDateTime(QDate(2026, 12, 6), QTime(9, 0));
    run.finishedAt = run.startedAt.addSecs(1800);
    run.description = QStringLiteral("Проба 1");
    run.analysisKind = QStringLiteral("Full");
    run.dilution = 1;
    run.bodInitial = 4.2;
    run.bodFinal = 4.4;
    run.filter = {0.3, 3, 5};
    run.lines.reserve(kLines);
    for (int k = 0; k < kLines; ++k)
        run.lines.push_back({k * 50LL,
                             QStringLiteral(" 94.%1 %нас 20.3                       изм.")
                                 .arg(k % 100, 2, 10, QLatin1Char('0')),
                             94.0 + (k % 100) / 100.0, 94.0, 0.012, 20.3});
    return run;
}

// A recorder of its own station into a journal in `dir`.
RecorderOptions scratchRecorder(const QTemporaryDir& dir) {
    RecorderOptions options;
    options.path = dir.filePath(QStringLiteral("lorimet.db"));
    options.station = {QUuid::createUuid().toString(QUuid::WithoutBraces), QStringLiteral("bench"), {}};
    return options;
}

// What the window's thread spends when a run ends: the run moved into the recorder's queue.
void BM_RecorderHandOver(benchmark::State& state) {
    QTemporaryDir dir;
    Recorder recorder(scratchRecorder(dir), [](const QString&) {});
    recorder.waitIdle();
    for (auto _ : state) {
        state.PauseTiming();
        FinishedRun run = longRun();
        state.ResumeTiming();
        recorder.runFinished(std::move(run));
        state.PauseTiming();
        recorder.waitIdle(); // the writer's work is not the window's
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RecorderHandOver)->Unit(benchmark::kMicrosecond)->Iterations(10)->UseRealTime();

// What the window's thread spends when a completed analysis ends: the run handed over, then the wait for its
// commit before the result goes into the day file (so a crash cannot leave it there alone), for a run of
// 36 000 lines and one of 600 (5 min at 2 Hz).
void BM_RecorderKeep(benchmark::State& state) {
    QTemporaryDir dir;
    Recorder recorder(scratchRecorder(dir), [](const QString&) {});
    recorder.waitIdle();
    for (auto _ : state) {
        state.PauseTiming();
        FinishedRun run = longRun();
        run.lines.resize(static_cast<size_t>(state.range(0)));
        state.ResumeTiming();
        recorder.runFinished(std::move(run));
        recorder.waitKept();
    }
}
BENCHMARK(BM_RecorderKeep)
    ->Arg(kLines)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->UseRealTime();

// What the writer thread spends on the same run: the record made, chained and committed with its lines.
void BM_StoreAppend(benchmark::State& state) {
    QTemporaryDir dir;
    QString error;
    auto store = Store::openSqlite(dir.filePath(QStringLiteral("lorimet.db")), error);
    RecorderOptions options;
    options.station = {QUuid::createUuid().toString(QUuid::WithoutBraces), QStringLiteral("bench"), {}};
    const FinishedRun run = longRun();
    for (auto _ : state) {
        Record record = recordOf(run, options);
        if (store->append(record, error) != AppendResult::Added)
            state.SkipWithError(error.toStdString().c_str());
    }
}
BENCHMARK(BM_StoreAppend)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// A backlog of 1 000 records shipped from the local journal to the server: what a station that was cut off
// for a few days sends when the server is back.
void BM_ShipBacklog(benchmark::State& state) {
    const QString server = qEnvironmentVariable("LORIMET_BENCH_SERVER");
    if (server.isEmpty()) {
        state.SkipWithError("LORIMET_BENCH_SERVER names no server");
        return;
    }
    QString error;
    auto remote = Store::openServer(server, false, error);
    if (!remote) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    FinishedRun run = longRun();
    run.lines.resize(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto local = Store::openSqlite(dir.filePath(QStringLiteral("lorimet.db")), error);
        RecorderOptions options;
        options.station = {QUuid::createUuid().toString(QUuid::WithoutBraces), QStringLiteral("bench"), {}};
        for (int k = 0; k < 1000; ++k) {
            Record record = recordOf(run, options);
            local->append(record, error);
        }
        state.ResumeTiming();
        const ShipOutcome outcome = shipWaiting(*local, *remote, server);
        if (!outcome.ok || outcome.shipped != 1000)
            state.SkipWithError(outcome.error.toStdString().c_str());
    }
}
BENCHMARK(BM_ShipBacklog)->Arg(20)->Arg(600)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
