// The analyser vanishes in the middle of a sample analysis: its process dies and takes the
// pseudo-terminal with it, under the program's open port. The program, windows and all, closes the port at
// once, stays quiet and responsive, reports the lost link once the line watchdog notices, and ends the
// operation; a new analyser on a new device is then connected and measures as before.
#include "faults/FaultRig.h"

#include "app/Application.h"
#include "app/MainWindow.h"
#include "engine/Texts.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::faults;

namespace {

// The first letter is the Latin C.
const QString kLinkBroken = QStringLiteral("Внимание | Cвязь с прибором - прервана !");

TEST(LinkFaults, TheAnalyserVanishesDuringAnAnalysisAndANewOneIsConnected) {
    auto first = std::make_unique<Simulator>();
    ASSERT_TRUE(first->ok());
    ProgramRig rig(first->pty);
    Engine& engine = rig.engine();

    rig.trigger(Command::Connect);
    ASSERT_TRUE(engine.workflow().linkActive) << rig.robot.boxes.join(u'\n').toStdString();
    ASSERT_TRUE(waitFor([&] { return engine.protocolCount() >= 5; }, 5000));
    rig.trigger(Command::UpperPoint); // its confirmation leads into the GSO dialog and the calibration
    ASSERT_TRUE(waitFor([&] { return engine.messageWindowVisible(); }, 10000))
        << rig.robot.boxes.join(u'\n').toStdString();
    first->say(injectCommand(kReferenceBod));
    first->say("knob изм.");
    ASSERT_TRUE(waitFor([&] { return engine.results().rangeCoefficient != 0; }, 40000));
    first->say("knob под.");
    ASSERT_TRUE(
        waitFor([&] { return rig.program->window().action(Command::Measurement)->isEnabled(); }, 20000));

    rig.trigger(Command::Measurement);
    ASSERT_TRUE(engine.messageWindowVisible());
    first->say(injectCommand(kSampleBod));
    first->say("knob изм.");
    ASSERT_TRUE(waitFor([&] { return engine.acquisition().smoothingActive; }, 20000));
    ASSERT_TRUE(waitFor([&] { return engine.acquisition().currentSample >= 5; }, 5000));
    const QString device = first->pty;
    ASSERT_TRUE(holdsDevice(device));
    qsizetype boxesBefore = rig.robot.boxes.size();

    first->kill();
    // The port lets go of the dead device at once, long before the watchdog speaks.
    ASSERT_TRUE(waitFor([&] { return !holdsDevice(device); }, 3000));
    EXPECT_EQ(rig.robot.boxes.size(), boxesBefore);
    // Meanwhile the program idles: no busy loop on the dead device, and the event loop keeps its pulse.
    {
        LoopProbe probe;
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = cpuSeconds();
        pause(2000);
        const double cpu = cpuSeconds() - cpuBefore;
        EXPECT_LT(cpu, 0.25 * wall.elapsed() / 1000.0) << "CPU seconds " << cpu;
        EXPECT_GT(probe.fires(), 5);
        EXPECT_LT(probe.longestGapMs(), 1500);
    }
    ASSERT_TRUE(waitFor([&] { return rig.robot.boxes.contains(kLinkBroken); }, 10000))
        << rig.robot.boxes.join(u'\n').toStdString();
    EXPECT_EQ(rig.robot.boxes.mid(boxesBefore), QStringList{kLinkBroken}) << "the link is reported lost once";
    EXPECT_FALSE(engine.workflow().linkActive);
    EXPECT_TRUE(engine.acquisition().operationName.isEmpty());
    EXPECT_FALSE(engine.acquisition().smoothingActive);
    EXPECT_EQ(engine.workflow().statusIndex, 0);
    EXPECT_EQ(rig.program->window().findChild<QLabel*>(QStringLiteral("InfoPanelText"))->text(),
              QStringLiteral("Связь с прибором не установлена !"));
    // The analysis was cancelled; its window asks for the knob back.
    EXPECT_TRUE(engine.messageWindowVisible());
    EXPECT_EQ(engine.messageWindow().layout.caption, QStringLiteral("Отмена операции"));
    EXPECT_EQ(engine.messageWindow().layout.text,
              QStringLiteral(
                  "Процесс вычислений остановлен !\rПоверните ручку коммутатора в\rуказанное положение."));
    EXPECT_TRUE(rig.program->window().action(Command::Connect)->isEnabled());
    EXPECT_FALSE(rig.program->window().action(Command::Disconnect)->isEnabled());
    EXPECT_EQ(engine.acquisition().probeCounter, 0);

    // Connecting again before anything has changed: the device is gone.
    first.reset();
    rig.trigger(Command::Connect);
    // The box as ever, with what the system said of the device on a line of its own.
    ASSERT_EQ(rig.robot.boxes.size(), boxesBefore + 2) << rig.robot.boxes.join(u'\n').toStdString();
    const QStringList refused = rig.robot.boxes.last().split(u'\n');
    ASSERT_EQ(refused.size(), 2) << rig.robot.boxes.last().toStdString();
    EXPECT_EQ(refused[0], QStringLiteral("Ошибка | Нет доступа к последовательному порту ") + device +
                              QStringLiteral(" !"));
    EXPECT_TRUE(refused[1].startsWith(QStringLiteral("Причина: "))) << refused[1].toStdString();
    EXPECT_FALSE(engine.workflow().linkActive);
    boxesBefore = rig.robot.boxes.size();

    // A new analyser on a new device; the port setting follows it, the calibration survives.
    Simulator second;
    ASSERT_TRUE(second.ok());
    engine.setPort(second.pty);
    rig.trigger(Command::Connect);
    ASSERT_TRUE(engine.workflow().linkActive) << rig.robot.boxes.join(u'\n').toStdString();
    EXPECT_TRUE(holdsDevice(second.pty));
    ASSERT_TRUE(second.waitForLog(QStringLiteral("received A1 A2 02 A3 03 E8"), 5000))
        << second.log().toStdString();
    // The analyser is back in preparation: the cancelled analysis's window closes, and it is ready.
    ASSERT_TRUE(waitFor(
        [&] {
            return !engine.messageWindowVisible() &&
                   rig.program->window().action(Command::Measurement)->isEnabled();
        },
        10000));
    rig.trigger(Command::Measurement);
    ASSERT_TRUE(engine.messageWindowVisible());
    second.say(injectCommand(kSampleBod));
    second.say("knob изм.");
    ASSERT_TRUE(waitFor([&] { return engine.acquisition().probeCounter == 1; }, 40000))
        << rig.robot.boxes.join(u'\n').toStdString();
    const double bod = engine.table().cell(1, 3).replace(u',', u'.').toDouble(); // BOD, by final rates
    EXPECT_NEAR(bod, kSampleBod, kSampleTolerance);
    second.say("knob под.");
    EXPECT_EQ(rig.robot.boxes.size(), boxesBefore) << rig.robot.boxes.join(u'\n').toStdString();
}

} // namespace
