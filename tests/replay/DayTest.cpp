// Whole days: calibration and analyses recorded in the table and the day file, the day file carried into
// the next start, the Temp folder swept at exit, and a run through midnight.
#include "ReplayHarness.h"

#include "reports/DayProtocol.h"
#include "text/Numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::replaytest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const QString kToday = QStringLiteral("06.12.26 г");
const QString kFirstSample = QStringLiteral("Проба 1 (р. Исеть, створ 2)");
const QString kSecondSample = QStringLiteral("Проба 2 (сток, разб. 1:2)");
const QString kThirdSample = QStringLiteral("Проба 3");

// Connect, the upper point, the GSO calibration at 10 mg/l on a dip of 20 %нас, then three analyses: the
// reference's own dip by initial rates, the same dip by final rates diluted twice, and a shallower dip by
// initial rates whose dilution field is not visited (it keeps 2).
struct FirstDay {
    Day day;
    RunRecord reference, first, second, third;

    FirstDay() {
        day.connect();
        day.upperPoint();
        reference = day.operation(QStringLiteral("calibrate 10"), 20);
        first = day.operation(QStringLiteral("analyse small - ") + kFirstSample, 20);
        second = day.operation(QStringLiteral("analyse full 2 ") + kSecondSample, 20);
        day.command(QStringLiteral("toxicity")); // enabled now, and does nothing
        third = day.operation(QStringLiteral("analyse small - ") + kThirdSample, 8);
        day.command(QStringLiteral("exit"));
    }
};

QStringList captions(const QStringList& windows) {
    QStringList out;
    for (const QString& record : windows)
        out << record.section(u' ', 2).section(QStringLiteral(" | "), 0, 0);
    return out;
}

class Days : public ::testing::Test {
  protected:
    QTemporaryDir dir;
};

TEST_F(Days, CalibrationAndAnalysesReachTheTableAndTheDayFile) {
    const FirstDay d;
    const Replay r = runReplay(d.day.text(), dir.path());
    ASSERT_EQ(r.exitCode, 0);

    const RunOutcome reference = expectCalibration(d.reference, 10);
    ASSERT_GE(reference.endSample, 0);
    const double rate = reference.rateCoefficient, range = reference.rangeCoefficient;
    const RunOutcome first = expectAnalysis(d.first, true, rate, range, 1);
    const RunOutcome second = expectAnalysis(d.second, false, rate, range, 2);
    const RunOutcome third = expectAnalysis(d.third, true, rate, range, 2);
    // The reference's own dip gives back the certified value, times the sample's dilution.
    ASSERT_DOUBLE_EQ(first.rateResult, 10);
    ASSERT_DOUBLE_EQ(second.rateResult, 20);
    ASSERT_DOUBLE_EQ(second.rangeResult, 20);
    ASSERT_GE(third.endSample, 0);

    const QStringList rows = r.of("row");
    EXPECT_THAT(rows, ElementsAre(expectedRow(d.day, d.first, first, false, 1, kFirstSample),
                                  expectedRow(d.day, d.second, second, true, 2, kSecondSample),
                                  expectedRow(d.day, d.third, third, false, 3, kThirdSample)));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_TRUE(rows[0].contains(QStringLiteral(" row 1 | ") + kFirstSample +
                                 QStringLiteral(" | 10,0 |  |  | 20,3 | ")))
        << rows[0].toStdString();
    EXPECT_TRUE(rows[1].contains(QStringLiteral(" | 20,0 | 20,0 |  | 20,3 | "))) << rows[1].toStdString();

    EXPECT_EQ(readBytes(dayFilePath(dir.path(), kToday)),
              fileBytes(expectedBlock(d.day, d.first, first, false, kFirstSample) +
                        expectedBlock(d.day, d.second, second, true, kSecondSample) +
                        expectedBlock(d.day, d.third, third, false, kThirdSample)));

    auto a4 = [](const RunRecord& run, const RunOutcome& o) { return stamp(o.endMs(run)) + " tx A4"; };
    EXPECT_THAT(r.of("tx"),
                ElementsAre("0.750 tx A1 A2 02 A3 07 D0", "2.250 tx AB", a4(d.reference, reference),
                            a4(d.first, first), a4(d.second, second), a4(d.third, third)));
    EXPECT_THAT(captions(r.of("window")),
                ElementsAre("Калибровка", "Подготовка", "Анализ пробы", "Подготовка", "Анализ пробы",
                            "Подготовка", "Анализ пробы", "Подготовка"));
    EXPECT_THAT(captions(r.of("window-close")), captions(r.of("window")));
    EXPECT_EQ(r.of("window").value(1), stamp(reference.endMs(d.reference)) +
                                           " window Подготовка | Калибровка по ГСО успешно завершена !" +
                                           said::kKnobBack);
    EXPECT_EQ(r.of("window").value(3), stamp(first.endMs(d.first)) +
                                           " window Подготовка | Анализ пробы успешно завершён !" +
                                           said::kKnobBack);
    EXPECT_THAT(r.of("link"), ElementsAre("0.750 link open")); // releasing the port at exit is not recorded
    EXPECT_THAT(r.of("box"), ElementsAre(QStringLiteral("2.250 ") + said::kFirstUpperPointBox));
    EXPECT_THAT(r.of("error"), IsEmpty());
    // Nothing was saved into the day's report folder: it is gone.
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("Reports/") + kToday)));
}

TEST_F(Days, DayFileCarriesTheDayIntoTheNextStart) {
    const FirstDay d;
    runReplay(d.day.text(), dir.path());
    const QByteArray before = readBytes(dayFilePath(dir.path(), kToday));
    ASSERT_FALSE(before.isEmpty());

    // The calibration does not survive the program; the day's table does.
    Day next(2, QDate(2026, 12, 6), QTime(11, 0));
    next.connect();
    next.upperPoint();
    const RunRecord reference = next.operation(QStringLiteral("calibrate 10"), 20);
    const RunRecord sample = next.operation(QStringLiteral("analyse full 1 Проба 4"), 12);
    next.command(QStringLiteral("exit"));
    const Replay r = runReplay(next.text(), dir.path());

    const RunOutcome calibration = expectCalibration(reference, 10);
    const RunOutcome o =
        expectAnalysis(sample, false, calibration.rateCoefficient, calibration.rangeCoefficient, 1);
    ASSERT_GE(o.endSample, 0);
    // The rows of the day are rebuilt, not reported again; the new analysis counts on from them.
    EXPECT_THAT(r.of("row"), ElementsAre(expectedRow(next, sample, o, true, 4, QStringLiteral("Проба 4"))));
    EXPECT_EQ(readBytes(dayFilePath(dir.path(), kToday)),
              before + fileBytes(expectedBlock(next, sample, o, true, QStringLiteral("Проба 4"))));
}

TEST_F(Days, FilterSettingsReachTheSmoothingAndTheCalibrationSurvivesAReconnection) {
    Day day;
    day.connect();
    day.upperPoint();
    const RunRecord reference = day.operation(QStringLiteral("calibrate 10"), 20);
    const qint64 again = day.command(QStringLiteral("disconnect"));
    day.command(QStringLiteral("settings A=10 B=1 C=2"));
    day.connect(); // straight to ready: no new upper point, no new calibration
    const RunRecord sample = day.operation(QStringLiteral("analyse full - Проба"), 12);
    day.command(QStringLiteral("exit"));
    const Replay r = runReplay(day.text(), dir.path());

    const RunOutcome calibration = expectCalibration(reference, 10);
    const RunOutcome o = expectAnalysis(sample, false, calibration.rateCoefficient,
                                        calibration.rangeCoefficient, 1, Filter{0.1, 1, 2});
    ASSERT_GE(o.endSample, 0);
    EXPECT_THAT(r.of("row"), ElementsAre(expectedRow(day, sample, o, true, 1, QStringLiteral("Проба"))));
    EXPECT_EQ(readBytes(dayFilePath(dir.path(), kToday)),
              fileBytes(expectedBlock(day, sample, o, true, QStringLiteral("Проба"))));
    EXPECT_THAT(r.of("tx"),
                ElementsAre("0.750 tx A1 A2 02 A3 07 D0", "2.250 tx AB",
                            stamp(calibration.endMs(reference)) + " tx A4",
                            stamp(again) + " tx A1 A2 02 A3 07 D0", stamp(o.endMs(sample)) + " tx A4"));
}

struct SweepCase {
    const char* name;
    const char* answers;
    const char* answer;
    bool kept;
    bool saved;
};

class ExitSweep : public Days, public ::testing::WithParamInterface<SweepCase> {};

TEST_P(ExitSweep, OffersToSaveAnEarlierDaysFile) {
    const QStringList old = {QStringLiteral("1"),
                             QStringLiteral("S=+095,000 dS=+000,000 T=000,5"),
                             QStringLiteral("Вчерашняя проба"),
                             QStringLiteral("БПК*=004,00 "),
                             QStringLiteral("t=020,3 °C T=00:10"),
                             QStringLiteral("Время: 16:00:00 Дата: 05.12.26 г")};
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("Temp"))));
    const QString oldPath = dayFilePath(dir.path(), QStringLiteral("05.12.26 г"));
    ASSERT_TRUE(writeProtocolFile(oldPath, old));
    const QString junk = dir.filePath(QStringLiteral("Temp/junk.txt"));
    ASSERT_TRUE(writeProtocolFile(junk, {QStringLiteral("x")}));
    QFile(junk).setPermissions(QFileDevice::ReadOwner);
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("Temp/sub"))));
    ASSERT_TRUE(writeProtocolFile(dir.filePath(QStringLiteral("Temp/sub/inner.txt")), {QStringLiteral("y")}));

    const Replay r =
        runReplay(QString::fromUtf8(GetParam().answers) + QStringLiteral("1 exit\n"), dir.path());
    EXPECT_THAT(r.records,
                ElementsAre(QStringLiteral("0.000 ") + said::kUnlinked,
                            QStringLiteral("1.000 box Внимание | Протокол от 05.12.26 г.tmp не был "
                                           "сохранён !\\rСохранить этот файл ? -> ") +
                                GetParam().answer));
    EXPECT_EQ(QFileInfo::exists(oldPath), GetParam().kept);
    EXPECT_EQ(readBytes(dir.filePath(QStringLiteral("saved.txt"))),
              GetParam().saved ? fileBytes(old) : QByteArray());
    // Other files go without a question, read-only ones too; folders are emptied and kept.
    EXPECT_FALSE(QFileInfo::exists(junk));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("Temp/sub/inner.txt"))));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("Temp/sub"))).isDir());
}

INSTANTIATE_TEST_SUITE_P(
    Replay, ExitSweep,
    ::testing::Values(SweepCase{"No", "", "No", false, false},
                      SweepCase{"YesAndSave", "0.5 answer Yes\n0.5 save-as saved.txt\n", "Yes", false, true},
                      SweepCase{"YesAndCancel", "0.5 answer Yes\n0.5 save-as cancel\n", "Yes", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Days, RunThroughMidnightKeepsCountingAndTakesTheNewDate) {
    Day day;
    day.connect();
    day.upperPoint();
    const RunRecord reference = day.operation(QStringLiteral("calibrate 10"), 20);
    const RunRecord sample = day.operation(QStringLiteral("analyse small - Ночная проба"), 20);
    day.command(QStringLiteral("exit"));
    // The run starts five seconds before midnight.
    day.time = QTime(0, 0).addMSecs(-static_cast<int>(sample.startMs + 5000));
    // After a change of date an earlier day file goes without a question.
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("Temp"))));
    const QString earlier = dayFilePath(dir.path(), QStringLiteral("05.12.26 г"));
    ASSERT_TRUE(writeProtocolFile(earlier, {QStringLiteral("x")}));
    const Replay r = runReplay(day.text(), dir.path());

    const RunOutcome calibration = expectCalibration(reference, 10);
    const RunOutcome o =
        expectAnalysis(sample, true, calibration.rateCoefficient, calibration.rangeCoefficient, 1);
    ASSERT_GE(o.endSample, 0);
    ASSERT_EQ(day.clockAt(o.endMs(sample)).date(), QDate(2026, 12, 7));

    EXPECT_THAT(r.of("row"),
                ElementsAre(expectedRow(day, sample, o, false, 1, QStringLiteral("Ночная проба"))));
    EXPECT_TRUE(r.of("row").value(0).endsWith(QStringLiteral(" | 07.12.26 г")));
    const QString file = dayFilePath(dir.path(), QStringLiteral("07.12.26 г"));
    const QStringList block = expectedBlock(day, sample, o, false, QStringLiteral("Ночная проба"));
    EXPECT_EQ(readBytes(file), fileBytes(block));
    EXPECT_FALSE(QFileInfo::exists(dayFilePath(dir.path(), kToday)));
    EXPECT_FALSE(QFileInfo::exists(earlier));
    EXPECT_THAT(r.of("box"), ElementsAre(QStringLiteral("2.250 ") + said::kFirstUpperPointBox));

    // Elapsed times in the written data lines grow from line to line.
    const auto lines = readProtocolFile(file);
    ASSERT_TRUE(lines && lines->size() > 2);
    double previous = 0;
    for (qsizetype i = 1; i <= lines->at(0).toInt(); ++i) {
        const auto elapsed = parseFileReal(QStringView(lines->at(i)).mid(25, 5));
        ASSERT_TRUE(elapsed) << lines->at(i).toStdString();
        EXPECT_GT(*elapsed, previous) << lines->at(i).toStdString();
        previous = *elapsed;
    }
}

} // namespace
