#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace lorimet::journalwindow {

// A Shewhart chart of one calibration coefficient over time: the centre line and the ±2σ and ±3σ limits
// from the last calibrations, and the points that break a rule, with the rule named.
struct ControlPoint {
    double value = 0;
    QStringList rules; // empty: in control
};

struct ControlChart {
    static constexpr int kBasis = 20;    // the last calibrations the limits come from
    static constexpr int kRunLength = 7; // points in a row on one side of the centre
    std::vector<ControlPoint> points;    // oldest first, as given
    std::optional<double> centre;        // none with fewer than two calibrations
    double sigma = 0;                    // sample standard deviation of the basis
    int basis = 0;                       // how many calibrations the limits come from
};

inline const QString kBeyondThreeSigma = QStringLiteral("за пределами ±3σ");
inline const QString kRunOnOneSide = QStringLiteral("7 подряд по одну сторону от центра");

// The chart of `values`, oldest first. The limits come from the last kBasis values, those beyond 3σ of a
// first estimate left out. A point beyond ±3σ breaks the first rule; the seventh point of a run on one side
// of the centre, and every point that carries the run on, the second. A point on the centre line breaks a
// run.
ControlChart controlChart(const std::vector<double>& values);

} // namespace lorimet::journalwindow
