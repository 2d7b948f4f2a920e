// Finished runs told to the run sink: the measured run's lines kept as they come, and the run's values
// gathered when it ends.
#include "engine/Engine.h"
#include "engine/Texts.h"
#include "reports/ProtocolText.h"
#include "text/NumberFormat.h"
#include "text/Numbers.h"

namespace lorimet {

namespace {

QString withoutLineEnd(const QString& line) {
    qsizetype n = line.size();
    while (n > 0 && (line[n - 1] == u'\n' || line[n - 1] == u'\r'))
        --n;
    return line.left(n);
}

// A number as the text shows it, read back: the journal keeps what the operator saw.
double shown(double value, const char16_t* pattern) {
    return parseFileReal(formatNumber(value, pattern)).value_or(value);
}

double shownResult(double value) {
    return parseFileReal(resultCellText(value)).value_or(value);
}

} // namespace

void Engine::CaptureRunLine(const QString& line) {
    const size_t i = static_cast<size_t>(acq_.currentSample);
    if (i == 0) {
        runLines_.clear();
        runStartedAt_ = clock_.now();
    }
    RunLine l;
    l.elapsedMs = clock_.monotonicMs() - acq_.startMs;
    l.text = withoutLineEnd(line);
    l.raw = acq_.rawSignals[i];
    l.smoothed = acq_.signals[i];
    l.derivative = acq_.derivatives[i];
    l.temperature = acq_.lineTemperature;
    runLines_.push_back(std::move(l));
}

void Engine::ReportOperationEnd(const QString& event) {
    if (!runSink_ || !acq_.smoothingActive || runLines_.empty())
        return; // the measured run never began
    if (acq_.operationName == texts::kAnalysis) {
        const RunStatus status = event == texts::kPreparation ? RunStatus::Completed
                                 : event == texts::kStopped   ? RunStatus::Stopped
                                                              : RunStatus::Abandoned;
        ReportRun(RunKind::Analysis, status);
    } else if (acq_.operationName == texts::kCalibration && event == texts::kPreparation) {
        ReportRun(RunKind::Calibration, RunStatus::Completed);
    }
    runLines_.clear();
}

void Engine::ReportRun(RunKind kind, RunStatus status) {
    FinishedRun run;
    run.kind = kind;
    run.status = status;
    run.startedAt = runStartedAt_;
    run.finishedAt = clock_.now();
    run.analysisKind = acq_.analysisKind;
    run.dilution = res_.dilution;
    const bool full = acq_.analysisKind == u"Full";
    if (kind == RunKind::Analysis) {
        run.description = workflow_.probeDescription;
        if (status == RunStatus::Completed) {
            run.bodInitial = shownResult(res_.rateResult);
            if (full)
                run.bodFinal = shownResult(res_.rangeResult);
            run.meanTemperature = shown(res_.temperatureSum, u"0.0"); // averaged as the run was recorded
        } else if (status == RunStatus::Stopped) {
            // As the indicator showed it when the run was stopped.
            run.bodInitial = shown(res_.rateResult, res_.dilution * res_.rateResult >= 1 ? u"0.0" : u"0.00");
        }
    } else {
        run.certifiedValue = res_.certifiedValue;
        run.referenceDilution = res_.referenceDilution;
        run.bodInitial = shownResult(res_.rateResult);
        run.bodFinal = shownResult(res_.rangeResult);
    }
    if (!run.meanTemperature)
        run.meanTemperature = RoundTo(1, res_.temperatureSum / (acq_.currentSample + 1));
    run.signalRange = res_.signalRange;
    run.maxDerivative = res_.maxDerivative;
    run.rateCoefficient = res_.rateCoefficient;
    run.rangeCoefficient = res_.rangeCoefficient;
    run.filter = filter_;
    run.frequency = interruptFrequency_;
    run.delay = transportDelay_;
    run.lines = std::move(runLines_);
    runLines_.clear();
    runSink_->runFinished(std::move(run));
}

void Engine::ReportUpperPoint() {
    if (!runSink_)
        return;
    FinishedRun run;
    run.kind = RunKind::UpperPoint;
    run.status = RunStatus::Completed;
    run.startedAt = run.finishedAt = clock_.now();
    run.filter = filter_;
    run.frequency = interruptFrequency_;
    run.delay = transportDelay_;
    // The one line whose signal became the upper point.
    RunLine l;
    l.text = withoutLineEnd(lastLineText_);
    l.raw = l.smoothed = acq_.lineSignal;
    l.temperature = acq_.lineTemperature;
    run.lines.push_back(std::move(l));
    runSink_->runFinished(std::move(run));
}

} // namespace lorimet
