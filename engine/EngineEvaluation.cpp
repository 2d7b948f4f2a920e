// Smoothing and derivative of a run's samples, end points, results and the indicator.
#include "engine/Engine.h"
#include "engine/Texts.h"
#include "text/NumberFormat.h"
#include "text/Numbers.h"

#include <cmath>

namespace lorimet {

bool Engine::ProcessSample() {
    const int i = acq_.currentSample;
    const size_t slot = static_cast<size_t>(i);
    if (i == 0 || acq_.waitCounter == 0) {
        res_.stepTime = 0;
        acq_.rawSignals[0] = acq_.lineSignal;
        acq_.signals[slot] = acq_.lineSignal;
        acq_.derivatives[slot] = 0;
        res_.temperatureSum = acq_.lineTemperature;
        return true;
    }
    res_.stepTime = std::floor((acq_.elapsedTimes[slot] - acq_.elapsedTimes[slot - 1]) * 1'000'000) / 10;
    acq_.rawSignals[slot] = acq_.lineSignal;
    const double s = acq_.smoother.smooth(acq_.rawSignals, i, filter_);
    acq_.signals[slot] = s;
    res_.signalRange = std::max(acq_.committedMaxSignal, s) - std::min(acq_.committedMinSignal, s);
    const auto derivative = SampleDerivative(i);
    if (!derivative)
        return false; // the slot is filled again by the next line; nothing of this one is kept
    acq_.derivatives[slot] = *derivative;
    res_.maxDerivative = std::max(acq_.committedMaxDerivative, *derivative);
    res_.temperatureSum += acq_.lineTemperature;
    return true;
}

std::optional<double> Engine::SampleDerivative(int i) const {
    // Two lines less than 86.4 ms apart give a step of 0: there is no rate to take from them.
    if (res_.stepTime == 0)
        return std::nullopt;
    const double d = (acq_.signals[static_cast<size_t>(i)] - acq_.signals[static_cast<size_t>(i - 1)]) * 10;
    const double rate = -d / res_.stepTime;
    if (!std::isfinite(rate))
        return std::nullopt;
    return RoundTo(3, rate);
}

void Engine::ComputeResult(int kind) {
    const bool calibrating = acq_.operationName == texts::kCalibration;
    auto result = [this](double coefficient, double measure) {
        const double x = coefficient * measure;
        return (x < 1 ? RoundTo(2, x) : RoundTo(1, x)) * res_.dilution;
    };
    switch (kind) {
    case 0:
        if (calibrating)
            res_.rateCoefficient = res_.certifiedValue / res_.maxDerivative;
        res_.rateResult = result(res_.rateCoefficient, res_.maxDerivative);
        break;
    case 1:
        if (calibrating)
            res_.rangeCoefficient = res_.certifiedValue / res_.signalRange;
        res_.rangeResult = result(res_.rangeCoefficient, res_.signalRange);
        break;
    case 3:
        res_.temperatureSum = RoundTo(1, res_.temperatureSum / (acq_.currentSample + 1));
        break;
    default:
        break;
    }
}

void Engine::EvaluateLine() {
    const size_t i = static_cast<size_t>(acq_.currentSample);
    if (acq_.operationName.isEmpty()) {
        ShowIndicator(0);
        if (acq_.signals[i] > acq_.startThreshold) {
            if (!acq_.analysisKind.isEmpty() || workflow_.statusIndex == 2 || workflow_.statusIndex == 3)
                return;
            ClearSession();
            SetCommandStates(0);
            res_.operatingState = 1;
            ShowStatusText(res_.rangeCoefficient == 0 && res_.rateCoefficient == 0 ? 2 : 3);
        } else {
            if (workflow_.statusIndex == 1 || workflow_.statusIndex == 6)
                return;
            SetCommandStates(1);
            if (acq_.calibrationSignal == 0) {
                res_.operatingState = 3;
                ShowStatusText(6);
            } else {
                res_.operatingState = 0;
                ShowStatusText(7);
            }
        }
        return;
    }
    if (!acq_.smoothingActive) {
        ShowIndicator(0);
        if (workflow_.statusIndex != 1) {
            res_.operatingState = 0;
            ShowStatusText(1);
            SetCommandStates(1);
        }
        return;
    }
    if (i == 0)
        res_.operatingState = acq_.operationName == texts::kAnalysis ? 2 : 3;
    ShowIndicator(1);
    DetectEndPoints();
}

void Engine::DetectEndPoints() {
    const int i = acq_.currentSample;
    if (i <= 20)
        return; // no end point before sample 21
    const auto& S = acq_.signals;
    const auto& D = acq_.derivatives;
    const size_t k = static_cast<size_t>(i);
    if (D[k] > 0 && D[k - 1] > 0 && D[k] < res_.maxDerivative && S[k] < S[k - 1]) {
        if (!acq_.initialRateSample)
            acq_.initialRateSample = i;
        ComputeResult(0);
        ShowIndicator(2);
        if (acq_.operationName == texts::kAnalysis) {
            // The limit is not applied while the operator has the settings dialog open.
            if (res_.rateResult > 200 && !settingsDialogOpen_)
                ShowOperationMessage(texts::kStopped);
            if (acq_.analysisKind == u"Small")
                FinishOperationRun();
        }
    }
    // The minimum of the run below S[i] means the signal has passed its minimum and rises again.
    const double runMinimum = std::min(acq_.committedMinSignal, S[k]);
    if (S[k] < S[0] && runMinimum < S[k] && D[k] < res_.maxDerivative) {
        // A Small run that ended on this very line has no final-rate end point of its own.
        if (!acq_.finalRateSample && !acq_.operationName.isEmpty())
            acq_.finalRateSample = i;
        ComputeResult(1);
        ShowIndicator(3);
        FinishOperationRun();
    }
}

void Engine::FinishOperationRun() {
    if (acq_.operationName == texts::kAnalysis) {
        workflow_.runEndTimeText = timeOfDayText();
        ComputeResult(3);
        AppendProtocolBlock();
        AddResultRow();
        ++acq_.probeCounter;
        // The run sink (the journal) has the result before the day file does: killed in between, the
        // program leaves it in the journal alone, never in the day file alone. The message below finds the
        // run told already.
        ReportOperationEnd(texts::kPreparation);
        // A crash right after a result must not lose it.
        if (!workflow_.fileViewActive) {
            if (runSink_)
                runSink_->waitKept();
            SaveDayFile();
        }
    }
    ShowOperationMessage(texts::kPreparation);
}

void Engine::ShowIndicator(int kind) {
    auto mgl = [](double value, bool twoDecimals) {
        return formatNumber(value, twoDecimals ? u"0.00 мг/л." : u"0.0 мг/л.");
    };
    switch (kind) {
    case 0:
        if (acq_.analysisKind.isEmpty())
            display_.setLabelText(Label::Signal, formatNumber(acq_.lineSignal, u"0.0 %нас."));
        break;
    case 1:
        display_.setResultPanel(1, formatNumber(res_.signalRange, u"0.000"));
        display_.setResultPanel(3, formatNumber(res_.maxDerivative, u"0.000"));
        if (acq_.operationName == texts::kCalibration) {
            const double c = res_.certifiedValue;
            display_.setLabelText(Label::Signal,
                                  c >= 1 ? mgl(RoundTo(1, c), false) : mgl(RoundTo(2, c), true));
        }
        if (acq_.operationName == texts::kAnalysis) {
            const double c = res_.rateCoefficient * res_.maxDerivative;
            display_.setLabelText(Label::Signal, c >= 1 ? mgl(RoundTo(1, c) * res_.dilution, false)
                                                        : mgl(RoundTo(2, c) * res_.dilution, true));
        }
        break;
    case 2: {
        const bool one = res_.dilution * res_.rateResult >= 1;
        display_.setResultPanel(7, formatNumber(res_.rateResult, one ? u"0.0" : u"0.00"));
        display_.setLabelText(Label::Signal, mgl(res_.rateResult, !one));
        break;
    }
    case 3: {
        setSignalLabelVisible(true);
        const bool two = res_.dilution * res_.rangeResult < 1 && acq_.operationName == texts::kCalibration;
        display_.setResultPanel(5, formatNumber(res_.rangeResult, two ? u"0.00" : u"0.0"));
        display_.setLabelText(Label::Signal, mgl(res_.rangeResult, two));
        break;
    }
    default:
        break;
    }
}

void Engine::ShowStatusText(int index) {
    if (workflow_.statusIndex == index)
        return;
    workflow_.statusIndex = index;
    display_.showStatusText(index, texts::statusTexts().value(index));
}

void Engine::setEnabled(Command c, bool on) {
    bool& state = enabled_[static_cast<size_t>(c)];
    if (state == on)
        return;
    state = on;
    display_.setCommandEnabled(c, on);
}

void Engine::setSignalLabelVisible(bool visible) {
    if (workflow_.signalLabelVisible == visible)
        return;
    workflow_.signalLabelVisible = visible;
    display_.setSignalLabelVisible(visible);
}

void Engine::SetCommandStates(int mode) {
    if (mode == 0) {
        const bool calibrated = res_.rangeCoefficient != 0 && res_.rateCoefficient != 0;
        setEnabled(Command::Measurement, calibrated);
        setEnabled(Command::Toxicity, calibrated);
        setEnabled(Command::Calibration, acq_.calibrationSignal != 0);
        setEnabled(Command::UpperPoint, true);
        setEnabled(Command::SampleOk, true);
        setEnabled(Command::GsoOk, true);
    } else {
        setEnabled(Command::Measurement, false);
        setEnabled(Command::Toxicity, false);
        setEnabled(Command::Calibration, false);
        setEnabled(Command::UpperPoint, !acq_.smoothingActive);
        setEnabled(Command::SampleOk, false);
        setEnabled(Command::GsoOk, false);
    }
}

} // namespace lorimet
