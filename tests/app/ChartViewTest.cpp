#include "app/ChartView.h"
#include "app/CustomPlot.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <memory>
#include <set>

using lorimet::Axis;
using lorimet::ChartView;
using lorimet::Series;

namespace {

std::unique_ptr<ChartView> makeChart(ChartView::Kind kind) {
    auto chart = std::make_unique<ChartView>(kind);
    chart->resize(600, kind == ChartView::Kind::Signal ? 400 : 100);
    return chart;
}

bool nearColour(QRgb pixel, const QColor& expected, int tolerance = 8) {
    const QColor actual(pixel);
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

} // namespace

TEST(ChartView, SeriesLandOnTheirChartsAndAxes) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    auto temperature = makeChart(ChartView::Kind::Temperature);
    EXPECT_EQ(plotter->objectName(), "Plotter");
    EXPECT_EQ(temperature->objectName(), "TemperaturePlotter");

    plotter->addPoint(Series::Signal, 0, 95.5);
    plotter->addPoint(Series::Signal, 1.0 / 86400, 95.1);
    plotter->addPoint(Series::Derivative, 0, 0);
    plotter->addPoint(Series::Temperature, 0, 20.5); // not on this chart: ignored
    temperature->addPoint(Series::Temperature, 0, 20.5);
    temperature->addPoint(Series::Signal, 0, 95.5); // likewise

    QCPGraph* signal = plotter->graph(Series::Signal);
    QCPGraph* derivative = plotter->graph(Series::Derivative);
    QCPGraph* trace = temperature->graph(Series::Temperature);
    ASSERT_TRUE(signal && derivative && trace);
    EXPECT_EQ(plotter->graph(Series::Temperature), nullptr);
    EXPECT_EQ(temperature->graph(Series::Signal), nullptr);

    EXPECT_EQ(signal->valueAxis(), plotter->plot()->yAxis);
    EXPECT_EQ(derivative->valueAxis(), plotter->plot()->yAxis2);
    EXPECT_EQ(trace->valueAxis(), temperature->plot()->yAxis2);
    EXPECT_EQ(plotter->plot()->graphCount(), 2);
    EXPECT_EQ(temperature->plot()->graphCount(), 1);

    EXPECT_EQ(signal->dataCount(), 2);
    EXPECT_DOUBLE_EQ(signal->data()->at(1)->key, 1.0 / 86400);
    EXPECT_DOUBLE_EQ(signal->data()->at(1)->value, 95.1);
    EXPECT_EQ(derivative->dataCount(), 1);
    EXPECT_EQ(trace->dataCount(), 1);
    EXPECT_DOUBLE_EQ(trace->data()->at(0)->value, 20.5);
    EXPECT_TRUE(signal->adaptiveSampling());
    EXPECT_TRUE(trace->adaptiveSampling());
}

TEST(ChartView, ClearingEmptiesOnlyThatSeries) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    for (int i = 0; i < 5; ++i) {
        plotter->addPoint(Series::Signal, i / 86400.0, 90 - i);
        plotter->addPoint(Series::Derivative, i / 86400.0, i * 0.1);
    }
    plotter->clearSeries(Series::Signal);
    EXPECT_EQ(plotter->pointCount(Series::Signal), 0);
    EXPECT_EQ(plotter->pointCount(Series::Derivative), 5);
    plotter->addPoint(Series::Signal, 0, 80);
    EXPECT_EQ(plotter->pointCount(Series::Signal), 1);
}

TEST(ChartView, ValueAxesStartAtZeroUpToTheEngineMaximum) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    QCustomPlot* plot = plotter->plot();

    plotter->setAxisMaximum(Axis::Left, 101);
    plotter->setAxisMaximum(Axis::Right, 4);
    EXPECT_DOUBLE_EQ(plotter->axisMaximum(Axis::Left), 101);
    EXPECT_DOUBLE_EQ(plot->yAxis->range().lower, 0);
    EXPECT_DOUBLE_EQ(plot->yAxis->range().upper, 101);
    EXPECT_DOUBLE_EQ(plot->yAxis2->range().upper, 4);

    // Cleared: the engine's maximum is 0 again; the axis cannot show an empty range.
    plotter->setAxisMaximum(Axis::Left, 0);
    EXPECT_DOUBLE_EQ(plotter->axisMaximum(Axis::Left), 0);
    EXPECT_DOUBLE_EQ(plot->yAxis->range().lower, 0);
    EXPECT_GT(plot->yAxis->range().upper, 0);

    auto temperature = makeChart(ChartView::Kind::Temperature);
    temperature->setAxisMaximum(Axis::Right, 100);
    for (QCPAxis* axis : {temperature->plot()->yAxis, temperature->plot()->yAxis2}) {
        EXPECT_DOUBLE_EQ(axis->range().lower, 10);
        EXPECT_DOUBLE_EQ(axis->range().upper, 45);
    }
}

TEST(ChartView, SignalChartLayout) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    QCustomPlot* plot = plotter->plot();
    EXPECT_EQ(plot->xAxis->label(), QString::fromUtf8("Время - T: чч:мм:сс"));
    EXPECT_TRUE(plot->yAxis2->visible());
    EXPECT_FALSE(plot->yAxis2->grid()->visible());
    EXPECT_TRUE(plot->yAxis->grid()->visible());
    EXPECT_FALSE(plot->legend->visible());
    EXPECT_EQ(plot->interactions(), QCP::iRangeDrag | QCP::iRangeZoom);
    EXPECT_EQ(plotter->contextMenuPolicy(), Qt::CustomContextMenu);

    plotter->setAxisTitle(Axis::Left, QString::fromUtf8("Сигнал - S: Кислород %нас."));
    plotter->setAxisTitle(Axis::Right, QString::fromUtf8("Производная - S': Сигнал / Время"));
    EXPECT_EQ(plot->yAxis->label(), QString::fromUtf8("Сигнал - S: Кислород %нас."));
    EXPECT_EQ(plotter->axisTitle(Axis::Right), QString::fromUtf8("Производная - S': Сигнал / Время"));
    plotter->setAxisTitle(Axis::Left, QString());
    EXPECT_TRUE(plot->yAxis->label().isEmpty());
}

TEST(ChartView, RightClickAsksTheWindowForItsMenu) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    QSignalSpy requested(plotter.get(), &QWidget::customContextMenuRequested);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(30, 40), QPoint(30, 40));
    QApplication::sendEvent(plotter->plot(), &event);
    ASSERT_EQ(requested.count(), 1);
    EXPECT_EQ(requested.first().first().toPoint(), QPoint(30, 40));
}

TEST(ChartView, TitleLinesMakeOneTitleRowOrNone) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    QCPLayoutGrid* layout = plotter->plot()->plotLayout();
    EXPECT_TRUE(plotter->titleLines().isEmpty());
    EXPECT_EQ(layout->rowCount(), 1); // the axis rect alone

    const QStringList lines{QString::fromUtf8("Раствор ГСО: аттестованое значение БПК - 2 мг/л"),
                            QString::fromUtf8("Проба №1: река")};
    plotter->setTitleLines(lines);
    EXPECT_EQ(plotter->titleLines(), lines);
    ASSERT_EQ(layout->rowCount(), 2);
    EXPECT_EQ(layout->element(0, 0), plotter->titleElement());
    EXPECT_EQ(plotter->titleElement()->text(), lines.join('\n'));

    plotter->setTitleLines(lines.mid(1));
    EXPECT_EQ(layout->rowCount(), 2);
    EXPECT_EQ(plotter->titleElement()->text(), lines[1]);

    plotter->setTitleLines({});
    EXPECT_TRUE(plotter->titleLines().isEmpty());
    EXPECT_EQ(layout->rowCount(), 1);
    EXPECT_TRUE(layout->element(0, 0) == plotter->plot()->axisRect());
}

TEST(ChartView, TemperatureTitleKeepsItsLatinT) {
    auto temperature = makeChart(ChartView::Kind::Temperature);
    const QString title = temperature->titleElement()->text();
    EXPECT_EQ(title, QString::fromUtf8("Сигнал - t: Tемпература °C"));
    const qsizetype word = title.indexOf(QString::fromUtf8("емпература"));
    ASSERT_GT(word, 0);
    EXPECT_EQ(title.at(word - 1).unicode(), u'T'); // U+0054, not the Cyrillic U+0422
    EXPECT_EQ(temperature->titleLines(), QStringList{title});
    // The engine's title lines belong to the signal chart only.
    temperature->setTitleLines({QStringLiteral("x")});
    EXPECT_EQ(temperature->titleElement()->text(), title);
}

struct GradientCase {
    ChartView::Kind kind;
    bool gradient;
    QColor start;
    QColor end;
};

class ChartGradient : public ::testing::TestWithParam<GradientCase> {};

TEST_P(ChartGradient, FollowsTheGradientSwitch) {
    const GradientCase& c = GetParam();
    auto chart = makeChart(c.kind);
    chart->setBackground(QColor(0, 0, 128), c.gradient);
    EXPECT_EQ(chart->gradientStartColour(), c.start);
    EXPECT_EQ(chart->gradientEndColour(), c.end);

    // Start and end stand where they should: the signal chart starts at the bottom, the temperature chart at
    // the top. Column 1 is background in both charts.
    chart->resize(600, 300);
    const QImage image = chart->toPixmap(600, 300, false).toImage();
    const bool startAtBottom = c.kind == ChartView::Kind::Signal;
    EXPECT_TRUE(nearColour(image.pixel(1, startAtBottom ? 298 : 1), c.start, 12));
    EXPECT_TRUE(nearColour(image.pixel(1, startAtBottom ? 1 : 298), c.end, 12));
}

const QColor kNavy(0, 0, 128);
INSTANTIATE_TEST_SUITE_P(Charts, ChartGradient,
                         ::testing::Values(GradientCase{ChartView::Kind::Signal, true, Qt::white, kNavy},
                                           GradientCase{ChartView::Kind::Signal, false, kNavy, kNavy},
                                           GradientCase{ChartView::Kind::Temperature, true, kNavy, Qt::white},
                                           GradientCase{ChartView::Kind::Temperature, false, kNavy, kNavy}));

TEST(ChartView, GridColourReachesTitleAxesGridAndLabels) {
    for (ChartView::Kind kind : {ChartView::Kind::Signal, ChartView::Kind::Temperature}) {
        auto chart = makeChart(kind);
        const QColor c(0x80, 0x40, 0x10);
        chart->setGridColour(c);
        EXPECT_EQ(chart->titleElement()->textColor(), c);
        QCustomPlot* plot = chart->plot();
        for (QCPAxis* axis : {plot->xAxis, plot->yAxis, plot->yAxis2}) {
            EXPECT_EQ(axis->basePen().color(), c);
            EXPECT_EQ(axis->tickPen().color(), c);
            EXPECT_EQ(axis->grid()->pen().color(), c);
            EXPECT_EQ(axis->tickLabelColor(), c);
            EXPECT_EQ(axis->labelColor(), c);
        }
    }
}

TEST(ChartView, SeriesColoursAndWidths) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    plotter->setSeriesColour(Series::Signal, Qt::darkCyan);
    plotter->setSeriesWidth(Series::Signal, 4);
    plotter->setSeriesColour(Series::Derivative, Qt::magenta);
    plotter->setSeriesWidth(Series::Derivative, 1);
    EXPECT_EQ(plotter->graph(Series::Signal)->pen().color(), QColor(Qt::darkCyan));
    EXPECT_EQ(plotter->graph(Series::Signal)->pen().width(), 4);
    EXPECT_EQ(plotter->graph(Series::Derivative)->pen().color(), QColor(Qt::magenta));
    EXPECT_EQ(plotter->graph(Series::Derivative)->pen().width(), 1);

    auto temperature = makeChart(ChartView::Kind::Temperature);
    temperature->setSeriesColour(Series::Temperature, Qt::darkGreen);
    temperature->setSeriesWidth(Series::Temperature, 3);
    EXPECT_EQ(temperature->graph(Series::Temperature)->pen().color(), QColor(Qt::darkGreen));
    EXPECT_EQ(temperature->graph(Series::Temperature)->pen().width(), 3);
}

TEST(ChartView, FileCurvePairsAreAddedAndRemoved) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    plotter->addPoint(Series::Signal, 0, 50);
    plotter->setSeriesColour(Series::Signal, Qt::blue);
    plotter->setSeriesColour(Series::Derivative, Qt::red);
    plotter->setSeriesWidth(Series::Signal, 3);

    const QVector<double> x{-0.5e-5, 0.5e-5, 1.5e-5};
    EXPECT_EQ(plotter->addFileCurvePair(x, {86.9, 86.5, 86.0}, {0.014, 0.02, 0.03}), 0);
    EXPECT_EQ(plotter->addFileCurvePair(x.mid(0, 2), {90, 89}, {0, 0.01}), 1);
    plotter->appendFileCurvePoint(1, 2.5e-5, 88, 0.02);
    ASSERT_EQ(plotter->fileCurvePairCount(), 2);
    EXPECT_EQ(plotter->plot()->graphCount(), 2 + 4);
    // One legend row per pair, none per curve: with an item per curve, each curve of a long file cost a
    // walk over all the items before it.
    EXPECT_TRUE(plotter->plot()->legend->visible());
    EXPECT_EQ(plotter->plot()->legend->itemCount(), 2);

    QCPGraph* signal0 = plotter->fileSignalGraph(0);
    QCPGraph* derivative0 = plotter->fileDerivativeGraph(0);
    ASSERT_TRUE(signal0 && derivative0);
    EXPECT_EQ(signal0->valueAxis(), plotter->plot()->yAxis);
    EXPECT_EQ(derivative0->valueAxis(), plotter->plot()->yAxis2);
    EXPECT_EQ(signal0->dataCount(), 3);
    EXPECT_DOUBLE_EQ(derivative0->data()->at(0)->value, 0.014);
    EXPECT_EQ(plotter->fileSignalGraph(1)->dataCount(), 3);
    EXPECT_EQ(signal0->pen().width(), 3);

    plotter->removeFileCurvePairs();
    EXPECT_EQ(plotter->fileCurvePairCount(), 0);
    EXPECT_EQ(plotter->fileSignalGraph(0), nullptr);
    EXPECT_EQ(plotter->plot()->graphCount(), 2);
    EXPECT_FALSE(plotter->plot()->legend->visible());
    EXPECT_EQ(plotter->plot()->legend->itemCount(), 0);
    EXPECT_EQ(plotter->pointCount(Series::Signal), 1); // the live line is not part of the file view

    auto temperature = makeChart(ChartView::Kind::Temperature);
    EXPECT_EQ(temperature->addFileCurvePair(x, x, x), -1);
}

TEST(ChartView, TimeAxisShowsElapsedTimeOfDay) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    plotter->addPoint(Series::Signal, 0, 10);
    plotter->addPoint(Series::Signal, 0.5, 20); // twelve hours
    plotter->replotNow();
    const QVector<QString> labels = plotter->plot()->xAxis->tickVectorLabels();
    ASSERT_GE(labels.size(), 2);
    EXPECT_EQ(labels.first(), "00:00:00");
    EXPECT_EQ(labels.last(), "12:00:00");
    EXPECT_DOUBLE_EQ(plotter->plot()->xAxis->range().lower, 0);
    EXPECT_DOUBLE_EQ(plotter->plot()->xAxis->range().upper, 0.5);

    plotter->clearSeries(Series::Signal);
    for (int s = 0; s <= 95; ++s)
        plotter->addPoint(Series::Signal, s / 86400.0, 90);
    plotter->replotNow();
    const QRegularExpression clock(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));
    for (const QString& label : plotter->plot()->xAxis->tickVectorLabels())
        EXPECT_TRUE(clock.match(label).hasMatch()) << label.toStdString();
    EXPECT_TRUE(plotter->plot()->xAxis->tickVectorLabels().contains("00:01:00"));

    // Dragged to before the start: no time of day is made up for the ticks there.
    plotter->plot()->xAxis->setRange(-30 / 86400.0, 30 / 86400.0);
    plotter->replotNow();
    const QVector<double> ticks = plotter->plot()->xAxis->tickVector();
    const QVector<QString> shown = plotter->plot()->xAxis->tickVectorLabels();
    ASSERT_EQ(ticks.size(), shown.size());
    for (qsizetype i = 0; i < ticks.size(); ++i)
        EXPECT_EQ(shown[i].isEmpty(), ticks[i] < 0) << shown[i].toStdString();
}

TEST(ChartView, RedrawsAreCoalesced) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    plotter->show();
    QSignalSpy replots(plotter->plot(), &QCustomPlot::afterReplot);
    QCoreApplication::processEvents();
    replots.clear();

    for (int i = 0; i < 1000; ++i) {
        plotter->addPoint(Series::Signal, i / 86400.0, 90 - i * 0.01);
        plotter->addPoint(Series::Derivative, i / 86400.0, i * 0.001);
        QCoreApplication::processEvents();
    }
    if (replots.isEmpty()) {
        ASSERT_TRUE(replots.wait(2000));
    }
    EXPECT_GE(replots.count(), 1);
    EXPECT_LT(replots.count(), 100);
    // The last redraw shows the last point.
    QCoreApplication::processEvents();
    if (plotter->plot()->xAxis->range().upper < 999 / 86400.0) {
        ASSERT_TRUE(replots.wait(2000));
    }
    EXPECT_DOUBLE_EQ(plotter->plot()->xAxis->range().upper, 999 / 86400.0);
    EXPECT_EQ(plotter->pointCount(Series::Signal), 1000);
}

TEST(ChartView, PicturesForClipboardFilesAndPrinter) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    plotter->setBackground(QColor(200, 0, 0), true);
    for (int i = 0; i <= 60; ++i)
        plotter->addPoint(Series::Signal, i / 86400.0, 90 - i);
    plotter->setAxisMaximum(Axis::Left, 93);

    const QImage white = plotter->toPixmap(320, 240, true).toImage();
    EXPECT_EQ(white.size(), QSize(320, 240));
    EXPECT_TRUE(nearColour(white.pixel(1, 1), Qt::white, 0));
    EXPECT_TRUE(nearColour(white.pixel(1, 238), Qt::white, 0));
    // The picture's white background is for the picture only.
    EXPECT_EQ(plotter->gradientEndColour(), QColor(200, 0, 0));
    const QImage coloured = plotter->toPixmap(0, 0, false).toImage();
    EXPECT_EQ(coloured.size(), plotter->size());
    EXPECT_TRUE(nearColour(coloured.pixel(1, 1), QColor(200, 0, 0), 12));

    const QPen signalPen = plotter->graph(Series::Signal)->pen();
    QImage page(500, 300, QImage::Format_RGB32);
    page.fill(Qt::gray);
    {
        QPainter painter(&page);
        plotter->render(&painter, QRect(50, 20, 400, 260), true);
    }
    EXPECT_TRUE(nearColour(page.pixel(10, 10), Qt::gray, 0)); // outside the target rectangle
    EXPECT_TRUE(nearColour(page.pixel(51, 21), Qt::white, 0));
    EXPECT_TRUE(nearColour(page.pixel(51, 278), Qt::white, 0));
    // Black and white was for the page only.
    EXPECT_EQ(plotter->graph(Series::Signal)->pen(), signalPen);
    EXPECT_EQ(plotter->gradientStartColour(), QColor(Qt::white));

    {
        QPainter painter(&page);
        plotter->render(&painter, QRect(50, 20, 400, 260), false);
    }
    EXPECT_TRUE(nearColour(page.pixel(51, 21), QColor(200, 0, 0), 12));
}

namespace {

// A column in which at least half of the rows are dark: a vertical axis line.
bool hasVerticalLine(const QImage& image, int fromX, int toX) {
    for (int x = fromX; x < toX; ++x) {
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            dark += qGray(image.pixel(x, y)) < 100;
        if (dark > image.height() / 2)
            return true;
    }
    return false;
}

} // namespace

class ChartOnPage : public ::testing::TestWithParam<int> {};

// A page of any resolution gets the whole chart, both value axes inside it, as on the screen.
TEST_P(ChartOnPage, FillsTheTargetWhateverTheResolution) {
    const int dpi = GetParam();
    auto plotter = makeChart(ChartView::Kind::Signal);
    for (int i = 0; i <= 60; ++i)
        plotter->addPoint(Series::Signal, i / 86400.0, 90 - i);
    plotter->setAxisMaximum(Axis::Left, 93);
    plotter->setAxisMaximum(Axis::Right, 3);

    const int width = 8 * dpi; // eight by five inches
    const int height = 5 * dpi;
    QImage page(width + 40, height + 40, QImage::Format_RGB32);
    page.setDotsPerMeterX(qRound(dpi / 0.0254));
    page.setDotsPerMeterY(qRound(dpi / 0.0254));
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        plotter->render(&painter, QRect(20, 20, width, height), true);
    }
    EXPECT_TRUE(hasVerticalLine(page, 20, 20 + width / 4));             // left axis
    EXPECT_TRUE(hasVerticalLine(page, 20 + width * 3 / 4, 20 + width)); // right axis
    EXPECT_FALSE(hasVerticalLine(page, 20 + width + 1, page.width()));  // nothing beyond the target
}

INSTANTIATE_TEST_SUITE_P(Resolutions, ChartOnPage, ::testing::Values(96, 300));

namespace {

double luminance(const QColor& c) {
    return 0.299 * c.redF() + 0.587 * c.greenF() + 0.114 * c.blueF();
}

} // namespace

TEST(ChartView, FileBlocksTakeTheirOwnColoursAndALegendRow) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    const QVector<double> x{0, 1e-5};
    const QStringList descriptions{QStringLiteral("Проба 1"), QStringLiteral("  "), QStringLiteral("Река")};
    for (const QString& d : descriptions)
        plotter->addFileCurvePair(x, {90, 89}, {0, 0.1}, d);
    EXPECT_EQ(plotter->legendTexts(), QStringList({"Проба 1", "Блок 2", "Река"}));
    std::set<QRgb> colours;
    for (int k = 0; k < 3; ++k) {
        const QPen signal = plotter->fileSignalGraph(k)->pen();
        const QPen derivative = plotter->fileDerivativeGraph(k)->pen();
        colours.insert(signal.color().rgb());
        EXPECT_EQ(derivative.color(), signal.color()) << k;
        EXPECT_EQ(signal.style(), Qt::SolidLine) << k;
        EXPECT_EQ(derivative.style(), Qt::DashLine) << k;
    }
    EXPECT_EQ(colours.size(), 3u);

    // The palette repeats; the legend stops at its rows and counts the rest.
    const int blocks = ChartView::kLegendBlocks + 2;
    for (int k = 3; k < blocks; ++k)
        plotter->addFileCurvePair(x, {90, 89}, {0, 0.1}, QStringLiteral("Проба %1").arg(k + 1));
    EXPECT_EQ(plotter->fileSignalGraph(ChartView::kBlockColours)->pen().color(),
              plotter->fileSignalGraph(0)->pen().color());
    const QStringList rows = plotter->legendTexts();
    ASSERT_EQ(rows.size(), ChartView::kLegendBlocks + 1);
    EXPECT_EQ(rows.last(), QStringLiteral("… и ещё 2"));

    // Every colour keeps clear of the background it is drawn on, light or dark.
    for (const QColor& background : {QColor(Qt::white), QColor(0xC0, 0xC0, 0xC0), QColor(0, 0, 0x40)}) {
        plotter->setBackground(background, false);
        for (int k = 0; k < ChartView::kBlockColours; ++k)
            EXPECT_GE(std::abs(luminance(plotter->fileSignalGraph(k)->pen().color()) - luminance(background)),
                      0.3)
                << background.name().toStdString() << " block " << k;
    }
}

namespace {

QPoint plotCentre(const ChartView& chart) {
    return chart.plot()->axisRect()->rect().center();
}

void wheel(QWidget* target, QPoint at) {
    QWheelEvent event(QPointF(at), QPointF(target->mapToGlobal(at)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

void mouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void drag(QWidget* target, QPoint from, QPoint to) {
    mouse(target, QEvent::MouseButtonPress, from, Qt::LeftButton);
    mouse(target, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    mouse(target, QEvent::MouseMove, to, Qt::LeftButton);
    mouse(target, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

struct Ranges {
    QCPRange x, y, y2;
    explicit Ranges(const QCustomPlot* plot)
        : x(plot->xAxis->range()), y(plot->yAxis->range()), y2(plot->yAxis2->range()) {}
    bool operator==(const Ranges& o) const { return x == o.x && y == o.y && y2 == o.y2; }
};

// Where the new range lies in terms of the old one: its start and its size as fractions of the old size.
std::pair<double, double> relative(const QCPRange& before, const QCPRange& after) {
    return {(after.lower - before.lower) / before.size(), after.size() / before.size()};
}

struct GestureCase {
    const char* name;
    ChartView::Kind kind;
    bool drag; // else the wheel
};

class OperatorView : public ::testing::TestWithParam<GestureCase> {};

} // namespace

TEST_P(OperatorView, HoldsWhileLinesArriveUntilADoubleClick) {
    const GestureCase& c = GetParam();
    auto chart = makeChart(c.kind);
    chart->show();
    QCustomPlot* plot = chart->plot();
    const bool signal = c.kind == ChartView::Kind::Signal;
    auto addLines = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            chart->addPoint(signal ? Series::Signal : Series::Temperature, i / 86400.0, 90 - i * 0.1);
            chart->addPoint(Series::Derivative, i / 86400.0, 0.01 * i);
        }
        chart->setAxisMaximum(Axis::Left, 90 + to);
        chart->setAxisMaximum(Axis::Right, 0.01 * to);
        chart->replotNow();
    };
    addLines(0, 60);
    const Ranges automatic(plot);
    EXPECT_EQ(chart->view(), ChartView::View::Automatic);

    const QPoint at = plotCentre(*chart);
    if (c.drag)
        drag(plot, at, at + QPoint(-60, 40));
    else
        wheel(plot, at);
    const Ranges looked(plot);
    EXPECT_EQ(chart->view(), ChartView::View::Operator);
    EXPECT_NE(looked.x, automatic.x);
    EXPECT_NE(looked.y, automatic.y);
    // Both value axes moved alike: the two curves of the signal chart stay where they were to each other.
    const auto left = relative(automatic.y, looked.y);
    const auto right = relative(automatic.y2, looked.y2);
    EXPECT_NEAR(left.first, right.first, 1e-9);
    EXPECT_NEAR(left.second, right.second, 1e-9);

    addLines(60, 120);
    EXPECT_TRUE(Ranges(plot) == looked);
    EXPECT_EQ(chart->pointCount(signal ? Series::Signal : Series::Temperature), 120);

    QTest::mouseDClick(plot, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(chart->view(), ChartView::View::Automatic);
    EXPECT_DOUBLE_EQ(plot->xAxis->range().lower, 0);
    EXPECT_DOUBLE_EQ(plot->xAxis->range().upper, 119 / 86400.0);
    EXPECT_EQ(plot->yAxis->range(), signal ? QCPRange(0, 210) : QCPRange(10, 45));
    EXPECT_EQ(plot->yAxis2->range(), signal ? QCPRange(0, 0.01 * 120) : QCPRange(10, 45));
}

INSTANTIATE_TEST_SUITE_P(
    Gestures, OperatorView,
    ::testing::Values(GestureCase{"SignalWheel", ChartView::Kind::Signal, false},
                      GestureCase{"SignalDrag", ChartView::Kind::Signal, true},
                      GestureCase{"TemperatureWheel", ChartView::Kind::Temperature, false},
                      GestureCase{"TemperatureDrag", ChartView::Kind::Temperature, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChartView, AClickLeavesTheViewAndClearingEndsTheOperatorsView) {
    auto plotter = makeChart(ChartView::Kind::Signal);
    plotter->show();
    for (int i = 0; i < 30; ++i)
        plotter->addPoint(Series::Signal, i / 86400.0, 90);
    plotter->replotNow();
    const QPoint at = plotCentre(*plotter);
    mouse(plotter->plot(), QEvent::MouseButtonPress, at, Qt::LeftButton);
    mouse(plotter->plot(), QEvent::MouseButtonRelease, at, Qt::NoButton);
    EXPECT_EQ(plotter->view(), ChartView::View::Automatic);

    wheel(plotter->plot(), at);
    ASSERT_EQ(plotter->view(), ChartView::View::Operator);
    plotter->clearSeries(Series::Signal); // a new run
    EXPECT_EQ(plotter->view(), ChartView::View::Automatic);
    plotter->addPoint(Series::Signal, 0, 80);
    plotter->replotNow();
    EXPECT_DOUBLE_EQ(plotter->plot()->xAxis->range().lower, 0);

    plotter->addFileCurvePair({0, 1e-4}, {90, 89}, {0, 1});
    wheel(plotter->plot(), at);
    ASSERT_EQ(plotter->view(), ChartView::View::Operator);
    plotter->removeFileCurvePairs(); // the file view ends
    EXPECT_EQ(plotter->view(), ChartView::View::Automatic);
}
