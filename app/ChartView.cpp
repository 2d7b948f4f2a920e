#include "app/ChartView.h"

#include "app/CustomPlot.h"
#include "text/TimeText.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPicture>
#include <QScopedValueRollback>
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

// The blocks of a shown protocol file, told apart by colour: ten hues, dark and saturated enough to read on
// the white-to-grey backgrounds the charts are usually set to, none of them light like yellow or cyan. A
// background set dark gets the same hues lightened.
const std::array<QColor, ChartView::kBlockColours> kBlockColoursOnLight = {
    QColor(0x1F, 0x4E, 0xD0), QColor(0xD0, 0x1E, 0x1E), QColor(0x14, 0x80, 0x14), QColor(0x8E, 0x2B, 0xB8),
    QColor(0xC0, 0x5A, 0x00), QColor(0x00, 0x7C, 0x88), QColor(0x7A, 0x45, 0x14), QColor(0xC2, 0x18, 0x5B),
    QColor(0x55, 0x66, 0x00), QColor(0x00, 0x00, 0x00)};
const std::array<QColor, ChartView::kBlockColours> kBlockColoursOnDark = {
    QColor(0x7A, 0xAA, 0xFF), QColor(0xFF, 0x6E, 0x6E), QColor(0x70, 0xE0, 0x70), QColor(0xD2, 0x95, 0xFF),
    QColor(0xFF, 0xB0, 0x50), QColor(0x50, 0xD8, 0xE6), QColor(0xE0, 0xB4, 0x84), QColor(0xFF, 0x86, 0xC0),
    QColor(0xD4, 0xE1, 0x57), QColor(0xFF, 0xFF, 0xFF)};

bool isDark(const QColor& colour) {
    return 0.299 * colour.redF() + 0.587 * colour.greenF() + 0.114 * colour.blueF() < 0.45;
}

QColor blockColour(int block, const QColor& background) {
    const auto& palette = isDark(background) ? kBlockColoursOnDark : kBlockColoursOnLight;
    return palette[static_cast<size_t>(block) % palette.size()];
}

// A description wider than this is cut with an ellipsis: the legend lies over the curves.
constexpr int kLegendTextWidth = 170;
constexpr int kLegendAlpha = 215;
constexpr int kDoubleClickHintAlpha = 200;

// One row of the file legend: the block's signal line above its dashed derivative line, both with the
// curves' own pens (so black-and-white output shows black ones), then the description. Without curves it
// is a row of text alone.
class BlockLegendItem : public QCPAbstractLegendItem {
  public:
    BlockLegendItem(QCPLegend* legend, const QString& text, QCPGraph* signal = nullptr,
                    QCPGraph* derivative = nullptr)
        : QCPAbstractLegendItem(legend), text_(text), signal_(signal), derivative_(derivative) {}

    QString text() const { return text_; }
    void setText(const QString& text) { text_ = text; }

  protected:
    void draw(QCPPainter* painter) override {
        const QRect area = mRect;
        int textLeft = area.left();
        if (signal_ && derivative_) {
            const QSize icon = mParentLegend->iconSize();
            const QRect box(area.left(), area.center().y() - icon.height() / 2, icon.width(), icon.height());
            painter->setAntialiasing(true);
            painter->setPen(signal_->pen());
            painter->drawLine(QLineF(box.left(), box.top() + box.height() * 0.25, box.right(),
                                     box.top() + box.height() * 0.25));
            painter->setPen(derivative_->pen());
            painter->drawLine(QLineF(box.left(), box.top() + box.height() * 0.8, box.right(),
                                     box.top() + box.height() * 0.8));
            textLeft += icon.width() + mParentLegend->iconTextPadding();
        }
        painter->setFont(mFont);
        painter->setPen(QPen(mTextColor));
        const QRect textArea(textLeft, area.top(), area.right() - textLeft + 1, area.height());
        painter->drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter, shownText());
    }

    QSize minimumOuterSizeHint() const override {
        const QFontMetrics metrics(mFont);
        QSize size(metrics.horizontalAdvance(shownText()), metrics.height());
        if (signal_ && derivative_) {
            const QSize icon = mParentLegend->iconSize();
            size.rwidth() += icon.width() + mParentLegend->iconTextPadding();
            size.setHeight(std::max(size.height(), icon.height()));
        }
        return size + QSize(mMargins.left() + mMargins.right(), mMargins.top() + mMargins.bottom());
    }

  private:
    QString shownText() const {
        return QFontMetrics(mFont).elidedText(text_, Qt::ElideRight, kLegendTextWidth);
    }

    QString text_;
    QCPGraph* signal_;
    QCPGraph* derivative_;
};

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
        // Before the start of a run there is no time to tell; the operator gets there only by dragging.
        const qint64 elapsed = std::llround(tick * kSecondsPerDay);
        if (elapsed < 0)
            return QString();
        const qint64 seconds = elapsed % static_cast<qint64>(kSecondsPerDay);
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
    // Curves are never listed one by one: an item per curve of a file of thousands of blocks, each found by
    // a walk over all the others, cost more than reading the file. The file legend has rows of its own.
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
    setUpInteraction();
    setUpLegend();

    for (QCPGraph* graph : series_) {
        if (graph)
            graph->setAdaptiveSampling(true); // min/max envelopes once there are more points than pixels
    }
    applyBackground(false);
    applyColours(false);
    applyAutomaticRanges();
}

ChartView::~ChartView() = default;

void ChartView::setUpInteraction() {
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom); // no selection
    QCPAxisRect* rect = plot_->axisRect();
    const QList<QCPAxis*> time{plot_->xAxis};
    const QList<QCPAxis*> values{plot_->yAxis, plot_->yAxis2};
    rect->setRangeDragAxes(time, values);
    rect->setRangeZoomAxes(time, values);
    rect->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    rect->setRangeZoom(Qt::Horizontal | Qt::Vertical);

    // The chart's own moves are fenced off by settingRanges_; whatever else moves an axis is the operator's
    // wheel or drag. A click that moves nothing leaves the view automatic.
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis, plot_->yAxis2})
        connect(axis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
            if (!settingRanges_)
                enterOperatorView();
        });
    connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent* event) {
        if (event->button() == Qt::LeftButton)
            showAutomaticView();
    });

    viewHint_ = new QCPItemText(plot_);
    viewHint_->setLayer(QStringLiteral("legend")); // above every curve, file curves added later included
    viewHint_->setClipToAxisRect(true);
    viewHint_->position->setType(QCPItemPosition::ptAxisRectRatio);
    viewHint_->position->setCoords(0.005, 0.015);
    viewHint_->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    viewHint_->setPadding(QMargins(4, 1, 4, 1));
    viewHint_->setText(QStringLiteral("Двойной щелчок — автомасштаб"));
    viewHint_->setSelectable(false);
    QFont small = font();
    if (small.pointSize() > 0)
        small.setPointSize(std::max(6, small.pointSize() - 1));
    viewHint_->setFont(small);
    viewHint_->setVisible(false);
}

void ChartView::setUpLegend() {
    QCPLegend* legend = plot_->legend;
    legend->setVisible(false);
    legend->setSelectableParts(QCPLegend::spNone);
    QFont small = font();
    if (small.pointSize() > 0)
        small.setPointSize(std::max(6, small.pointSize() - 1));
    legend->setFont(small);
    legend->setIconSize(26, 14);
    legend->setIconTextPadding(5);
    legend->setRowSpacing(0);
    legend->setMargins(QMargins(5, 3, 5, 3));
    // Bottom right is where a run's curves usually leave room: the signals have levelled off above it and
    // the derivatives have fallen to the axis below it.
    plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignBottom | Qt::AlignRight);
}

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
    returnToAutomaticView();
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
    if (view_ == View::Automatic) {
        const QScopedValueRollback<bool> own(settingRanges_, true);
        valueAxis(axis)->setRange(0, maximum > 0 ? maximum : 1);
    }
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
                                const QVector<double>& derivative, const QString& description) {
    if (kind_ != Kind::Signal)
        return -1;
    const int index = fileCurvePairCount();
    FilePair pair;
    pair.signal = plot_->addGraph(plot_->xAxis, plot_->yAxis);
    pair.derivative = plot_->addGraph(plot_->xAxis, plot_->yAxis2);
    // A pair's colour is its block's; the signal keeps the width in force when it is made. The derivative
    // is dashed, as in black and white, so that the two curves of one colour are still told apart, and a
    // pixel wide: a wider dashed line is stroked dash by dash, and a file of a hundred blocks then took
    // eight times as long to redraw, on every step of a drag.
    const QColor colour = blockColour(index, gradientEnd_);
    pair.signal->setPen(QPen(colour, seriesWidths_[seriesIndex(Series::Signal)]));
    pair.derivative->setPen(QPen(colour, 1, Qt::DashLine));
    for (QCPGraph* curve : {pair.signal, pair.derivative})
        curve->setAdaptiveSampling(true);
    const int count = static_cast<int>(std::min({x.size(), signal.size(), derivative.size()}));
    pair.signal->setData(x.first(count), signal.first(count));
    pair.derivative->setData(x.first(count), derivative.first(count));
    filePairs_.push_back(pair);
    addLegendRow(index, description);
    scheduleReplot();
    return index;
}

void ChartView::addLegendRow(int pair, const QString& description) {
    QCPLegend* legend = plot_->legend;
    legend->setVisible(true);
    if (pair < kLegendBlocks) {
        const QString text =
            description.trimmed().isEmpty() ? QStringLiteral("Блок %1").arg(pair + 1) : description.trimmed();
        legend->addItem(
            new BlockLegendItem(legend, text, filePairs_[pair].signal, filePairs_[pair].derivative));
        return;
    }
    if (!moreBlocks_) {
        moreBlocks_ = new BlockLegendItem(legend, QString());
        legend->addItem(moreBlocks_);
    }
    static_cast<BlockLegendItem*>(moreBlocks_)
        ->setText(QStringLiteral("… и ещё %1").arg(pair + 1 - kLegendBlocks));
}

QStringList ChartView::legendTexts() const {
    QStringList texts;
    if (!plot_->legend->visible())
        return texts;
    for (int i = 0; i < plot_->legend->itemCount(); ++i) {
        if (const auto* row = dynamic_cast<const BlockLegendItem*>(plot_->legend->item(i)))
            texts << row->text();
    }
    return texts;
}

void ChartView::applyFileCurveColours(const QColor& background) {
    for (size_t k = 0; k < filePairs_.size(); ++k) {
        const QColor colour = blockColour(static_cast<int>(k), background);
        for (QCPGraph* curve : {filePairs_[k].signal, filePairs_[k].derivative}) {
            QPen pen = curve->pen();
            pen.setColor(colour);
            curve->setPen(pen);
        }
    }
}

void ChartView::appendFileCurvePoint(int pair, double x, double signal, double derivative) {
    if (pair < 0 || pair >= fileCurvePairCount())
        return;
    filePairs_[pair].signal->addData(x, signal);
    filePairs_[pair].derivative->addData(x, derivative);
    scheduleReplot();
}

void ChartView::removeFileCurvePairs() {
    // The rows go first: a graph's removal looks for its item in the legend.
    plot_->legend->clearItems();
    plot_->legend->setVisible(false);
    moreBlocks_ = nullptr;
    for (const FilePair& pair : filePairs_) {
        plot_->removeGraph(pair.signal);
        plot_->removeGraph(pair.derivative);
    }
    filePairs_.clear();
    returnToAutomaticView();
    scheduleReplot();
}

void ChartView::enterOperatorView() {
    if (view_ == View::Operator)
        return;
    view_ = View::Operator;
    viewHint_->setVisible(true);
    scheduleReplot();
}

void ChartView::returnToAutomaticView() {
    if (view_ == View::Automatic)
        return;
    view_ = View::Automatic;
    viewHint_->setVisible(false);
    applyAutomaticRanges();
}

void ChartView::showAutomaticView() {
    returnToAutomaticView();
    replotNow();
}

// The automatic axes: the value axes from 0 to the engine's maxima (fixed on the temperature chart), the
// time axis over the data.
void ChartView::applyAutomaticRanges() {
    {
        const QScopedValueRollback<bool> own(settingRanges_, true);
        if (kind_ == Kind::Signal) {
            for (Axis axis : {Axis::Left, Axis::Right}) {
                const double maximum = axisMaxima_[static_cast<int>(axis)];
                valueAxis(axis)->setRange(0, maximum > 0 ? maximum : 1);
            }
        } else {
            for (QCPAxis* axis : {plot_->yAxis, plot_->yAxis2})
                axis->setRange(kTemperatureAxisLow, kTemperatureAxisHigh);
        }
    }
    updateKeyRange();
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
    if (view_ == View::Operator)
        return;
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
    const QScopedValueRollback<bool> own(settingRanges_, true);
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
    // The file legend and the hint lie over the curves: they take the chart's colour, slightly see-through,
    // and the block colours the set that reads on it.
    const QColor behind = white ? QColor(Qt::white) : (kind_ == Kind::Signal ? gradientEnd_ : gradientStart_);
    QColor veil = behind;
    veil.setAlpha(kLegendAlpha);
    plot_->legend->setBrush(QBrush(veil));
    veil.setAlpha(kDoubleClickHintAlpha);
    viewHint_->setBrush(QBrush(veil));
    applyFileCurveColours(behind);

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
    plot_->legend->setTextColor(ink);
    plot_->legend->setBorderPen(QPen(ink, 0));
    viewHint_->setColor(ink);
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
    // A picture shows the view, zoomed or not, but not how to leave it.
    const bool hint = viewHint_->visible();
    viewHint_->setVisible(false);
    QPixmap picture = plot_->toPixmap(width, height);
    viewHint_->setVisible(hint);
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

    const bool hint = viewHint_->visible();
    viewHint_->setVisible(false);
    {
        QCPPainter recorder(&recording);
        plot_->toPainter(&recorder, width, height);
    }
    viewHint_->setVisible(hint);
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
