#pragma once

#include "engine/Smoother.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace lorimet {

enum class RunKind { UpperPoint, Calibration, Analysis };
enum class RunStatus { Completed, Stopped, Abandoned };

// One line of a measured run as the engine kept it.
struct RunLine {
    qint64 elapsedMs = 0; // since the run's first line
    QString text;         // the analyser's line as received, without its line end
    double raw = 0;       // the signal read from the line
    double smoothed = 0;
    double derivative = 0;
    double temperature = 0;
};

// Everything the engine knows of a finished run. Values are those the table and the day protocol show
// (results rounded as the table shows them); a value that does not apply to the run is left empty.
struct FinishedRun {
    RunKind kind = RunKind::Analysis;
    RunStatus status = RunStatus::Completed;
    QDateTime startedAt; // the measured run's first line (the stored line for an upper point)
    QDateTime finishedAt;
    QString description;  // analyses
    QString analysisKind; // "Small" or "Full"; calibrations are measured as Full
    std::optional<double> dilution;
    std::optional<double> certifiedValue; // after its dilution
    std::optional<double> referenceDilution;
    std::optional<double> bodInitial; // BOD'
    std::optional<double> bodFinal;   // BOD, Full only
    std::optional<double> meanTemperature;
    std::optional<double> signalRange;   // dS
    std::optional<double> maxDerivative; // S'max
    double rateCoefficient = 0;          // in force after the run
    double rangeCoefficient = 0;
    FilterParameters filter{0, 0, 0};
    int frequency = 0;
    int delay = 0;
    std::vector<RunLine> lines;
};

// Told of each finished run: an upper point stored, a GSO calibration that yielded its coefficients, a
// sample analysis recorded, stopped over the limit or abandoned after its measured run began. Runs that
// never began their measured run are not reported. Called on the engine's thread; the run is handed over,
// so an implementation that keeps it elsewhere need not copy its lines.
class RunSink {
  public:
    virtual ~RunSink() = default;
    virtual void runFinished(FinishedRun run) = 0;
    // Returns once the runs told so far are kept where the program's end cannot take them, or when the
    // sink stops waiting (its own bound). Called on the engine's thread before a result goes into the day
    // file, so that a result in the day file is never lost from the sink.
    virtual void waitKept() {}
};

} // namespace lorimet
