// The engine on a real link: the built-in simulated analyser, and the serial port component against the
// simulator on a pseudo-terminal.
#include "fakes/Fakes.h"
#include "fakes/WaitFor.h"

#include "engine/Texts.h"
#include "serial/SerialAnalyserLink.h"
#include "sim/DemoLink.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

using namespace lorimet;
using namespace lorimet::testing;

namespace {

class RealClock : public Clock {
  public:
    RealClock() { timer_.start(); }
    qint64 monotonicMs() const override { return timer_.elapsed(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }

  private:
    QElapsedTimer timer_;
};

using lorimet::testing::waitFor;

struct Rig {
    QTemporaryDir dir;
    Configuration config;
    RealClock clock;
    RecordingDisplay display;
    ScriptedOperator op;
    std::unique_ptr<Engine> engine;
    QTimer tick;

    void start(AnalyserLink& link) {
        config.load(dir.path());
        engine = std::make_unique<Engine>(config, display, op, link, clock, dir.path());
        engine->startUp();
        // The GSO dialog opened after the upper point is closed; the calibration is started on its own.
        op.gso = [](Engine& e) {
            if (!e.isEnabled(Command::GsoOk))
                return false;
            QString certified = QStringLiteral("10");
            e.GSO_NumberExit(certified);
            e.GsoOkButtonClick();
            return true;
        };
        QObject::connect(&tick, &QTimer::timeout, [this] { engine->TimerTimer(); });
        tick.start(100);
    }
};

TEST(DemoLink, TheBuiltInAnalyserTalksToTheEngine) {
    DemoLink link;
    link.model().setPeriodMs(50);
    Rig rig;
    link.lineReceived = [&rig](const QByteArray& line) { rig.engine->lineAvailable(line); };
    rig.start(link);
    rig.engine->PGoClick();
    ASSERT_TRUE(waitFor([&] { return rig.engine->protocolCount() >= 5; }, 5000));
    EXPECT_TRUE(rig.engine->workflow().linkActive);
    EXPECT_TRUE(link.model().takeLog().join(u'\n').contains(QStringLiteral("start")));
    rig.engine->OxyUpCalibrationClick();
    EXPECT_GT(rig.engine->acquisition().calibrationSignal, 90);
    ASSERT_TRUE(waitFor([&] { return rig.engine->workflow().statusIndex == 2; }, 3000));
    rig.engine->PStopClick();
    EXPECT_FALSE(link.isOpen());
}

class SimulatorOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        sim.setProgram(QStringLiteral(LORIMET_SIM_PATH));
        sim.setArguments({QStringLiteral("--pty"), QStringLiteral("--period"), QStringLiteral("0.1"),
                          QStringLiteral("--dip"), QStringLiteral("4")});
        sim.start();
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(waitFor([this] { return sim.canReadLine(); }, 5000));
        ptyPath = QString::fromUtf8(sim.readLine()).trimmed();
        ASSERT_TRUE(ptyPath.startsWith(u"/dev/"));
    }
    void TearDown() override {
        sim.write("quit\n");
        if (!sim.waitForFinished(3000))
            sim.kill();
    }
    void say(const char* command) {
        sim.write(QByteArray(command) + '\n');
        sim.waitForBytesWritten(1000);
    }
    QString simLog() {
        received += QString::fromUtf8(sim.readAllStandardError());
        return received;
    }
    QProcess sim;
    QString ptyPath;
    QString received;
};

TEST_F(SimulatorOnPty, ConnectCalibrateAndAnalyse) {
    SerialAnalyserLink link;
    Rig rig;
    link.lineReceived = [&rig](const QByteArray& line) { rig.engine->lineAvailable(line); };
    rig.start(link);
    rig.engine->setPort(ptyPath);
    rig.engine->setTransportDelay(1);
    rig.engine->PGoClick();
    ASSERT_TRUE(link.isOpen()) << link.port().lastError().toStdString();
    // The start command reaches the analyser byte for byte: frequency 2 Hz, delay 1 s.
    ASSERT_TRUE(waitFor([&] { return simLog().contains(QStringLiteral("A1 A2 02 A3 03 E8")); }, 5000))
        << received.toStdString();
    ASSERT_TRUE(waitFor([&] { return rig.engine->protocolCount() >= 5; }, 5000));

    rig.engine->OxyUpCalibrationClick();
    ASSERT_TRUE(waitFor([&] { return simLog().contains(QStringLiteral("AB")); }, 3000));
    ASSERT_TRUE(waitFor([&] { return rig.engine->isEnabled(Command::Calibration); }, 3000));

    rig.engine->CalibrationsClick();
    ASSERT_TRUE(rig.engine->messageWindowVisible());
    say("inject 10");
    say("knob изм.");
    ASSERT_TRUE(waitFor([&] { return rig.engine->results().rangeCoefficient != 0; }, 40000))
        << rig.display.log.join(u'\n').toStdString();
    EXPECT_NE(rig.engine->results().rateCoefficient, 0);
    EXPECT_EQ(rig.engine->messageWindow().layout.caption, texts::kPreparation);
    say("knob под.");
    ASSERT_TRUE(waitFor([&] { return rig.engine->isEnabled(Command::Measurement); }, 20000));

    rig.op.sample = [](Engine& e) {
        e.NameProbeListChange(QStringLiteral("Проба с тракта"));
        e.setSmallAnalysis(false);
        return true;
    };
    rig.engine->MeasurementClick();
    say("inject 5");
    say("knob изм.");
    ASSERT_TRUE(waitFor([&] { return rig.engine->acquisition().probeCounter == 1; }, 40000))
        << rig.display.log.join(u'\n').toStdString();
    const double bod = rig.engine->table().cell(1, 3).replace(u',', u'.').toDouble();
    EXPECT_NEAR(bod, 5.0, 0.6); // the reference was 10 mg/l; the sample half of it
    EXPECT_TRUE(QFile::exists(rig.engine->dayFilePath()));
    say("knob под.");
    rig.engine->PStopClick();
}

} // namespace
