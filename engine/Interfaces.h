#pragma once

#include "reports/ReportTable.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace lorimet {

enum class Label { Signal, Temperature, Time, Date };
enum class Series { Signal, Derivative, Temperature };
enum class Axis { Left, Right };
enum class Picture { Oxy, Bpk };
enum class BeepKind { Error, Warning, Information };
// NoYes: Yes and No with No the default, for a question whose Yes loses something.
enum class Buttons { Ok, OkCancel, YesNo, NoYes };
enum class Answer { Ok, Cancel, Yes, No };
enum class Alignment { Left, Centre };

// Each command is a menu item and its toolbar button (or a dialog's OK button); they are enabled together.
enum class Command {
    Open,         // Open / OpenlButton
    Connect,      // PGo / ConnectButton
    Disconnect,   // PStop / DisconnectButton
    PortSettings, // COMSettings / ComPortButton
    UpperPoint,   // OxyUpCalibration / OxyUpCalibrationButton
    Calibration,  // Calibrations / CalibrationButton
    Measurement,  // Measurement / MeasurementButton
    Toxicity,     // ToxiTest / ToxiButton
    SampleOk,     // OK of the sample dialog
    GsoOk,        // OK of the GSO dialog
    SaveProtocol, // SaveProtocol / SaveButton
};
constexpr int kCommandCount = 11;

struct MessageWindowLayout {
    QString caption;
    QString text;
    bool cancelVisible = false;
    int height = 125;
    Alignment alignment = Alignment::Left;
};

// What the operator sees. The engine keeps every state it reads back itself; a Display only renders.
class Display {
  public:
    virtual ~Display() = default;
    virtual void showStatusText(int /*index*/, const QString& /*text*/) {}
    virtual void setResultPanel(int /*panel*/, const QString& /*text*/) {} // StatusPanel panels 1..9
    virtual void setLabelText(Label, const QString&) {}
    virtual void setSignalLabelVisible(bool) {}
    virtual void setSignalImage(Picture) {}
    virtual void setFrontPanelLinked(bool /*linked*/) {
    } // Logotip hidden, SignalImage/TempLabel/SignalLabel shown
    virtual void addPoint(Series, double /*x*/, double /*y*/) {}
    virtual void clearSeries(Series) {}
    virtual void setAxisMaximum(Axis, double) {}
    virtual void setPlotTitle(const QStringList&) {}
    virtual void setAxisTitle(Axis, const QString&) {}
    virtual void protocolAppended(const QString& /*line*/, int /*count*/) {}
    virtual void protocolCleared() {}
    virtual void setCommandEnabled(Command, bool) {}
    virtual void beep(BeepKind) {}
    virtual void showMessageWindow(const MessageWindowLayout&) {} // shown, or re-laid-out and re-captioned
    virtual void closeMessageWindow(const QString& /*caption*/) {}
    virtual void showPromptPicture(QChar /*letter*/, int /*step*/) {}
    virtual void setTrayImageList(int /*index*/) {}
    virtual void tableChanged() {}
    virtual void resultRowAdded(const ReportRow&) {} // a finished analysis or a block read from a file
    virtual void setProbeDescriptions(const QStringList&) {}
    virtual void linkOpened() {}
    virtual void linkClosed() {}
    virtual void lineDropped(const QString& /*reason*/) {} // a line whose handling ended early
    // A standing warning in the status area: the day file could not be written at the last save. Shown
    // until a save succeeds, which clears it with an empty text.
    virtual void setDayFileWarning(const QString& /*text*/) {}

    // Reading a protocol file. The progress (0..100) is reported once as the reading starts and after each
    // block; the window may repaint there (user input stays queued). loadFinished ends the display.
    virtual void setLoadProgress(int /*percent*/) {}
    virtual void loadFinished() {}
    // The file view on the signal chart: one signal and one derivative curve per block, each from its own
    // time 0 (x in day fractions), with the block's sample description to tell the pairs apart. They stay
    // until removeFileCurvePairs, which ends the file view.
    virtual void addFileCurvePair(const QList<double>& /*x*/, const QList<double>& /*signal*/,
                                  const QList<double>& /*derivative*/, const QString& /*description*/) {}
    virtual void removeFileCurvePairs() {}
    // The Protocol list now holds the lines of a protocol file: show them with item 0 selected and the hint
    // switched on.
    virtual void protocolFileShown(const QString& /*hint*/) {}
};

class Engine;

// Everything modal. The program shows real windows (nested event loops); tests and replay answer from a
// script.
class Operator {
  public:
    virtual ~Operator() = default;
    // A message box; the box makes its own beep of the kind given.
    virtual Answer messageBox(BeepKind kind, const QString& caption, const QString& text,
                              Buttons buttons) = 0;
    // The GSO and sample dialogs, shown modally; they fill in the engine through its dialog handlers and
    // return true when closed with OK.
    virtual bool runGsoDialog(Engine& engine) = 0;
    virtual bool runSampleDialog(Engine& engine, const QString& caption) = 0;
    // The shared save dialog: a chosen path, or nothing when cancelled.
    virtual std::optional<QString> saveFileName(const QString& title, const QString& folder,
                                                const QString& proposedName, const QString& filter) = 0;
    // The open dialog: a chosen existing file, or nothing when cancelled. Operators that never open files
    // keep the default.
    virtual std::optional<QString> openFileName(const QString& /*title*/, const QString& /*folder*/,
                                                const QString& /*filter*/) {
        return std::nullopt;
    }
};

// Why a port did not open, as far as the system told.
struct PortOpenFailure {
    QString reason;            // the system's own words ("Permission denied"); empty when it said nothing
    bool accessDenied = false; // the account may not use the device: a group membership is the cure
    QString group;             // the group whose members may use the device; empty when it names none
    QString account;           // the account the program runs as; empty when unknown
};

// The serial link to the analyser. Incoming lines are handed to Engine::lineAvailable by whoever owns the
// link.
class AnalyserLink {
  public:
    virtual ~AnalyserLink() = default;
    virtual bool open(const QString& port) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool write(const QByteArray& bytes) = 0; // false when the port is not open
    // Why the last open() failed. Links that cannot tell keep the default.
    virtual PortOpenFailure openFailure() const { return {}; }
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual qint64 monotonicMs() const = 0; // elapsed times
    virtual QDateTime now() const = 0;      // labels, file names, dates
};

} // namespace lorimet
