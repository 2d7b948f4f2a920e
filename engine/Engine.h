#pragma once

#include "config/Configuration.h"
#include "engine/Interfaces.h"
#include "engine/ProtocolLines.h"
#include "engine/RunSink.h"
#include "engine/Smoother.h"
#include "reports/ProtocolFile.h"
#include "reports/ReportTable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace lorimet {

// The acquisition arrays and what the line handler keeps between lines.
struct Acquisition {
    std::vector<double> elapsedTimes{0.0}; // day fractions since startMs
    std::vector<double> signals{0.0};
    std::vector<double> rawSignals{0.0};
    std::vector<double> derivatives{0.0};
    int currentSample = 0;
    qint64 startMs = 0;
    double lineSignal = 0;
    double lineTemperature = 0;
    QString deviceMode;
    bool smoothingActive = false;
    QString operationName;
    QString analysisKind; // "Small", "Full" or empty
    int waitCounter = 0;
    double calibrationSignal = 0;
    double startThreshold = 0;
    int probeCounter = 0;
    QStringList plotTitleLines;
    double leftAxisMax = 0;
    double rightAxisMax = 0;
    // Running extremes over the committed samples 0..currentSample-1 of the run (the slot being filled is
    // combined with them), so a line costs the same at sample 100 000 as at sample 10.
    double committedMinSignal = 0;
    double committedMaxSignal = 0;
    double committedMaxDerivative = 0;
    int committedCount = 0;
    Smoother smoother;
    // Where the run's end points fell: the sample at which the initial-rate end point was first reached
    // (a Full run takes BOD' again on later samples that meet it, with S'max as it stands then), and the
    // sample of the final-rate end point. Empty until reached; a new run empties them.
    std::optional<int> initialRateSample;
    std::optional<int> finalRateSample;
};

struct Results {
    double stepTime = 0;
    double signalRange = 0;   // dS
    double maxDerivative = 0; // S'max
    double temperatureSum = 0;
    double dilution = 1.0;
    double certifiedValue = 0;
    double referenceDilution = 0;
    double rangeCoefficient = 0;
    double rateCoefficient = 0;
    double rangeResult = 0;
    double rateResult = 0;
    double toxicityResult = 0;
    bool toxicityTest = false;
    int operatingState = 0;
};

// What the waiting phase and the operation dialogs leave for a measured run, given directly: a recorded
// run's lines can then be evaluated again from its first line (with other filter settings, say).
struct MeasuredRunSetup {
    RunKind kind = RunKind::Analysis; // Analysis or Calibration
    bool small = true;                // analyses: the run ends at the initial-rate end point
    double dilution = 1.0;            // analyses; a calibration runs at 1
    double certifiedValue = 0;        // calibrations, after its dilution
    double rateCoefficient = 0;       // analyses: the calibration in force
    double rangeCoefficient = 0;
    FilterParameters filter{0.3, 3, 5};
};

struct MessageWindowState {
    bool visible = false;
    MessageWindowLayout layout;
    int animationStep = 1;
    bool cancelPressed = false;
};

struct Workflow {
    bool linkActive = false;
    int statusIndex = -1;
    int silentTicks = 0;
    int lastProtocolCount = 0;
    int stableTicks = 0;
    double stableReference = 0;
    double stableDeviation = 0;
    int dateChangeCount = 0;
    bool signalLabelVisible = true;
    int trayImageList = -1;
    bool fileViewActive = false;
    bool smallAnalysisSelected = true; // the sample dialog's SmallAnalis radio button
    QString probeDescription;
    QString probeListText; // NameProbeList's edit text
    QString runDurationText;
    QString runEndTimeText;
    QString dateText;
    QString reportFolder;
    bool closed = false;
};

class Engine {
  public:
    Engine(Configuration& config, Display& display, Operator& op, AnalyserLink& link, Clock& clock,
           const QString& dataFolder);

    // Start-up: the state tables, folders, today's protocol restored, the first status text.
    void startUp();
    // The close sequence; runs once however often it is called.
    void closeSequence();
    // Whether the program may end now, asked before every way of ending it. At once when no operation runs;
    // while one runs (its run would be lost) only when the operator answers Yes to the question, No being
    // the default. Lines and ticks go on while the question is open, and No changes nothing.
    bool confirmExit();

    // One complete line from the analyser, with its line end.
    void lineAvailable(const QByteArray& line);

    // Begins the measured run of an operation at once, as the waiting phase would begin it, with the
    // values the dialogs and the settings would have left: the next accepted line is its sample 0. For an
    // engine that runs no operation and shows no message window; the run then goes on, ends and is told
    // to the run sink as any other. Nothing is sent to the analyser before the run ends.
    void beginMeasuredRun(const MeasuredRunSetup& setup);

    // Timers, driven by the application (QTimer) or by the replay (virtual time).
    void TimerTimer();         // 100 ms
    void InverseSignalTimer(); // 500 ms
    void IconTimerTimer();     // 100 ms
    void HandTimerTimer();     // 65 ms, the message window's pictures

    // Commands of the main window. Each does what its menu item does; callers check isEnabled() first where
    // the command has an enabled state.
    void PGoClick();
    void PStopClick();
    void CleanClick() { ClearSession(); }
    void OxyUpCalibrationClick() { UpperPointCalibration(); }
    void CalibrationsClick() { OpenOperationDialog(1); }
    void MeasurementClick() { OpenOperationDialog(2); }
    void ToxiTestClick() {}
    void SetUpReloadClick();
    void SetUpSaveClick();
    void SaveProtocolClick();
    void OpenClick();

    // The message window's Cancel button (start prompts only).
    void CanselButtonClick();

    // Dialog handlers. Field texts are passed by reference: the dialog shows what the handler leaves there.
    void GSO_NumberExit(QString& fieldText);
    void RGSOExit(QString& fieldText);
    void GsoOkButtonClick();
    void NameProbeListChange(const QString& text);
    void RProbeExit(QString& fieldText);
    void setSmallAnalysis(bool small) { workflow_.smallAnalysisSelected = small; }
    // The shared rule of both dialogs: a positive number (a typed point becomes a comma), else the error box,
    // the field emptied, and nothing returned (the caller keeps its previous value).
    std::optional<double> ReadPositiveNumber(QString& fieldText);

    // Port and filter dialog: each value is in force at once; save writes configuration lines 0..5.
    void setPort(const QString& port) { port_ = port; }
    void setInterruptFrequency(int hz) { interruptFrequency_ = std::clamp(hz, 1, 20); }
    void setTransportDelay(int seconds) { transportDelay_ = std::clamp(seconds, 1, 30); }
    void setFilterPosition(int position); // A = position / 100, slider 1..91
    void setFilterCycles(int b) { filter_.cycles = std::clamp(b, 1, 11); }
    void setFilterWindow(int c) { filter_.window = std::clamp(c, 1, 11); }
    void resetPortAndFilter();
    void savePortAndFilter();

    // While the port and filter dialog is open the 200 mg/l limit does not stop an analysis.
    void setSettingsDialogOpen(bool open) { settingsDialogOpen_ = open; }

    bool isEnabled(Command c) const { return enabled_[static_cast<size_t>(c)]; }
    bool messageWindowVisible() const { return window_.visible; }
    const MessageWindowState& messageWindow() const { return window_; }
    const Acquisition& acquisition() const { return acq_; }
    const Results& results() const { return res_; }
    const Workflow& workflow() const { return workflow_; }
    const ReportTable& table() const { return table_; }
    const QStringList& dayProtocol() const { return dayProtocol_; }
    const QStringList& probeDescriptions() const { return probeDescriptions_; }
    const QStringList& runDataLines() const { return runDataLines_; }
    int protocolCount() const { return static_cast<int>(protocolLines_.size()); }
    const ProtocolLines& protocolLines() const { return protocolLines_; }
    const QString& port() const { return port_; }
    int interruptFrequency() const { return interruptFrequency_; }
    int transportDelay() const { return transportDelay_; }
    const FilterParameters& filter() const { return filter_; }
    QString dayFilePath() const;
    QString reportsDayFolder() const;
    const QString& dataFolder() const { return dataFolder_; }
    // Where finished runs are reported; none by default. Not owned.
    void setRunSink(RunSink* sink) { runSink_ = sink; }

  private:
    // Line handling
    bool AdvanceWaitingPhase();
    void StartSmoothingPhase();
    void UpdateLineDisplay();
    void ExtendAxis(Axis axis, double value);
    void growArrays();
    void resetArrays(int length);

    // Smoothing, results, indicator
    bool ProcessSample();
    std::optional<double> SampleDerivative(int i) const;
    void ComputeResult(int kind);
    void EvaluateLine();
    void DetectEndPoints();
    void FinishOperationRun();
    void ShowIndicator(int kind);
    void ShowStatusText(int index);
    void SetCommandStates(int mode);
    void setEnabled(Command c, bool on);
    void setSignalLabelVisible(bool visible);

    // Operations and the message window
    void UpperPointCalibration();
    void StoreUpperPoint();
    void OpenOperationDialog(int kind);
    void ShowOperationMessage(const QString& event);
    void SetMessageWindow(bool cancelVisible, int height, Alignment alignment, const QString& text);
    void closeMessageWindow();
    void FormClose();
    Answer box(BeepKind kind, const QString& caption, const QString& text, Buttons buttons = Buttons::Ok);

    // Ticks
    void LinkWatchdog();
    void WatchUpperPointStability(int target);

    // Link and clearing
    void StartLink();
    void StopLink();
    void ClearSession();
    void ClearPlots();
    void SetLinkCommandStates(bool linked);
    void send(const QByteArray& bytes);
    void sendFactoryCommand(const QByteArray& command, int confirmation);
    QString portLabel() const;

    // Day protocol
    void AppendRunDataLine();
    void AppendProtocolBlock();
    void AddResultRow();
    void SaveDayFile();
    bool KeepDamagedDayFile(const QString& path, QString& reason);
    void RestoreDayProtocol();
    void SweepTempFolder(const QString& folder);
    QString currentDateText() const;
    QString timeOfDayText() const;

    // Finished runs, for the run sink
    void CaptureRunLine(const QString& line);
    void ReportOperationEnd(const QString& event);
    void ReportRun(RunKind kind, RunStatus status);
    void ReportUpperPoint();

    // Protocol files
    std::optional<QString> AskProtocolSaveName(); // the shared save dialog, set up for a protocol
    void ShowFileBlock(const ProtocolBlock& block, const QTime& firstBlockTime);
    void HideLoadProgress();

    Configuration& config_;
    Display& display_;
    Operator& operator_;
    AnalyserLink& link_;
    Clock& clock_;
    QString dataFolder_;

    Acquisition acq_;
    Results res_;
    Workflow workflow_;
    MessageWindowState window_;
    ReportTable table_;
    QStringList dayProtocol_;
    // The day as the day file should hold it, while the file is behind: the last save of the day failed.
    // The rebuild takes the day from here instead of the stale file, so no result is lost and the rows keep
    // their numbers; the next save tries again.
    struct UnsavedDay {
        QString path;
        QStringList lines;
    };
    std::optional<UnsavedDay> unsavedDay_;
    bool dayFileFailing_ = false; // the operator was told, and the status area warns
    // A day file read only in part (a NUL, a read error): its original is kept beside it before it is
    // first written again.
    QString damagedDayFile_;
    QStringList runDataLines_;
    QStringList probeDescriptions_;
    ProtocolLines protocolLines_;
    std::array<bool, kCommandCount> enabled_{};

    RunSink* runSink_ = nullptr;
    std::vector<RunLine> runLines_; // the measured run so far, kept only while a sink listens
    QDateTime runStartedAt_;
    QString lastLineText_; // the last line received, for the upper point's record

    bool settingsDialogOpen_ = false;
    QString port_;
    int interruptFrequency_ = 2;
    int transportDelay_ = 2;
    FilterParameters filter_{0.3, 3, 5};
};

} // namespace lorimet
