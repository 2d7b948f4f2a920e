// The client's report of one record: one page written as PDF, for a run of a minute and a half (the example
// day's analysis), of an hour and of five hours; the file's size as a counter.
#include "QtBenchmarkMain.h"
#include "app/journal/RecordReport.h"

#include <QByteArray>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cmath>

using namespace lorimet;

namespace {

// An analysis of n lines, one every 0.5 s, its signal falling along an S curve, with two notes and its
// calibration: a page with everything on it.
recordreport::Input page(int lines) {
    recordreport::Input in;
    journal::Record& r = in.record;
    r.set(u"id", QStringLiteral("0f0e0d0c-1111-2222-3333-444455556666"));
    r.set(u"kind", QStringLiteral("analysis"));
    r.set(u"status", QStringLiteral("completed"));
    r.set(u"finished_at", QStringLiteral("2026-12-06T09:09:17.000+03:00"));
    r.set(u"description", QStringLiteral("Проба 2 (сток, разб. 1:2)"));
    r.set(u"analysis_kind", QStringLiteral("Full"));
    r.set(u"bod_initial", 12.0);
    r.set(u"bod_final", 12.0);
    r.set(u"mean_temperature", 20.4);
    r.set(u"hash", QString(64, u'a'));
    for (int k = 0; k < lines; ++k) {
        const double t = (k - lines / 2.0) / (lines / 8.0);
        const double s = 95 - 14 / (1 + std::exp(-t));
        r.lines.push_back(
            {500 * (k + 1), QString(), s, s, 14 * std::exp(-t) / std::pow(1 + std::exp(-t), 2), 20.4});
    }
    journal::Record c;
    c.set(u"kind", QStringLiteral("calibration"));
    c.set(u"finished_at", QStringLiteral("2026-12-06T09:03:25.000+03:00"));
    c.set(u"certified_value", 10.0);
    in.calibration = c;
    for (int k = 0; k < 2; ++k) {
        journal::Record a;
        a.set(u"kind", QStringLiteral("annotation"));
        a.set(u"corrects", r.text(u"id"));
        a.set(u"note", QStringLiteral("пузырь воздуха в ячейке"));
        a.set(u"invalidates", k == 1);
        in.annotations.push_back(a);
    }
    in.lab = {QStringLiteral("Лаборатория «Аквалаб»"), QStringLiteral("620000, г. Екатеринбург")};
    in.initialRateLine = lines / 4;
    in.finalRateLine = lines - 1;
    return in;
}

void BM_WriteOnePage(benchmark::State& state) {
    const std::vector<recordreport::Input> inputs{page(static_cast<int>(state.range(0)))};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    for (auto _ : state) {
        QString reason;
        if (!recordreport::writePdf(path, inputs, &reason))
            state.SkipWithError(reason.toUtf8().constData());
    }
    state.counters["pdf_bytes"] = static_cast<double>(QFileInfo(path).size());
}
BENCHMARK(BM_WriteOnePage)->Arg(188)->Arg(7200)->Arg(36000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runQtBenchmarks<QGuiApplication>(argc, argv);
}
