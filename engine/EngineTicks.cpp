// The timers: clock and run duration, the analyser's mode word against the message window, the link
// watchdog, the automatic upper point, the blinking result and the tray icon.
#include "engine/Engine.h"
#include "engine/Texts.h"
#include "text/TimeText.h"

#include <cmath>

namespace lorimet {

void Engine::TimerTimer() {
    const QString today = currentDateText();
    if (today != workflow_.dateText) {
        display_.setLabelText(Label::Date, today);
        workflow_.dateText = today;
        ++workflow_.dateChangeCount;
    }
    if (acq_.operationName.isEmpty()) {
        display_.setLabelText(Label::Time, timeOfDayText());
        setSignalLabelVisible(true);
    }
    if (workflow_.linkActive && acq_.smoothingActive) {
        workflow_.runDurationText = durationText(clock_.monotonicMs() - acq_.startMs);
        display_.setLabelText(Label::Time, workflow_.runDurationText);
    }

    if (window_.visible) {
        static const std::pair<const QString*, const QString*> closers[] = {
            {&texts::kCalibration, &texts::kMeasuring}, {&texts::kAnalysis, &texts::kMeasuring},
            {&texts::kPreparation, &texts::kPreparing}, {&texts::kError, &texts::kPreparing},
            {&texts::kCancelled, &texts::kPreparing},   {&texts::kStopped, &texts::kPreparing},
        };
        for (const auto& [caption, mode] : closers)
            if (window_.visible && window_.layout.caption == *caption && acq_.deviceMode == *mode)
                closeMessageWindow();
    } else {
        if (acq_.deviceMode == texts::kMeasuring && acq_.operationName.isEmpty())
            ShowOperationMessage(texts::kError);
        if (acq_.deviceMode == texts::kPreparing && !acq_.operationName.isEmpty()) {
            ReportOperationEnd(texts::kCancelled); // the knob turned back while the run was measured
            acq_.analysisKind.clear();
            acq_.operationName.clear();
            acq_.smoothingActive = false;
            box(BeepKind::Information, texts::kCancelled, texts::operatorMessages()[11]);
        }
    }

    const bool canSave = !dayProtocol_.isEmpty() && acq_.operationName.isEmpty();
    setEnabled(Command::SaveProtocol, canSave);

    if (workflow_.linkActive) {
        LinkWatchdog();
        if (workflow_.linkActive && acq_.calibrationSignal == 0)
            WatchUpperPointStability(600);
    }
}

void Engine::LinkWatchdog() {
    if (workflow_.silentTicks >= 50) {
        PStopClick();
        if (workflow_.lastProtocolCount == 0)
            box(BeepKind::Error, texts::kError, texts::operatorMessages()[6]);
        else
            box(BeepKind::Warning, texts::kWarning, texts::operatorMessages()[7]);
        return;
    }
    const int n = protocolCount();
    if (n == workflow_.lastProtocolCount) {
        if (workflow_.silentTicks == 10 && workflow_.lastProtocolCount != 0)
            res_.operatingState = 4;
        ++workflow_.silentTicks;
    } else {
        workflow_.lastProtocolCount = n;
        workflow_.silentTicks = 0;
    }
}

void Engine::WatchUpperPointStability(int target) {
    if (workflow_.stableTicks == 0) {
        workflow_.stableReference = acq_.lineSignal;
        workflow_.stableTicks = 1;
        return;
    }
    workflow_.stableDeviation = std::fabs(acq_.lineSignal - workflow_.stableReference);
    if (workflow_.stableDeviation <= 0.5)
        ++workflow_.stableTicks;
    else if (workflow_.stableTicks > 0)
        --workflow_.stableTicks;
    if (workflow_.stableTicks == target)
        UpperPointCalibration();
}

void Engine::InverseSignalTimer() {
    if (!acq_.operationName.isEmpty() && acq_.analysisKind == u"Full" && res_.rateResult != 0 &&
        res_.rangeResult == 0)
        setSignalLabelVisible(!workflow_.signalLabelVisible);
}

void Engine::IconTimerTimer() {
    const int state = res_.operatingState;
    if (state < 0 || state > 4 || state == workflow_.trayImageList)
        return;
    workflow_.trayImageList = state;
    display_.setTrayImageList(state);
}

QString Engine::currentDateText() const {
    return dateText(clock_.now().date());
}

QString Engine::timeOfDayText() const {
    return timeText(clock_.now().time());
}

} // namespace lorimet
