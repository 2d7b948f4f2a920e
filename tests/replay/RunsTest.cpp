// Finished runs told to the run sink: each kind and status once, with the values the table and the day
// protocol show, the run's lines as measured, and nothing for runs whose measured run never began.
#include "ReplayHarness.h"
#include "fakes/Fakes.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolFile.h"
#include "reports/ProtocolText.h"
#include "text/Numbers.h"

#include <QTemporaryDir>

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>

using namespace lorimet;
using namespace lorimet::replaytest;

namespace {

class Runs : public ::testing::Test {
  protected:
    std::vector<FinishedRun> run(const Day& day) {
        lorimet::testing::RecordingRunSink sink;
        const Replay r = runReplay(day.text(), dir.path(), &sink);
        EXPECT_EQ(r.exitCode, 0);
        return std::move(sink.runs);
    }
    QTemporaryDir dir;
};

// The lines of a measured run, up to the one that ended it, as the sink received them.
void expectLines(const FinishedRun& got, const Day& day, const RunRecord& run, const RunOutcome& o,
                 const char* what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(got.lines.size(), static_cast<size_t>(o.endSample + 1));
    for (size_t k = 0; k < got.lines.size(); ++k) {
        const RunLine& l = got.lines[k];
        EXPECT_EQ(l.elapsedMs, run.ms[k] - run.startMs) << k;
        EXPECT_EQ(l.raw, run.raw[k]) << k;
        EXPECT_NEAR(l.smoothed, o.signals[k], 1e-9) << k;
        EXPECT_NEAR(l.derivative, o.derivatives[k], 1e-9) << k;
        EXPECT_EQ(l.temperature, 20.3) << k;
    }
    EXPECT_EQ(got.lines[0].text, analyserLine(Day::kBase - Day::dip(20, 0), QStringLiteral("изм.")));
    EXPECT_EQ(got.startedAt, day.clockAt(run.ms[0]));
    EXPECT_EQ(got.finishedAt, day.clockAt(o.endMs(run)));
}

TEST_F(Runs, ADayReportsEachRunOnceWithTheValuesTheTableShows) {
    Day day;
    day.connect();
    const qint64 upperAt = day.command(QStringLiteral("upper-point"));
    day.lines(2, Day::kBase);
    const RunRecord reference = day.operation(QStringLiteral("calibrate 10"), 20);
    const RunRecord full = day.operation(QStringLiteral("analyse full 2 Проба 1"), 20);
    const RunRecord small = day.operation(QStringLiteral("analyse small - Проба 2"), 8);
    day.command(QStringLiteral("exit"));
    const auto runs = run(day);

    const RunOutcome c = expectCalibration(reference, 10);
    const RunOutcome f = expectAnalysis(full, false, c.rateCoefficient, c.rangeCoefficient, 2);
    const RunOutcome s = expectAnalysis(small, true, c.rateCoefficient, c.rangeCoefficient, 2);
    ASSERT_GE(s.endSample, 0);
    ASSERT_EQ(runs.size(), 4u);

    const FinishedRun& upper = runs[0];
    EXPECT_EQ(upper.kind, RunKind::UpperPoint);
    EXPECT_EQ(upper.status, RunStatus::Completed);
    EXPECT_EQ(upper.finishedAt, day.clockAt(upperAt));
    ASSERT_EQ(upper.lines.size(), 1u);
    EXPECT_EQ(upper.lines[0].raw, lineValue(Day::kBase));
    EXPECT_EQ(upper.lines[0].text, analyserLine(Day::kBase));
    EXPECT_EQ(upper.rateCoefficient, 0);

    const FinishedRun& cal = runs[1];
    EXPECT_EQ(cal.kind, RunKind::Calibration);
    EXPECT_EQ(cal.status, RunStatus::Completed);
    EXPECT_EQ(cal.certifiedValue, 10);
    EXPECT_EQ(cal.analysisKind, QStringLiteral("Full"));
    EXPECT_DOUBLE_EQ(cal.rateCoefficient, c.rateCoefficient);
    EXPECT_DOUBLE_EQ(cal.rangeCoefficient, c.rangeCoefficient);
    EXPECT_EQ(cal.bodInitial, 10);
    EXPECT_EQ(cal.bodFinal, 10);
    EXPECT_EQ(cal.meanTemperature, 20.3);
    expectLines(cal, day, reference, c, "calibration");

    const FinishedRun& a = runs[2];
    EXPECT_EQ(a.kind, RunKind::Analysis);
    EXPECT_EQ(a.status, RunStatus::Completed);
    EXPECT_EQ(a.description, QStringLiteral("Проба 1"));
    EXPECT_EQ(a.analysisKind, QStringLiteral("Full"));
    EXPECT_EQ(a.dilution, 2);
    EXPECT_EQ(a.bodInitial, 20); // "20,0" in the table
    EXPECT_EQ(a.bodFinal, 20);
    EXPECT_EQ(a.meanTemperature, 20.3);
    EXPECT_FALSE(a.certifiedValue);
    EXPECT_DOUBLE_EQ(a.rateCoefficient, c.rateCoefficient);
    EXPECT_DOUBLE_EQ(a.rangeCoefficient, c.rangeCoefficient);
    EXPECT_EQ(a.filter, (FilterParameters{0.3, 3, 5}));
    EXPECT_EQ(a.frequency, 2);
    EXPECT_EQ(a.delay, 2);
    ASSERT_TRUE(a.maxDerivative);
    EXPECT_DOUBLE_EQ(*a.maxDerivative, *std::max_element(f.derivatives.begin(), f.derivatives.end()));
    expectLines(a, day, full, f, "full analysis");

    const FinishedRun& b = runs[3];
    EXPECT_EQ(b.status, RunStatus::Completed);
    EXPECT_EQ(b.analysisKind, QStringLiteral("Small"));
    EXPECT_EQ(b.bodInitial, parseFileReal(resultCellText(s.rateResult)));
    EXPECT_FALSE(b.bodFinal);
    expectLines(b, day, small, s, "small analysis");
}

TEST_F(Runs, AnAnalysisOverTheLimitIsReportedOnceAsStopped) {
    for (const char* kind : {"small", "full"}) {
        SCOPED_TRACE(kind);
        Day day;
        day.connect();
        day.upperPoint();
        const RunRecord reference = day.operation(QStringLiteral("calibrate 10"), 20);
        const RunRecord sample = day.operation(QStringLiteral("analyse %1 25 Проба").arg(kind), 20);
        const auto runs = run(day);
        const RunOutcome c = expectCalibration(reference, 10);
        const RunOutcome o =
            expectAnalysis(sample, kind[0] == 's', c.rateCoefficient, c.rangeCoefficient, 25);
        ASSERT_EQ(runs.size(), 3u);
        const FinishedRun& a = runs[2];
        EXPECT_EQ(a.kind, RunKind::Analysis);
        EXPECT_EQ(a.status, RunStatus::Stopped);
        EXPECT_EQ(a.bodInitial, 250);
        EXPECT_FALSE(a.bodFinal);
        EXPECT_EQ(a.dilution, 25);
        expectLines(a, day, sample, o, kind);
    }
}

// Runs ended before their end: after the measured run began, an analysis is reported abandoned and a
// calibration not at all; before it began, nothing is reported.
TEST_F(Runs, RunsEndedEarlyAreAbandonedOnlyOnceMeasured) {
    struct Case {
        const char* name;
        const char* command;
        int runLines; // lines of the measured run before the end; -1: ended in the waiting phase
        const char* end;
        size_t reported; // runs after the upper point and the calibration
    };
    const Case cases[] = {
        {"analysis cleared while measured", "analyse small 1 Проба", 10, "clear", 1},
        {"analysis knob back while measured", "analyse small 1 Проба", 10, "knob", 1},
        {"analysis disconnected while measured", "analyse full 1 Проба", 10, "disconnect", 1},
        {"analysis cleared while waiting", "analyse small 1 Проба", -1, "clear", 0},
        {"calibration knob back while measured", "calibrate 10", 10, "knob", 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        QTemporaryDir folder;
        Day day;
        day.connect();
        day.upperPoint();
        day.operation(QStringLiteral("calibrate 10"), 20);
        day.startOperation(QString::fromUtf8(k.command));
        day.lines(k.runLines < 0 ? 10 : 25 * 2 + 2, Day::kBase);
        for (int n = 0; n < k.runLines; ++n)
            day.lines(1, Day::kBase - Day::dip(20, n));
        if (k.end == std::string("knob"))
            day.knob = QStringLiteral("под.");
        else
            day.command(QString::fromUtf8(k.end));
        day.knob = QStringLiteral("под.");
        day.lines(4, Day::kBase);
        lorimet::testing::RecordingRunSink sink;
        runReplay(day.text(), folder.path(), &sink);
        ASSERT_EQ(sink.runs.size(), 2 + k.reported);
        if (k.reported == 0)
            continue;
        const FinishedRun& a = sink.runs[2];
        EXPECT_EQ(a.kind, RunKind::Analysis);
        EXPECT_EQ(a.status, RunStatus::Abandoned);
        EXPECT_FALSE(a.bodInitial);
        // A knob turned back is seen on its own line, which is still a sample of the run.
        EXPECT_EQ(a.lines.size(), static_cast<size_t>(k.runLines) + (k.end == std::string("knob") ? 1 : 0));
    }
}

// The results a day file on the disk holds.
size_t resultsIn(const QString& dayFile) {
    const auto lines = readProtocolFile(dayFile);
    return lines ? parseProtocolFile(*lines).blocks.size() : 0;
}

// Notes, each time the engine waits for it to keep what it was told, how many runs it had been told and how
// many results the day file on the disk held.
class KeepingSink : public lorimet::testing::RecordingRunSink {
  public:
    QString dayFile;
    std::vector<std::pair<size_t, size_t>> waits; // runs told, results in the day file
    void waitKept() override { waits.emplace_back(runs.size(), resultsIn(dayFile)); }
};

// The day file takes a result only after the sink has its run and has kept it: a program killed in between
// leaves the result in the journal alone, never in the day file alone.
TEST_F(Runs, AResultReachesTheDayFileOnlyAfterTheSinkHasKeptItsRun) {
    Day day;
    day.connect();
    day.upperPoint();
    day.operation(QStringLiteral("calibrate 10"), 20);
    day.operation(QStringLiteral("analyse small 1 Проба 1"), 8);
    day.operation(QStringLiteral("analyse full 1 Проба 2"), 20);
    KeepingSink sink;
    sink.dayFile = dayFilePath(dir.path(), QStringLiteral("06.12.26 г"));
    EXPECT_EQ(runReplay(day.text(), dir.path(), &sink).exitCode, 0);
    // Told the upper point, the calibration and the first analysis, the day file still empty; then the
    // second analysis, the day file with the first result only.
    const std::vector<std::pair<size_t, size_t>> expected = {{3, 0}, {4, 1}};
    EXPECT_EQ(sink.waits, expected);
    EXPECT_EQ(resultsIn(sink.dayFile), 2u);
}

} // namespace
