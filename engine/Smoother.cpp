#include "engine/Smoother.h"

#include "text/Numbers.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace lorimet {

namespace {

bool sameBits(double x, double y) {
    return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
}

} // namespace

void Smoother::reset() {
    filled_ = -1;
}

void Smoother::restart(const std::vector<double>& raw, const FilterParameters& p) {
    params_ = p;
    first_ = raw[0];
    passes_.assign(static_cast<size_t>(std::max(p.cycles, 0)), std::vector<double>{});
    for (auto& pass : passes_)
        pass.assign(1, raw[0]);
    filled_ = 0;
}

// Slot j (j >= 1) of every pass, slots below j already in place.
void Smoother::computeSlot(const std::vector<double>& raw, int j) {
    const double a = params_.a;
    const int window = std::max(params_.window, 0);
    const int lo = j < window ? 0 : j - window;
    const double count = j < window ? j + 1 : window + 1;
    const auto slot = static_cast<size_t>(j);
    const double* input = raw.data();
    for (auto& pass : passes_) {
        if (pass.size() <= slot)
            pass.resize(slot + 1);
        double sum = 0.0;
        for (int k = lo; k < j; ++k)
            sum += pass[static_cast<size_t>(k)];
        sum += input[j];
        const double m = sum / count;
        pass[slot] = a * pass[slot - 1] + (1 - a) * m;
        input = pass.data();
    }
}

double Smoother::smooth(const std::vector<double>& raw, int i, const FilterParameters& p) {
    const bool sameRun = filled_ >= 0 && params_ == p && sameBits(first_, raw[0]);
    if (!sameRun || filled_ < i - 1)
        restart(raw, p);
    if (i == 0) {
        filled_ = 0;
        last_ = raw[0];
        return last_;
    }
    for (int j = filled_ + 1; j < i; ++j)
        computeSlot(raw, j);
    // Slot i is computed afresh even when it was computed before: its raw value may have changed.
    computeSlot(raw, i);
    filled_ = i;
    last_ = passes_.empty() ? raw[static_cast<size_t>(i)] : passes_.back()[static_cast<size_t>(i)];
    return RoundTo(3, last_);
}

} // namespace lorimet
