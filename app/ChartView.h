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
class QCPGraph;
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
// The context menu belongs to the window: the chart asks for it through customContextMenuRequested (the
// policy is Qt::CustomContextMenu), with the position in this widget's coordinates.
class ChartView : public QWidget {
    Q_OBJECT

  public:
    enum class Kind { Signal, Temperature };

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

    // File view (signal chart only): one signal and one derivative curve per block of a protocol file, each
    // from its own time 0, in the signal and derivative colours and widths in force when the pair is made.
    // Returns the pair's index, or -1 on the temperature chart.
    int addFileCurvePair(const QVector<double>& x, const QVector<double>& signal,
                         const QVector<double>& derivative);
    void appendFileCurvePoint(int pair, double x, double signal, double derivative);
    void removeFileCurvePairs();
    int fileCurvePairCount() const { return static_cast<int>(filePairs_.size()); }

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
    QCPAxis* valueAxis(Axis axis) const;
    void scheduleReplot();
    // Brings thinned series up to date and the time axis to the data; before anything is drawn.
    void prepareDrawing();
    void updateKeyRange();
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

    QColor gradientStart_;
    QColor gradientEnd_;
    QColor gridColour_;
    std::array<QColor, 3> seriesColours_;
    std::array<int, 3> seriesWidths_{};
};

} // namespace lorimet
