#pragma once

#include <QByteArray>
#include <QDate>
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

} // namespace lorimet::replay
