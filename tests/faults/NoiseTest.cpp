// Noise on the line: every kind of spoilt line the simulator can send, first one at a time while idle, then
// scattered over a calibration and an analysis. Spoilt lines are dropped or refused and asked for again;
// the lines after them count as before, and the analysis comes out as on a clean line.
#include "faults/FaultRig.h"
#include "text/LineSplitter.h"

#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::faults;

namespace {

struct Noise {
    const char* command;
    const char* simulatorSays; // how the simulator logs the spoilt line
    bool refused;              // answered with 0xA1 and sent again; otherwise dropped without a word
};

const char* const kSpoilers[] = {"fault unit",  "fault temperature", "fault garbage",
                                 "fault split", "fault zeros",       "fault long"};

const Noise kNoises[] = {
    {"fault unit", "fault: wrong unit marker", true},
    {"fault temperature", "fault: blank temperature", false},
    {"fault split", "fault: line split", false},
    {"fault zeros", "zero bytes", false},
    {"fault long", "bytes of noise before the line end", false},
};

TEST(LinkFaults, SpoiltLinesAreDroppedOrRefusedAndTheNextLinesCount) {
    Simulator sim;
    ASSERT_TRUE(sim.ok());
    EngineRig rig;
    rig.connectTo(sim.pty);
    ASSERT_TRUE(rig.link.isOpen()) << rig.link.port().lastError().toStdString();
    ASSERT_TRUE(waitFor([&] { return rig.engine->protocolCount() >= 3; }, 5000));

    for (const Noise& noise : kNoises) {
        SCOPED_TRACE(noise.command);
        const qsizetype from = sim.log().size();
        sim.say(noise.command);
        ASSERT_TRUE(sim.waitForLog(QString::fromUtf8(noise.simulatorSays), 5000, from));
        const int listed = rig.engine->protocolCount();
        ASSERT_TRUE(waitFor([&] { return rig.engine->protocolCount() >= listed + 3; }, 5000));
        // While idle the program sends nothing but the refusal of a line.
        const QString said = sim.log().mid(from);
        if (noise.refused) {
            EXPECT_TRUE(said.contains(QStringLiteral("received A1\n"))) << said.toStdString();
            EXPECT_TRUE(said.contains(QStringLiteral("resend of the last line"))) << said.toStdString();
        } else {
            EXPECT_FALSE(said.contains(QStringLiteral("received"))) << said.toStdString();
        }
    }
    // Garbage may by chance show a temperature where the line has none and then be refused; either way it
    // is not listed.
    const qsizetype from = sim.log().size();
    sim.say("fault garbage");
    ASSERT_TRUE(sim.waitForLog(QStringLiteral("fault: garbage line"), 5000, from));
    const int listed = rig.engine->protocolCount();
    ASSERT_TRUE(waitFor([&] { return rig.engine->protocolCount() >= listed + 3; }, 5000));

    for (const QString& line : rig.engine->protocolLines())
        EXPECT_TRUE(isWholeAnalyserLine(line)) << line.left(80).toStdString();
    // The 100 000 bytes without a line end did not all wait in memory.
    EXPECT_GT(rig.link.port().droppedBytes(), 0);
    EXPECT_LE(rig.link.port().pendingBytes(), LineSplitter::kMaxPending);
    EXPECT_TRUE(rig.op.boxes.isEmpty()) << rig.op.boxes.join(u'\n').toStdString();
    EXPECT_TRUE(rig.engine->workflow().linkActive);
}

TEST(LinkFaults, AnAnalysisOnANoisyLineComesOutAsOnACleanOne) {
    Simulator sim;
    ASSERT_TRUE(sim.ok());
    EngineRig rig;
    rig.connectTo(sim.pty);
    ASSERT_TRUE(rig.link.isOpen()) << rig.link.port().lastError().toStdString();

    // A spoilt line every half second, all kinds in turn, from the connection to the end of the analysis,
    // through the waiting phases and the measured runs. A line missing from a run is a longer time step: the
    // steepest fall (BOD', by initial rates) may then be taken early, as the end-point rule has it, but the
    // total fall (BOD, by final rates) is the same.
    int spoilt = 0;
    int spoiltInRuns = 0;
    const auto spoil = [&] {
        if (rig.engine->acquisition().smoothingActive)
            ++spoiltInRuns;
        sim.say(kSpoilers[spoilt++ % std::size(kSpoilers)]);
    };
    rig.calibrate(sim, spoil);
    const double bod = rig.analyse(sim, EngineRig::Kind::FinalRates, spoil);
    EXPECT_GE(spoilt, 12);
    EXPECT_GE(spoiltInRuns, 4);
    EXPECT_NEAR(bod, kSampleBod, kSampleTolerance);
    EXPECT_EQ(rig.engine->acquisition().probeCounter, 1);

    for (const QString& line : rig.engine->protocolLines())
        EXPECT_TRUE(isWholeAnalyserLine(line)) << line.left(80).toStdString();
    for (const QString& line : rig.engine->dayProtocol())
        EXPECT_LT(line.size(), 200) << "no noise in the day protocol";
    EXPECT_TRUE(rig.engine->workflow().linkActive);
    rig.engine->PStopClick();
}

} // namespace
