#pragma once

#include <algorithm>
#include <vector>

namespace lorimet {

// Settings of the recursive moving-average filter: coefficient A (0.01..0.91), number of passes B (1..11) and
// number of previous filtered points in the window C (1..11).
struct FilterParameters {
    double a;
    int cycles;
    int window;

    friend bool operator==(const FilterParameters&, const FilterParameters&) = default;
};

// A as the settings dialog makes it of the A slider's position (1..91; a position outside is taken as the
// nearest end).
inline double filterAOfPosition(int position) {
    return std::clamp(position, 1, 91) / 100.0;
}

// The smoothed signal of a run, line by line.
//
// Conceptually every new line refilters the whole run 0..i: B passes, the first over the raw signals, each
// further one over the previous pass's output; in each pass output j is
//     W[j] = A * W[j-1] + (1 - A) * m,  m = (W[lo] + ... + W[j-1] + X[j]) / (j - lo + 1),  lo = max(0, j - C)
// with W[0] = X[0]. Output j of a pass depends only on inputs 0..j, so refiltering never changes the slots
// already filtered: keeping every pass's output and computing only slot i of each pass gives the same
// numbers, bit for bit, at a cost of about B * C additions per line instead of B * C * i. The window sum is
// summed afresh for every slot, from the lowest index up and the input last, exactly as the refilter does; a
// running sum would round differently.
class Smoother {
  public:
    // A new run starts: the next call recomputes from slot 0.
    void reset();

    // Smoothed value of slot i given raw[0..i] (raw holds at least i+1 elements), rounded to 3 decimals;
    // for i = 0 the raw value itself, unrounded.
    // Slots below i must be the ones computed before (same raw values) unless reset() was called; slot i may
    // be computed again any number of times (a dropped line is followed by another line into the same slot)
    // and leaves no trace. If the parameters changed since the last call, or raw[0] changed, or i skips
    // ahead, the whole run is filtered again with the new parameters, as the refilter would do.
    // Cycles below 1 run no pass: the raw value rounded to 3 decimals. A window below 1 holds the input only.
    double smooth(const std::vector<double>& raw, int i, const FilterParameters& p);

    // The last pass's output at the slot of the last smooth() call, before rounding (the raw value when no
    // pass runs). Rounding to 3 decimals hides almost every difference in the last bits, so this is what
    // shows that the arithmetic is the same.
    double lastFiltered() const { return last_; }

  private:
    void restart(const std::vector<double>& raw, const FilterParameters& p);
    void computeSlot(const std::vector<double>& raw, int j);

    FilterParameters params_{0.0, 0, 0};
    double first_ = 0.0; // raw[0] of the run in the arrays: a new value means a new run
    // passes_[k][j]: output of pass k+1 at slot j, valid for j <= filled_.
    std::vector<std::vector<double>> passes_;
    int filled_ = -1;
    double last_ = 0.0;
};

} // namespace lorimet
