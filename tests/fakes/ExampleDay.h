#pragma once

#include "ReplayRunner.h"
#include "Scenario.h"
#include "journal/Recorder.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <gtest/gtest.h>

#include <memory>

namespace lorimet::testing {

struct ExampleDay {
    int exitCode = -1;
    QString transcript;
    QStringList messages; // what the journal said; nothing when all went well
};

// The example day (connect, the automatic upper point, GSO 10, a Small analysis and a Full one at dilution
// 2) replayed into `dataFolder`, its runs recorded in the journal at `url` (empty: the folder's own), or in
// none when `journal` is false. The target defines LORIMET_DAY_SCENARIO, the example's path.
inline ExampleDay replayExampleDay(const QString& dataFolder, const QString& url = {}, bool journal = true) {
    ExampleDay day;
    QFile file(QStringLiteral(LORIMET_DAY_SCENARIO));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << LORIMET_DAY_SCENARIO;
    replay::ScenarioFile scenario(file);
    replay::ParseError error;
    EXPECT_TRUE(scenario.check(error)) << error.reason.toStdString();
    std::unique_ptr<journal::Recorder> recorder;
    if (journal)
        recorder = journal::startRecorder(dataFolder, url, QStringLiteral("replay"), QStringLiteral("test"),
                                          [&day](const QString& m) { day.messages << m; });
    QTextStream out(&day.transcript);
    day.exitCode =
        replay::runScenario(scenario, scenario.date, scenario.time, dataFolder, out, recorder.get()).exitCode;
    out.flush();
    recorder.reset(); // every run written
    return day;
}

} // namespace lorimet::testing
