#include "app/ThinnedSeries.h"

#include <utility>

namespace lorimet {

bool ThinnedSeries::add(double x, double y) {
    const Point p{x, y};
    const long long index = received_++;
    if (!thinned_) {
        raw_.push_back(p);
        if (static_cast<int>(raw_.size()) < kRawLimit)
            return false;
        // Half as many runs as the limit, so the next merge is a long way off.
        thinned_ = true;
        runLength_ = 2LL * kRawLimit / kRunLimit;
        for (size_t k = 0; k < raw_.size(); ++k)
            addToRuns(raw_[k], static_cast<long long>(k));
        raw_.clear();
        raw_.shrink_to_fit();
        return true;
    }
    addToRuns(p, index);
    return true;
}

void ThinnedSeries::addToRuns(const Point& p, long long index) {
    if (runs_.empty() || runs_.back().count >= runLength_) {
        if (static_cast<int>(runs_.size()) >= kRunLimit) {
            // Neighbours merge: half as many runs, each twice as long.
            std::vector<Run> fewer;
            fewer.reserve(runs_.size() / 2 + 1);
            for (size_t k = 0; k + 1 < runs_.size(); k += 2)
                fewer.push_back(merged(runs_[k], runs_[k + 1]));
            if (runs_.size() % 2 != 0)
                fewer.push_back(runs_.back());
            runs_ = std::move(fewer);
            runLength_ *= 2;
        }
        if (runs_.empty() || runs_.back().count >= runLength_) {
            Run run;
            run.first = run.low = run.high = run.last = p;
            run.firstIndex = run.lowIndex = run.highIndex = run.lastIndex = index;
            run.count = 1;
            runs_.push_back(run);
            return;
        }
    }
    Run& run = runs_.back();
    if (p.y < run.low.y) {
        run.low = p;
        run.lowIndex = index;
    }
    if (p.y > run.high.y) {
        run.high = p;
        run.highIndex = index;
    }
    run.last = p;
    run.lastIndex = index;
    ++run.count;
}

ThinnedSeries::Run ThinnedSeries::merged(const Run& a, const Run& b) {
    Run run = a;
    if (b.low.y < run.low.y) {
        run.low = b.low;
        run.lowIndex = b.lowIndex;
    }
    if (b.high.y > run.high.y) {
        run.high = b.high;
        run.highIndex = b.highIndex;
    }
    run.last = b.last;
    run.lastIndex = b.lastIndex;
    run.count = a.count + b.count;
    return run;
}

void ThinnedSeries::emit(const Run& run, std::vector<Point>& out) {
    // In the order the points came, each point once.
    std::pair<long long, Point> picks[] = {{run.firstIndex, run.first},
                                           {run.lowIndex, run.low},
                                           {run.highIndex, run.high},
                                           {run.lastIndex, run.last}};
    if (picks[1].first > picks[2].first)
        std::swap(picks[1], picks[2]);
    long long previous = -1;
    for (const auto& [index, point] : picks) {
        if (index == previous)
            continue;
        out.push_back(point);
        previous = index;
    }
}

std::vector<ThinnedSeries::Point> ThinnedSeries::points() const {
    if (!thinned_)
        return raw_;
    std::vector<Point> out;
    out.reserve(runs_.size() * 4);
    for (const Run& run : runs_)
        emit(run, out);
    return out;
}

void ThinnedSeries::clear() {
    raw_.clear();
    runs_.clear();
    runs_.shrink_to_fit();
    runLength_ = 1;
    received_ = 0;
    thinned_ = false;
}

} // namespace lorimet
