// The scenario file: what a malformed line reports, and what the arguments of each verb become.
#include "Scenario.h"

#include <gtest/gtest.h>

using namespace lorimet::replay;

namespace {

std::optional<Scenario> parse(const QString& text) {
    ParseError error;
    auto scenario = parseScenario(text, error);
    EXPECT_TRUE(scenario.has_value()) << "line " << error.lineNumber << ": " << error.reason.toStdString();
    return scenario;
}

struct Malformed {
    const char* text;
    int line;
};

class MalformedLine : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedLine, NamesTheLineAndWhy) {
    ParseError error;
    const auto scenario = parseScenario(QString::fromUtf8(GetParam().text), error);
    EXPECT_FALSE(scenario.has_value());
    EXPECT_EQ(error.lineNumber, GetParam().line);
    EXPECT_FALSE(error.reason.trimmed().isEmpty());
}

// Blank and comment lines count in the numbering.
INSTANTIATE_TEST_SUITE_P(
    Scenario, MalformedLine,
    ::testing::Values(Malformed{"# day\n\n1.000 connect\n2.000 jump\n", 4},
                      Malformed{"1.0001 connect\n", 1},     // more than three decimals
                      Malformed{"-1.000 connect\n", 1},     // no negative times
                      Malformed{"1,5 connect\n", 1},        // the point is the separator
                      Malformed{"connect\n", 1},            // no time
                      Malformed{"864000.001 connect\n", 1}, // beyond ten days of ticks
                      Malformed{"1.000 connect\n0.999 clear\n", 2},
                      Malformed{"1.000 raw 0D ZZ\n", 1},   // not hexadecimal
                      Malformed{"1.000 raw 100\n", 1},     // not one byte
                      Malformed{"1.000 raw\n", 1},         // no bytes
                      Malformed{"1.000 connect now\n", 1}, // takes no arguments
                      Malformed{"1.000 exit 5\n", 1}, Malformed{"1.000 calibrate\n", 1},
                      Malformed{"1.000 calibrate 10 2 3\n", 1}, Malformed{"1.000 analyse medium 1 x\n", 1},
                      Malformed{"1.000 analyse small\n", 1}, Malformed{"1.000 settings X=1\n", 1},
                      Malformed{"1.000 settings F=abc\n", 1}, Malformed{"1.000 settings F=\n", 1},
                      Malformed{"1.000 answer Maybe\n", 1}, Malformed{"1.000 answer\n", 1},
                      Malformed{"1.000 save-as\n", 1},
                      Malformed{"1.000 connect\ndate 2026-12-07\n", 2}, // a header after the first event
                      Malformed{"date 2026-13-01\n", 1}, Malformed{"time 25:00:00.000\n", 1}));

TEST(Scenario, HeadersAndTheirDefaults) {
    const auto plain = parse(QStringLiteral("1.000 connect\n"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->date, QDate(2026, 12, 6));
    EXPECT_EQ(plain->time, QTime(12, 0));

    const auto headed = parse(QStringLiteral("# a comment\ndate 2027-01-31\ntime 23:59:30.250\n\n1 exit\n"));
    ASSERT_TRUE(headed);
    EXPECT_EQ(headed->date, QDate(2027, 1, 31));
    EXPECT_EQ(headed->time, QTime(23, 59, 30, 250));
    ASSERT_EQ(headed->events.size(), 1u);
    EXPECT_EQ(headed->events[0].verb, Verb::Exit);
    EXPECT_EQ(headed->events[0].lineNumber, 5);
}

TEST(Scenario, TimesAreMillisecondsAndMayRepeat) {
    const auto s = parse(QStringLiteral("0.5 connect\n0.5 clear\n2 clear\n2.25 clear\n3.001 clear\n"));
    ASSERT_TRUE(s);
    std::vector<qint64> times;
    for (const Event& e : s->events)
        times.push_back(e.timeMs);
    EXPECT_EQ(times, (std::vector<qint64>{500, 500, 2000, 2250, 3001}));
}

TEST(Scenario, LineTextIsKeptVerbatimAfterOneBlank) {
    const auto s = parse(QStringLiteral("1.000 line  94.99 %нас 20.3   под.  \n"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->events[0].verb, Verb::Line);
    EXPECT_EQ(s->events[0].text, QStringLiteral(" 94.99 %нас 20.3   под.  "));
}

TEST(Scenario, RawBytesAreHexadecimalInEitherCase) {
    const auto s = parse(QStringLiteral("1.000 raw 0D 0a ff 41\n"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->events[0].verb, Verb::Raw);
    EXPECT_EQ(s->events[0].bytes, QByteArray("\x0D\x0A\xFF\x41", 4));
}

TEST(Scenario, CalibrateTakesTheCertifiedValueAndAnOptionalDilution) {
    const auto s = parse(QStringLiteral("1.000 calibrate 10\n2.000 calibrate 12,5 2.5\n"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->events[0].text, QStringLiteral("10"));
    EXPECT_FALSE(s->events[0].hasSecond);
    EXPECT_EQ(s->events[1].text, QStringLiteral("12,5"));
    EXPECT_TRUE(s->events[1].hasSecond);
    EXPECT_EQ(s->events[1].second, QStringLiteral("2.5"));
}

TEST(Scenario, AnalyseTakesKindDilutionAndTheRestAsDescription) {
    const auto s = parse(QStringLiteral("1.000 analyse small 1 Проба 1 (р. Исеть, створ 2)\n"
                                        "2.000 analyse full - Сток  2\n"));
    ASSERT_TRUE(s);
    const Event& small = s->events[0];
    EXPECT_EQ(small.verb, Verb::Analyse);
    EXPECT_TRUE(small.small);
    EXPECT_TRUE(small.hasSecond);
    EXPECT_EQ(small.second, QStringLiteral("1"));
    EXPECT_EQ(small.text, QStringLiteral("Проба 1 (р. Исеть, створ 2)"));
    const Event& full = s->events[1];
    EXPECT_FALSE(full.small);
    EXPECT_FALSE(full.hasSecond); // "-": the dilution field is not visited
    EXPECT_EQ(full.text, QStringLiteral("Сток  2"));
}

TEST(Scenario, SettingsTakePairsAndAFinalSave) {
    const auto s = parse(QStringLiteral("1.000 settings F=20 D=20 A=40 B=4 C=6 port=COM3 save\n"
                                        "2.000 settings D=5\n"));
    ASSERT_TRUE(s);
    const Event& e = s->events[0];
    EXPECT_EQ(e.verb, Verb::Settings);
    EXPECT_TRUE(e.save);
    const std::vector<std::pair<QString, QString>> expected = {{"F", "20"}, {"D", "20"}, {"A", "40"},
                                                               {"B", "4"},  {"C", "6"},  {"port", "COM3"}};
    EXPECT_EQ(e.settings, expected);
    EXPECT_FALSE(s->events[1].save);
}

TEST(Scenario, AnswersAndSaveDialogChoices) {
    const auto s = parse(QStringLiteral("1 answer OK\n1 answer Cancel\n1 answer Yes\n1 answer No\n"
                                        "1 save-as saved.txt\n1 save-as cancel\n"));
    ASSERT_TRUE(s);
    ASSERT_EQ(s->events.size(), 6u);
    EXPECT_EQ(s->events[0].second, QStringLiteral("OK"));
    EXPECT_EQ(s->events[1].second, QStringLiteral("Cancel"));
    EXPECT_EQ(s->events[2].second, QStringLiteral("Yes"));
    EXPECT_EQ(s->events[3].second, QStringLiteral("No"));
    EXPECT_EQ(s->events[4].verb, Verb::SaveAs);
    EXPECT_TRUE(s->events[4].save);
    EXPECT_EQ(s->events[4].text, QStringLiteral("saved.txt"));
    EXPECT_FALSE(s->events[5].save);
}

} // namespace
