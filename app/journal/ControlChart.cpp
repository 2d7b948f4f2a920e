#include "app/journal/ControlChart.h"

#include <cmath>
#include <functional>

namespace lorimet::journalwindow {

ControlChart controlChart(const std::vector<double>& values) {
    ControlChart chart;
    for (double v : values)
        chart.points.push_back({v, {}});
    const size_t n = values.size();
    const size_t basis = std::min<size_t>(n, ControlChart::kBasis);
    if (basis < 2)
        return chart;
    // Mean and sample deviation of the basis, leaving out what lies beyond 3σ of a first estimate: one
    // calibration far off would otherwise move the centre so far that its neighbours all look like a run.
    auto estimate = [&](const std::function<bool(double)>& kept, double& centre, double& sigma) {
        double sum = 0;
        int count = 0;
        for (size_t i = n - basis; i < n; ++i)
            if (kept(values[i])) {
                sum += values[i];
                ++count;
            }
        if (count < 2)
            return 0;
        centre = sum / count;
        double squares = 0;
        for (size_t i = n - basis; i < n; ++i)
            if (kept(values[i]))
                squares += (values[i] - centre) * (values[i] - centre);
        sigma = std::sqrt(squares / (count - 1));
        return count;
    };
    double centre = 0, sigma = 0;
    int used = estimate([](double) { return true; }, centre, sigma);
    const double firstCentre = centre, firstSigma = sigma;
    double c2 = 0, s2 = 0;
    const int kept = estimate([&](double v) { return std::abs(v - firstCentre) <= 3 * firstSigma; }, c2, s2);
    if (kept >= 2 && kept < used) {
        centre = c2;
        sigma = s2;
        used = kept;
    }
    chart.centre = centre;
    chart.sigma = sigma;
    chart.basis = used;

    int run = 0, side = 0;
    for (ControlPoint& p : chart.points) {
        if (chart.sigma > 0 && std::abs(p.value - centre) > 3 * chart.sigma)
            p.rules << kBeyondThreeSigma;
        const int s = p.value > centre ? 1 : p.value < centre ? -1 : 0;
        run = s != 0 && s == side ? run + 1 : (s != 0 ? 1 : 0);
        side = s;
        if (run >= ControlChart::kRunLength)
            p.rules << kRunOnOneSide;
    }
    return chart;
}

} // namespace lorimet::journalwindow
