#include "sim/AnalyserModel.h"
#include "text/Cp1251.h"
#include "text/Numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

using namespace lorimet;

namespace {

// The fields of an instrument line, cut by their positions relative to the first "%".
struct Fields {
    qsizetype percent = -1; // 0-based
    std::optional<double> signal, temperature;
    QByteArray unit, mode;
};

Fields cut(const QByteArray& line) {
    Fields f;
    const QByteArray body = line.chopped(2);
    f.percent = body.indexOf('%');
    if (f.percent < 0)
        return f;
    const QString text = fromCp1251(body);
    f.signal = parseInstrumentReal(QStringView(text).left(f.percent - 1));
    f.temperature = parseInstrumentReal(QStringView(text).mid(f.percent + 5, 4));
    f.unit = body.mid(f.percent, 4);
    f.mode = body.mid(f.percent + 32, 4);
    return f;
}

const QByteArray kUnit("\x25\xED\xE0\xF1");        // "%нас"
const QByteArray kPreparation("\xEF\xEE\xE4\x2E"); // "под."
const QByteArray kMeasuring("\xE8\xE7\xEC\x2E");   // "изм."

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

} // namespace

TEST(AnalyserModel, LineLayout) {
    struct Case {
        double signal, temperature;
    };
    for (const Case c : {Case{95.0, 20.3}, Case{100.5, 5.0}, Case{3.2, 35.5}}) {
        AnalyserModel model;
        model.setIdleSignal(c.signal);
        model.setTemperature(c.temperature);
        for (const KnobPosition knob : {KnobPosition::Preparation, KnobPosition::Measuring}) {
            model.turnKnob(knob, 0);
            const QByteArray line = model.nextLine(0);
            ASSERT_TRUE(line.endsWith("\r\n"));
            EXPECT_EQ(line.count('\r') + line.count('\n'), 2);
            const Fields f = cut(line);
            EXPECT_EQ(f.percent, 7) << line.constData(); // "%6.2f" and a blank
            EXPECT_EQ(line[f.percent - 1], ' ');
            ASSERT_TRUE(f.signal);
            EXPECT_NEAR(*f.signal, c.signal, 0.5);
            EXPECT_EQ(f.unit, kUnit);
            ASSERT_TRUE(f.temperature);
            EXPECT_NEAR(*f.temperature, c.temperature, 0.25);
            EXPECT_EQ(f.mode, knob == KnobPosition::Measuring ? kMeasuring : kPreparation);
            EXPECT_EQ(line.size(), f.percent + 36 + 2); // the mode word ends the line
        }
    }
}

TEST(AnalyserModel, PeriodFollowsTheStartCommandUnlessSetExplicitly) {
    struct Case {
        int frequency;
        qint64 period;
    };
    for (const Case c : {Case{1, 1000}, Case{2, 500}, Case{3, 333}, Case{20, 50}, Case{0, 1000}}) {
        AnalyserModel model;
        model.receive(bytes({0xA1, 0xA2, c.frequency, 0xA3, 0x07, 0xD0}), 0);
        EXPECT_EQ(model.periodMs(), c.period) << c.frequency;
        EXPECT_EQ(model.transportDelayMs(), 2000);
    }
    AnalyserModel model;
    model.setPeriodMs(250);
    model.receive(bytes({0xA1, 0xA2, 0x14, 0xA3, 0x4E, 0x21}), 0);
    EXPECT_EQ(model.periodMs(), 250);
    EXPECT_EQ(model.transportDelayMs(), 20001);
}

TEST(AnalyserModel, StartCommandSplitAcrossReads) {
    AnalyserModel model;
    model.nextLine(0);
    model.receive(bytes({0xA1}), 10);
    model.receive(bytes({0xA2, 0x05}), 20);
    model.receive(bytes({0xA3, 0x07}), 30);
    model.receive(bytes({0xD0}), 40);
    EXPECT_EQ(model.periodMs(), 200);
    EXPECT_EQ(model.transportDelayMs(), 2000);
    EXPECT_FALSE(model.pendingResend(5000));
    EXPECT_FALSE(model.resendDecisionDue());
}

TEST(AnalyserModel, LoneA1AsksForTheLastLineAgain) {
    AnalyserModel model;
    model.receive(bytes({0xA1}), 0);
    EXPECT_FALSE(model.pendingResend(1000)) << "nothing sent yet, nothing to repeat";

    const QByteArray first = model.nextLine(1000);
    model.receive(bytes({0xA1}), 1010);
    EXPECT_FALSE(model.pendingResend(1010)) << "a start command may still follow";
    EXPECT_EQ(model.resendDecisionDue(), 1010 + AnalyserModel::kResendWaitMs);
    EXPECT_TRUE(model.pendingResend(1010 + AnalyserModel::kResendWaitMs));
    EXPECT_FALSE(model.pendingResend(2000)) << "one resend per request";
    EXPECT_EQ(model.lastLine(), first);

    // Followed by another command in the same write, it is decided at once; two requests, two resends.
    model.receive(bytes({0xA1, 0xA4, 0xA1, 0xA1}), 3000);
    EXPECT_TRUE(model.pendingResend(3000));
    EXPECT_TRUE(model.pendingResend(3000));
    EXPECT_FALSE(model.pendingResend(3000));
    EXPECT_TRUE(model.pendingResend(3000 + AnalyserModel::kResendWaitMs));
    EXPECT_TRUE(model.takeLog().contains(QStringLiteral("end of operation")));

    // 0xA2 arriving after the wait no longer makes a start command.
    model.receive(bytes({0xA1}), 4000);
    model.receive(bytes({0xA2, 0x05, 0xA3, 0x07, 0xD0}), 4500);
    EXPECT_TRUE(model.pendingResend(4500));
    EXPECT_EQ(model.periodMs(), 1000);
}

TEST(AnalyserModel, OtherCommandsAreLoggedOnly) {
    AnalyserModel model;
    model.nextLine(0);
    model.receive(bytes({0xA4, 0x33, 0xAB, 0xA5, 0xA6, 0x0D}), 10);
    EXPECT_EQ(
        model.takeLog(),
        QStringList({QStringLiteral("end of operation"), QStringLiteral("upper point stored"),
                     QStringLiteral("factory settings restored"), QStringLiteral("factory settings saved"),
                     QStringLiteral("unknown bytes ignored: 33 0D")}));
    EXPECT_FALSE(model.pendingResend(1000));
    EXPECT_EQ(model.periodMs(), 1000);
}

TEST(AnalyserModel, FaultsSpoilOneLineAsNamed) {
    AnalyserModel model;
    model.nextLine(0);

    model.requestFault(LineFault::WrongUnit);
    Fields f = cut(model.nextLine(1000));
    EXPECT_EQ(f.unit, QByteArray("\x25\xED\x61\xF1")); // Latin a
    EXPECT_TRUE(f.temperature);
    EXPECT_EQ(cut(model.lastLine()).unit, kUnit) << "a resend repeats the line as it should have been";

    model.requestFault(LineFault::BlankTemperature);
    const QByteArray blank = model.nextLine(2000);
    f = cut(blank);
    EXPECT_EQ(f.unit, kUnit);
    EXPECT_EQ(blank.mid(f.percent + 5, 4), "    ");
    EXPECT_FALSE(f.temperature);

    model.requestFault(LineFault::Garbage);
    const QByteArray garbage = model.nextLine(3000);
    EXPECT_TRUE(garbage.endsWith("\r\n"));
    EXPECT_FALSE(garbage.chopped(2).contains('%'));
    EXPECT_FALSE(garbage.chopped(2).contains('\r') || garbage.chopped(2).contains('\n'));

    model.requestFault(LineFault::Split);
    const QByteArray split = model.nextLine(4000);
    EXPECT_GT(model.splitPoint(), 0);
    EXPECT_LT(model.splitPoint(), split.size());
    EXPECT_EQ(split, model.lastLine());

    const QByteArray next = model.nextLine(5000);
    EXPECT_EQ(model.splitPoint(), 0);
    EXPECT_EQ(cut(next).unit, kUnit);
    EXPECT_TRUE(cut(next).temperature);
}

TEST(AnalyserModel, NoiseFaultsCarryNoFieldAndOneLineEnd) {
    AnalyserModel model;
    model.nextLine(0);
    // Nothing a field could be read from: no blank, digit, point, sign or "%", and no line end inside.
    auto isNoise = [](const QByteArray& bytes) {
        return std::all_of(bytes.begin(), bytes.end(),
                           [](char c) { return c == '\0' || static_cast<unsigned char>(c) >= 0x80; });
    };

    model.requestFault(LineFault::Zeros);
    const QByteArray zeros = model.nextLine(1000);
    ASSERT_TRUE(zeros.endsWith("\r\n"));
    EXPECT_GE(zeros.size(), 10);
    EXPECT_EQ(zeros.chopped(2), QByteArray(zeros.size() - 2, '\0'));

    model.requestFault(LineFault::LongNoise);
    const QByteArray noise = model.nextLine(2000);
    ASSERT_TRUE(noise.endsWith("\r\n"));
    EXPECT_EQ(noise.size(), AnalyserModel::kLongNoiseBytes + 2);
    EXPECT_TRUE(isNoise(noise.chopped(2)));
    EXPECT_TRUE(noise.contains('\0'));
    EXPECT_EQ(cut(model.lastLine()).unit, kUnit) << "a resend repeats the line as it should have been";

    EXPECT_TRUE(isNoise(model.noise(4096)));
    EXPECT_EQ(cut(model.nextLine(3000)).unit, kUnit);
}

TEST(AnalyserModel, SilenceLastsAsLongAsAsked) {
    AnalyserModel model;
    model.silence(10'000, 5'000);
    EXPECT_FALSE(model.isSilent(9'999));
    EXPECT_TRUE(model.isSilent(10'000));
    EXPECT_TRUE(model.isSilent(14'999));
    EXPECT_FALSE(model.isSilent(15'000));
}

namespace {

struct Dip {
    double depth = 0;   // baseline minus the lowest signal
    double maxFall = 0; // steepest fall, %нас per second over 5 s
    qint64 firstFallMs = -1;
};

// Idle for a minute, inject, switch the cell in at 60 s, watch the dip, then flush.
Dip measureDip(double bod, quint64 seed = 7) {
    AnalyserModel model(seed);
    const qint64 period = model.periodMs();
    std::vector<double> s;
    qint64 t = 0;
    auto run = [&](qint64 until) {
        for (; t < until; t += period)
            s.push_back(*cut(model.nextLine(t)).signal);
    };
    run(60'000);
    const double baseline = std::accumulate(s.end() - 20, s.end(), 0.0) / 20;
    model.inject(bod, t);
    model.turnKnob(KnobPosition::Measuring, t);
    const qint64 onset = t + model.onsetDelayMs();
    const size_t turnIndex = s.size();
    run(onset + 150'000);
    model.turnKnob(KnobPosition::Preparation, t);

    Dip dip;
    dip.depth = baseline - *std::min_element(s.begin() + turnIndex, s.end());
    const size_t span = 5'000 / period;
    for (size_t i = turnIndex + span; i < s.size(); ++i)
        dip.maxFall = std::max(dip.maxFall, (s[i - span] - s[i]) * 1000.0 / 5'000);
    for (size_t i = turnIndex; i < s.size() && dip.firstFallMs < 0; ++i)
        if (baseline - s[i] > 0.1)
            dip.firstFallMs = static_cast<qint64>(i - turnIndex) * period;
    return dip;
}

} // namespace

TEST(AnalyserModel, DepthAndSteepestFallScaleWithBod) {
    const Dip none = measureDip(0);
    EXPECT_LT(none.depth, 0.1);
    const Dip reference = measureDip(10);
    EXPECT_NEAR(reference.depth, 10 * AnalyserModel::kDepthPerMgPerLitre, 0.5);
    for (const double bod : {2.0, 4.0, 6.0, 15.0}) {
        const Dip sample = measureDip(bod);
        EXPECT_NEAR(sample.depth / reference.depth, bod / 10, 0.03 * bod / 10) << bod;
        EXPECT_NEAR(sample.maxFall / reference.maxFall, bod / 10, 0.04 * bod / 10) << bod;
    }
}

TEST(AnalyserModel, FallStartsAfterTheTransportDelay) {
    struct Case {
        int frequency, delayHigh, delayLow;
        qint64 onset;
    };
    // 25 cycles per second of delay: at 2 Hz and 2 s the program waits 50 lines, 25 s.
    for (const Case c : {Case{2, 0x07, 0xD0, 25'000}, Case{1, 0x03, 0xE8, 25'000},
                         Case{1, 0x07, 0xD0, 50'000}, Case{10, 0x07, 0xD0, 5'000}}) {
        AnalyserModel model;
        model.receive(bytes({0xA1, 0xA2, c.frequency, 0xA3, c.delayHigh, c.delayLow}), 0);
        EXPECT_EQ(model.onsetDelayMs(), c.onset) << c.frequency << " Hz";
    }
    const qint64 onset = AnalyserModel().onsetDelayMs();
    const Dip dip = measureDip(8);
    EXPECT_GE(dip.firstFallMs, onset);
    EXPECT_LE(dip.firstFallMs, onset + 10'000);
}

TEST(AnalyserModel, SameSeedSameBytes) {
    auto day = [](quint64 seed) {
        AnalyserModel model(seed);
        QByteArray all;
        for (qint64 t = 0; t < 200'000; t += 1000) {
            if (t == 20'000) {
                model.inject(5, t);
                model.turnKnob(KnobPosition::Measuring, t);
                model.requestFault(LineFault::Garbage);
                model.requestFault(LineFault::Split);
            }
            all += model.nextLine(t);
            all += QByteArray::number(model.splitPoint());
        }
        return all;
    };
    EXPECT_EQ(day(42), day(42));
    EXPECT_NE(day(42), day(43));
}
