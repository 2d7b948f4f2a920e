// The transcript's form, the link and its start command, the port and filter settings, and which analyser
// lines the program takes, refuses or ignores.
#include "ReplayHarness.h"

#include "config/Configuration.h"
#include "text/Cp1251.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::replaytest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const QString kFirst = QStringLiteral("0.000 ") + said::kUnlinked;

class Transcript : public ::testing::Test {
  protected:
    Replay run(const ScenarioText& s) { return runReplay(s.text(), dir.path()); }
    Replay run(const QString& text) { return runReplay(text, dir.path()); }
    QStringList configLines() const {
        QString text = fromCp1251(readBytes(dir.filePath(QStringLiteral("Vornel_config.ini"))));
        EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
        text.chop(2);
        return text.split(QStringLiteral("\r\n"));
    }
    QTemporaryDir dir;
};

TEST_F(Transcript, RecordsHaveThreeDecimalsAndUpperCaseHex) {
    ScenarioText s;
    s.at(0.5, "connect").at(1.234, "line " + analyserLine(94.99).replace("%нас", "%abc")).at(2, "exit");
    const Replay r = run(s);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_THAT(r.records,
                ElementsAre(kFirst, "0.500 link open", "0.500 tx A1 A2 02 A3 07 D0", "1.234 tx A1"));
}

TEST_F(Transcript, AnEmptyScenarioStillStartsAndCloses) {
    const Replay r = run(QString());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_THAT(r.records, ElementsAre(kFirst));
    EXPECT_FALSE(configLines().isEmpty()); // the close sequence wrote the configuration
}

TEST_F(Transcript, ExitEndsTheScenarioAndWithoutItTheRunEndsASecondAfterTheLastEvent) {
    ScenarioText ended;
    ended.at(0.5, "connect").at(1, "exit").at(2, "disconnect").line(2.5, 95);
    EXPECT_THAT(run(ended).records, ElementsAre(kFirst, "0.500 link open", "0.500 tx A1 A2 02 A3 07 D0"));

    ScenarioText open;
    open.at(0.5, "connect").line(1.25, 95);
    QTemporaryDir other;
    EXPECT_THAT(runReplay(open.text(), other.path()).records,
                ElementsAre(kFirst, "0.500 link open", "0.500 tx A1 A2 02 A3 07 D0",
                            QStringLiteral("1.250 ") + said::kAwaitingUpperPoint,
                            QStringLiteral("2.250 ") + said::kUnlinked));
}

TEST_F(Transcript, FactorySettingsNeedTheLink) {
    ScenarioText s;
    s.at(0.5, "factory-restore")
        .at(0.6, "factory-save")
        .at(1, "connect")
        .at(1.5, "factory-restore")
        .at(1.6, "factory-save")
        .at(2, "exit");
    EXPECT_THAT(run(s).records,
                ElementsAre(kFirst, "0.500 box Ошибка | Cвязь с прибором не установлена ! -> OK",
                            "0.600 box Ошибка | Cвязь с прибором не установлена ! -> OK", "1.000 link open",
                            "1.000 tx A1 A2 02 A3 07 D0", "1.500 tx A5",
                            "1.500 box Информация | Заводские установки восстановлены ! -> OK", "1.600 tx A6",
                            "1.600 box Информация | Заводские установки сохранены ! -> OK"));
}

struct StartCase {
    const char* settings;
    const char* command;
};

class StartCommand : public Transcript, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartCommand, CarriesFrequencyAndDelay) {
    ScenarioText s;
    if (*GetParam().settings)
        s.at(0.2, QString::fromUtf8(GetParam().settings));
    s.at(0.5, "connect");
    EXPECT_THAT(run(s).of("tx"), ElementsAre(QStringLiteral("0.500 tx ") + GetParam().command));
}

INSTANTIATE_TEST_SUITE_P(Replay, StartCommand,
                         ::testing::Values(StartCase{"", "A1 A2 02 A3 07 D0"},
                                           StartCase{"settings F=20 D=20", "A1 A2 14 A3 4E 21"},
                                           StartCase{"settings F=1 D=1", "A1 A2 01 A3 03 E8"},
                                           // 20 s goes out as 20001 ms
                                           StartCase{"settings D=20", "A1 A2 02 A3 4E 21"},
                                           StartCase{"settings D=30", "A1 A2 02 A3 75 30"}));

TEST_F(Transcript, StartCommandOncePerConnectionAndSettingsIgnoredWhileLinked) {
    ScenarioText s;
    s.at(0.5, "connect")
        .at(1.0, "settings F=20 D=20") // the port dialog cannot be opened while linked
        .at(1.5, "clear")              // clearing keeps the link and does not restart it
        .at(2.0, "disconnect")
        .at(2.5, "connect")
        .at(3.0, "disconnect")
        .at(3.5, "settings F=20 D=20")
        .at(4.0, "connect")
        .at(4.5, "exit");
    const Replay r = run(s);
    EXPECT_THAT(r.of("tx"), ElementsAre("0.500 tx A1 A2 02 A3 07 D0", "2.500 tx A1 A2 02 A3 07 D0",
                                        "4.000 tx A1 A2 14 A3 4E 21"));
    EXPECT_THAT(r.of("link"), ElementsAre("0.500 link open", "2.000 link closed", "2.500 link open",
                                          "3.000 link closed", "4.000 link open"));
}

TEST_F(Transcript, SavedSettingsReachTheConfigurationAtExit) {
    run(QStringLiteral("0.5 settings F=20 D=20 A=40 B=4 C=6 port=COM3 save\n1 exit\n"));
    QStringList expected = Configuration::defaultLines();
    expected[0] = QStringLiteral("Последовательный порт       :COM3");
    expected[1] = QStringLiteral("Параметр фильтра           A:0,40");
    expected[2] = QStringLiteral("Параметр фильтра           B:4");
    expected[3] = QStringLiteral("Параметр фильтра           С:6"); // Cyrillic С
    expected[4] = QStringLiteral("Частота прерываний          :20");
    expected[5] = QStringLiteral("Транспортное запаздывание   :20");
    EXPECT_EQ(configLines(), expected);
}

TEST_F(Transcript, UnsavedSettingsStayOutOfTheConfiguration) {
    // No exit event: the scenario ends a second after its last event and closes as with exit.
    const Replay r = run(QStringLiteral("0.5 settings F=20 D=20 A=40 port=COM3\n"));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(configLines(), Configuration::defaultLines());
}

TEST_F(Transcript, PortThatCannotBeOpenedIsNamedByItsNumber) {
    ScenarioText s;
    s.at(0.5, "port-fails")
        .at(1.0, "connect")
        .at(1.5, "settings port=COM3")
        .at(2.0, "connect")
        .at(2.5, "port-works")
        .at(3.0, "connect")
        .at(3.5, "exit");
    EXPECT_THAT(run(s).records,
                ElementsAre(kFirst, "1.000 box Ошибка | Нет доступа к последовательному порту 1 ! -> OK",
                            "2.000 box Ошибка | Нет доступа к последовательному порту 3 ! -> OK",
                            "3.000 link open", "3.000 tx A1 A2 02 A3 07 D0"));
}

struct LineCase {
    const char* name;
    QString text;
    QStringList records; // between the connection and the exit
};

class Lines : public Transcript, public ::testing::WithParamInterface<LineCase> {};

TEST_P(Lines, AreTakenRefusedOrIgnored) {
    ScenarioText s;
    s.at(0.5, "connect").at(1.0, QStringLiteral("line ") + GetParam().text).at(1.9, "exit");
    EXPECT_EQ(run(s).between(0.501, 1.9), GetParam().records);
}

const QString kAwaiting = QStringLiteral("1.000 ") + said::kAwaitingUpperPoint;

INSTANTIATE_TEST_SUITE_P(
    Replay, Lines,
    ::testing::Values(
        LineCase{"Taken", analyserLine(94.99), {kAwaiting, QStringLiteral("1.900 ") + said::kUnlinked}},
        LineCase{"WrongUnit", analyserLine(94.99).replace("%нас", "%abc"), {"1.000 tx A1"}},
        LineCase{"UpperCaseUnit", analyserLine(94.99).replace("%нас", "%НАС"), {"1.000 tx A1"}},
        // Without a "%" the temperature is read at positions 5 to 8; it reads, so the line is refused.
        LineCase{"NoPercent", QStringLiteral("abcd20.5 под."), {"1.000 tx A1"}},
        LineCase{"BlankTemperature", analyserLine(94.99, "под.", "    "), {}},
        LineCase{"CommaInTemperature", analyserLine(94.99, "под.", "20,5"), {}}),
    [](const auto& info) { return std::string(info.param.name); });

QString hexOf(const QString& text) {
    return QString::fromLatin1(toCp1251(text).toHex(' '));
}

TEST_F(Transcript, BytesReachTheProgramOnlyThroughAnOpenPort) {
    const QString partial = QStringLiteral(" 94.99 %нас 20.3");
    {
        ScenarioText s; // a line split in two pieces is one line
        s.at(0.5, "connect").at(1.0, "raw " + hexOf(partial)).at(1.5, "raw 0D 0A").at(2.0, "exit");
        EXPECT_THAT(run(s).of("status"),
                    ElementsAre(kFirst, QStringLiteral("1.500 ") + said::kAwaitingUpperPoint,
                                QStringLiteral("2.000 ") + said::kUnlinked));
    }
    {
        ScenarioText s; // a line sent before the port opens is lost, and so is a partial line at a close
        s.at(0.2, "line " + analyserLine(94.99))
            .at(0.5, "connect")
            .at(1.0, "raw " + hexOf(partial))
            .at(1.2, "disconnect")
            .at(1.3, "connect")
            .at(1.5, "raw 0D 0A")
            .at(2.0, "exit");
        EXPECT_THAT(run(s).of("status"), ElementsAre(kFirst));
    }
}

TEST_F(Transcript, MultiLineTextsShowTheirCarriageReturnsEscaped) {
    ScenarioText s;
    s.at(0.5, "connect").line(1.0, 95, "изм.").at(1.5, "exit");
    const Replay r = run(s);
    ASSERT_THAT(r.of("window"),
                ElementsAre(QStringLiteral("1.000 window Ошибка | Параметры не заданы !") + said::kKnobBack));
    for (const QString& record : r.records)
        EXPECT_FALSE(record.contains(u'\r')) << record.toStdString();
}

} // namespace
