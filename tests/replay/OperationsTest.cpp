// Operations led by the analyser's knob: the waiting phase, the knob against the program's operation,
// clearing and cancelling, the dialogs' numbers, lines too close together, and the 200 mg/l limit.
#include "ReplayHarness.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace lorimet::replaytest;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class Operations : public ::testing::Test {
  protected:
    Replay run(const Day& day) { return runReplay(day.text(), dir.path()); }
    QTemporaryDir dir;
};

class WaitingPhase : public Operations, public ::testing::WithParamInterface<int> {};

// A flat signal never rises, so the run starts on the first line the delay allows: the (25 × delay + 2)-th
// line of the waiting phase.
TEST_P(WaitingPhase, LastsMoreThanTwentyFiveLinesPerSecondOfDelay) {
    const int delay = GetParam();
    Day day(delay);
    day.command(QStringLiteral("settings D=%1").arg(delay));
    day.connect();
    day.upperPoint();
    day.startOperation(QStringLiteral("calibrate 10"));
    const double first = day.now();
    day.lines(25 * delay + 2 + 3, Day::kBase);
    const Replay r = run(day);
    const double start = first + (25 * delay + 1) * 0.5;
    EXPECT_THAT(r.between(first, start),
                ElementsAre(stamp(first) + u' ' + said::kWaiting, stamp(start) + u' ' + said::kCalibrating));
}

INSTANTIATE_TEST_SUITE_P(Replay, WaitingPhase, ::testing::Values(1, 2, 4));

TEST_F(Operations, SignalStillRisingCancelsTheOperationOnTheSixHundredAndFirstLine) {
    Day day;
    day.connect();
    day.upperPoint();
    day.startOperation(QStringLiteral("calibrate 10"));
    const double first = day.now();
    day.lines(603, [](int k) { return Day::kBase + 0.01 * (k + 1); });
    day.knob = QStringLiteral("под.");
    day.lines(1, 101.0);
    const Replay r = run(day);
    const QString cancelled = stamp(first + 600 * 0.5);
    EXPECT_THAT(r.between(first, first + 599 * 0.5), ElementsAre(stamp(first) + u' ' + said::kWaiting));
    EXPECT_THAT(
        r.between(first + 600 * 0.5, first + 600 * 0.5),
        ElementsAre(cancelled + " tx A4",
                    cancelled + " window Отмена операции | Процесс вычислений остановлен !" + said::kKnobBack,
                    // the operation is over and the signal is above the level: ready again
                    cancelled + u' ' + said::kReadyForGso));
    EXPECT_THAT(r.of("status").filter(QStringLiteral("status 4")), IsEmpty());
    EXPECT_THAT(r.of("window-close"), Contains(stamp(first + 603 * 0.5) + " window-close Отмена операции"));
}

class KnobBackDuringOperation : public Operations, public ::testing::WithParamInterface<int> {};

// In the waiting phase (5 lines) or in the run (60 lines): the operation is abandoned, nothing is sent.
TEST_P(KnobBackDuringOperation, AbandonsTheOperation) {
    Day day;
    day.connect();
    day.upperPoint();
    day.startOperation(QStringLiteral("calibrate 10"));
    day.lines(GetParam(), Day::kBase);
    day.knob = QStringLiteral("под.");
    const double back = day.now();
    day.lines(3, Day::kBase);
    const Replay r = run(day);
    EXPECT_THAT(r.between(back, back),
                ElementsAre(stamp(back) + " box Отмена операции | Процесс вычислений остановлен ! -> OK"));
    EXPECT_THAT(r.of("tx"), ElementsAre("0.750 tx A1 A2 02 A3 07 D0", "2.250 tx AB"));
    EXPECT_THAT(r.of("window"), ElementsAre(QStringLiteral("3.250 ") + said::kCalibrationPrompt));
}

INSTANTIATE_TEST_SUITE_P(Replay, KnobBackDuringOperation, ::testing::Values(5, 60));

TEST_F(Operations, ClearingDuringAnOperationCancelsIt) {
    Day day;
    day.connect();
    day.upperPoint();
    day.startOperation(QStringLiteral("calibrate 10"));
    day.lines(10, Day::kBase);
    const double cleared = static_cast<double>(day.command(QStringLiteral("clear"))) / 1000;
    day.lines(2, Day::kBase);
    day.knob = QStringLiteral("под.");
    const double back = day.now();
    day.lines(2, Day::kBase);
    const Replay r = run(day);
    EXPECT_THAT(r.between(cleared, cleared),
                ElementsAre(stamp(cleared) + " tx A4", stamp(cleared) +
                                                           " window Отмена операции | Процесс "
                                                           "вычислений остановлен !" +
                                                           said::kKnobBack));
    EXPECT_THAT(r.of("window-close"), Contains(stamp(back) + " window-close Отмена операции"));
    EXPECT_THAT(r.of("box"), ElementsAre(QStringLiteral("2.250 ") + said::kFirstUpperPointBox));
}

// Cut short after its initial-rate end point and before its final one, the calibration leaves one
// coefficient: "ready for measurements", yet the sample analysis stays disabled.
TEST_F(Operations, CalibrationCutShortLeavesTheAnalysisDisabled) {
    Day day;
    day.connect();
    day.upperPoint();
    day.startOperation(QStringLiteral("calibrate 10"));
    day.lines(25 * 2 + 2, Day::kBase);
    RunRecord cut;
    cut.startMs = day.next - Day::kPeriod;
    auto sample = [&](double value) {
        cut.ms.push_back(day.next);
        cut.raw.push_back(lineValue(value));
        day.lines(1, value);
    };
    for (int k = 0; k < 35; ++k)
        sample(Day::kBase - Day::dip(20, k));
    day.knob = QStringLiteral("под."); // the line that reports it is still a sample of the run
    const double back = day.now();
    sample(Day::kBase);
    const RunOutcome o = expectCalibration(cut, 10);
    ASSERT_GT(o.rateCoefficient, 0);
    ASSERT_EQ(o.endSample, -1);
    day.lines(1, Day::kBase);
    const double analyse = static_cast<double>(day.command(QStringLiteral("analyse small 1 Проба"))) / 1000;
    day.lines(4, Day::kBase);
    const Replay r = run(day);
    EXPECT_THAT(r.between(back, analyse + 2),
                ElementsAre(stamp(back) + " box Отмена операции | Процесс вычислений остановлен ! -> OK",
                            stamp(back + 0.5) + u' ' + said::kReady));
}

TEST_F(Operations, CancelOnAStartPromptStartsNothing) {
    Day day;
    day.connect();
    day.upperPoint();
    const double prompted = static_cast<double>(day.command(QStringLiteral("calibrate 10"))) / 1000;
    day.lines(2, Day::kBase);
    const double cancelled = static_cast<double>(day.command(QStringLiteral("cancel"))) / 1000;
    day.lines(1, Day::kBase);
    day.knob = QStringLiteral("изм.");
    const double turned = day.now();
    day.lines(3, Day::kBase);
    day.command(QStringLiteral("cancel")); // the error window has no Cancel button
    day.lines(60, Day::kBase);
    const Replay r = run(day);
    EXPECT_THAT(r.between(prompted, turned - 0.001),
                ElementsAre(stamp(prompted) + u' ' + said::kCalibrationPrompt,
                            stamp(cancelled) + " window-close Калибровка"));
    // The knob now finds no operation: the error window, and never the waiting phase.
    EXPECT_THAT(r.between(turned, turned + 30),
                ElementsAre(stamp(turned) + " tx A4",
                            stamp(turned) + " window Ошибка | Параметры не заданы !" + said::kKnobBack));
    EXPECT_THAT(r.of("status").filter(QStringLiteral("status 1")), IsEmpty());
}

struct CertifiedCase {
    const char* name;
    const char* arguments;
    double certified; // in the cell: the certified value divided by the reference's dilution
    const char* cell; // BOD' of a sample with the reference's own dip
};

class GsoDialog : public Operations, public ::testing::WithParamInterface<CertifiedCase> {};

TEST_P(GsoDialog, CertifiedValueIsDividedByTheReferenceDilution) {
    Day day;
    day.connect();
    day.upperPoint();
    const RunRecord reference = day.operation(QStringLiteral("calibrate ") + GetParam().arguments, 20);
    const RunRecord sample = day.operation(QStringLiteral("analyse small - Проба"), 20);
    const Replay r = run(day);
    const RunOutcome calibration = expectCalibration(reference, GetParam().certified);
    const RunOutcome o =
        expectAnalysis(sample, true, calibration.rateCoefficient, calibration.rangeCoefficient, 1);
    ASSERT_GE(o.endSample, 0);
    EXPECT_THAT(r.of("row"), ElementsAre(expectedRow(day, sample, o, false, 1, QStringLiteral("Проба"))));
    EXPECT_TRUE(r.of("row").value(0).contains(QStringLiteral(" | Проба | ") + GetParam().cell + " | "));
}

INSTANTIATE_TEST_SUITE_P(Replay, GsoDialog,
                         ::testing::Values(CertifiedCase{"Undiluted", "10", 10, "10,0"},
                                           CertifiedCase{"DilutedTwice", "10 2", 5, "5,0"},
                                           CertifiedCase{"TypedWithAPoint", "12.5 2,5", 5, "5,0"},
                                           CertifiedCase{"BelowOne", "0.5", 0.5, "0,50"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Operations, DilutionIsReadOnlyWhenItsFieldIsVisitedAndACalibrationResetsIt) {
    Day day;
    day.connect();
    day.upperPoint();
    day.operation(QStringLiteral("calibrate 10"), 20);
    day.operation(QStringLiteral("analyse small 2.5 Проба 1"), 20);
    day.operation(QStringLiteral("calibrate 10"), 20);
    // The field still shows 2,5, but it is not visited: the calibration's 1 stays.
    day.operation(QStringLiteral("analyse full - Проба 2"), 20);
    const QStringList rows = run(day).of("row");
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].contains(QStringLiteral(" row 1 | Проба 1 | 25,0 |  |  | ")))
        << rows[0].toStdString();
    EXPECT_TRUE(rows[1].contains(QStringLiteral(" row 2 | Проба 2 | 10,0 | 10,0 |  | ")))
        << rows[1].toStdString();
}

struct CorrectionCase {
    const char* name;
    const char* answer; // queued before the command; "" for the default answer, OK
    bool calibrate;     // a calibrate event at the same instant
};

class SecondUpperPoint : public Operations, public ::testing::WithParamInterface<CorrectionCase> {};

// From the ready state the GSO dialog that the confirmation opens can be filled at once; left alone it is
// closed without OK. After a Cancel, the calibrate event is a command of its own.
TEST_P(SecondUpperPoint, ShowsTheCorrectionTextAndMayOpenTheGsoDialog) {
    Day day;
    day.connect();
    day.upperPoint();
    day.operation(QStringLiteral("calibrate 10"), 20);
    if (*GetParam().answer)
        day.command(QStringLiteral("answer ") + GetParam().answer);
    const double at = static_cast<double>(day.command(QStringLiteral("upper-point"))) / 1000;
    if (GetParam().calibrate)
        day.command(QStringLiteral("calibrate 10"));
    else
        day.command(QStringLiteral("analyse small 1 Проба")); // disabled: ignored
    day.lines(2, Day::kBase);
    const Replay r = run(day);
    // The sample analysis goes with the old calibration: the system is ready for the reference only.
    QStringList expected = {stamp(at) + " tx AB",
                            stamp(at) + " status 2 Прибор готов к калибровке по раствору ГСО !",
                            stamp(at) +
                                " box Информация | Программа провела корректировку по верхней точке "
                                "!\\rДля калибровки прибора по раствору ГСО нажмите ОК. -> " +
                                (*GetParam().answer ? GetParam().answer : "OK")};
    if (GetParam().calibrate) // one prompt: the event was used by the dialog, not run again
        expected << stamp(at) + u' ' + said::kCalibrationPrompt;
    EXPECT_EQ(r.between(at, at + 1), expected);
}

INSTANTIATE_TEST_SUITE_P(Replay, SecondUpperPoint,
                         ::testing::Values(CorrectionCase{"DialogFilled", "", true},
                                           CorrectionCase{"DialogLeftAlone", "", false},
                                           CorrectionCase{"Cancelled", "Cancel", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Operations, LinesTooCloseTogetherInARunAreDroppedWithAnErrorRecord) {
    Day day;
    day.connect();
    day.upperPoint();
    day.startOperation(QStringLiteral("calibrate 10"));
    day.lines(52 + 4, Day::kBase);
    // 50 ms after the last line: no time step, so no rate of fall.
    const qint64 close = day.next - Day::kPeriod + 50;
    day.scenario.atMs(close, QStringLiteral("line ") + analyserLine(Day::kBase, QStringLiteral("изм.")));
    day.lines(3, Day::kBase);
    const QStringList errors = run(day).of("error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(stamp(close) + " error ")) << errors[0].toStdString();
    EXPECT_GT(errors[0].size(), (stamp(close) + " error ").size());
}

struct LimitCase {
    const char* kind;
    bool small;
};

class OverLimit : public Operations, public ::testing::WithParamInterface<LimitCase> {};

// The reference's own dip diluted 25 times: BOD' 250 mg/l.
TEST_P(OverLimit, StopsTheAnalysisAndRecordsNothing) {
    Day day;
    day.connect();
    day.upperPoint();
    const RunRecord reference = day.operation(QStringLiteral("calibrate 10"), 20);
    const RunRecord sample =
        day.operation(QStringLiteral("analyse %1 25 Проба с превышением").arg(GetParam().kind), 20);
    day.command(QStringLiteral("exit"));
    const Replay r = run(day);

    const RunOutcome calibration = expectCalibration(reference, 10);
    const RunOutcome o = expectAnalysis(sample, GetParam().small, calibration.rateCoefficient,
                                        calibration.rangeCoefficient, 25);
    ASSERT_TRUE(o.overLimit);
    ASSERT_DOUBLE_EQ(o.rateResult, 250);
    const QString at = stamp(o.endMs(sample));
    QStringList expected = {at + " tx A4", at + " window Процесс остановлен | " + said::kOverLimit};
    if (GetParam().small) // the finishing step of the same line finds no analysis running any more
        expected << at + " tx A4" << at + " window Подготовка | " + said::kOverLimit;
    EXPECT_EQ(r.between(o.endMs(sample) / 1000.0, o.endMs(sample) / 1000.0), expected);
    EXPECT_THAT(r.of("row"), IsEmpty());
    EXPECT_FALSE(QFileInfo::exists(dayFilePath(dir.path(), QStringLiteral("06.12.26 г"))));
    // The window, whatever its caption now, closes when the knob goes back.
    const QString closed =
        GetParam().small ? QStringLiteral("Подготовка") : QStringLiteral("Процесс остановлен");
    EXPECT_THAT(r.of("window-close"),
                Contains(stamp(sample.ms.back() + Day::kPeriod) + " window-close " + closed));
    EXPECT_THAT(r.of("error"), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Replay, OverLimit,
                         ::testing::Values(LimitCase{"small", true}, LimitCase{"full", false}),
                         [](const auto& info) { return std::string(info.param.kind); });

} // namespace
