// The analyser's lines through the engine, with the operator's commands and the timers in between.
//
// The input is cut at LF into records. A record that starts with "!" is a command; any other record is
// what the analyser sends: its bytes and CR LF go through the line splitter to Engine::lineAvailable, as
// the serial port and the demo link deliver them, and only while the port is open. Before each line the
// clock moves on by the line step (500 ms unless set), and the timers due in that time fire in the
// program's order (main tick, blink, tray icon, message-window pictures).
//
// Commands (arguments separated by blanks; numbers with a point; a missing number counts as 0):
//   !c  connect             !d  disconnect          !k  clear               !x  Cancel of the message window
//   !u [CERT [DIL]]         upper point; when its confirmation opens the GSO dialog, it is filled and OK'd
//   !g CERT [DIL]           GSO calibration, the dialog filled in and OK'd
//   !a K DIL DESCRIPTION    sample analysis: K is s (by initial rates) or f (by final rates), DIL "-" skips
//   !t N                    N ticks of 100 ms with no line (N up to 600)
//   !s MS                   line step in milliseconds (0..5000)
//   !l S D N M [T]          N lines (up to 2000) with signals S, S+D, S+2D..., mode word M ("m" = изм.,
//                           "p" = под., else the word as given), temperature T (20.3 unless given)
//   !b BYTES                the bytes after "!b" exactly, without a line end (partial lines, noise)
//   !p  the port cannot be opened from now on / can again (toggles)
//   !A X                    answer the next box that offers a choice: o(K), c(ancel), y(es), n(o)
//   !S F D A B C [save]     the port and filter dialog's values, and its save button
//   !R  the dialog's reset to the defaults     !P NAME  the dialog's port name
//   !f / !F                 the factory restore / save spots
//   !w  save the day protocol to a file       !o  open that file (the file view)
//   !z  the close sequence; the input ends here
// The close sequence also runs at the end of every input. The work per input is bounded (lines, ticks),
// so one input never takes long.
#include "FuzzSupport.h"
#include "fakes/Fakes.h"

#include "engine/Engine.h"
#include "text/Cp1251.h"
#include "text/LineSplitter.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <deque>

using namespace lorimet;

namespace {

constexpr int kMaxLines = 3000;      // lines delivered per input
constexpr int kMaxMainTicks = 30000; // main ticks per input; time still passes after that, the timers stop
constexpr int kMaxLineStepMs = 5000;

bool tracing() {
    static const bool on = std::getenv("LORIMET_FUZZ_TRACE") != nullptr;
    return on;
}

void trace(const testing::ManualClock& clock, const char* kind, const QString& text) {
    if (tracing())
        std::fprintf(stderr, "%9.3f %s %s\n", static_cast<double>(clock.ms) / 1000.0, kind,
                     text.toUtf8().constData());
}

class FuzzDisplay : public Display {
  public:
    explicit FuzzDisplay(const testing::ManualClock& clock) : clock_(clock) {}
    void showStatusText(int index, const QString& text) override {
        trace(clock_, "status", QString::number(index) + u' ' + text);
    }
    void showMessageWindow(const MessageWindowLayout& layout) override {
        trace(clock_, "window", layout.caption);
    }
    void closeMessageWindow(const QString& caption) override { trace(clock_, "window-close", caption); }
    void resultRowAdded(const ReportRow& row) override {
        trace(clock_, "row", QStringList(row.begin(), row.end()).join(QStringLiteral(" | ")));
    }
    void lineDropped(const QString& reason) override { trace(clock_, "error", reason); }

  private:
    const testing::ManualClock& clock_;
};

class FuzzLink : public AnalyserLink {
  public:
    bool opens = true;
    bool open(const QString&) override {
        open_ = opens;
        return open_;
    }
    void close() override {
        open_ = false;
        splitter_.clear(); // a partial line does not survive a close
    }
    bool isOpen() const override { return open_; }
    bool write(const QByteArray& bytes) override { return open_ && !bytes.isEmpty(); }
    LineSplitter& splitter() { return splitter_; }

  private:
    bool open_ = false;
    LineSplitter splitter_;
};

struct DialogFill {
    QString first;  // certified value / dilution of a sample
    QString second; // dilution of the reference solution / description
    bool hasSecond = false;
    bool small = true;
};

class FuzzOperator : public Operator {
  public:
    FuzzOperator(const testing::ManualClock& clock, const QString& savedFile)
        : clock_(clock), savedFile_(savedFile) {}

    Answer messageBox(BeepKind, const QString& caption, const QString& text, Buttons buttons) override {
        trace(clock_, "box", caption + QStringLiteral(" | ") + text);
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        Answer answer = buttons == Buttons::OkCancel ? Answer::Ok : Answer::No;
        if (!answers.empty()) {
            const Answer queued = answers.front();
            answers.pop_front();
            const bool fits = buttons == Buttons::OkCancel
                                  ? (queued == Answer::Ok || queued == Answer::Cancel)
                                  : (queued == Answer::Yes || queued == Answer::No);
            if (fits)
                answer = queued;
        }
        return answer;
    }

    // The dialogs as the program's: the focus leaves each field before OK, which needs its enabled state.
    bool runGsoDialog(Engine& engine) override {
        if (!gso)
            return false;
        const DialogFill fill = *gso;
        gso.reset();
        QString certified = fill.first;
        engine.GSO_NumberExit(certified);
        if (fill.hasSecond) {
            QString dilution = fill.second;
            engine.RGSOExit(dilution);
        }
        if (!engine.isEnabled(Command::GsoOk))
            return false;
        engine.GsoOkButtonClick();
        return true;
    }

    bool runSampleDialog(Engine& engine, const QString&) override {
        if (!sample)
            return false;
        const DialogFill fill = *sample;
        sample.reset();
        engine.NameProbeListChange(fill.second);
        engine.setSmallAnalysis(fill.small);
        if (fill.hasSecond) {
            QString dilution = fill.first;
            engine.RProbeExit(dilution);
        }
        return engine.isEnabled(Command::SampleOk);
    }

    std::optional<QString> saveFileName(const QString&, const QString&, const QString&,
                                        const QString&) override {
        return savedFile_;
    }

    std::optional<QString> openFileName(const QString&, const QString&, const QString&) override {
        if (!QFile::exists(savedFile_))
            return std::nullopt;
        return savedFile_;
    }

    std::deque<Answer> answers;
    std::optional<DialogFill> gso;
    std::optional<DialogFill> sample;

  private:
    const testing::ManualClock& clock_;
    QString savedFile_;
};

// The acquisition's invariants hold after every line and every command.
void checkAcquisition(const Engine& engine) {
    const Acquisition& acq = engine.acquisition();
    const auto needed = static_cast<size_t>(acq.currentSample) + 1;
    fuzz::check(acq.currentSample >= 0, "sample index below 0");
    fuzz::check(acq.elapsedTimes.size() >= needed && acq.signals.size() >= needed,
                "acquisition arrays shorter than the sample being filled");
    if (acq.smoothingActive)
        fuzz::check(acq.rawSignals.size() >= needed && acq.derivatives.size() >= needed,
                    "run arrays shorter than the sample being filled");
    fuzz::check(acq.waitCounter >= 0 && acq.waitCounter <= 600, "wait counter outside 0..600");
    fuzz::check(engine.table().rowCount() >= 2, "report table without its heading and first row");
    // Every accepted line of the run is listed once; a shown protocol file lists the file instead.
    if (!engine.workflow().fileViewActive)
        fuzz::check(
            engine.protocolCount() == acq.currentSample, "protocol list and samples disagree",
            QStringLiteral("%1 listed, %2 samples").arg(engine.protocolCount()).arg(acq.currentSample));
    // Elapsed times of a run never go backwards.
    const auto i = static_cast<size_t>(acq.currentSample);
    if (i >= 2)
        fuzz::check(acq.elapsedTimes[i - 1] >= acq.elapsedTimes[i - 2], "elapsed time goes backwards");
}

class Session {
  public:
    explicit Session(const QString& folder)
        : display_(clock_), op_(clock_, folder + QStringLiteral("/saved.txt")),
          data_(folder + QStringLiteral("/data")) {
        QDir().mkpath(data_);
        config_.setLines(Configuration::defaultLines());
        config_.parse();
        engine_ = std::make_unique<Engine>(config_, display_, op_, link_, clock_, data_);
        engine_->startUp();
    }

    // False when the input ends here.
    bool record(const QByteArray& r) {
        if (r.startsWith('!')) {
            if (!command(r))
                return false;
        } else {
            receive(r + QByteArray("\r\n"));
        }
        checkAcquisition(*engine_);
        return lines_ < kMaxLines;
    }

    void close() {
        engine_->closeSequence();
        checkAcquisition(*engine_);
    }

  private:
    void receive(const QByteArray& bytes) {
        if (!link_.isOpen())
            return; // bytes sent to a closed port are lost
        link_.splitter().feed(bytes, [this](const QByteArray& line) {
            if (lines_ >= kMaxLines)
                return;
            ++lines_;
            advance(lineStepMs_);
            trace(clock_, "line", fromCp1251(line).trimmed());
            engine_->lineAvailable(line);
            checkAcquisition(*engine_);
            if (tracing()) {
                const Acquisition& a = engine_->acquisition();
                const auto k = static_cast<size_t>(std::max(a.currentSample - 1, 0));
                trace(clock_, "state",
                      QStringLiteral("i=%1 S=%2 D=%3 max=%4 wait=%5")
                          .arg(a.currentSample)
                          .arg(a.signals[k])
                          .arg(a.smoothingActive ? a.derivatives[k] : 0.0)
                          .arg(engine_->results().maxDerivative)
                          .arg(a.waitCounter));
            }
        });
    }

    // Moves the clock on by ms, firing the timers that fall due on the way.
    void advance(qint64 ms) {
        const qint64 target = clock_.ms + ms;
        for (;;) {
            qint64 t = target;
            for (const qint64 due : nextDue_)
                t = std::min(t, due);
            if (t >= target || mainTicks_ >= kMaxMainTicks)
                break;
            clock_.ms = t;
            if (nextDue_[0] == t) {
                ++mainTicks_;
                engine_->TimerTimer();
                nextDue_[0] += 100;
            }
            if (nextDue_[1] == t) {
                engine_->InverseSignalTimer();
                nextDue_[1] += 500;
            }
            if (nextDue_[2] == t) {
                engine_->IconTimerTimer();
                nextDue_[2] += 100;
            }
            if (nextDue_[3] == t) {
                engine_->HandTimerTimer();
                nextDue_[3] += 65;
            }
        }
        clock_.ms = target;
        // Timers that fell due while their budget was spent do not pile up for later.
        for (qint64& due : nextDue_)
            due = std::max(due, target);
    }

    static double number(const QList<QByteArray>& words, int i) {
        return i < words.size() ? words[i].toDouble() : 0.0;
    }
    // A whole number in lo..hi; what does not read as one (NaN, out of range) is clamped, never cast as is.
    static int whole(const QList<QByteArray>& words, int i, int lo, int hi) {
        const double v = number(words, i);
        if (!(v >= lo))
            return lo;
        return v > hi ? hi : static_cast<int>(v);
    }
    static QString text(const QList<QByteArray>& words, int i) {
        return i < words.size() ? fromCp1251(words[i]) : QString();
    }

    bool command(const QByteArray& r) {
        const char verb = r.size() > 1 ? r[1] : '\0';
        const QByteArray rest = r.mid(2);
        const QList<QByteArray> words = rest.simplified().split(' ');
        Engine& e = *engine_;
        trace(clock_, "command", fromCp1251(r));
        switch (verb) {
        case 'c':
            if (e.isEnabled(Command::Connect))
                e.PGoClick();
            break;
        case 'd':
            if (e.isEnabled(Command::Disconnect))
                e.PStopClick();
            break;
        case 'k':
            e.CleanClick();
            break;
        case 'x':
            e.CanselButtonClick();
            break;
        case 'u':
            if (e.isEnabled(Command::UpperPoint)) {
                if (!words.isEmpty() && !words[0].isEmpty())
                    op_.gso = DialogFill{text(words, 0), text(words, 1), words.size() > 1, true};
                e.OxyUpCalibrationClick();
                op_.gso.reset();
            }
            break;
        case 'g':
            if (e.isEnabled(Command::Calibration)) {
                op_.gso = DialogFill{text(words, 0), text(words, 1), words.size() > 1, true};
                e.CalibrationsClick();
                op_.gso.reset();
            }
            break;
        case 'a':
            if (e.isEnabled(Command::Measurement)) {
                // "!as 1 description": the kind letter, the dilution word, the rest as typed.
                const QByteArray args = rest.mid(1).trimmed();
                const qsizetype blank = args.indexOf(' ');
                const QByteArray dilution = blank < 0 ? args : args.left(blank);
                const QByteArray description = blank < 0 ? QByteArray() : args.mid(blank + 1);
                op_.sample = DialogFill{fromCp1251(dilution), fromCp1251(description), dilution != "-",
                                        !rest.startsWith('f')};
                e.MeasurementClick();
                op_.sample.reset();
            }
            break;
        case 't': {
            const int n = whole(words, 0, 0, 600);
            advance(100LL * n);
            break;
        }
        case 's':
            lineStepMs_ = whole(words, 0, 0, kMaxLineStepMs);
            break;
        case 'l': {
            const double start = number(words, 0);
            const double step = number(words, 1);
            const int n = whole(words, 2, 0, 2000);
            const QByteArray m = words.value(3);
            const char* mode = m == "m" ? "изм." : m == "p" ? "под." : nullptr;
            const QString modeText = mode ? QString::fromUtf8(mode) : fromCp1251(m);
            const double temperature = words.size() > 4 ? number(words, 4) : 20.3;
            for (int k = 0; k < n && lines_ < kMaxLines; ++k)
                receive(testing::analyserLine(start + step * k, modeText.toUtf8().constData(), temperature));
            break;
        }
        case 'b':
            receive(rest);
            break;
        case 'p':
            link_.opens = !link_.opens;
            break;
        case 'A': {
            const char a = rest.trimmed().isEmpty() ? 'o' : rest.trimmed()[0];
            op_.answers.push_back(a == 'c'   ? Answer::Cancel
                                  : a == 'y' ? Answer::Yes
                                  : a == 'n' ? Answer::No
                                             : Answer::Ok);
            break;
        }
        case 'S':
            if (e.isEnabled(Command::PortSettings)) {
                e.setSettingsDialogOpen(true);
                e.setInterruptFrequency(whole(words, 0, -1000, 1000));
                e.setTransportDelay(whole(words, 1, -1000, 1000));
                e.setFilterPosition(whole(words, 2, -1000, 1000));
                e.setFilterCycles(whole(words, 3, -1000, 1000));
                e.setFilterWindow(whole(words, 4, -1000, 1000));
                if (words.value(5) == "save")
                    e.savePortAndFilter();
                e.setSettingsDialogOpen(false);
            }
            break;
        case 'R':
            if (e.isEnabled(Command::PortSettings))
                e.resetPortAndFilter();
            break;
        case 'P':
            if (e.isEnabled(Command::PortSettings))
                e.setPort(fromCp1251(rest.trimmed()));
            break;
        case 'f':
            e.SetUpReloadClick();
            break;
        case 'F':
            e.SetUpSaveClick();
            break;
        case 'w':
            if (e.isEnabled(Command::SaveProtocol))
                e.SaveProtocolClick();
            break;
        case 'o':
            if (e.isEnabled(Command::Open))
                e.OpenClick();
            break;
        case 'z':
            return false;
        default:
            break;
        }
        return true;
    }

    testing::ManualClock clock_;
    FuzzDisplay display_;
    FuzzLink link_;
    FuzzOperator op_;
    Configuration config_;
    QString data_;
    std::unique_ptr<Engine> engine_;
    int lines_ = 0;
    int mainTicks_ = 0;
    int lineStepMs_ = 500;
    qint64 nextDue_[4] = {100, 500, 100, 65};
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::initialise(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = fuzz::bytes(data, size);
    Session session(fuzz::freshFolder(QStringLiteral("line")));
    qsizetype start = 0;
    while (start < input.size()) {
        qsizetype end = input.indexOf('\n', start);
        if (end < 0)
            end = input.size();
        if (!session.record(input.mid(start, end - start)))
            break;
        start = end + 1;
    }
    session.close();
    return 0;
}
