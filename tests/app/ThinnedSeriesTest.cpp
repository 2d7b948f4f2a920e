#include "app/ThinnedSeries.h"
#include "app/ChartView.h"
#include "app/CustomPlot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace lorimet;

namespace {

// A noisy day-long line with one deep, one-point dip and one one-point spike that must survive any thinning.
double value(long long i) {
    if (i == 777'777)
        return -40;
    if (i == 1'234'567)
        return 140;
    return 90 + 5 * std::sin(i / 5000.0) + ((i * 7919) % 13) * 0.01;
}

} // namespace

TEST(ThinnedSeries, KeepsEveryPointUntilTheLimitThenAFixedBudgetWithTheExtremes) {
    ThinnedSeries series;
    for (long long i = 0; i + 1 < ThinnedSeries::kRawLimit; ++i)
        EXPECT_FALSE(series.add(i, value(i)));
    EXPECT_EQ(series.points().size(), size_t(ThinnedSeries::kRawLimit - 1));

    const long long total = 1'728'000; // a day at 20 lines a second
    for (long long i = ThinnedSeries::kRawLimit - 1; i < total; ++i)
        EXPECT_TRUE(series.add(i, value(i))) << i;
    EXPECT_EQ(series.received(), total);
    const std::vector<ThinnedSeries::Point> points = series.points();
    EXPECT_LE(points.size(), size_t(4 * ThinnedSeries::kRunLimit));
    EXPECT_GT(points.size(), size_t(ThinnedSeries::kRunLimit));
    EXPECT_EQ(points.front().x, 0);
    EXPECT_EQ(points.back().x, total - 1);
    EXPECT_TRUE(std::is_sorted(points.begin(), points.end(), [](auto& a, auto& b) { return a.x < b.x; }));
    EXPECT_TRUE(std::adjacent_find(points.begin(), points.end(),
                                   [](auto& a, auto& b) { return a.x == b.x; }) == points.end());
    auto has = [&](double x, double y) {
        return std::any_of(points.begin(), points.end(), [&](auto& p) { return p.x == x && p.y == y; });
    };
    EXPECT_TRUE(has(777'777, -40));
    EXPECT_TRUE(has(1'234'567, 140));
    // Every drawn point is a point that was added.
    for (size_t k = 0; k < points.size(); k += 97)
        EXPECT_EQ(points[k].y, value(static_cast<long long>(points[k].x))) << k;

    series.clear();
    EXPECT_EQ(series.received(), 0);
    EXPECT_FALSE(series.add(1, 2));
    ASSERT_EQ(series.points().size(), 1u);
}

TEST(ChartView, ADayLongSeriesIsDrawnFromABoundedNumberOfPoints) {
    ChartView plotter(ChartView::Kind::Signal);
    const int total = 200'000;
    for (int i = 0; i < total; ++i)
        plotter.addPoint(Series::Signal, i / 86400.0, i == 150'000 ? 0.5 : 90 + (i % 7) * 0.1);
    plotter.replotNow();
    EXPECT_EQ(plotter.pointCount(Series::Signal), total);
    QCPGraph* line = plotter.graph(Series::Signal);
    EXPECT_LE(line->dataCount(), 4 * ThinnedSeries::kRunLimit);
    EXPECT_DOUBLE_EQ(plotter.plot()->xAxis->range().upper, (total - 1) / 86400.0);
    bool found = false;
    const QCPRange values = line->getValueRange(found);
    EXPECT_DOUBLE_EQ(values.lower, 0.5);
    EXPECT_DOUBLE_EQ(values.upper, 90.6);

    plotter.clearSeries(Series::Signal);
    plotter.addPoint(Series::Signal, 0, 80);
    plotter.replotNow();
    EXPECT_EQ(line->dataCount(), 1);
    EXPECT_EQ(plotter.pointCount(Series::Signal), 1);
}
