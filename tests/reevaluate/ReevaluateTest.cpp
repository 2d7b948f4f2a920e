// Recorded runs of a replayed day evaluated again by the engine: with the recorded filter the recorded run
// comes back exactly, with other settings other results; the lorimet-journal command on that journal.
#include "reevaluate/Reevaluate.h"
#include "ReplayRunner.h"
#include "Scenario.h"
#include "fakes/ExampleDay.h"
#include "fakes/ToolRun.h"
#include "journal/Recorder.h"
#include "journal/Store.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::journal;

namespace {

std::optional<double> recorded(const Record& r, QStringView field) {
    const QVariant v = r.value(field);
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
}

std::vector<double> column(const Record& r, double RecordLine::*field) {
    std::vector<double> out;
    for (const RecordLine& l : r.lines)
        out.push_back(l.*field);
    return out;
}

// The example day (GSO 10, a Small analysis at dilution 1, a Full one at dilution 2), replayed once into a
// journal; its calibration and analyses with their lines.
class Reevaluate : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        const lorimet::testing::ExampleDay day = lorimet::testing::replayExampleDay(data());
        ASSERT_EQ(day.exitCode, 0);
        ASSERT_TRUE(day.messages.isEmpty()) << day.messages.join(u'\n').toStdString();
        QString error;
        auto store = Store::openExisting(data() + QStringLiteral("/lorimet.db"), error);
        ASSERT_TRUE(store) << error.toStdString();
        records = new std::vector<Record>;
        for (const Record& r : store->list({}, error)) {
            if (r.text(u"kind") == u"upper-point")
                upperPointId = r.text(u"id");
            else
                records->push_back(*store->find(r.text(u"id"), true, error));
        }
        ASSERT_EQ(records->size(), 3u);
    }
    static void TearDownTestSuite() {
        delete records;
        delete dir;
    }
    static QString data() { return dir->filePath(QStringLiteral("data")); }
    static const Record& calibration() { return (*records)[0]; }
    static const Record& small() { return (*records)[1]; }
    static const Record& full() { return (*records)[2]; }

    static QTemporaryDir* dir;
    static std::vector<Record>* records;
    static QString upperPointId;
};
QTemporaryDir* Reevaluate::dir = nullptr;
std::vector<Record>* Reevaluate::records = nullptr;
QString Reevaluate::upperPointId;

TEST_F(Reevaluate, TheRecordedFilterGivesBackTheRecordedRun) {
    ASSERT_EQ(small().text(u"analysis_kind"), QStringLiteral("Small"));
    ASSERT_EQ(full().text(u"analysis_kind"), QStringLiteral("Full"));
    for (const Record* r : {&small(), &full(), &calibration()}) {
        SCOPED_TRACE(r->text(u"description").toStdString() + " " + r->text(u"kind").toStdString());
        QString error;
        const auto again = endPoints(*r, error);
        ASSERT_TRUE(again) << error.toStdString();
        EXPECT_EQ(again->end, ReevaluatedEnd::Completed);
        EXPECT_EQ(again->bodInitial, recorded(*r, u"bod_initial"));
        EXPECT_EQ(again->bodFinal, recorded(*r, u"bod_final"));
        EXPECT_EQ(again->rateCoefficient, r->value(u"rate_coefficient").toDouble());
        EXPECT_EQ(again->rangeCoefficient, r->value(u"range_coefficient").toDouble());
        EXPECT_EQ(again->smoothed, column(*r, &RecordLine::smoothed));
        EXPECT_EQ(again->derivative, column(*r, &RecordLine::derivative));
        EXPECT_FALSE(again->smoothedTwice);
        // The run ended on its last stored line, at its last end point; none before sample 21.
        const int last = static_cast<int>(r->lines.size()) - 1;
        ASSERT_TRUE(again->initialRateLine);
        EXPECT_GT(*again->initialRateLine, 20);
        if (r == &small()) {
            EXPECT_EQ(*again->initialRateLine, last);
            EXPECT_FALSE(again->finalRateLine);
        } else {
            EXPECT_LT(*again->initialRateLine, last);
            EXPECT_EQ(again->finalRateLine, last);
        }
    }
}

// A is the weight of the previous output: a larger A, more passes and a wider window smooth more and lag
// more. The stored lines end where the recorded run ended, so an end point that comes later is not reached.
TEST_F(Reevaluate, OtherFiltersGiveOtherResults) {
    const FilterParameters lightest{0.01, 1, 1}, heavier{0.6, 5, 7}, heaviest{0.91, 11, 11};
    const struct {
        const Record& record;
        FilterParameters filter;
        ReevaluatedEnd end;
        bool bodFinal;
    } cases[] = {
        {small(), lightest, ReevaluatedEnd::Completed, false},
        {full(), lightest, ReevaluatedEnd::Completed, true},
        {small(), heavier, ReevaluatedEnd::Completed, false},
        {full(), heavier, ReevaluatedEnd::Unfinished, false},
        {full(), heaviest, ReevaluatedEnd::Unfinished, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record.text(u"analysis_kind").toStdString() + " A=" + std::to_string(c.filter.a));
        QString error;
        const auto again = reevaluate(c.record, c.filter, error);
        ASSERT_TRUE(again) << error.toStdString();
        EXPECT_EQ(again->filter, c.filter);
        EXPECT_EQ(again->end, c.end);
        EXPECT_EQ(again->bodFinal.has_value(), c.bodFinal);
        EXPECT_NE(again->bodInitial, recorded(c.record, u"bod_initial"));
        ASSERT_EQ(again->smoothed.size(), again->derivative.size());
        // The engine evaluates the lines up to the end point that ends its run, or all of them.
        if (c.end == ReevaluatedEnd::Unfinished) {
            EXPECT_EQ(again->smoothed.size(), c.record.lines.size());
        } else {
            const auto ending = c.bodFinal ? again->finalRateLine : again->initialRateLine;
            ASSERT_TRUE(ending);
            EXPECT_EQ(again->smoothed.size(), static_cast<size_t>(*ending + 1));
        }
        // Reached end points carry the BOD' of the indicator even when the run did not finish.
        EXPECT_EQ(again->bodInitial.has_value(), again->initialRateLine.has_value());
        const auto recordedSmoothed = column(c.record, &RecordLine::smoothed);
        EXPECT_NE(again->smoothed, std::vector<double>(recordedSmoothed.begin(),
                                                       recordedSmoothed.begin() +
                                                           static_cast<qsizetype>(again->smoothed.size())));
    }
    // The heaviest smoothing lags so far that neither end point falls within the stored lines.
    QString error;
    const auto lagging = reevaluate(full(), heaviest, error);
    ASSERT_TRUE(lagging);
    EXPECT_FALSE(lagging->initialRateLine);
    EXPECT_FALSE(lagging->bodInitial);
}

// An imported record keeps the protocol's data line, not the analyser's: the engine gets a line made from
// the stored signal and temperature. Made here from a live record (whose stored signal is the raw one), the
// curve must come out as recorded; without coefficients no result is given.
TEST_F(Reevaluate, AnImportedRecordIsFlaggedAndItsLinesAreMadeForTheEngine) {
    Record imported = full();
    imported.set(u"source", QStringLiteral("import:Протокол.txt"));
    for (RecordLine& l : imported.lines)
        l.raw = QStringLiteral("S=+000,000 not an analyser line");
    QString error;
    const auto again = endPoints(imported, error);
    ASSERT_TRUE(again) << error.toStdString();
    EXPECT_TRUE(again->smoothedTwice);
    EXPECT_FALSE(again->withoutCoefficients);
    EXPECT_EQ(again->smoothed, column(full(), &RecordLine::smoothed));
    EXPECT_EQ(again->bodFinal, recorded(full(), u"bod_final"));

    imported.set(u"rate_coefficient", QVariant());
    imported.set(u"range_coefficient", QVariant());
    const auto bare = endPoints(imported, error);
    ASSERT_TRUE(bare) << error.toStdString();
    EXPECT_TRUE(bare->withoutCoefficients);
    EXPECT_FALSE(bare->bodInitial);
    EXPECT_FALSE(bare->bodFinal);
    EXPECT_EQ(bare->finalRateLine, again->finalRateLine);
}

// The 200 mg/l limit stops the analysis as the engine stops it, with the BOD' the indicator showed.
TEST_F(Reevaluate, AnAnalysisOverTheLimitIsStopped) {
    Record strong = full();
    strong.set(u"rate_coefficient", strong.value(u"rate_coefficient").toDouble() * 20);
    QString error;
    const auto again = endPoints(strong, error);
    ASSERT_TRUE(again) << error.toStdString();
    EXPECT_EQ(again->end, ReevaluatedEnd::Stopped);
    ASSERT_TRUE(again->bodInitial);
    EXPECT_GT(*again->bodInitial, 200);
    EXPECT_FALSE(again->bodFinal);
    EXPECT_EQ(again->smoothed.size(), static_cast<size_t>(*again->initialRateLine + 1));
}

TEST_F(Reevaluate, RecordsItCannotEvaluateAreRefusedWithAReason) {
    auto changed = [](std::function<void(Record&)> change) {
        Record r = small();
        change(r);
        return r;
    };
    const struct {
        const char* what;
        Record record;
        FilterParameters filter;
        const char* reason;
    } cases[] = {
        {"upper point",
         changed([](Record& r) { r.set(u"kind", QStringLiteral("upper-point")); }),
         {0.3, 3, 5},
         "no measured run"},
        {"no lines", changed([](Record& r) { r.lines.clear(); }), {0.3, 3, 5}, "no lines"},
        {"A out of range", small(), {0.95, 3, 5}, "out of range"},
        {"no cycles", small(), {0.3, 0, 5}, "out of range"},
        {"no analysis kind",
         changed([](Record& r) { r.set(u"analysis_kind", QVariant()); }),
         {0.3, 3, 5},
         "analysis kind"},
        {"a line that does not read",
         changed([](Record& r) { r.lines[5].raw = QStringLiteral("garbage"); }),
         {0.3, 3, 5},
         "line 6"},
        {"a line that reads otherwise",
         changed([](Record& r) { r.lines[7].raw.replace(0, 7, QStringLiteral("  1.00 ")); }),
         {0.3, 3, 5},
         "line 8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QString error;
        EXPECT_FALSE(reevaluate(c.record, c.filter, error));
        EXPECT_TRUE(error.contains(QLatin1StringView(c.reason))) << error.toStdString();
    }
}

using Tool = lorimet::testing::ToolRun;

Tool tool(const QStringList& args) {
    return lorimet::testing::runTool(QStringLiteral(LORIMET_JOURNAL_TOOL), args);
}

TEST_F(Reevaluate, TheCommandPrintsBothResultsAndTellsWrongUsageFromFailure) {
    const QStringList journal = {QStringLiteral("--data-dir"), data(), QStringLiteral("reevaluate")};
    const QString id = small().text(u"id");
    const QString json = QStringLiteral("json");
    const struct {
        QStringList args;
        int exitCode;
    } cases[] = {
        {{}, 2},
        {{id, QStringLiteral("--filter"), QStringLiteral("0,3,5")}, 2}, // A is the slider: 1..91
        {{id, QStringLiteral("--filter"), QStringLiteral("92,3,5")}, 2},
        {{id, QStringLiteral("--filter"), QStringLiteral("30,12,5")}, 2},
        {{id, QStringLiteral("--filter"), QStringLiteral("30,3")}, 2},
        {{id, QStringLiteral("--filter"), QStringLiteral("0.3,3,5")}, 2},
        {{id, QStringLiteral("--format"), QStringLiteral("csv")}, 2},
        {{QStringLiteral("no-such-record")}, 1},
        {{upperPointId}, 1}, // not an analysis
        {{id}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const Tool t = tool(journal + c.args);
        EXPECT_EQ(t.exitCode, c.exitCode) << t.err.toStdString();
        if (c.exitCode != 0) {
            EXPECT_FALSE(t.err.isEmpty());
        }
    }

    // The recorded filter by its slider position, and the lightest one, as one line of JSON each.
    for (const auto& [filter, same] :
         {std::pair{QStringLiteral("30,3,5"), true}, {QStringLiteral("1,1,1"), false}}) {
        SCOPED_TRACE(filter.toStdString());
        const Tool t = tool(journal + QStringList{full().text(u"id"), QStringLiteral("--filter"), filter,
                                                  QStringLiteral("--format"), json});
        ASSERT_EQ(t.exitCode, 0) << t.err.toStdString();
        EXPECT_EQ(t.out.count(u'\n'), 1);
        QJsonParseError parseError;
        const QJsonObject o = QJsonDocument::fromJson(t.out.toUtf8(), &parseError).object();
        ASSERT_EQ(parseError.error, QJsonParseError::NoError) << t.out.toStdString();
        EXPECT_EQ(o[u"recorded_bod_initial"].toDouble(), full().value(u"bod_initial").toDouble());
        EXPECT_EQ(o[u"recorded_bod_final"].toDouble(), full().value(u"bod_final").toDouble());
        EXPECT_EQ(o[u"bod_initial"] == o[u"recorded_bod_initial"], same) << t.out.toStdString();
        EXPECT_EQ(o[u"bod_final"] == o[u"recorded_bod_final"], same) << t.out.toStdString();
        EXPECT_EQ(o[u"filter_a"].toDouble(), same ? 0.3 : 0.01);
        EXPECT_EQ(o[u"recorded_filter_b"].toDouble(), 3);
    }
    const Tool smallJson = tool(journal + QStringList{id, QStringLiteral("--format"), json});
    EXPECT_TRUE(smallJson.out.contains(QStringLiteral("\"bod_final\": null"))) << smallJson.out.toStdString();
    EXPECT_TRUE(smallJson.out.contains(QStringLiteral("\"recorded_bod_final\": null")));

    // Only read: every chain as it was written.
    const Tool verified = tool({QStringLiteral("--data-dir"), data(), QStringLiteral("verify")});
    EXPECT_EQ(verified.exitCode, 0) << verified.err.toStdString();
}

} // namespace
