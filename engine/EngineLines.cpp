// The line handler: one line from the analyser, parsed, stored, smoothed or counted, shown and listed.
#include "engine/Engine.h"
#include "engine/Texts.h"
#include "text/Cp1251.h"
#include "text/NumberFormat.h"
#include "text/Numbers.h"

#include <cmath>

namespace lorimet {

void Engine::lineAvailable(const QByteArray& bytes) {
    const QString line = fromCp1251(bytes);
    // Fields are found from the first "%": p is its 1-based position, 0 when there is none.
    const qsizetype p = line.indexOf(u'%') + 1;
    const auto temperature = parseInstrumentReal(QStringView(line).mid(p + 4, 4));
    if (!temperature)
        return; // a line whose temperature does not read changes nothing at all
    const auto signal = p >= 2 ? parseInstrumentReal(QStringView(line).left(p - 2)) : std::nullopt;
    acq_.lineSignal = signal.value_or(0.0);
    acq_.lineTemperature = *temperature;
    if (runSink_)
        lastLineText_ = line; // the line whose signal an upper point stores
    acq_.deviceMode = line.mid(p + 31, 4);
    if (p == 0 || QStringView(line).mid(p - 1, 4) != u"%нас") {
        send(texts::kLineRefused);
        return;
    }

    const int i = acq_.currentSample;
    acq_.elapsedTimes[static_cast<size_t>(i)] =
        static_cast<double>(clock_.monotonicMs() - acq_.startMs) / 86'400'000.0;

    if (acq_.smoothingActive) {
        if (!ProcessSample()) {
            display_.lineDropped(
                QStringLiteral("division by zero in the derivative (lines less than 86.4 ms apart)"));
            return;
        }
        if (runSink_)
            CaptureRunLine(line);
        if (acq_.operationName == texts::kAnalysis)
            AppendRunDataLine();
    } else {
        acq_.signals[static_cast<size_t>(i)] = acq_.lineSignal;
        if (acq_.calibrationSignal == 0)
            acq_.startThreshold = acq_.lineSignal;
        if (!acq_.operationName.isEmpty()) {
            if (acq_.waitCounter == 0) {
                const double s = acq_.signals[static_cast<size_t>(i)];
                acq_.startThreshold = s - s * 2 / 100;
            }
            if (AdvanceWaitingPhase())
                return;
        }
    }

    UpdateLineDisplay();
    EvaluateLine();

    qsizetype listedSize = bytes.size();
    while (listedSize > 0 && (bytes[listedSize - 1] == '\n' || bytes[listedSize - 1] == '\r'))
        --listedSize;
    protocolLines_.append(bytes.constData(), listedSize);
    display_.protocolAppended(line.left(listedSize), protocolCount());

    growArrays();
}

void Engine::growArrays() {
    const size_t slot = static_cast<size_t>(acq_.currentSample);
    if (acq_.smoothingActive) {
        const double s = acq_.signals[slot];
        const double d = acq_.derivatives.size() > slot ? acq_.derivatives[slot] : 0.0;
        if (acq_.committedCount == 0) {
            acq_.committedMinSignal = acq_.committedMaxSignal = s;
            acq_.committedMaxDerivative = d;
        } else {
            acq_.committedMinSignal = std::min(acq_.committedMinSignal, s);
            acq_.committedMaxSignal = std::max(acq_.committedMaxSignal, s);
            acq_.committedMaxDerivative = std::max(acq_.committedMaxDerivative, d);
        }
        ++acq_.committedCount;
    }
    ++acq_.currentSample;
    const size_t length = static_cast<size_t>(acq_.currentSample) + 1;
    acq_.elapsedTimes.resize(length, 0.0);
    acq_.signals.resize(length, 0.0);
    if (acq_.smoothingActive) {
        acq_.rawSignals.resize(length, 0.0);
        acq_.derivatives.resize(length, 0.0);
    }
}

void Engine::resetArrays(int length) {
    acq_.elapsedTimes.assign(static_cast<size_t>(length), 0.0);
    acq_.signals.assign(static_cast<size_t>(length), 0.0);
    acq_.rawSignals.assign(static_cast<size_t>(length), 0.0);
    acq_.derivatives.assign(static_cast<size_t>(length), 0.0);
    acq_.committedCount = 0;
    acq_.committedMinSignal = acq_.committedMaxSignal = acq_.committedMaxDerivative = 0;
    acq_.smoother.reset();
    acq_.initialRateSample.reset();
    acq_.finalRateSample.reset();
}

bool Engine::AdvanceWaitingPhase() {
    const size_t i = static_cast<size_t>(acq_.currentSample);
    // i > 0 here: the first line of the phase has waitCounter 0, which is never above 25 × delay.
    if (acq_.waitCounter > 25 * transportDelay_ && i > 0 && !(acq_.signals[i] > acq_.signals[i - 1])) {
        StartSmoothingPhase();
        return true;
    }
    if (acq_.waitCounter >= 600) {
        if (!window_.visible)
            ShowOperationMessage(texts::kCancelled);
        return false;
    }
    ++acq_.waitCounter;
    return false;
}

void Engine::StartSmoothingPhase() {
    display_.clearSeries(Series::Signal);
    display_.clearSeries(Series::Derivative);
    display_.clearSeries(Series::Temperature);
    runDataLines_.clear();
    runLines_.clear();
    protocolLines_.clear();
    display_.protocolCleared();
    acq_.leftAxisMax = acq_.rightAxisMax = 0;
    display_.setAxisMaximum(Axis::Left, 0);
    display_.setAxisMaximum(Axis::Right, 0);
    acq_.currentSample = 0;
    acq_.startMs = clock_.monotonicMs();
    resetArrays(1);
    acq_.smoothingActive = true;
    display_.setSignalImage(Picture::Bpk);
    if (acq_.operationName == texts::kCalibration) {
        ShowStatusText(4);
        acq_.plotTitleLines.append(QStringLiteral("Раствор ГСО: аттестованое значение БПК - ") +
                                   QString::number(res_.certifiedValue, 'g', 15) + QStringLiteral(" мг/л"));
        res_.dilution = 1.0;
        acq_.analysisKind = QStringLiteral("Full");
    }
    if (acq_.operationName == texts::kAnalysis) {
        ShowStatusText(5);
        acq_.plotTitleLines.append(QStringLiteral("Проба №") + QString::number(acq_.probeCounter + 1) +
                                   QStringLiteral(": ") + workflow_.probeDescription);
        acq_.analysisKind =
            workflow_.smallAnalysisSelected ? QStringLiteral("Small") : QStringLiteral("Full");
    }
}

void Engine::beginMeasuredRun(const MeasuredRunSetup& setup) {
    const bool calibration = setup.kind == RunKind::Calibration;
    acq_.operationName = calibration ? texts::kCalibration : texts::kAnalysis;
    workflow_.smallAnalysisSelected = setup.small;
    res_.certifiedValue = setup.certifiedValue;
    res_.dilution = setup.dilution;
    res_.rateCoefficient = setup.rateCoefficient;
    res_.rangeCoefficient = setup.rangeCoefficient;
    filter_ = setup.filter;
    // The count the waiting phase ends with: a count of 0 would make every sample the first of its run.
    acq_.waitCounter = 25 * transportDelay_ + 1;
    StartSmoothingPhase();
}

void Engine::ExtendAxis(Axis axis, double value) {
    double& maximum = axis == Axis::Left ? acq_.leftAxisMax : acq_.rightAxisMax;
    if (value > maximum - 3) {
        maximum = std::ceil(value) + 3;
        display_.setAxisMaximum(axis, maximum);
    }
}

void Engine::UpdateLineDisplay() {
    const size_t i = static_cast<size_t>(acq_.currentSample);
    display_.setLabelText(Label::Temperature, formatNumber(acq_.lineTemperature, u"0.0 °C"));
    ExtendAxis(Axis::Left, acq_.signals[i]);
    if (acq_.smoothingActive)
        ExtendAxis(Axis::Right, acq_.derivatives[i]);
    if (i == 0) {
        display_.setPlotTitle(acq_.plotTitleLines);
        display_.setAxisTitle(Axis::Left, QStringLiteral("Сигнал - S: Кислород %нас."));
        if (acq_.smoothingActive)
            display_.setAxisTitle(Axis::Right, QStringLiteral("Производная - S': Сигнал / Время"));
        if (acq_.signals[0] >= 0)
            display_.addPoint(Series::Signal, 0, acq_.signals[0]);
        if (acq_.smoothingActive)
            display_.addPoint(Series::Derivative, 0, 0);
        display_.addPoint(Series::Temperature, 0, acq_.lineTemperature);
        return;
    }
    const double x = acq_.elapsedTimes[i];
    display_.addPoint(Series::Signal, x, acq_.signals[i] > 0 ? acq_.signals[i] : 0);
    if (acq_.smoothingActive)
        display_.addPoint(Series::Derivative, x, acq_.derivatives[i] > 0 ? acq_.derivatives[i] : 0);
    display_.addPoint(Series::Temperature, x, acq_.lineTemperature);
}

} // namespace lorimet
