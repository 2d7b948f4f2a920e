#include "app/ChartView.h"

#include "app/CustomPlot.h"
#include "text/TimeText.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPicture>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace lorimet {

namespace {

constexpr double kSecondsPerDay = 86400.0;
// With a single point the time axis still spans this much, so the first point stands at the left edge.
constexpr double kMinimumTimeSpanDays = 10.0 / kSecondsPerDay;
constexpr double kTemperatureAxisLow = 10.0;
constexpr double kTemperatureAxisHigh = 45.0;

// Defaults until the window applies the configuration: the colours of the configuration's reset values.
const QColor kDefaultPanel(0xC0, 0xC0, 0xC0);
const QColor kDefaultGrid(Qt::black);
const QColor kDefaultSignal(Qt::blue);
const QColor kDefaultDerivative(Qt::red);
const QColor kDefaultTemperature(0x00, 0x80, 0x00);
constexpr int kDefaultWidth = 2;

int seriesIndex(Series series) {
    return static_cast<int>(series);
}

// Elapsed time on the bottom axis: the values are day fractions, the labels "hh:mm:ss", the steps whole
// seconds chosen from the steps a clock face suggests.
class ElapsedTimeTicker : public QCPAxisTicker {
  public:
    explicit ElapsedTimeTicker(const QCPAxis* axis) : axis_(axis) {}

  protected:
    double getTickStep(const QCPRange& range) override {
        static const QVector<double> steps = {1,   2,   5,    10,   15,   20,   30,    60,    120,   300,
                                              600, 900, 1200, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
        // About one label per 75 pixels of axis, and the next step up from that: "hh:mm:ss" labels are wide
        // and must not touch, however narrow the chart.
        const int labels = std::max(2, axis_->axisRect()->width() / 75);
        const double wanted = range.size() * kSecondsPerDay / labels;
        const auto step = std::lower_bound(steps.cbegin(), steps.cend(), wanted);
        if (step == steps.cend())
            return std::ceil(wanted / kSecondsPerDay); // whole days
        return *step / kSecondsPerDay;
    }

    int getSubTickCount(double tickStep) override {
        switch (std::llround(tickStep * kSecondsPerDay)) {
        case 2:
        case 10:
        case 20:
        case 120:
        case 600:
        case 1200:
        case 7200:
            return 1;
        case 15:
        case 30:
        case 900:
        case 1800:
        case 10800:
            return 2;
        case 60:
        case 3600:
            return 3;
        case 5:
        case 300:
            return 4;
        default:
            return 0;
        }
    }

    QString getTickLabel(double tick, const QLocale&, QChar, int) override {
        const qint64 secondsPerDay = static_cast<qint64>(kSecondsPerDay);
        qint64 seconds = std::llround(tick * kSecondsPerDay) % secondsPerDay;
        if (seconds < 0)
            seconds += secondsPerDay;
        return timeText(QTime::fromMSecsSinceStartOfDay(static_cast<int>(seconds * 1000)));
    }

  private:
    const QCPAxis* axis_;
};

QLocale chartLocale() {
    // Decimal comma on every machine, like every other number the program shows.
    QLocale locale(QLocale::Russian, QLocale::Russia);
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

} // namespace

ChartView::ChartView(Kind kind, QWidget* parent)
    : QWidget(parent), kind_(kind), gradientStart_(kDefaultPanel), gradientEnd_(kDefaultPanel),
      gridColour_(kDefaultGrid), seriesColours_{kDefaultSignal, kDefaultDerivative, kDefaultTemperature},
      seriesWidths_{kDefaultWidth, kDefaultWidth, kDefaultWidth} {
    plot_ = new QCustomPlot(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);

    // The window owns the menu: a right click anywhere on the chart reaches it as this widget's request.
    setContextMenuPolicy(Qt::CustomContextMenu);
    plot_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { Q_EMIT customContextMenuRequested(plot_->mapTo(this, pos)); });
    plot_->setInteractions(QCP::Interactions()); // no zoom, no panning, no selection
    plot_->legend->setVisible(false);
    // Nor does it list its curves: a legend that nobody sees would still take an item for each of a
    // protocol file's curves, and each item is found by a walk over all the others.
    plot_->setAutoAddPlottableToLegend(false);
    plot_->setLocale(chartLocale());
    // On screen a line is drawn segment by segment: a noisy envelope of 100 000 points redraws in a few
    // milliseconds instead of over a hundred. Pictures for printing still get whole polylines.
    plot_->setPlottingHint(QCP::phFastPolylines, true);

    replotTimer_.setSingleShot(true);
    replotTimer_.setInterval(kReplotIntervalMs);
    connect(&replotTimer_, &QTimer::timeout, this, [this] {
        prepareDrawing();
        plot_->replot(QCustomPlot::rpQueuedReplot);
    });
    connect(plot_, &QCustomPlot::afterReplot, this, [this] {
        const int spent = static_cast<int>(plot_->replotTime());
        replotTimer_.setInterval(std::max(kReplotIntervalMs, kReplotShare * spent));
    });

    plot_->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new ElapsedTimeTicker(plot_->xAxis)));
    plot_->yAxis2->setVisible(true);
    plot_->yAxis2->grid()->setVisible(false);
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis, plot_->yAxis2})
        axis->grid()->setZeroLinePen(Qt::NoPen);

    if (kind_ == Kind::Signal)
        setUpSignalChart();
    else
        setUpTemperatureChart();

    for (QCPGraph* graph : series_) {
        if (graph)
            graph->setAdaptiveSampling(true); // min/max envelopes once there are more points than pixels
    }
    applyBackground(false);
    applyColours(false);
    updateKeyRange();
}

ChartView::~ChartView() = default;

void ChartView::setUpSignalChart() {
    setObjectName(QStringLiteral("Plotter"));
    plot_->setCursor(Qt::PointingHandCursor);

    title_ = new QCPTextElement(plot_);
    QFont larger = font();
    if (larger.pointSize() > 0)
        larger.setPointSize(larger.pointSize() + 1);
    title_->setFont(larger);
    title_->setVisible(false);

    plot_->xAxis->setLabel(QStringLiteral("Время - T: чч:мм:сс"));
    // The right axis title reads top to bottom, turned by 90°: QCustomPlot's own way for a right axis.
    series_[seriesIndex(Series::Signal)] = plot_->addGraph(plot_->xAxis, plot_->yAxis);
    series_[seriesIndex(Series::Signal)]->setName(QStringLiteral("SignalLine"));
    series_[seriesIndex(Series::Derivative)] = plot_->addGraph(plot_->xAxis, plot_->yAxis2);
    series_[seriesIndex(Series::Derivative)]->setName(QStringLiteral("DerivativeLine"));
    setAxisMaximum(Axis::Left, 0);
    setAxisMaximum(Axis::Right, 0);
}

void ChartView::setUpTemperatureChart() {
    setObjectName(QStringLiteral("TemperaturePlotter"));

    // The T of "Tемпература" is a Latin letter; the title is kept as the operators know it.
    title_ = new QCPTextElement(plot_, QStringLiteral("Сигнал - t: Tемпература °C"));
    QFont small = font();
    if (small.pointSize() > 0)
        small.setPointSize(std::max(6, small.pointSize() - 1));
    title_->setFont(small);
    plot_->plotLayout()->insertRow(0);
    plot_->plotLayout()->addElement(0, 0, title_);
    titleShown_ = true;
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis, plot_->yAxis2}) {
        axis->setTickLabelFont(small);
        axis->setLabelFont(small);
    }
    // The chart is only 100 pixels high: keep the margins to what the labels need.
    plot_->axisRect()->setMinimumMargins(QMargins(30, 2, 30, 2));
    plot_->plotLayout()->setRowSpacing(0);
    plot_->yAxis->setRange(kTemperatureAxisLow, kTemperatureAxisHigh);
    plot_->yAxis2->setRange(kTemperatureAxisLow, kTemperatureAxisHigh);
    for (QCPAxis* axis : {plot_->yAxis, plot_->yAxis2})
        axis->ticker()->setTickCount(3);

    series_[seriesIndex(Series::Temperature)] = plot_->addGraph(plot_->xAxis, plot_->yAxis2);
    series_[seriesIndex(Series::Temperature)]->setName(QStringLiteral("TemperatureTrace"));
}

QCPAxis* ChartView::valueAxis(Axis axis) const {
    return axis == Axis::Left ? plot_->yAxis : plot_->yAxis2;
}

QCPGraph* ChartView::graph(Series series) const {
    return series_[seriesIndex(series)];
}

QCPGraph* ChartView::fileSignalGraph(int pair) const {
    return pair >= 0 && pair < fileCurvePairCount() ? filePairs_[pair].signal : nullptr;
}

QCPGraph* ChartView::fileDerivativeGraph(int pair) const {
    return pair >= 0 && pair < fileCurvePairCount() ? filePairs_[pair].derivative : nullptr;
}

void ChartView::addPoint(Series series, double x, double y) {
    QCPGraph* target = graph(series);
    if (!target)
        return;
    const int index = seriesIndex(series);
    if (thinning_[index].add(x, y))
        thinnedStale_[index] = true;
    else
        target->addData(x, y);
    scheduleReplot();
}

void ChartView::clearSeries(Series series) {
    QCPGraph* target = graph(series);
    if (!target)
        return;
    target->data()->clear();
    thinning_[seriesIndex(series)].clear();
    thinnedStale_[seriesIndex(series)] = false;
    scheduleReplot();
}

int ChartView::pointCount(Series series) const {
    const QCPGraph* target = graph(series);
    return target ? static_cast<int>(thinning_[seriesIndex(series)].received()) : 0;
}

void ChartView::setAxisMaximum(Axis axis, double maximum) {
    if (kind_ != Kind::Signal)
        return;
    axisMaxima_[static_cast<int>(axis)] = maximum;
    valueAxis(axis)->setRange(0, maximum > 0 ? maximum : 1);
    scheduleReplot();
}

double ChartView::axisMaximum(Axis axis) const {
    if (kind_ != Kind::Signal)
        return kTemperatureAxisHigh;
    return axisMaxima_[static_cast<int>(axis)];
}

void ChartView::setAxisTitle(Axis axis, const QString& text) {
    valueAxis(axis)->setLabel(text);
    scheduleReplot();
}

QString ChartView::axisTitle(Axis axis) const {
    return valueAxis(axis)->label();
}

void ChartView::setTitleLines(const QStringList& lines) {
    if (kind_ != Kind::Signal)
        return;
    title_->setText(lines.join(QLatin1Char('\n')));
    // An empty title keeps no row: the chart takes the whole height, as before any run was started.
    const bool show = !lines.isEmpty();
    if (show != titleShown_) {
        if (show) {
            plot_->plotLayout()->insertRow(0);
            plot_->plotLayout()->addElement(0, 0, title_);
        } else {
            plot_->plotLayout()->take(title_);
            plot_->plotLayout()->simplify();
        }
        titleShown_ = show;
    }
    title_->setVisible(show);
    scheduleReplot();
}

QStringList ChartView::titleLines() const {
    if (kind_ == Kind::Signal && !titleShown_)
        return {};
    return title_->text().split(QLatin1Char('\n'));
}

void ChartView::setBackground(const QColor& colour, bool gradient) {
    const QColor other = gradient ? QColor(Qt::white) : colour;
    if (kind_ == Kind::Signal) {
        gradientStart_ = other;
        gradientEnd_ = colour;
    } else {
        gradientStart_ = colour;
        gradientEnd_ = other;
    }
    applyBackground(false);
    scheduleReplot();
}

void ChartView::setGridColour(const QColor& colour) {
    gridColour_ = colour;
    applyColours(false);
    scheduleReplot();
}

void ChartView::setSeriesColour(Series series, const QColor& colour) {
    seriesColours_[seriesIndex(series)] = colour;
    applyColours(false);
    scheduleReplot();
}

QColor ChartView::seriesColour(Series series) const {
    return seriesColours_[seriesIndex(series)];
}

void ChartView::setSeriesWidth(Series series, int width) {
    seriesWidths_[seriesIndex(series)] = std::max(1, width);
    applyColours(false);
    scheduleReplot();
}

int ChartView::seriesWidth(Series series) const {
    return seriesWidths_[seriesIndex(series)];
}

int ChartView::addFileCurvePair(const QVector<double>& x, const QVector<double>& signal,
                                const QVector<double>& derivative) {
    if (kind_ != Kind::Signal)
        return -1;
    FilePair pair;
    pair.signal = plot_->addGraph(plot_->xAxis, plot_->yAxis);
    pair.derivative = plot_->addGraph(plot_->xAxis, plot_->yAxis2);
    // A curve keeps the colour and width it was made with, like the live lines' colours at that moment.
    pair.signal->setPen(seriesPen(Series::Signal, false));
    pair.derivative->setPen(seriesPen(Series::Derivative, false));
    for (QCPGraph* curve : {pair.signal, pair.derivative})
        curve->setAdaptiveSampling(true);
    const int count = static_cast<int>(std::min({x.size(), signal.size(), derivative.size()}));
    pair.signal->setData(x.first(count), signal.first(count));
    pair.derivative->setData(x.first(count), derivative.first(count));
    filePairs_.push_back(pair);
    scheduleReplot();
    return fileCurvePairCount() - 1;
}

void ChartView::appendFileCurvePoint(int pair, double x, double signal, double derivative) {
    if (pair < 0 || pair >= fileCurvePairCount())
        return;
    filePairs_[pair].signal->addData(x, signal);
    filePairs_[pair].derivative->addData(x, derivative);
    scheduleReplot();
}

void ChartView::removeFileCurvePairs() {
    for (const FilePair& pair : filePairs_) {
        plot_->removeGraph(pair.signal);
        plot_->removeGraph(pair.derivative);
    }
    filePairs_.clear();
    scheduleReplot();
}

void ChartView::scheduleReplot() {
    if (!replotTimer_.isActive())
        replotTimer_.start();
}

void ChartView::replotNow() {
    replotTimer_.stop();
    prepareDrawing();
    plot_->replot(QCustomPlot::rpImmediateRefresh);
}

void ChartView::prepareDrawing() {
    for (size_t k = 0; k < thinning_.size(); ++k) {
        if (!thinnedStale_[k] || series_[k] == nullptr)
            continue;
        const std::vector<ThinnedSeries::Point> points = thinning_[k].points();
        QVector<QCPGraphData> data;
        data.reserve(static_cast<qsizetype>(points.size()));
        for (const ThinnedSeries::Point& p : points)
            data.append(QCPGraphData(p.x, p.y));
        const bool sorted = std::is_sorted(data.cbegin(), data.cend(), qcpLessThanSortKey<QCPGraphData>);
        series_[k]->data()->set(data, sorted);
        thinnedStale_[k] = false;
    }
    updateKeyRange();
}

// The time axis follows the data like the value axes follow the engine: from 0 (or an earlier point) to the
// last point.
void ChartView::updateKeyRange() {
    double low = 0;
    double high = 0;
    for (int i = 0; i < plot_->graphCount(); ++i) {
        bool found = false;
        const QCPRange keys = plot_->graph(i)->getKeyRange(found);
        if (!found)
            continue;
        low = std::min(low, keys.lower);
        high = std::max(high, keys.upper);
    }
    plot_->xAxis->setRange(low, std::max(high, low + kMinimumTimeSpanDays));
}

// Lays the chart out for a picture of another size before QCustomPlot draws it, so that the number of time
// labels fits the picture's width and not the widget's. The widget's own layout returns with its next redraw.
void ChartView::layOutFor(int width, int height) {
    prepareDrawing();
    const QRect own = plot_->viewport();
    plot_->setViewport(QRect(0, 0, width, height));
    for (auto phase :
         {QCPLayoutElement::upPreparation, QCPLayoutElement::upMargins, QCPLayoutElement::upLayout})
        plot_->plotLayout()->update(phase);
    plot_->setViewport(own);
}

void ChartView::applyBackground(bool white) {
    if (white || gradientStart_ == gradientEnd_) {
        plot_->setBackground(QBrush(white ? QColor(Qt::white) : gradientStart_));
        return;
    }
    // In object coordinates the gradient stretches over whatever is drawn: the widget, a bitmap or a page.
    QLinearGradient gradient =
        kind_ == Kind::Signal ? QLinearGradient(0, 1, 0, 0) : QLinearGradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectMode);
    gradient.setColorAt(0, gradientStart_);
    gradient.setColorAt(1, gradientEnd_);
    plot_->setBackground(QBrush(gradient));
}

QPen ChartView::seriesPen(Series series, bool monochrome) const {
    const int width = seriesWidths_[seriesIndex(series)];
    if (!monochrome)
        return QPen(seriesColours_[seriesIndex(series)], width);
    // In black and white the derivative is told apart from the signal by its dashes.
    return QPen(Qt::black, width, series == Series::Derivative ? Qt::DashLine : Qt::SolidLine);
}

void ChartView::applyColours(bool monochrome) {
    const QColor ink = monochrome ? QColor(Qt::black) : gridColour_;
    title_->setTextColor(ink);
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis, plot_->yAxis2}) {
        axis->setBasePen(QPen(ink));
        axis->setTickPen(QPen(ink));
        axis->setSubTickPen(QPen(ink));
        axis->setTickLabelColor(ink);
        axis->setLabelColor(ink);
        axis->grid()->setPen(QPen(ink, 0, Qt::DotLine));
    }
    for (int i = 0; i < 3; ++i) {
        if (series_[i])
            series_[i]->setPen(seriesPen(static_cast<Series>(i), monochrome));
    }
    if (monochrome) {
        for (const FilePair& pair : filePairs_) {
            pair.signal->setPen(seriesPen(Series::Signal, true));
            pair.derivative->setPen(seriesPen(Series::Derivative, true));
        }
    }
}

QPixmap ChartView::toPixmap(int width, int height, bool whiteBackground) {
    // The inner plot of a chart that was never shown has no size of its own yet.
    if (width <= 0 || height <= 0) {
        width = this->width();
        height = this->height();
    }
    layOutFor(width, height);
    if (whiteBackground)
        applyBackground(true);
    QPixmap picture = plot_->toPixmap(width, height);
    if (whiteBackground)
        applyBackground(false);
    return picture;
}

void ChartView::render(QPainter* painter, const QRect& target, bool monochrome) {
    if (!painter || !painter->isActive() || !painter->device() || target.isEmpty())
        return;

    // QCustomPlot draws only through its own painter, so the chart is recorded as vector commands and played
    // onto the caller's painter: a printer or a PDF keeps sharp lines and text. A recording plays back at its
    // physical size, scaled by the target's resolution over the screen's; the chart is therefore laid out in
    // screen pixels and comes out filling the target with the proportions it has on screen.
    QPicture recording;
    const double scaleX = double(painter->device()->logicalDpiX()) / recording.logicalDpiX();
    const double scaleY = double(painter->device()->logicalDpiY()) / recording.logicalDpiY();
    const int width = std::max(1, static_cast<int>(std::lround(target.width() / scaleX)));
    const int height = std::max(1, static_cast<int>(std::lround(target.height() / scaleY)));
    layOutFor(width, height);

    // File curves keep their own pens; remember them so black-and-white output can be undone exactly.
    std::vector<std::pair<QPen, QPen>> filePens;
    if (monochrome) {
        for (const FilePair& pair : filePairs_)
            filePens.emplace_back(pair.signal->pen(), pair.derivative->pen());
        applyBackground(true);
        applyColours(true);
    }

    {
        QCPPainter recorder(&recording);
        plot_->toPainter(&recorder, width, height);
    }
    painter->save();
    painter->translate(target.topLeft());
    painter->setClipRect(QRect(QPoint(0, 0), target.size()), Qt::IntersectClip);
    recording.play(painter);
    painter->restore();

    if (monochrome) {
        applyBackground(false);
        applyColours(false);
        for (std::size_t i = 0; i < filePairs_.size(); ++i) {
            filePairs_[i].signal->setPen(filePens[i].first);
            filePairs_[i].derivative->setPen(filePens[i].second);
        }
    }
}

} // namespace lorimet
