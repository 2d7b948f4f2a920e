// The main tick in virtual time: the link watchdog, the mode word against the message window, and the
// automatic upper point after a minute of a stable signal.
#include "ReplayHarness.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace lorimet::replaytest;
using ::testing::ElementsAre;

namespace {

class LinkWatch : public ::testing::Test {
  protected:
    Replay run(const ScenarioText& s) { return runReplay(s.text(), dir.path()); }
    QTemporaryDir dir;
};

struct SilentCase {
    double connectAt;
    double closedAt;
};

class SilentAnalyser : public LinkWatch, public ::testing::WithParamInterface<SilentCase> {};

// The first tick comes 100 ms after 0; a tick at the instant of the connection runs after it and counts.
TEST_P(SilentAnalyser, IsGivenUpAfterFiftyTicks) {
    ScenarioText s;
    s.at(GetParam().connectAt, "connect").at(9, "exit");
    const QString closed = stamp(GetParam().closedAt);
    EXPECT_THAT(run(s).between(GetParam().connectAt + 0.001, 9),
                ElementsAre(closed + " link closed",
                            closed + " box Ошибка | Невозможно установить связь с прибором ! -> OK"));
}

INSTANTIATE_TEST_SUITE_P(Replay, SilentAnalyser,
                         ::testing::Values(SilentCase{0.0, 5.1}, SilentCase{1.0, 6.0},
                                           SilentCase{1.05, 6.1}));

TEST_F(LinkWatch, AnalyserFallingSilentBreaksTheLink) {
    ScenarioText s;
    s.at(1, "connect").lines(1.5, 10, 0.5, 95.0).at(20, "exit");
    const Replay r = run(s);
    const QString box = QStringLiteral("15.100 box Внимание | Cвязь с прибором - прервана ! -> OK");
    EXPECT_THAT(r.between(1.001, 20),
                ElementsAre(QStringLiteral("1.500 ") + said::kAwaitingUpperPoint, "15.100 link closed",
                            QStringLiteral("15.100 ") + said::kUnlinked, box));
    // The message starts with the Latin C, not the Cyrillic С.
    EXPECT_EQ(box.indexOf(u'C'), box.indexOf(QStringLiteral("вязь")) - 1);
}

TEST_F(LinkWatch, RefusedLinesDoNotKeepTheLinkAlive) {
    ScenarioText s;
    s.at(1, "connect").lines(1.5, 8, 0.5, 95.0);
    const Replay plain = run(s); // control: the link lives on
    EXPECT_THAT(plain.of("link"), ElementsAre("1.000 link open"));

    ScenarioText refused;
    refused.at(1, "connect");
    for (double t = 1.5; t <= 8; t += 0.5)
        refused.at(t, "line " + analyserLine(95).replace("%нас", "%abc"));
    QTemporaryDir other;
    const Replay r = runReplay(refused.text(), other.path());
    EXPECT_THAT(r.of("link"), ElementsAre("1.000 link open", "6.000 link closed"));
    EXPECT_TRUE(r.has("6.000 box Ошибка | Невозможно установить связь с прибором ! -> OK"));
}

TEST_F(LinkWatch, MeasuringModeWithoutAnOperationOpensTheErrorWindowOnTheNextTick) {
    // The tick that falls at the line's own instant runs after it.
    for (const auto& [lineAt, shownAt] : {std::pair{1.05, 1.1}, {1.1, 1.1}, {1.101, 1.2}}) {
        ScenarioText s;
        s.at(1, "connect")
            .line(lineAt, 95, "изм.")
            .line(1.5, 95, "изм.")
            .line(2.0, 95, "под.")
            .at(2.5, "exit");
        QTemporaryDir fresh;
        const Replay r = runReplay(s.text(), fresh.path());
        const QString at = stamp(shownAt);
        EXPECT_THAT(r.between(1.001, 2.4),
                    ElementsAre(stamp(lineAt) + u' ' + said::kAwaitingUpperPoint, at + " tx A4",
                                at + " window Ошибка | Параметры не заданы !" + said::kKnobBack,
                                "2.000 window-close Ошибка"))
            << "line at " << lineAt;
    }
}

struct StableCase {
    const char* name;
    std::function<double(double)> signal;
    double calibratedAt;
};

class AutomaticUpperPoint : public LinkWatch, public ::testing::WithParamInterface<StableCase> {};

TEST_P(AutomaticUpperPoint, ComesOnTheSixHundredthStableTick) {
    ScenarioText s;
    // The first tick, at the connection, takes the reference.
    s.at(0.5, "connect").lines(0.5, 70, 0.5, GetParam().signal).at(70.2, "exit");
    const Replay r = run(s);
    const QString at = stamp(GetParam().calibratedAt);
    ASSERT_THAT(r.of("tx"), ElementsAre("0.500 tx A1 A2 02 A3 07 D0", at + " tx AB"));
    const QString ready = stamp(GetParam().calibratedAt + 0.1) + u' ' + said::kReadyForGso;
    EXPECT_THAT(r.between(GetParam().calibratedAt, GetParam().calibratedAt + 0.1),
                ElementsAre(at + " tx AB", at + u' ' + said::kFirstUpperPointBox, ready));
}

INSTANTIATE_TEST_SUITE_P(
    Replay, AutomaticUpperPoint,
    ::testing::Values(StableCase{"Flat", [](double) { return 95.0; }, 60.4},
                      // Half a unit away from the reference still counts as stable.
                      StableCase{"WithinHalfAUnit",
                                 [](double t) { return std::llround(t * 2) % 2 == 1 ? 95.5 : 95.0; }, 60.4},
                      // A second one unit off: ten ticks count down instead of up.
                      StableCase{"OneSecondAway",
                                 [](double t) { return t == 30.0 || t == 30.5 ? 96.0 : 95.0; }, 62.4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkWatch, UpperPointOnALowSignalFailsAndDisconnects) {
    for (const bool manual : {false, true}) {
        ScenarioText s;
        s.at(0.5, "connect").lines(0.5, 70, 0.5, 0.05).at(70.2, "exit");
        if (manual)
            s.at(2.25, "upper-point");
        QTemporaryDir fresh;
        const Replay r = runReplay(s.text(), fresh.path());
        const QString at = stamp(manual ? 2.25 : 60.4);
        EXPECT_THAT(r.between(0.5, 70.2), ElementsAre("0.500 link open", "0.500 tx A1 A2 02 A3 07 D0",
                                                      QStringLiteral("0.500 ") + said::kAwaitingUpperPoint,
                                                      at + u' ' + said::kLowSignalBox, at + " link closed",
                                                      at + u' ' + said::kUnlinked))
            << (manual ? "manual" : "automatic");
    }
}

} // namespace
