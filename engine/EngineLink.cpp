// Connecting, disconnecting and clearing.
#include "engine/Engine.h"
#include "engine/Texts.h"

namespace lorimet {

QString Engine::portLabel() const {
    // A numbered port is named by its number, as operators know it; a device path by the path.
    if (port_.startsWith(u"COM")) {
        bool ok = false;
        const int n = port_.mid(3).toInt(&ok);
        if (ok)
            return QString::number(n);
    }
    return port_;
}

void Engine::send(const QByteArray& bytes) {
    // A closed port takes nothing; the command is simply not delivered.
    link_.write(bytes);
}

void Engine::PGoClick() {
    if (!link_.open(port_)) {
        res_.operatingState = 0;
        // The box's own first line as it always was; what the system said follows it.
        const PortOpenFailure why = link_.openFailure();
        box(BeepKind::Error, texts::kError,
            texts::operatorMessages()[0] + portLabel() + QStringLiteral(" !") +
                texts::portFailureLines(why.reason, why.accessDenied, why.group, why.account));
        return;
    }
    display_.linkOpened();
    res_.operatingState = 4;
    StartLink();
    workflow_.silentTicks = 0;
}

void Engine::PStopClick() {
    // An operation still running with its window hidden gets its end command while the port can take it.
    if (!acq_.operationName.isEmpty() && !window_.visible && link_.isOpen())
        ShowOperationMessage(texts::kCancelled);
    if (link_.isOpen()) {
        link_.close();
        display_.linkClosed();
    }
    res_.operatingState = 0;
    StopLink();
}

void Engine::StartLink() {
    if (!workflow_.linkActive) {
        send(texts::startCommand(interruptFrequency_, transportDelay_));
        workflow_.linkActive = true;
        ClearSession();
    }
    RestoreDayProtocol();
    workflow_.reportFolder = reportsDayFolder();
    workflow_.stableTicks = 0;
    workflow_.silentTicks = 0;
    SetLinkCommandStates(true);
    acq_.startMs = clock_.monotonicMs();
    resetArrays(1);
}

void Engine::StopLink() {
    workflow_.linkActive = false;
    SetLinkCommandStates(false);
    ClearSession();
    RestoreDayProtocol();
    ShowStatusText(0);
}

void Engine::SetLinkCommandStates(bool linked) {
    for (Command c : {Command::Open, Command::Connect, Command::PortSettings})
        setEnabled(c, !linked);
    setEnabled(Command::Disconnect, linked);
    if (!linked)
        for (Command c : {Command::UpperPoint, Command::Calibration, Command::Measurement, Command::Toxicity})
            setEnabled(c, false);
    display_.setFrontPanelLinked(linked);
}

void Engine::ClearPlots() {
    // A shown protocol file has its own curve pairs (and one temperature point per block); ending the file
    // view removes them.
    if (workflow_.fileViewActive)
        display_.removeFileCurvePairs();
    display_.clearSeries(Series::Signal);
    display_.clearSeries(Series::Derivative);
    display_.clearSeries(Series::Temperature);
    workflow_.fileViewActive = false;
}

void Engine::ClearSession() {
    if (!workflow_.fileViewActive)
        SaveDayFile();
    probeDescriptions_.clear();
    dayProtocol_.clear();
    runDataLines_.clear();
    acq_.plotTitleLines.clear();
    protocolLines_.clear();
    display_.protocolCleared();
    for (int panel : {1, 3, 5, 7, 9})
        display_.setResultPanel(panel, QString());
    display_.setLabelText(Label::Signal, QString());
    display_.setLabelText(Label::Temperature, QString());
    display_.setLabelText(Label::Time, QString());
    if (!acq_.operationName.isEmpty() && !window_.visible)
        ShowOperationMessage(texts::kCancelled);
    ClearPlots();
    display_.setPlotTitle(acq_.plotTitleLines);
    display_.setAxisTitle(Axis::Left, QString());
    display_.setAxisTitle(Axis::Right, QString());
    table_.clear(acq_.probeCounter);
    acq_.probeCounter = 0;
    display_.tableChanged();
    acq_.leftAxisMax = acq_.rightAxisMax = 0;
    display_.setAxisMaximum(Axis::Left, 0);
    display_.setAxisMaximum(Axis::Right, 0);
    acq_.currentSample = 0;
    acq_.waitCounter = 0;
    res_.signalRange = res_.maxDerivative = res_.rangeResult = res_.rateResult = 0;
    res_.toxicityResult = res_.temperatureSum = 0;
    resetArrays(1);
    workflow_.runDurationText.clear();
    if (workflow_.linkActive) {
        if (!acq_.smoothingActive)
            display_.setSignalImage(Picture::Oxy);
        StartLink();
    }
}

} // namespace lorimet
