#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <optional>
#include <random>

namespace lorimet {

enum class KnobPosition { Preparation, Measuring };

// One-shot disturbances of the next line, as a flaky cable or a tired analyser would produce them.
enum class LineFault {
    WrongUnit,        // "%нaс" with a Latin a: the program refuses the line and asks for it again
    BlankTemperature, // blanks where the temperature stands: the program drops the line silently
    Garbage,          // a line of random bytes without "%"
    Split,            // a good line that reaches the computer in two writes
    Zeros,            // a line of binary zeros, as a cable being plugged in produces
    LongNoise,        // kLongNoiseBytes of noise before the line end: more than any line buffer should hold
};

// The analyser's side of the serial line, in virtual time: every call says what time it is (milliseconds
// from the start of the simulation), so a test can run an hour of lines in a moment and get the same
// bytes every time for the same seed.
//
// The signal idles near air saturation with a little noise and a slow drift. A sample injected and
// switched into the cell ("изм.") makes it fall after the transport delay, in a smooth dip
// u^2 * e^(2(1-u)) (u = time since the onset / 60 s) whose depth is proportional to the sample's BOD;
// its steepest fall, at u = 1 - 1/sqrt(2), is then proportional to the BOD as well, so a reference
// solution calibrates both results of the program. Turning the knob back ("под.") flushes the cell.
class AnalyserModel {
  public:
    static constexpr qint64 kDefaultPeriodMs = 1000;
    static constexpr qint64 kDefaultTransportDelayMs = 2000;
    // A lone 0xA1 means "send the last line again"; as the first byte of the start command it is followed
    // by 0xA2 in the same write, so whatever arrives within this time still counts as the same command.
    static constexpr qint64 kResendWaitMs = 100;
    static constexpr double kDepthPerMgPerLitre = 2.5; // %нас of fall per mg/l of BOD in the cell
    static constexpr double kDipSeconds = 60.0;        // from the onset to the deepest point
    static constexpr double kFlushSeconds = 6.0;       // time constant of the recovery after "под."
    static constexpr double kIdleSignal = 95.0;
    static constexpr double kTemperature = 20.3;
    static constexpr qsizetype kLongNoiseBytes = 100'000;

    explicit AnalyserModel(quint64 seed = 1251);

    // The line the analyser sends at nowMs: the layout of the instrument line, Windows-1251, CR LF.
    // A requested fault changes this line only.
    QByteArray nextLine(qint64 nowMs);
    // The last line as it should have been sent (faults undone): what a resend repeats. Resending the
    // faulty bytes would only make the program refuse them again, for ever.
    const QByteArray& lastLine() const { return lastCleanLine_; }
    // Where the line just produced is to be cut into two writes; 0 when it goes out in one piece.
    qsizetype splitPoint() const { return splitPoint_; }

    // Command bytes from the computer, in whatever pieces the port delivers them.
    void receive(const QByteArray& bytes, qint64 nowMs);
    // True once for every resend the analyser owes; the caller then sends lastLine() at once.
    bool pendingResend(qint64 nowMs);
    // A lone 0xA1 has arrived and may still turn out to start a start command; ask again at this time.
    std::optional<qint64> resendDecisionDue() const;
    // What the analyser noticed (commands, settings changed, faults sent) since the last call.
    QStringList takeLog();

    // The operator's hands.
    void inject(double bodMgPerLitre, qint64 nowMs);
    void turnKnob(KnobPosition position, qint64 nowMs);
    KnobPosition knob() const { return knob_; }
    void setIdleSignal(double percent) { idleSignal_ = percent; }
    // A quicker dip for demonstrations and tests; the depth and the steepest fall keep their BOD ratios.
    void setDipSeconds(double seconds) { dipSeconds_ = seconds > 0.5 ? seconds : 0.5; }
    double dipSeconds() const { return dipSeconds_; }
    void setTemperature(double celsius) { temperature_ = celsius; }

    // An explicit period wins over the frequency of the start command.
    void setPeriodMs(qint64 periodMs);
    qint64 periodMs() const { return periodMs_; }
    qint64 transportDelayMs() const { return transportDelayMs_; }
    // Time from switching a sample into the cell to the start of the fall: the transport delay read as the
    // program reads it, 25 measurement cycles per second, so it follows the period.
    qint64 onsetDelayMs() const;

    void requestFault(LineFault fault);
    // Noise on the line: zeros and bytes with the high bit set, never a blank, digit, sign, "%", CR or LF,
    // so no field of the instrument line can be read from it.
    QByteArray noise(qsizetype count);
    // The analyser says nothing from nowMs for durationMs: no lines, no resends.
    void silence(qint64 nowMs, qint64 durationMs);
    bool isSilent(qint64 nowMs) const { return nowMs >= silentFromMs_ && nowMs < silentUntilMs_; }

  private:
    struct Dip {
        qint64 onsetMs;
        double depth;
        std::optional<qint64> flushMs;
    };
    enum class ParseState { Idle, GotA1, Frequency, ExpectA3, DelayHigh, DelayLow };

    double dipSeconds_ = kDipSeconds;
    double signalAt(qint64 nowMs);
    double temperatureAt(qint64 nowMs) const;
    double gaussian();
    double uniform();
    QByteArray garbageLine();
    void receiveByte(quint8 byte, qint64 nowMs);
    void resolveLoneA1AsResend();
    void applyStartCommand();
    void log(const QString& text) { log_.append(text); }

    std::mt19937_64 random_;
    double idleSignal_ = kIdleSignal;
    double temperature_ = kTemperature;
    KnobPosition knob_ = KnobPosition::Preparation;
    std::optional<double> injectedBod_;
    QList<Dip> dips_;

    qint64 periodMs_ = kDefaultPeriodMs;
    bool periodExplicit_ = false;
    qint64 transportDelayMs_ = kDefaultTransportDelayMs;

    QList<LineFault> faults_;
    qint64 silentFromMs_ = 0;
    qint64 silentUntilMs_ = 0;
    QByteArray lastCleanLine_;
    qsizetype splitPoint_ = 0;

    ParseState parseState_ = ParseState::Idle;
    qint64 loneA1AtMs_ = 0;
    quint8 startFrequency_ = 0;
    quint8 startDelayHigh_ = 0;
    int resendsOwed_ = 0;
    QByteArray unknownBytes_; // of the current receive(), logged together
    QStringList log_;
};

} // namespace lorimet
