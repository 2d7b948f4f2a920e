// A day on a disk that fills up: the day file stays as it last was, the operator is told once, the table
// counts on, and the configuration survives the exit.
#include "ReplayHarness.h"

#include "engine/Texts.h"
#include "fakes/SmallDisk.h"

#include <QDir>
#include <QTextStream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::replaytest;
using ::testing::ElementsAre;

namespace {

const QString kToday = QStringLiteral("06.12.26 г");

// The run as the tool runs it, in this very data folder: a copy elsewhere would have room.
QStringList replayIn(const QString& scenarioText, const QString& dataFolder) {
    replay::ParseError error;
    const auto scenario = replay::parseScenario(scenarioText, error);
    EXPECT_TRUE(scenario) << error.reason.toStdString();
    if (!scenario)
        return {};
    QString out;
    QTextStream stream(&out);
    EXPECT_EQ(replay::runScenario(*scenario, dataFolder, stream).exitCode, 0);
    stream.flush();
    return out.split(u'\n', Qt::SkipEmptyParts);
}

QStringList ofKind(const QStringList& records, const QString& kind) {
    QStringList out;
    for (const QString& r : records)
        if (r.section(u' ', 1, 1) == kind)
            out << r.section(u' ', 2);
    return out;
}

} // namespace

TEST(FullDiskDay, TheDayFileStaysAsItWasAndTheRowsCountOn) {
    lorimet::testing::SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    const QString data = disk.filePath(QStringLiteral("data"));
    ASSERT_TRUE(QDir().mkpath(data));

    Day first;
    first.connect();
    first.upperPoint();
    first.operation(QStringLiteral("calibrate 10"), 20);
    first.operation(QStringLiteral("analyse small - Проба 1"), 20);
    first.operation(QStringLiteral("analyse small - Проба 2"), 20);
    first.command(QStringLiteral("exit"));
    replayIn(first.text(), data);
    const QByteArray dayBefore = readBytes(dayFilePath(data, kToday));
    const QByteArray configBefore = readBytes(data + QStringLiteral("/Vornel_config.ini"));
    ASSERT_FALSE(dayBefore.isEmpty());
    ASSERT_FALSE(configBefore.isEmpty());

    disk.fill();
    Day second(2, QDate(2026, 12, 6), QTime(11, 0));
    second.connect();
    second.upperPoint();
    second.operation(QStringLiteral("calibrate 10"), 20);
    second.operation(QStringLiteral("analyse small - Проба 3"), 20);
    second.command(QStringLiteral("disconnect"));
    second.connect();
    second.operation(QStringLiteral("analyse small - Проба 4"), 20);
    second.command(QStringLiteral("exit"));
    const QStringList records = replayIn(second.text(), data);

    // Told once, at the first save that failed: connecting saves the day file before anything else.
    EXPECT_THAT(ofKind(records, QStringLiteral("box")),
                ElementsAre(QStringLiteral("Ошибка | Невозможно записать файл Протокол от 06.12.26 г.tmp "
                                           "!\\rНет места на диске. -> OK"),
                            said::kFirstUpperPointBox.section(u' ', 1)));
    EXPECT_THAT(ofKind(records, QStringLiteral("warning")), ElementsAre(texts::kDayFileNotSaved));
    const QStringList rows = ofKind(records, QStringLiteral("row"));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].startsWith(QStringLiteral("3 | Проба 3 |"))) << rows[0].toStdString();
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral("4 | Проба 4 |"))) << rows[1].toStdString();

    EXPECT_EQ(readBytes(dayFilePath(data, kToday)), dayBefore);
    EXPECT_EQ(readBytes(data + QStringLiteral("/Vornel_config.ini")), configBefore);
    // Nothing half-written is left behind.
    EXPECT_EQ(QDir(data + QStringLiteral("/Temp")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("Протокол от 06.12.26 г.tmp")});
}
