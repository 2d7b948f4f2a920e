#pragma once

#include "Scenario.h"

#include <QString>
#include <QTextStream>

namespace lorimet::replay {

struct RunResult {
    int exitCode = 0; // 0 ran to its end, 1 any other failure
    QString error;    // for standard error
};

// Runs the whole measurement system headless in virtual time and writes the transcript to `out`.
RunResult runScenario(const Scenario& scenario, const QString& dataFolder, QTextStream& out);
// The same from events read as the run goes on (a scenario file of any length).
RunResult runScenario(EventSource& events, const QDate& date, const QTime& time, const QString& dataFolder,
                      QTextStream& out);

} // namespace lorimet::replay
