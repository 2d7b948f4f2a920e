#pragma once

#include "Scenario.h"
#include "engine/RunSink.h"

#include <QString>
#include <QTextStream>

namespace lorimet::replay {

struct RunResult {
    int exitCode = 0; // 0 ran to its end, 1 any other failure
    QString error;    // for standard error
};

// Runs the whole measurement system headless in virtual time and writes the transcript to `out`; finished
// runs go to `sink` when one is given.
RunResult runScenario(const Scenario& scenario, const QString& dataFolder, QTextStream& out,
                      RunSink* sink = nullptr);
// The same from events read as the run goes on (a scenario file of any length).
RunResult runScenario(EventSource& events, const QDate& date, const QTime& time, const QString& dataFolder,
                      QTextStream& out, RunSink* sink = nullptr);

} // namespace lorimet::replay
