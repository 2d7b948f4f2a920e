#include "ReplayRunner.h"

#include "config/Configuration.h"
#include "engine/Engine.h"
#include "engine/Texts.h"
#include "text/Cp1251.h"
#include "text/LineSplitter.h"

#include <QDir>

#include <deque>

namespace lorimet::replay {
namespace {

class VirtualClock : public Clock {
  public:
    VirtualClock(const QDate& date, const QTime& time) : origin_(date, time) {}
    qint64 monotonicMs() const override { return nowMs; }
    QDateTime now() const override { return origin_.addMSecs(nowMs); }
    qint64 nowMs = 0;

  private:
    QDateTime origin_;
};

class Transcript {
  public:
    Transcript(QTextStream& out, const VirtualClock& clock) : out_(out), clock_(clock) {}
    void record(const char* kind, const QString& details) {
        QString escaped = details;
        escaped.replace(u'\r', QStringLiteral("\\r"));
        escaped.replace(u'\n', QStringLiteral("\\n"));
        out_ << QString::number(static_cast<double>(clock_.nowMs) / 1000.0, 'f', 3) << u' ' << kind << u' '
             << escaped << u'\n';
    }

  private:
    QTextStream& out_;
    const VirtualClock& clock_;
};

class ReplayDisplay : public Display {
  public:
    explicit ReplayDisplay(Transcript& t) : t_(t) {}
    void showStatusText(int index, const QString& text) override {
        t_.record("status", QString::number(index) + u' ' + text);
    }
    void showMessageWindow(const MessageWindowLayout& layout) override {
        t_.record("window", layout.caption + QStringLiteral(" | ") + layout.text);
    }
    void closeMessageWindow(const QString& caption) override { t_.record("window-close", caption); }
    void resultRowAdded(const ReportRow& row) override {
        QStringList cells(row.begin(), row.end());
        t_.record("row", cells.join(QStringLiteral(" | ")));
    }
    void linkOpened() override { t_.record("link", QStringLiteral("open")); }
    void linkClosed() override { t_.record("link", QStringLiteral("closed")); }
    void lineDropped(const QString& reason) override { t_.record("error", reason); }
    void setDayFileWarning(const QString& text) override { t_.record("warning", text); }

  private:
    Transcript& t_;
};

class ReplayLink : public AnalyserLink {
  public:
    explicit ReplayLink(Transcript& t) : t_(t) {}
    bool open(const QString&) override {
        if (failing)
            return false;
        open_ = true;
        return true;
    }
    void close() override {
        open_ = false;
        splitter_.clear();
    }
    bool isOpen() const override { return open_; }
    bool write(const QByteArray& bytes) override {
        if (!open_)
            return false;
        QStringList hex;
        for (char b : bytes)
            hex << QStringLiteral("%1").arg(static_cast<unsigned char>(b), 2, 16, QChar(u'0')).toUpper();
        t_.record("tx", hex.join(u' '));
        return true;
    }
    void receive(const QByteArray& bytes, Engine& engine) {
        if (!open_)
            return; // bytes sent to a closed port are lost
        splitter_.feed(bytes, [&engine](const QByteArray& line) { engine.lineAvailable(line); });
    }
    bool failing = false;

  private:
    Transcript& t_;
    bool open_ = false;
    LineSplitter splitter_;
};

QString answerText(Answer a) {
    switch (a) {
    case Answer::Ok:
        return QStringLiteral("OK");
    case Answer::Cancel:
        return QStringLiteral("Cancel");
    case Answer::Yes:
        return QStringLiteral("Yes");
    case Answer::No:
        return QStringLiteral("No");
    }
    return {};
}

class ReplayOperator : public Operator {
  public:
    ReplayOperator(Transcript& t, EventSource& events, const QString& dataFolder)
        : t_(t), events_(events), dataFolder_(dataFolder) {}

    Answer messageBox(BeepKind, const QString& caption, const QString& text, Buttons buttons) override {
        Answer answer = Answer::Ok;
        if (buttons != Buttons::Ok) {
            const Answer fallback = buttons == Buttons::OkCancel ? Answer::Ok : Answer::No;
            answer = fallback;
            // A queued answer is used by the next box that offers a choice, if it fits that box.
            if (!answers.empty()) {
                const Answer queued = answers.front();
                answers.pop_front();
                const bool fits = buttons == Buttons::OkCancel
                                      ? (queued == Answer::Ok || queued == Answer::Cancel)
                                      : (queued == Answer::Yes || queued == Answer::No);
                if (fits)
                    answer = queued;
            }
        }
        t_.record("box",
                  caption + QStringLiteral(" | ") + text + QStringLiteral(" -> ") + answerText(answer));
        return answer;
    }

    bool runGsoDialog(Engine& engine) override {
        const Event* fill = pendingCalibrate;
        pendingCalibrate = nullptr;
        // Opened by the upper-point confirmation: only a calibrate event at the same instant fills it.
        if (!fill) {
            const Event* ahead = events_.peek();
            if (ahead && ahead->verb == Verb::Calibrate && ahead->timeMs == currentMs) {
                takenCalibrate_ = events_.take();
                fill = &takenCalibrate_;
            }
        }
        if (!fill)
            return false;
        gsoNumber = fill->text;
        if (fill->hasSecond) {
            engine.GSO_NumberExit(gsoNumber); // the focus moves on to the dilution field
            rgso = fill->second;
        }
        if (!engine.isEnabled(Command::GsoOk))
            return false; // a greyed OK cannot be pressed: the dialog is closed by its close box
        if (fill->hasSecond)
            engine.RGSOExit(rgso);
        else
            engine.GSO_NumberExit(gsoNumber);
        engine.GsoOkButtonClick();
        return true;
    }

    bool runSampleDialog(Engine& engine, const QString&) override {
        const Event* fill = pendingAnalyse;
        pendingAnalyse = nullptr;
        if (!fill)
            return false;
        if (fill->text != engine.workflow().probeListText)
            engine.NameProbeListChange(fill->text);
        engine.setSmallAnalysis(fill->small);
        if (fill->hasSecond)
            rprobe = fill->second;
        if (!engine.isEnabled(Command::SampleOk))
            return false;
        if (fill->hasSecond)
            engine.RProbeExit(rprobe);
        return true;
    }

    std::optional<QString> saveFileName(const QString&, const QString&, const QString&,
                                        const QString&) override {
        if (saveAnswers.empty())
            return std::nullopt;
        const std::optional<QString> answer = saveAnswers.front();
        saveAnswers.pop_front();
        if (!answer)
            return std::nullopt;
        return QDir(dataFolder_).filePath(*answer);
    }

    // Scenarios never open protocol files: the open dialog is always cancelled.
    std::optional<QString> openFileName(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }

    std::deque<Answer> answers;
    std::deque<std::optional<QString>> saveAnswers;
    const Event* pendingCalibrate = nullptr;
    const Event* pendingAnalyse = nullptr;
    qint64 currentMs = 0;
    // The dialogs' fields keep their text from one opening to the next.
    QString gsoNumber;
    QString rgso = QStringLiteral("1");
    QString rprobe = QStringLiteral("1");

  private:
    Transcript& t_;
    EventSource& events_;
    Event takenCalibrate_;
    QString dataFolder_;
};

Answer toAnswer(const QString& text) {
    if (text == u"OK")
        return Answer::Ok;
    if (text == u"Cancel")
        return Answer::Cancel;
    if (text == u"Yes")
        return Answer::Yes;
    return Answer::No;
}

struct Timer {
    qint64 interval;
    qint64 next;
};

// Remembers the time of the last event taken, by the main loop or by a dialog.
class TimedSource : public EventSource {
  public:
    explicit TimedSource(EventSource& inner) : inner_(inner) {}
    const Event* peek() override { return inner_.peek(); }
    Event take() override {
        Event event = inner_.take();
        lastMs = event.timeMs;
        return event;
    }
    qint64 lastMs = 0;

  private:
    EventSource& inner_;
};

} // namespace

RunResult runScenario(const Scenario& scenario, const QString& dataFolder, QTextStream& out, RunSink* sink) {
    EventList events(scenario.events);
    return runScenario(events, scenario.date, scenario.time, dataFolder, out, sink);
}

RunResult runScenario(EventSource& source, const QDate& date, const QTime& time, const QString& dataFolder,
                      QTextStream& out, RunSink* sink) {
    TimedSource events(source);
    VirtualClock clock(date, time);
    Transcript transcript(out, clock);

    if (!QDir().mkpath(dataFolder))
        return {1, QStringLiteral("cannot create the data folder ") + dataFolder};
    Configuration config;
    if (config.load(dataFolder) == Configuration::LoadResult::Damaged) {
        transcript.record("box",
                          texts::kError + QStringLiteral(" | Файл: Vornel_config.ini - повреждён ! -> OK"));
        return {1, QStringLiteral("damaged configuration file in ") + dataFolder};
    }

    ReplayDisplay display(transcript);
    ReplayLink link(transcript);
    ReplayOperator op(transcript, events, dataFolder);
    Engine engine(config, display, op, link, clock, dataFolder);
    engine.setRunSink(sink);
    engine.startUp();

    // Main tick, blink, tray icon, message-window pictures: due at one instant, they fire in this order.
    Timer timers[] = {{100, 100}, {500, 500}, {100, 100}, {65, 65}};
    // The scenario runs until its last event time plus one second of ticks; the last time is known only
    // once the events are used up.
    qint64 endMs = -1;

    bool exited = false;
    for (;;) {
        const Event* ahead = events.peek();
        if (!ahead && endMs < 0)
            endMs = events.lastMs + 1000;
        qint64 t = ahead ? ahead->timeMs : endMs + 1;
        for (const Timer& timer : timers)
            t = std::min(t, timer.next);
        if (endMs >= 0 && t > endMs)
            break;
        clock.nowMs = t;
        op.currentMs = t;

        while (!exited && (ahead = events.peek()) != nullptr && ahead->timeMs == t) {
            const Event e = events.take();
            switch (e.verb) {
            case Verb::Line:
                link.receive(toCp1251(e.text) + QByteArray("\r\n"), engine);
                break;
            case Verb::Raw:
                link.receive(e.bytes, engine);
                break;
            case Verb::Connect:
                if (engine.isEnabled(Command::Connect))
                    engine.PGoClick();
                break;
            case Verb::PortFails:
                link.failing = true;
                break;
            case Verb::PortWorks:
                link.failing = false;
                break;
            case Verb::Disconnect:
                if (engine.isEnabled(Command::Disconnect))
                    engine.PStopClick();
                break;
            case Verb::Clear:
                engine.CleanClick();
                break;
            case Verb::UpperPoint:
                if (engine.isEnabled(Command::UpperPoint))
                    engine.OxyUpCalibrationClick();
                break;
            case Verb::Calibrate:
                if (engine.isEnabled(Command::Calibration)) {
                    op.pendingCalibrate = &e;
                    engine.CalibrationsClick();
                    op.pendingCalibrate = nullptr;
                }
                break;
            case Verb::Analyse:
                if (engine.isEnabled(Command::Measurement)) {
                    op.pendingAnalyse = &e;
                    engine.MeasurementClick();
                    op.pendingAnalyse = nullptr;
                }
                break;
            case Verb::Cancel:
                engine.CanselButtonClick();
                break;
            case Verb::Toxicity:
                if (engine.isEnabled(Command::Toxicity))
                    engine.ToxiTestClick();
                break;
            case Verb::FactoryRestore:
                engine.SetUpReloadClick();
                break;
            case Verb::FactorySave:
                engine.SetUpSaveClick();
                break;
            case Verb::Settings:
                if (!engine.isEnabled(Command::PortSettings))
                    break;
                engine.setSettingsDialogOpen(true);
                for (const auto& [key, value] : e.settings) {
                    if (key == u"port")
                        engine.setPort(value);
                    else if (key == u"F")
                        engine.setInterruptFrequency(value.toInt());
                    else if (key == u"D")
                        engine.setTransportDelay(value.toInt());
                    else if (key == u"A")
                        engine.setFilterPosition(value.toInt());
                    else if (key == u"B")
                        engine.setFilterCycles(value.toInt());
                    else if (key == u"C")
                        engine.setFilterWindow(value.toInt());
                }
                if (e.save)
                    engine.savePortAndFilter();
                engine.setSettingsDialogOpen(false);
                break;
            case Verb::Answer:
                op.answers.push_back(toAnswer(e.second));
                break;
            case Verb::SaveAs:
                op.saveAnswers.push_back(e.save ? std::optional<QString>(e.text) : std::nullopt);
                break;
            case Verb::Exit:
                exited = true;
                break;
            }
        }
        if (exited)
            break;
        if (timers[0].next == t) {
            engine.TimerTimer();
            timers[0].next += timers[0].interval;
        }
        if (timers[1].next == t) {
            engine.InverseSignalTimer();
            timers[1].next += timers[1].interval;
        }
        if (timers[2].next == t) {
            engine.IconTimerTimer();
            timers[2].next += timers[2].interval;
        }
        if (timers[3].next == t) {
            engine.HandTimerTimer();
            timers[3].next += timers[3].interval;
        }
    }
    if (!exited)
        clock.nowMs = endMs;
    engine.closeSequence();
    return {};
}

} // namespace lorimet::replay
