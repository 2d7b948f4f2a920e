// A busy line: the analyser at its fastest (20 lines a second) under the program's windows, and a flood of
// noise without line ends as fast as the pseudo-terminal carries it. The event loop keeps its pulse, the
// bytes waiting for a line end stay within their bound, and the lines after the flood count again.
#include "faults/FaultRig.h"
#include "text/LineSplitter.h"

#include "app/Application.h"
#include "app/MainWindow.h"

#include <QAction>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::faults;

namespace {

TEST(LinkFaults, TheWindowsKeepUpWithTheFastestAnalyser) {
    // No period of its own: the simulator follows the frequency of the start command, 20 Hz.
    Simulator sim({QStringLiteral("--dip"), QStringLiteral("4")});
    ASSERT_TRUE(sim.ok());
    ProgramRig rig(sim.pty, 20);
    Engine& engine = rig.engine();
    rig.trigger(Command::Connect);
    ASSERT_TRUE(engine.workflow().linkActive) << rig.robot.boxes.join(u'\n').toStdString();
    ASSERT_TRUE(sim.waitForLog(QStringLiteral("period 50 ms"), 5000)) << sim.log().toStdString();
    ASSERT_TRUE(waitFor([&] { return engine.protocolCount() >= 1; }, 5000));

    LoopProbe probe;
    const int listed = engine.protocolCount();
    pause(4000);
    // About 80 lines; a program that falls far behind lists far fewer.
    EXPECT_GE(engine.protocolCount() - listed, 40);
    EXPECT_GT(probe.fires(), 20);
    EXPECT_LT(probe.longestGapMs(), 2000);
    EXPECT_TRUE(engine.workflow().linkActive);
    EXPECT_TRUE(rig.robot.boxes.isEmpty()) << rig.robot.boxes.join(u'\n').toStdString();
    EXPECT_TRUE(rig.program->window().action(Command::UpperPoint)->isEnabled());
}

TEST(LinkFaults, AFloodOfNoiseKeepsWithinItsBoundAndTheLinesComeBack) {
    Simulator sim;
    ASSERT_TRUE(sim.ok());
    EngineRig rig;
    rig.connectTo(sim.pty);
    ASSERT_TRUE(rig.link.isOpen()) << rig.link.port().lastError().toStdString();
    ASSERT_TRUE(waitFor([&] { return rig.engine->protocolCount() >= 3; }, 5000));

    qint64 mostPending = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&] { mostPending = std::max(mostPending, rig.link.port().pendingBytes()); });
    sampler.start(20);
    LoopProbe probe;

    const qsizetype from = sim.log().size();
    sim.say("flood 3");
    ASSERT_TRUE(sim.waitForLog(QStringLiteral("flood over"), 10000, from))
        << sim.log().mid(from).toStdString();
    const int listed = rig.engine->protocolCount();
    ASSERT_TRUE(waitFor([&] { return rig.engine->protocolCount() >= listed + 5; }, 5000));

    static const QRegularExpression over(QStringLiteral("flood over: (\\d+) bytes"));
    const QRegularExpressionMatch match = over.match(sim.log(), from);
    ASSERT_TRUE(match.hasMatch());
    const qint64 flooded = match.captured(1).toLongLong();
    EXPECT_GT(flooded, 1024 * 1024) << "a flood worth the name";
    // Everything but the newest bytes before the flood's line end was dropped on arrival.
    EXPECT_GE(rig.link.port().droppedBytes(), flooded - LineSplitter::kMaxPending);
    EXPECT_LE(rig.link.port().droppedBytes(), flooded);
    // The bound, the device layer's read-ahead and one read in flight.
    EXPECT_LE(mostPending, LineSplitter::kMaxPending + 8 * 1024);
    EXPECT_GT(mostPending, 0);
    EXPECT_GT(probe.fires(), 20);
    EXPECT_LT(probe.longestGapMs(), 2000);

    for (const QString& line : rig.engine->protocolLines())
        EXPECT_TRUE(isWholeAnalyserLine(line)) << line.left(80).toStdString();
    EXPECT_TRUE(rig.engine->workflow().linkActive);
    EXPECT_TRUE(rig.op.boxes.isEmpty()) << rig.op.boxes.join(u'\n').toStdString();
}

} // namespace
