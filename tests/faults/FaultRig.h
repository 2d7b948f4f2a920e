#pragma once

// What the link-fault tests share: the simulated analyser as a separate process on its own
// pseudo-terminal, the engine on the real serial stack, and probes of the process itself (open devices,
// CPU time, the event loop's pulse).
#include "fakes/Fakes.h"
#include "serial/SerialAnalyserLink.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

namespace lorimet {
class Application;
}

namespace lorimet::faults {

// The reference solution and the sample, in mg/l. Small dips: the flushed cell is back above the start
// level sooner, and the tests wait less for the analyser to be ready again.
constexpr int kReferenceBod = 4;
constexpr int kSampleBod = 2;
constexpr double kSampleTolerance = 0.3;
inline QByteArray injectCommand(int bod) {
    return "inject " + QByteArray::number(bod);
}

// Runs the event loop until the condition holds or the time is up.
bool waitFor(const std::function<bool()>& condition, int timeoutMs);
// Runs the event loop for this long.
void pause(int ms);

// Whether this process still has the device open (an entry of /proc/self/fd leads to it).
bool holdsDevice(const QString& path);
// CPU time this process has used, user and system, in seconds.
double cpuSeconds();

// lorimet-sim --pty with these arguments; by default ten lines a second and a four-second dip.
class Simulator {
  public:
    static const QStringList kQuick;
    explicit Simulator(const QStringList& arguments = kQuick);
    ~Simulator();
    bool ok() const { return !pty.isEmpty(); }
    void say(const QByteArray& command);
    // Everything the simulator has logged so far.
    const QString& log();
    bool waitForLog(const QString& text, int timeoutMs, qsizetype from = 0);
    // The analyser dies with its pseudo-terminal: the device is gone under the program's open port.
    void kill();

    QString pty;

  private:
    QProcess process_;
    QString log_;
};

// A message box that the operator takes a moment to answer: lines and ticks go on meanwhile, as they do
// under a real modal box.
class PatientOperator : public testing::ScriptedOperator {
  public:
    int thinkMs = 300;
    Answer messageBox(BeepKind kind, const QString& caption, const QString& text, Buttons buttons) override;
};

class RealClock : public Clock {
  public:
    RealClock() { timer_.start(); }
    qint64 monotonicMs() const override { return timer_.elapsed(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }

  private:
    QElapsedTimer timer_;
};

// The engine on the serial port component, with recording fakes for the windows and its main tick on a
// QTimer, as the program runs it.
struct EngineRig {
    EngineRig();
    // Points the port at the device, with a 1 s transport delay, and connects.
    void connectTo(const QString& device);
    // The upper point, then a GSO calibration with the reference solution; `whileRunning` is called every 500
    // ms meanwhile.
    void calibrate(Simulator& sim, const std::function<void()>& whileRunning = {});
    // A sample analysis of the sample, until its row is in the table. By final rates it gives the BOD of the
    // row: the total fall, which a late line does not change. By initial rates (quicker) the BOD': the
    // steepest fall, which a line handled late makes look steeper (the time step counts in whole 86.4 ms).
    enum class Kind { FinalRates, InitialRates };
    double analyse(Simulator& sim, Kind kind, const std::function<void()>& whileRunning = {});

    QTemporaryDir dir;
    Configuration config;
    RealClock clock;
    testing::RecordingDisplay display;
    PatientOperator op;
    SerialAnalyserLink link;
    std::unique_ptr<Engine> engine;
    QTimer tick;
};

// Plays the operator's hands on whatever modal window is open: message boxes get their default answer and
// are remembered as "caption | text", the GSO dialog gets the reference's value, the sample dialog a
// description and the analysis by initial rates. A greyed OK is waited for, as an operator would.
class Robot {
  public:
    Robot();
    QStringList boxes;
    // Boxes whose text starts with one of these are remembered once and left open, as an operator away
    // from the bench would leave them.
    QStringList leaveOpen;

  private:
    void act();
    QTimer timer_;
};

// The program itself, windows offscreen, with its configuration pointing at the device (1 s transport
// delay, the interrupt frequency as given), and a robot at its dialogs.
struct ProgramRig {
    explicit ProgramRig(const QString& device, int frequencyHz = 2);
    ~ProgramRig();
    Engine& engine();
    void trigger(Command command);

    QTemporaryDir dir;
    Configuration config;
    std::unique_ptr<Application> program;
    Robot robot;
};

// The pulse of the event loop: a 50 ms timer, how often it fired and the longest wait between two fires.
class LoopProbe {
  public:
    LoopProbe();
    int fires() const { return fires_; }
    qint64 longestGapMs() const;

  private:
    QTimer timer_;
    QElapsedTimer sinceLast_;
    int fires_ = 0;
    qint64 longestGap_ = 0;
};

// A line as the analyser sends it, listed without its CR LF: "%нас" and the mode word 32 characters after
// the "%", nothing more and nothing less.
bool isWholeAnalyserLine(const QString& listed);

} // namespace lorimet::faults
