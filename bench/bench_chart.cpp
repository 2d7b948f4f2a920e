#include "QtBenchmarkMain.h"
#include "app/ChartView.h"
#include "app/CustomPlot.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <benchmark/benchmark.h>

using lorimet::Axis;
using lorimet::ChartView;
using lorimet::Series;

namespace {

constexpr int kPoints = 100000;
constexpr double kSecond = 1.0 / 86400;

// A long run: a signal falling from 95 %нас. and a jittering derivative, whose min/max envelope is the
// costliest thing to draw.
void addSample(ChartView& chart, int i) {
    const double x = i * kSecond;
    chart.addPoint(Series::Signal, x, 95.0 - 60.0 * i / kPoints);
    chart.addPoint(Series::Derivative, x, 0.5 + 0.4 * ((i * 7919) % 100) / 100.0);
}

// 100 000 lines, with the window's events processed every 50 lines as the serial port would deliver them;
// the chart redraws at most every 40 ms on its own.
void BM_AppendWithCoalescedRedraw(benchmark::State& state) {
    for (auto _ : state) {
        ChartView chart(ChartView::Kind::Signal);
        chart.resize(800, 450);
        chart.show();
        chart.setAxisMaximum(Axis::Left, 98);
        chart.setAxisMaximum(Axis::Right, 4);
        for (int i = 0; i < kPoints; ++i) {
            addSample(chart, i);
            if (i % 50 == 49)
                QCoreApplication::processEvents();
        }
        chart.replotNow();
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_AppendWithCoalescedRedraw)->Unit(benchmark::kMillisecond)->Iterations(3);

// One full redraw of a chart that holds 100 000 points in each of its two lines.
void BM_ReplotAt100000Points(benchmark::State& state) {
    ChartView chart(ChartView::Kind::Signal);
    chart.resize(800, 450);
    chart.show();
    chart.setAxisMaximum(Axis::Left, 98);
    chart.setAxisMaximum(Axis::Right, 4);
    for (int i = 0; i < kPoints; ++i)
        addSample(chart, i);
    chart.replotNow();
    for (auto _ : state)
        chart.plot()->replot(QCustomPlot::rpImmediateRefresh);
}
BENCHMARK(BM_ReplotAt100000Points)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runQtBenchmarks<QApplication>(argc, argv);
}
