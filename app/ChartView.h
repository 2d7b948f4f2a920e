#pragma once

#include "app/ThinnedSeries.h"
#include "engine/Interfaces.h"

#include <QColor>
#include <QPixmap>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <array>

class QCustomPlot;
class QCPAxis;
class QCPAbstractLegendItem;
class QCPGraph;
class QCPItemText;
class QCPTextElement;
class QPainter;

namespace lorimet {

// One of the two charts of the main window, drawn by QCustomPlot.
//
// Kind::Signal is "Plotter": SignalLine on the left axis, DerivativeLine on the right axis, elapsed time on
// the bottom axis, title lines set by the engine, and the curve pairs of a protocol file being shown.
// Kind::Temperature is "TemperaturePlotter": TemperatureTrace on the right axis, both value axes fixed
// at 10..45.
//
// X values are elapsed times in day fractions (1.0 = 24 h). Adding a point only stores it; the chart is
// redrawn by a single-shot timer, so a burst of lines costs at most one redraw per 40 ms.
//
// The operator can look into either chart: the wheel zooms and a drag pans the time axis and the value
// axes together (both value axes of the signal chart by the same factor, so the two curves stay in step).
// From the first such move the chart is in the operator's view: the time axis no longer follows the data
// and the value axes no longer follow the engine's maxima, while new points keep being stored and drawn. A
// double click, or any clearing of the chart (a new run, the clearing command, opening a file), returns to
// the automatic axes at once: the view the operator chose belonged to curves that are gone.
//
// The context menu belongs to the window: the chart asks for it through customContextMenuRequested (the
// policy is Qt::CustomContextMenu), with the position in this widget's coordinates.
class ChartView : public QWidget {
    Q_OBJECT

  public:
    enum class Kind { Signal, Temperature };
    enum class View { Automatic, Operator };

    // The redraw interval: at most 25 redraws a second however fast the points arrive. A redraw that
    // takes long (a protocol file's thousands of curves) widens the interval to a few times its own
    // length, so drawing never crowds out the work it shows.
    static constexpr int kReplotIntervalMs = 40;
    static constexpr int kReplotShare = 4;

    explicit ChartView(Kind kind, QWidget* parent = nullptr);
    ~ChartView() override;

    Kind kind() const { return kind_; }

    // Live series. A series that does not belong to this chart is ignored, so is an axis maximum on the
    // temperature chart (its axes are fixed).
    // A series of more points than a screen can show is drawn thinned (see ThinnedSeries), so a day-long
    // series costs bounded memory and drawing time; pointCount() still counts every point added.
    void addPoint(Series series, double x, double y);
    void clearSeries(Series series);
    int pointCount(Series series) const;
    // The engine's maximum of a value axis; the axis always starts at 0. A maximum of 0 (a cleared chart)
    // is kept as such but shown as 0..1, since an empty range cannot be drawn.
    void setAxisMaximum(Axis axis, double maximum);
    double axisMaximum(Axis axis) const;
    void setAxisTitle(Axis axis, const QString& text);
    QString axisTitle(Axis axis) const;
    // Chart title, one line per entry; no lines means no title row at all.
    void setTitleLines(const QStringList& lines);
    QStringList titleLines() const;

    // Appearance, as set by the plotter dialog and at start-up. With the gradient on, the signal chart runs
    // from white at the bottom to the colour at the top, the temperature chart from the colour at the top to
    // white at the bottom; with it off both are plain.
    void setBackground(const QColor& colour, bool gradient);
    QColor gradientStartColour() const { return gradientStart_; }
    QColor gradientEndColour() const { return gradientEnd_; }
    // Title text, axis lines, grid lines, tick labels and axis titles.
    void setGridColour(const QColor& colour);
    QColor gridColour() const { return gridColour_; }
    void setSeriesColour(Series series, const QColor& colour);
    QColor seriesColour(Series series) const;
    void setSeriesWidth(Series series, int width);
    int seriesWidth(Series series) const;

    View view() const { return view_; }
    // Back to the automatic axes, drawn at once (what a double click does).
    void showAutomaticView();

    // File view (signal chart only): one signal and one derivative curve per block of a protocol file, each
    // from its own time 0. Block k is drawn in colour k of a fixed palette (repeating after kBlockColours
    // blocks), its signal solid in the signal width in force when the pair is made, its derivative dashed
    // and thin. While pairs are shown a legend names the blocks by their descriptions, «Блок N» for an
    // empty one; the live chart has none. Returns the pair's index, or -1 on the temperature chart.
    static constexpr int kBlockColours = 10;
    // Legend rows for blocks, as many as there are colours: beyond them a colour no longer names one block.
    // The blocks beyond are counted in one closing row, so a file of thousands of blocks costs no more to
    // list than one of ten and the legend leaves the chart in sight.
    static constexpr int kLegendBlocks = kBlockColours;
    int addFileCurvePair(const QVector<double>& x, const QVector<double>& signal,
                         const QVector<double>& derivative, const QString& description = QString());
    void appendFileCurvePoint(int pair, double x, double signal, double derivative);
    void removeFileCurvePairs();
    int fileCurvePairCount() const { return static_cast<int>(filePairs_.size()); }
    // The legend's rows as shown, top to bottom; empty while no legend is shown.
    QStringList legendTexts() const;

    // Output for the clipboard, bitmap files and printing. Width or height 0 means the widget's size. A white
    // background replaces the gradient for the picture only; monochrome draws everything black on white.
    QPixmap toPixmap(int width, int height, bool whiteBackground);
    using QWidget::render;
    void render(QPainter* painter, const QRect& target, bool monochrome);

    // Draws pending points now instead of waiting for the timer.
    void replotNow();

    // For tests and output code that need QCustomPlot itself.
    QCustomPlot* plot() const { return plot_; }
    QCPGraph* graph(Series series) const;
    QCPGraph* fileSignalGraph(int pair) const;
    QCPGraph* fileDerivativeGraph(int pair) const;
    QCPTextElement* titleElement() const { return title_; }

  private:
    struct FilePair {
        QCPGraph* signal = nullptr;
        QCPGraph* derivative = nullptr;
    };

    void setUpSignalChart();
    void setUpTemperatureChart();
    void setUpInteraction();
    void setUpLegend();
    QCPAxis* valueAxis(Axis axis) const;
    void scheduleReplot();
    // Brings thinned series up to date and, in the automatic view, the time axis to the data; before
    // anything is drawn.
    void prepareDrawing();
    void updateKeyRange();
    void applyAutomaticRanges();
    void enterOperatorView();
    void returnToAutomaticView();
    void addLegendRow(int pair, const QString& description);
    void applyFileCurveColours(const QColor& background);
    void layOutFor(int width, int height);
    void applyBackground(bool white);
    void applyColours(bool monochrome);
    QPen seriesPen(Series series, bool monochrome) const;

    Kind kind_;
    QCustomPlot* plot_ = nullptr;
    QCPTextElement* title_ = nullptr;
    bool titleShown_ = false;
    std::array<QCPGraph*, 3> series_{}; // indexed by Series; null where the series is not on this chart
    std::array<ThinnedSeries, 3> thinning_;
    std::array<bool, 3> thinnedStale_{};
    std::array<double, 2> axisMaxima_{};
    std::vector<FilePair> filePairs_;
    QTimer replotTimer_;

    View view_ = View::Automatic;
    // Set while the chart moves its own axes: any other change of a range is the operator's.
    bool settingRanges_ = false;
    QCPItemText* viewHint_ = nullptr;             // shown in the operator's view: how to get back
    QCPAbstractLegendItem* moreBlocks_ = nullptr; // the closing legend row, once there are more blocks

    QColor gradientStart_;
    QColor gradientEnd_;
    QColor gridColour_;
    std::array<QColor, 3> seriesColours_;
    std::array<int, 3> seriesWidths_{};
};

} // namespace lorimet
