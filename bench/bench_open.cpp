// Opening a protocol file of 100 blocks of 1 000 data lines through the engine, with a display that draws
// nothing: reading, parsing, the table rows and the engine's bookkeeping. The parse alone for comparison.
#include "fakes/Fakes.h"

#include "reports/DayProtocol.h"
#include "reports/ProtocolFile.h"
#include "reports/ProtocolText.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

using namespace lorimet;
using namespace lorimet::testing;

namespace {

constexpr int kBlocks = 100;
constexpr int kSamples = 1000;

class OpeningOperator : public ScriptedOperator {
  public:
    QString file;
    std::optional<QString> openFileName(const QString&, const QString&, const QString&) override {
        return file;
    }
};

QStringList bigProtocol() {
    QStringList lines;
    lines.reserve(kBlocks * (kSamples + 5));
    for (int b = 0; b < kBlocks; ++b) {
        lines << QString::number(kSamples);
        for (int i = 0; i < kSamples; ++i)
            lines << dataLine(95 - i * 0.05, 0.001 * (i % 50), i * 0.0000058);
        lines << QStringLiteral("Проба %1").arg(b + 1) << resultLine(12.3456, b % 2 == 1, 7.5, false, 0)
              << temperatureLine(20.46, QStringLiteral("09:40"))
              << timeDateLine(QTime(8, 0).addSecs(b * 600).toString(QStringLiteral("hh:mm:ss")),
                              QStringLiteral("06.12.26 г"));
    }
    return lines;
}

void BM_OpenProtocolFile(benchmark::State& state) {
    QTemporaryDir dir;
    Configuration config;
    config.load(dir.path());
    ManualClock clock;
    Display display;
    OpeningOperator op;
    RecordingLink link;
    Engine engine(config, display, op, link, clock, dir.path());
    engine.startUp();
    op.file = QDir(dir.path()).filePath(QStringLiteral("big.txt"));
    writeProtocolFile(op.file, bigProtocol());
    for (auto _ : state)
        engine.OpenClick();
    if (!op.boxes.isEmpty() || engine.acquisition().probeCounter != kBlocks)
        state.SkipWithError("the file did not open");
    state.counters["lines"] = static_cast<double>(engine.protocolCount());
}

void BM_ParseProtocolText(benchmark::State& state) {
    const QStringList lines = bigProtocol();
    for (auto _ : state)
        benchmark::DoNotOptimize(parseProtocolFile(lines));
}

} // namespace

BENCHMARK(BM_OpenProtocolFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseProtocolText)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
