#include "engine/Smoother.h"
#include "text/Numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <random>
#include <vector>

namespace lorimet {
namespace {

// The filter as the refilter does it, literally: every line filters the whole run 0..i again, B passes, each
// pass over a private copy of its input. The incremental smoother must give exactly these numbers.
class Refilter {
  public:
    double smoothSignal(int cycles, int i, int window, double a, const std::vector<double>& x) {
        for (int pass = 1; pass <= cycles; ++pass)
            smoothingPass(i, window, a, pass == 1 ? x : filterWork_);
        return RoundTo(3, filterWork_[static_cast<size_t>(i)]);
    }
    double filtered(int i) const { return filterWork_[static_cast<size_t>(i)]; }

  private:
    void smoothingPass(int n, int window, double a, std::vector<double> x) {
        filterWork_.resize(static_cast<size_t>(n) + 1);
        filterWork_[0] = x[0];
        for (int j = 1; j <= n; ++j) {
            double sum = 0.0;
            double m;
            if (j < window) {
                for (int k = 0; k <= j - 1; ++k)
                    sum += filterWork_[static_cast<size_t>(k)];
                sum += x[static_cast<size_t>(j)];
                m = sum / (j + 1);
            } else {
                for (int k = j - window; k <= j - 1; ++k)
                    sum += filterWork_[static_cast<size_t>(k)];
                sum += x[static_cast<size_t>(j)];
                m = sum / (window + 1);
            }
            filterWork_[static_cast<size_t>(j)] = a * filterWork_[static_cast<size_t>(j) - 1] + (1 - a) * m;
        }
    }

    std::vector<double> filterWork_;
};

// Line i through the smoother and through the refilter: the stored value and the unrounded filter output must
// both be the same double. Rounding alone would hide nearly every difference in the last bits.
testing::AssertionResult sameAsRefilter(Smoother& s, Refilter& r, const std::vector<double>& raw, int i,
                                        const FilterParameters& p) {
    const double got = s.smooth(raw, i, p);
    const double want = r.smoothSignal(p.cycles, i, p.window, p.a, raw);
    if (got == want && s.lastFiltered() == r.filtered(i))
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << std::setprecision(17) << "line " << i << ": " << got << " (" << s.lastFiltered()
           << ") instead of " << want << " (" << r.filtered(i) << ")";
}

testing::AssertionResult sameAsRefilter(Smoother& s, const std::vector<double>& raw, int i,
                                        const FilterParameters& p) {
    Refilter r;
    return sameAsRefilter(s, r, raw, i, p);
}

// A run as the sensor gives it: a plateau near saturation, a fall that slows down, a slow rise again, noise
// and the odd spike, read with two decimals.
std::vector<double> sensorRun(int length, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> level(90.0, 100.0);
    std::uniform_real_distribution<double> depth(10.0, 30.0);
    std::normal_distribution<double> noise(0.0, 0.15);
    std::uniform_int_distribution<int> spike(0, 40);
    const double top = level(gen);
    const double fall = depth(gen);
    const int plateau = length / 10;
    std::vector<double> raw;
    for (int i = 0; i < length; ++i) {
        double v = top;
        if (i >= plateau) {
            const double t = i - plateau;
            v = top - fall * (1 - std::exp(-t / (length * 0.2))) + 0.01 * t * (t > length * 0.6);
        }
        v += noise(gen);
        if (spike(gen) == 0)
            v += noise(gen) * 10;
        raw.push_back(std::clamp(std::round(v * 100) / 100, 60.0, 100.0));
    }
    return raw;
}

TEST(Smoother, WorkedExample) {
    const std::vector<double> raw{10, 12, 11};
    const FilterParameters p{0.4, 1, 3};
    Smoother s;
    EXPECT_EQ(s.smooth(raw, 0, p), 10.0);
    EXPECT_EQ(s.smooth(raw, 1, p), 10.6);
    EXPECT_EQ(s.smooth(raw, 2, p), 10.56);
    EXPECT_EQ(Refilter().smoothSignal(1, 2, 3, 0.4, raw), 10.56);
}

TEST(Smoother, FirstSlotIsTheRawValueUnrounded) {
    const std::vector<double> raw{97.12345, 97.2};
    Smoother s;
    EXPECT_EQ(s.smooth(raw, 0, {0.4, 11, 11}), 97.12345);
}

// Every B and C with a few A, every line compared with the whole-run refilter, bit for bit.
TEST(Smoother, EqualsRefilterOnEveryLineForAllParameters) {
    const int length = 300;
    unsigned seed = 1;
    for (double a : {0.01, 0.3, 0.4, 0.91}) {
        const std::vector<double> raw = sensorRun(length, seed++);
        for (int cycles = 1; cycles <= 11; ++cycles) {
            for (int window = 1; window <= 11; ++window) {
                SCOPED_TRACE(testing::Message() << "A " << a << " B " << cycles << " C " << window);
                const FilterParameters p{a, cycles, window};
                Smoother s;
                Refilter r;
                for (int i = 1; i < length; ++i)
                    ASSERT_TRUE(sameAsRefilter(s, r, raw, i, p));
            }
        }
    }
}

TEST(Smoother, EqualsRefilterOnALongRun) {
    const int length = 3000;
    const std::vector<double> raw = sensorRun(length, 77);
    const FilterParameters p{0.3, 3, 4};
    Smoother s;
    Refilter r;
    for (int i = 1; i < length; ++i)
        ASSERT_TRUE(sameAsRefilter(s, r, raw, i, p));
}

// A dropped line leaves its raw value in the slot and the next line goes into the same slot: computing a slot
// again, with another value, must leave nothing of the first attempt behind.
TEST(Smoother, SlotComputedAgainLeavesNoTrace) {
    const int length = 200;
    for (const FilterParameters& p : {FilterParameters{0.4, 1, 3}, FilterParameters{0.3, 5, 1},
                                      FilterParameters{0.91, 11, 11}, FilterParameters{0.01, 7, 4}}) {
        SCOPED_TRACE(testing::Message() << "A " << p.a << " B " << p.cycles << " C " << p.window);
        std::vector<double> raw = sensorRun(length, 5);
        const std::vector<double> replacements = sensorRun(length, 6);
        Smoother s;
        for (int i = 1; i < length; ++i) {
            if (i % 7 == 0) {
                const double kept = raw[static_cast<size_t>(i)];
                raw[static_cast<size_t>(i)] = replacements[static_cast<size_t>(i)];
                ASSERT_TRUE(sameAsRefilter(s, raw, i, p)) << "dropped line " << i;
                if (i % 21 == 0) { // dropped twice
                    ASSERT_TRUE(sameAsRefilter(s, raw, i, p)) << "dropped again " << i;
                }
                raw[static_cast<size_t>(i)] = kept;
            }
            ASSERT_TRUE(sameAsRefilter(s, raw, i, p)) << "line " << i;
        }
    }
}

// Settings changed during a run: the refilter filters the whole run with the new ones from that line on.
TEST(Smoother, ParameterChangeMidRunRefiltersWholeRun) {
    const int length = 250;
    const std::vector<double> raw = sensorRun(length, 11);
    const FilterParameters first{0.4, 3, 5};
    const std::vector<std::pair<int, FilterParameters>> changes{
        {60, {0.41, 3, 5}}, {100, {0.41, 8, 5}}, {140, {0.41, 8, 2}}, {180, first}};
    Smoother s;
    FilterParameters p = first;
    size_t next = 0;
    for (int i = 1; i < length; ++i) {
        if (next < changes.size() && changes[next].first == i)
            p = changes[next++].second;
        ASSERT_TRUE(sameAsRefilter(s, raw, i, p)) << "line " << i;
    }
}

TEST(Smoother, NewRunStartsAfresh) {
    const FilterParameters p{0.4, 6, 8};
    const std::vector<double> run1 = sensorRun(150, 21);
    std::vector<double> run2 = sensorRun(120, 22);
    Smoother s;
    for (int i = 1; i < 150; ++i)
        ASSERT_TRUE(sameAsRefilter(s, run1, i, p)) << "run 1 line " << i;

    // After reset, even a run that starts with the same first value is filtered from scratch.
    run2[0] = run1[0];
    s.reset();
    for (int i = 1; i < 120; ++i)
        ASSERT_TRUE(sameAsRefilter(s, run2, i, p)) << "run 2 line " << i;

    // Without reset, a changed first value is a new run.
    const std::vector<double> run3 = sensorRun(100, 23);
    ASSERT_NE(run3[0], run2[0]);
    for (int i = 1; i < 100; ++i)
        ASSERT_TRUE(sameAsRefilter(s, run3, i, p)) << "run 3 line " << i;
}

TEST(Smoother, SkippedSlotsAreFilledIn) {
    const FilterParameters p{0.3, 11, 11};
    const std::vector<double> raw = sensorRun(200, 31);
    Smoother fresh;
    EXPECT_TRUE(sameAsRefilter(fresh, raw, 57, p));
    EXPECT_TRUE(sameAsRefilter(fresh, raw, 58, p));
    EXPECT_TRUE(sameAsRefilter(fresh, raw, 150, p));
    EXPECT_TRUE(sameAsRefilter(fresh, raw, 151, p));

    // A new run with the same first value that starts below the slots filled so far: only reset() tells.
    std::vector<double> next = sensorRun(200, 32);
    next[0] = raw[0];
    fresh.reset();
    EXPECT_TRUE(sameAsRefilter(fresh, next, 40, p));
}

// No pass at all (only a hand-edited configuration can ask for it): the signal goes through unfiltered.
TEST(Smoother, NoPassLeavesTheSignalUnfiltered) {
    const std::vector<double> raw{97.5, 96.12349, 95.0};
    Smoother s;
    EXPECT_EQ(s.smooth(raw, 1, {0.4, 0, 3}), 96.123);
    EXPECT_EQ(s.smooth(raw, 2, {0.4, 0, 3}), 95.0);
    EXPECT_TRUE(sameAsRefilter(s, raw, 2, {0.4, 1, 3}));
}

} // namespace
} // namespace lorimet
