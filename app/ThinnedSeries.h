#pragma once

#include <QVector>

#include <vector>

namespace lorimet {

// A chart line that looks the same however long it gets. Up to kRawLimit points every point is drawn as it
// came. Beyond that the points are grouped in runs of equal length and each run is drawn by its first,
// lowest, highest and last point, which is exactly what a screen a few thousand pixels wide can show of it.
// When the runs grow too many, neighbours merge and the run length doubles; the memory and the drawing time
// stay bounded all day.
class ThinnedSeries {
  public:
    static constexpr int kRawLimit = 16384;
    static constexpr int kRunLimit = 4096;

    struct Point {
        double x = 0;
        double y = 0;
    };

    // Returns true once the series is thinned: the caller then draws points() instead of adding the point.
    bool add(double x, double y);
    void clear();
    // Every point ever added since the last clear.
    long long received() const { return received_; }
    bool thinned() const { return thinned_; }
    // Points per run (1 while not thinned).
    long long runLength() const { return thinned_ ? runLength_ : 1; }
    // What to draw, in the order received: while not thinned, every point.
    std::vector<Point> points() const;

  private:
    struct Run {
        Point first, low, high, last;
        long long lowIndex = 0, highIndex = 0, firstIndex = 0, lastIndex = 0;
        long long count = 0;
    };
    static Run merged(const Run& a, const Run& b);
    void addToRuns(const Point& p, long long index);
    static void emit(const Run& run, std::vector<Point>& out);

    std::vector<Point> raw_;
    std::vector<Run> runs_; // the last one may be partly filled
    long long runLength_ = 1;
    long long received_ = 0;
    bool thinned_ = false;
};

} // namespace lorimet
