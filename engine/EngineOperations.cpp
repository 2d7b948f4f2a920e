// The operator's operations: upper point, GSO calibration, sample analysis, and the message window that leads
// them.
#include "engine/Engine.h"
#include "engine/Texts.h"
#include "text/Numbers.h"

namespace lorimet {

Answer Engine::box(BeepKind kind, const QString& caption, const QString& text, Buttons buttons) {
    return operator_.messageBox(kind, caption, text, buttons);
}

void Engine::UpperPointCalibration() {
    const QString confirmation = texts::operatorMessages()[acq_.calibrationSignal == 0 ? 3 : 4];
    if (acq_.lineSignal < 0.1) {
        box(BeepKind::Error, texts::kError, texts::operatorMessages()[2]);
        PStopClick();
        return;
    }
    send(texts::kUpperPoint);
    ClearSession();
    StoreUpperPoint();
    // The reference calibration went with the old upper point. A system that was ready for samples is ready
    // for the reference only now; left alone, the next line would find it ready already and keep the sample
    // analysis open with both coefficients at 0.
    if (workflow_.statusIndex == 2 || workflow_.statusIndex == 3) {
        SetCommandStates(0);
        ShowStatusText(2);
    }
    if (box(BeepKind::Information, texts::kInformation, confirmation, Buttons::OkCancel) == Answer::Ok)
        OpenOperationDialog(1);
}

void Engine::StoreUpperPoint() {
    acq_.calibrationSignal = acq_.lineSignal;
    acq_.startThreshold = acq_.lineSignal - acq_.lineSignal / 100 * 2;
    res_.rangeCoefficient = 0;
    res_.rateCoefficient = 0;
    ReportUpperPoint();
}

void Engine::OpenOperationDialog(int kind) {
    if (kind == 1) {
        if (operator_.runGsoDialog(*this))
            ShowOperationMessage(texts::kCalibration);
    } else if (kind == 2) {
        const QString caption = QStringLiteral("Проба №") + QString::number(acq_.probeCounter + 1);
        if (operator_.runSampleDialog(*this, caption))
            ShowOperationMessage(texts::kAnalysis);
    }
}

void Engine::SetMessageWindow(bool cancelVisible, int height, Alignment alignment, const QString& text) {
    window_.layout.cancelVisible = cancelVisible;
    window_.layout.height = height;
    window_.layout.alignment = alignment;
    window_.layout.text = text;
}

void Engine::ShowOperationMessage(const QString& event) {
    const QStringList& prompts = texts::promptTexts();
    const bool startPrompt = event == texts::kCalibration || event == texts::kAnalysis;
    if (event == texts::kCalibration)
        SetMessageWindow(true, 125, Alignment::Left, prompts[0]);
    else if (event == texts::kAnalysis)
        SetMessageWindow(true, 125, Alignment::Left, prompts[1]);
    else if (event == texts::kPreparation) {
        if (acq_.operationName == texts::kCalibration)
            SetMessageWindow(false, 90, Alignment::Centre, prompts[2]);
        else if (acq_.operationName == texts::kAnalysis)
            SetMessageWindow(false, 90, Alignment::Centre, prompts[3]);
    } else if (event == texts::kCancelled)
        SetMessageWindow(false, 90, Alignment::Centre, prompts[4]);
    else if (event == texts::kStopped)
        SetMessageWindow(false, 90, Alignment::Centre, prompts[5]);
    else if (event == texts::kError)
        SetMessageWindow(false, 90, Alignment::Centre, prompts[6]);

    if (!startPrompt) {
        ReportOperationEnd(event);
        send(texts::kEndOfOperation);
        acq_.smoothingActive = false;
        acq_.operationName.clear();
    }
    if (event == texts::kStopped || event == texts::kCancelled)
        display_.beep(BeepKind::Warning);
    else if (event == texts::kError)
        display_.beep(BeepKind::Error);
    else
        display_.beep(BeepKind::Information);
    window_.animationStep = 1;
    window_.layout.caption = event;
    window_.visible = true;
    display_.showMessageWindow(window_.layout);
}

void Engine::closeMessageWindow() {
    if (!window_.visible)
        return;
    window_.visible = false;
    display_.closeMessageWindow(window_.layout.caption);
    FormClose();
}

void Engine::FormClose() {
    if (window_.cancelPressed)
        return;
    const QString& caption = window_.layout.caption;
    if (caption == texts::kCalibration || caption == texts::kAnalysis) {
        acq_.operationName =
            caption; // the operation starts here; its waiting phase begins with the next line
    } else {
        display_.setSignalImage(Picture::Oxy);
        acq_.analysisKind.clear();
    }
}

void Engine::CanselButtonClick() {
    if (!window_.visible || !window_.layout.cancelVisible)
        return;
    window_.cancelPressed = true;
    acq_.operationName.clear();
    acq_.analysisKind.clear();
    display_.beep(BeepKind::Error);
    closeMessageWindow();
}

void Engine::HandTimerTimer() {
    window_.cancelPressed = false;
    const QString& caption = window_.layout.caption;
    const int step = window_.animationStep;
    if (caption == texts::kAnalysis || caption == texts::kCalibration) {
        if (step <= 30)
            display_.showPromptPicture(u'F', step);
        else if (step <= 41)
            display_.showPromptPicture(u'H', 42 - step);
    } else if (!caption.isEmpty() && step <= 11) {
        display_.showPromptPicture(u'H', step);
    }
    if (window_.animationStep < 1'000'000) // stays past the last step; never wraps
        ++window_.animationStep;
}

std::optional<double> Engine::ReadPositiveNumber(QString& fieldText) {
    const qsizetype point = fieldText.indexOf(u'.');
    if (point >= 0)
        fieldText[point] = u',';
    const auto value = parseFileReal(fieldText);
    if (value && *value > 0)
        return value;
    box(BeepKind::Error, texts::kError, texts::kBadNumber);
    fieldText.clear();
    return std::nullopt;
}

void Engine::GSO_NumberExit(QString& fieldText) {
    if (const auto value = ReadPositiveNumber(fieldText))
        res_.certifiedValue = *value;
}

void Engine::RGSOExit(QString& fieldText) {
    if (const auto value = ReadPositiveNumber(fieldText))
        res_.referenceDilution = *value;
}

void Engine::GsoOkButtonClick() {
    if (res_.referenceDilution != 0)
        res_.certifiedValue = res_.certifiedValue / res_.referenceDilution;
}

void Engine::NameProbeListChange(const QString& text) {
    workflow_.probeListText = text;
    workflow_.probeDescription = text;
}

void Engine::RProbeExit(QString& fieldText) {
    if (const auto value = ReadPositiveNumber(fieldText))
        res_.dilution = *value;
}

void Engine::sendFactoryCommand(const QByteArray& command, int confirmation) {
    if (!workflow_.linkActive) {
        box(BeepKind::Error, texts::kError, texts::operatorMessages()[12]);
        return;
    }
    send(command);
    box(BeepKind::Information, texts::kInformation, texts::operatorMessages()[confirmation]);
}

void Engine::SetUpReloadClick() {
    sendFactoryCommand(texts::kRestoreFactory, 13);
}

void Engine::SetUpSaveClick() {
    sendFactoryCommand(texts::kSaveFactory, 14);
}

} // namespace lorimet
