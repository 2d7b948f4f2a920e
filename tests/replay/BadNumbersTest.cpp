// A dilution that is not a positive number is reported and never used: a zero would turn every later result
// into 0 (or leave a reference undivided) without anyone noticing. The value stored before stays in force.
#include "ReplayHarness.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace lorimet::replaytest;
using ::testing::Contains;

namespace {

const QString kBadNumberBox =
    QStringLiteral(" box Ошибка | Неверный формат числа,\\r    повторите ввод!    -> OK");

TEST(BadNumbers, ANonPositiveSampleDilutionIsReportedAndTheEarlierOneKept) {
    QTemporaryDir dir;
    Day day;
    day.connect();
    day.upperPoint();
    day.operation(QStringLiteral("calibrate 10"), 20);
    const double at = static_cast<double>(day.next - 250) / 1000;
    day.operation(QStringLiteral("analyse small 0 Проба"), 20);
    const Replay r = runReplay(day.text(), dir.path());
    EXPECT_THAT(r.of("box"), Contains(stamp(at) + kBadNumberBox));
    const QStringList rows = r.of("row");
    ASSERT_EQ(rows.size(), 1);
    // The calibration set the dilution to 1; the reference's own dip reads back as the certified 10 mg/l.
    EXPECT_TRUE(rows[0].contains(QStringLiteral(" row 1 | Проба | 10,0 |  |  | "))) << rows[0].toStdString();
}

TEST(BadNumbers, ANonPositiveReferenceDilutionIsReportedAndTheEarlierOneKept) {
    QTemporaryDir dir;
    Day day;
    day.connect();
    day.upperPoint();
    day.operation(QStringLiteral("calibrate 10 2"), 20);
    const double at = static_cast<double>(day.next - 250) / 1000;
    day.operation(QStringLiteral("calibrate 10 0"), 20);
    day.operation(QStringLiteral("analyse small - Проба"), 20);
    const Replay r = runReplay(day.text(), dir.path());
    EXPECT_THAT(r.of("box"), Contains(stamp(at) + kBadNumberBox));
    const QStringList rows = r.of("row");
    ASSERT_EQ(rows.size(), 1);
    // The dilution 2 of the first calibration stays: the reference counts as 5 mg/l, so the same dip gives 5.
    EXPECT_TRUE(rows[0].contains(QStringLiteral(" row 1 | Проба | 5,0 |  |  | "))) << rows[0].toStdString();
}

} // namespace
