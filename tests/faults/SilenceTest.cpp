// The analyser falls silent: from the start of a connection, for a moment, and for longer than the line
// watchdog waits. Each time the program does what the watchdog prescribes, and once the analyser talks
// again a new connection works, with the upper point kept.
#include "faults/FaultRig.h"

#include <QTemporaryFile>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::faults;

namespace {

const QString kNoLink = QStringLiteral("Ошибка | Невозможно установить связь с прибором !");
// The first letter is the Latin C.
const QString kLinkBroken = QStringLiteral("Внимание | Cвязь с прибором - прервана !");

TEST(LinkFaults, ASilentAnalyserIsLetGoAndConnectedAgainWhenItTalks) {
    QTemporaryFile script;
    ASSERT_TRUE(script.open());
    script.write("0 silence 6\n");
    script.close();
    Simulator sim(Simulator::kQuick + QStringList{QStringLiteral("--script"), script.fileName()});
    ASSERT_TRUE(sim.ok());
    EngineRig rig;

    // Silent from the start: no line within 50 ticks.
    rig.connectTo(sim.pty);
    ASSERT_TRUE(rig.engine->workflow().linkActive) << rig.link.port().lastError().toStdString();
    ASSERT_TRUE(waitFor([&] { return !rig.op.boxes.isEmpty(); }, 10000));
    EXPECT_EQ(rig.op.boxes, QStringList{kNoLink});
    EXPECT_FALSE(rig.engine->workflow().linkActive);
    EXPECT_FALSE(rig.link.isOpen());
    EXPECT_FALSE(holdsDevice(sim.pty));
    EXPECT_EQ(rig.engine->workflow().statusIndex, 0);
    EXPECT_EQ(rig.engine->results().operatingState, 0);

    // The analyser talks again: connecting works, and the upper point is taken.
    pause(1500);
    rig.op.boxes.clear();
    rig.engine->PGoClick();
    ASSERT_TRUE(rig.engine->workflow().linkActive);
    ASSERT_TRUE(waitFor([&] { return rig.engine->protocolCount() >= 5; }, 5000));
    rig.engine->OxyUpCalibrationClick();
    const double upperPoint = rig.engine->acquisition().calibrationSignal;
    ASSERT_GT(upperPoint, 90);
    ASSERT_TRUE(waitFor([&] { return rig.engine->workflow().statusIndex == 2; }, 3000));
    rig.op.boxes.clear();

    // A pause shorter than the watchdog's patience: the tray shows the pause, the link holds.
    sim.say("silence 2");
    ASSERT_TRUE(waitFor([&] { return rig.engine->results().operatingState == 4; }, 3000));
    const int listed = rig.engine->protocolCount();
    ASSERT_TRUE(waitFor([&] { return rig.engine->protocolCount() >= listed + 5; }, 5000));
    EXPECT_TRUE(rig.engine->workflow().linkActive);
    EXPECT_TRUE(rig.op.boxes.isEmpty()) << rig.op.boxes.join(u'\n').toStdString();

    // A longer silence: the lost link is reported and the port let go.
    sim.say("silence 7");
    ASSERT_TRUE(waitFor([&] { return !rig.op.boxes.isEmpty(); }, 10000));
    EXPECT_EQ(rig.op.boxes, QStringList{kLinkBroken});
    EXPECT_FALSE(rig.engine->workflow().linkActive);
    EXPECT_FALSE(rig.link.isOpen());
    EXPECT_FALSE(holdsDevice(sim.pty));
    EXPECT_EQ(rig.engine->workflow().statusIndex, 0);
    EXPECT_EQ(rig.engine->results().operatingState, 0);

    // Connected again while the analyser is still silent; its lines come back within the watchdog's
    // patience, and the upper point is still in force: ready for the GSO calibration at once.
    rig.op.boxes.clear();
    rig.engine->PGoClick();
    ASSERT_TRUE(rig.engine->workflow().linkActive);
    ASSERT_TRUE(waitFor([&] { return rig.engine->protocolCount() >= 5; }, 8000))
        << rig.op.boxes.join(u'\n').toStdString();
    EXPECT_TRUE(waitFor([&] { return rig.engine->workflow().statusIndex == 2; }, 3000));
    EXPECT_EQ(rig.engine->acquisition().calibrationSignal, upperPoint);
    EXPECT_TRUE(rig.engine->isEnabled(Command::Calibration));
    EXPECT_TRUE(rig.op.boxes.isEmpty()) << rig.op.boxes.join(u'\n').toStdString();
}

} // namespace
