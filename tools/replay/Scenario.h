#pragma once

#include <QByteArray>
#include <QDate>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>
#include <vector>

namespace lorimet::replay {

enum class Verb {
    Line,
    Raw,
    Connect,
    PortFails,
    PortWorks,
    Disconnect,
    Clear,
    UpperPoint,
    Calibrate,
    Analyse,
    Cancel,
    Toxicity,
    FactoryRestore,
    FactorySave,
    Settings,
    Answer,
    SaveAs,
    Exit
};

struct Event {
    qint64 timeMs = 0;
    int lineNumber = 0;
    Verb verb = Verb::Exit;
    QString text;     // line: the text; calibrate: certified; analyse: description; save-as: file
    QByteArray bytes; // raw
    QString second; // calibrate: dilution (may be absent); analyse: dilution text or "-"; answer: the answer
    bool hasSecond = false;
    bool small = true;                                 // analyse
    std::vector<std::pair<QString, QString>> settings; // settings KEY=VALUE pairs
    bool save = false; // settings ... save; save-as cancel is text empty with save false
};

struct Scenario {
    QDate date{2026, 12, 6};
    QTime time{12, 0, 0, 0};
    std::vector<Event> events;
};

struct ParseError {
    int lineNumber = 0;
    QString reason;
};

// UTF-8 scenario text. On failure returns the first malformed line and why.
std::optional<Scenario> parseScenario(const QString& text, ParseError& error);

// The scenario grammar one line at a time, so that a scenario of millions of lines is never held whole.
class ScenarioReader {
  public:
    enum class Result { Event, Nothing, Error };
    // The next line of the file, without its "\n". Event: *event is filled in. Nothing: a blank, comment or
    // header line (date and time are updated). Error: error() says which line and why.
    Result feed(QStringView line, Event& event);
    const ParseError& error() const { return error_; }
    QDate date{2026, 12, 6};
    QTime time{12, 0, 0, 0};

  private:
    int lineNumber_ = 0;
    bool eventsStarted_ = false;
    qint64 lastTime_ = 0;
    ParseError error_;
};

// Where the runner takes its events from, in time order.
class EventSource {
  public:
    virtual ~EventSource() = default;
    // The next event, still in place; nullptr when there are no more.
    virtual const Event* peek() = 0;
    // The next event, taken; only after peek() returned one.
    virtual Event take() = 0;
};

class EventList : public EventSource {
  public:
    explicit EventList(const std::vector<Event>& events) : events_(events) {}
    const Event* peek() override { return next_ < events_.size() ? &events_[next_] : nullptr; }
    Event take() override { return events_[next_++]; }

  private:
    const std::vector<Event>& events_;
    size_t next_ = 0;
};

// A scenario file read as it runs. check() reads it through once without keeping anything, so that a
// malformed line is found before the first event runs, then rewinds.
class ScenarioFile : public EventSource {
  public:
    explicit ScenarioFile(QIODevice& device);
    bool check(ParseError& error);
    const Event* peek() override;
    Event take() override;
    QDate date{2026, 12, 6};
    QTime time{12, 0, 0, 0};

  private:
    QIODevice& device_;
    ScenarioReader reader_;
    std::optional<Event> ahead_;
};

} // namespace lorimet::replay
