#include "engine/Smoother.h"
#include "text/Numbers.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using lorimet::FilterParameters;
using lorimet::Smoother;

// The heaviest settings the dialog offers.
constexpr FilterParameters heaviest{0.4, 11, 11};

// A slowly falling signal with a little deterministic ripple, two decimals like the instrument's.
std::vector<double> run(int length) {
    std::vector<double> raw;
    raw.reserve(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        const double v = 70.0 + 25.0 * std::exp(-i / 3000.0) + 0.2 * std::sin(i * 0.7);
        raw.push_back(std::round(v * 100) / 100);
    }
    return raw;
}

// The refilter for contrast: every line filters the whole run 0..i again, B passes over a copy of the input.
double refilter(std::vector<double>& work, int cycles, int i, int window, double a,
                const std::vector<double>& x) {
    for (int pass = 1; pass <= cycles; ++pass) {
        const std::vector<double> in = pass == 1 ? x : work;
        work.resize(static_cast<size_t>(i) + 1);
        work[0] = in[0];
        for (int j = 1; j <= i; ++j) {
            const int lo = j < window ? 0 : j - window;
            double sum = 0.0;
            for (int k = lo; k < j; ++k)
                sum += work[static_cast<size_t>(k)];
            sum += in[static_cast<size_t>(j)];
            const double m = sum / (j < window ? j + 1 : window + 1);
            work[static_cast<size_t>(j)] = a * work[static_cast<size_t>(j) - 1] + (1 - a) * m;
        }
    }
    return lorimet::RoundTo(3, work[static_cast<size_t>(i)]);
}

// Per-line work at run index i: the run is filtered up to i beforehand, then slot i is computed again and
// again, which is exactly what a new line (or the line after a dropped one) costs.
void BM_SmoothLine(benchmark::State& state) {
    const int i = static_cast<int>(state.range(0));
    const std::vector<double> raw = run(i + 1);
    Smoother s;
    for (int j = 1; j <= i; ++j)
        s.smooth(raw, j, heaviest);
    for (auto _ : state)
        benchmark::DoNotOptimize(s.smooth(raw, i, heaviest));
}
BENCHMARK(BM_SmoothLine)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

void BM_RefilterLine(benchmark::State& state) {
    const int i = static_cast<int>(state.range(0));
    const std::vector<double> raw = run(i + 1);
    std::vector<double> work;
    for (auto _ : state)
        benchmark::DoNotOptimize(refilter(work, heaviest.cycles, i, heaviest.window, heaviest.a, raw));
}
BENCHMARK(BM_RefilterLine)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
