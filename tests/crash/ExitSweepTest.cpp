// The exit's sweep of the Temp folder, from the side of a crash in the middle of it.
#include "fakes/Fakes.h"

#include "reports/DayProtocol.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::testing;

namespace {

const QStringList kBlock = {QStringLiteral("1"),
                            QStringLiteral("S=+095,000 dS=+000,000 T=000,5"),
                            QStringLiteral("Проба"),
                            QStringLiteral("БПК*=004,00 "),
                            QStringLiteral("t=020,3 °C T=00:10"),
                            QStringLiteral("Время: 16:00:00 Дата: 06.12.26 г")};

// Notes, at every box, whether today's day file is on the disk.
class WatchingOperator : public ScriptedOperator {
  public:
    QString watched;
    QList<bool> presentAtBox;
    Answer messageBox(BeepKind kind, const QString& caption, const QString& text, Buttons buttons) override {
        presentAtBox << QFile::exists(watched);
        return ScriptedOperator::messageBox(kind, caption, text, buttons);
    }
};

struct Sweep {
    QTemporaryDir dir;
    Configuration config;
    ManualClock clock; // 6 December 2026
    RecordingDisplay display;
    WatchingOperator op;
    RecordingLink link;
    std::unique_ptr<Engine> engine;

    QString temp(const QString& name) const { return dir.filePath(QStringLiteral("Temp/") + name); }
    void start() {
        config.load(dir.path());
        engine = std::make_unique<Engine>(config, display, op, link, clock, dir.path());
        engine->startUp();
        op.watched = engine->dayFilePath();
    }
};

TEST(ExitSweep, TodaysDayFileStaysOnDiskWhileTheSweepAsksAboutAnEarlierOne) {
    Sweep s;
    ASSERT_TRUE(QDir().mkpath(s.dir.filePath(QStringLiteral("Temp"))));
    // "30.11.26" sorts after "06.12.26": the sweep meets today's file before the question.
    ASSERT_TRUE(writeProtocolFile(s.temp(dayFileName(QStringLiteral("06.12.26 г"))), kBlock));
    ASSERT_TRUE(writeProtocolFile(s.temp(dayFileName(QStringLiteral("30.11.26 г"))), kBlock));
    s.start();
    s.engine->closeSequence();
    ASSERT_EQ(s.op.boxes.size(), 1);
    EXPECT_TRUE(s.op.boxes[0].contains(QStringLiteral("Протокол от 30.11.26 г.tmp не был сохранён")));
    EXPECT_EQ(s.op.presentAtBox, QList<bool>{true}) << "a crash at the question would lose the day";
    EXPECT_EQ(readProtocolFile(s.engine->dayFilePath()), kBlock);
    EXPECT_FALSE(QFile::exists(s.temp(dayFileName(QStringLiteral("30.11.26 г")))));
}

TEST(ExitSweep, LeftoverOfAnInterruptedSaveGoesWithoutAQuestion) {
    Sweep s;
    ASSERT_TRUE(QDir().mkpath(s.dir.filePath(QStringLiteral("Temp"))));
    ASSERT_TRUE(writeProtocolFile(s.temp(dayFileName(QStringLiteral("06.12.26 г"))), kBlock));
    // The name an atomic save of today's file writes under before it renames.
    const QString leftover = s.temp(dayFileName(QStringLiteral("06.12.26 г")) + QStringLiteral(".kDMZui"));
    ASSERT_TRUE(writeProtocolFile(leftover, kBlock));
    s.start();
    s.engine->closeSequence();
    EXPECT_TRUE(s.op.boxes.isEmpty()) << s.op.boxes.join(u'\n').toStdString();
    EXPECT_FALSE(QFile::exists(leftover));
    EXPECT_EQ(readProtocolFile(s.engine->dayFilePath()), kBlock);
}

TEST(ExitSweep, AnEmptyDayFileOfTodayIsStillSweptAway) {
    Sweep s;
    ASSERT_TRUE(QDir().mkpath(s.dir.filePath(QStringLiteral("Temp"))));
    ASSERT_TRUE(writeProtocolFile(s.temp(dayFileName(QStringLiteral("06.12.26 г"))), {}));
    s.start();
    s.engine->closeSequence();
    EXPECT_FALSE(QFile::exists(s.engine->dayFilePath()));
}

} // namespace
