#include "fakes/Fakes.h"

#include "engine/Texts.h"
#include "text/Numbers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace lorimet;
using namespace lorimet::testing;

namespace {

// The whole-run refilter as the smoothing is defined: B passes over 0..i, window C, coefficient A.
double refilter(const std::vector<double>& raw, int i, double a, int b, int c) {
    std::vector<double> input(raw.begin(), raw.begin() + i + 1), work(static_cast<size_t>(i) + 1);
    for (int pass = 0; pass < b; ++pass) {
        work[0] = input[0];
        for (int j = 1; j <= i; ++j) {
            const int lo = j < c ? 0 : j - c;
            double sum = 0;
            for (int k = lo; k < j; ++k)
                sum += work[static_cast<size_t>(k)];
            sum += input[static_cast<size_t>(j)];
            const double m = sum / (j - lo + 1);
            work[static_cast<size_t>(j)] = a * work[static_cast<size_t>(j) - 1] + (1 - a) * m;
        }
        input = work;
    }
    return RoundTo(3, work[static_cast<size_t>(i)]);
}

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        config.load(dir.path());
        engine = std::make_unique<Engine>(config, display, op, link, clock, dir.path());
        engine->startUp();
    }

    void line(double signal, const char* mode = "под.", qint64 stepMs = 500) {
        clock.ms += stepMs;
        engine->lineAvailable(analyserLine(signal, mode));
    }

    // Connect, take the upper point, and start a GSO calibration whose run begins after the waiting phase.
    void enterCalibrationRun(double certified = 10) {
        engine->PGoClick();
        line(95);
        engine->OxyUpCalibrationClick();
        line(95);
        ASSERT_EQ(engine->workflow().statusIndex, 2);
        op.gso = [certified](Engine& e) {
            QString text = QString::number(certified);
            e.GSO_NumberExit(text);
            e.GsoOkButtonClick();
            return true;
        };
        engine->CalibrationsClick();
        line(95, "изм.");
        engine->TimerTimer(); // the knob reports measuring: the prompt closes and the operation starts
        ASSERT_EQ(engine->acquisition().operationName, texts::kCalibration);
        while (!engine->acquisition().smoothingActive)
            line(95, "изм.");
    }

    QTemporaryDir dir;
    Configuration config;
    ManualClock clock;
    RecordingDisplay display;
    ScriptedOperator op;
    RecordingLink link;
    std::unique_ptr<Engine> engine;
};

TEST_F(EngineTest, RunValuesMatchTheWholeRunDefinitionEvenAroundADroppedLine) {
    engine->setFilterPosition(40);
    engine->setFilterCycles(4);
    engine->setFilterWindow(6);
    enterCalibrationRun();
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> noise(-0.02, 0.02);
    std::vector<double> accepted;
    double signal = 94;
    for (int n = 0; n < 400; ++n) {
        signal -= 0.05 + noise(rng); // strictly falling: no final end point ends the run
        const double sent = std::round(signal * 100) / 100;
        if (n == 150) {
            line(sent - 3, "изм.", 40); // too close to the previous line: dropped, leaves no trace
            ASSERT_EQ(display.dropped.size(), 1);
        }
        line(sent, "изм.", n == 150 ? 460 : 500);
        accepted.push_back(sent);
        const Acquisition& acq = engine->acquisition();
        ASSERT_TRUE(acq.smoothingActive);
        const int i = acq.currentSample - 1; // the line just committed
        ASSERT_EQ(i, n);
        std::vector<double> raw = accepted;
        // The run's first sample is stored raw and starts the smoothing of the later ones.
        if (i > 0) {
            ASSERT_EQ(acq.signals[static_cast<size_t>(i)], refilter(raw, i, 0.4, 4, 6)) << i;
        }
        double lo = acq.signals[0], hi = acq.signals[0], dmax = acq.derivatives[0];
        for (int k = 0; k <= i; ++k) {
            lo = std::min(lo, acq.signals[static_cast<size_t>(k)]);
            hi = std::max(hi, acq.signals[static_cast<size_t>(k)]);
            dmax = std::max(dmax, acq.derivatives[static_cast<size_t>(k)]);
        }
        ASSERT_EQ(engine->results().signalRange, hi - lo) << i;
        ASSERT_EQ(engine->results().maxDerivative, dmax) << i;
    }
}

TEST_F(EngineTest, StepTimeAndDerivativeOfTheWorkedExample) {
    engine->setFilterPosition(1);
    engine->setFilterCycles(1);
    enterCalibrationRun();
    line(90, "изм.", 1000);    // sample 0, stored raw
    line(88.99, "изм.", 1000); // smoothed to 89.5: a fall of 0.5 in 1.0 s
    EXPECT_DOUBLE_EQ(engine->results().stepTime, 1.1);
    EXPECT_EQ(engine->acquisition().signals[1], 89.5);
    EXPECT_EQ(engine->acquisition().derivatives[1], 4.545);
}

TEST_F(EngineTest, LinesTooCloseTogetherAreDroppedAndTheSlotIsFilledAgain) {
    enterCalibrationRun();
    line(94.0, "изм.");
    line(93.9, "изм.");
    const int before = engine->acquisition().currentSample;
    const int listed = engine->protocolCount();
    line(80.0, "изм.", 50);
    EXPECT_EQ(display.dropped.size(), 1);
    EXPECT_EQ(engine->acquisition().currentSample, before);
    EXPECT_EQ(engine->protocolCount(), listed);
    line(93.8, "изм.", 450);
    EXPECT_EQ(engine->acquisition().currentSample, before + 1);
    EXPECT_EQ(engine->acquisition().rawSignals[static_cast<size_t>(before)], 93.8);
}

TEST_F(EngineTest, ReadPositiveNumber) {
    struct Case {
        QString typed;
        std::optional<double> value;
        QString left;
    };
    const Case cases[] = {
        {QStringLiteral("2.5"), 2.5, QStringLiteral("2,5")},
        {QStringLiteral("10"), 10.0, QStringLiteral("10")},
        {QStringLiteral("0"), std::nullopt, QString()},
        {QStringLiteral("-3"), std::nullopt, QString()},
        {QStringLiteral("abc"), std::nullopt, QString()},
        {QString(), std::nullopt, QString()},
    };
    for (const Case& c : cases) {
        op.boxes.clear();
        QString field = c.typed;
        EXPECT_EQ(engine->ReadPositiveNumber(field), c.value) << c.typed.toStdString();
        EXPECT_EQ(field, c.left);
        EXPECT_EQ(op.boxes.size(), c.value ? 0 : 1);
        if (!c.value) {
            EXPECT_EQ(op.boxes.value(0),
                      QStringLiteral("Ошибка | Неверный формат числа,\r    повторите ввод!   "));
        }
    }
}

TEST_F(EngineTest, ABadDilutionKeepsTheValueStoredBefore) {
    QString field = QStringLiteral("4");
    engine->RProbeExit(field);
    field = QStringLiteral("0");
    engine->RProbeExit(field);
    EXPECT_EQ(engine->results().dilution, 4.0);
    QString certified = QStringLiteral("10"), dilution = QStringLiteral("2");
    engine->GSO_NumberExit(certified);
    engine->RGSOExit(dilution);
    engine->GsoOkButtonClick();
    EXPECT_EQ(engine->results().certifiedValue, 5.0);
}

TEST_F(EngineTest, DisconnectingDuringAnOperationSendsTheEndCommandBeforeThePortCloses) {
    enterCalibrationRun();
    ASSERT_FALSE(engine->messageWindowVisible());
    link.log.clear();
    engine->PStopClick();
    EXPECT_EQ(link.log, (QStringList{QStringLiteral("tx A4"), QStringLiteral("close")}));
    EXPECT_FALSE(engine->workflow().linkActive);
    EXPECT_TRUE(engine->acquisition().operationName.isEmpty());
    EXPECT_FALSE(engine->acquisition().smoothingActive);
}

TEST_F(EngineTest, RefusedAndUnreadableLinesChangeNothing) {
    engine->PGoClick();
    line(95);
    const int listed = engine->protocolCount();
    link.written.clear();
    QByteArray wrongUnit = analyserLine(50);
    wrongUnit.replace(toCp1251(QStringLiteral("%нас")), "%nas");
    engine->lineAvailable(wrongUnit);
    EXPECT_EQ(link.written, QList<QByteArray>{QByteArray("\xA1", 1)});
    QByteArray noTemperature = analyserLine(50);
    noTemperature.replace("20.3", "    ");
    engine->lineAvailable(noTemperature);
    for (const QByteArray& garbage :
         {QByteArray("\r\n"), QByteArray("\x00\xff\x98%\r\n", 6), QByteArray(300, '%')})
        engine->lineAvailable(garbage);
    EXPECT_EQ(engine->protocolCount(), listed);
    // The refused line's values were read before its unit was checked; the unreadable ones changed nothing.
    EXPECT_EQ(engine->acquisition().lineSignal, 50.0);
    EXPECT_EQ(link.written.size(), 1);
}

TEST_F(EngineTest, AnUnreadableSignalCountsAsZeroButTheLineIsUsed) {
    engine->PGoClick();
    QByteArray badSignal = analyserLine(95);
    badSignal.replace(" 95.00", "  9x.0");
    engine->lineAvailable(badSignal);
    EXPECT_EQ(engine->acquisition().lineSignal, 0.0);
    EXPECT_EQ(engine->protocolCount(), 1);
}

} // namespace
