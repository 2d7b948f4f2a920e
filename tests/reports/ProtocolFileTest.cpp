#include "reports/ProtocolFile.h"
#include "reports/ProtocolText.h"

#include <gtest/gtest.h>

using namespace lorimet;

namespace {

QStringList twoBlocks() {
    return {
        "2",
        dataLine(87.25, 0, 0),
        "S=+086,900 dS=+000,014 T=001,0",
        "Проба 1",
        resultLine(0.456, false, 0, false, 0),
        temperatureLine(20.46, "12:34"),
        timeDateLine("14:05:09", "06.12.26 г"),
        "1",
        dataLine(80, 0.1, 0),
        "Река",
        resultLine(12.3456, true, 7.5, false, 0),
        temperatureLine(21, "03:05"),
        timeDateLine("15:10:00", "05.12.26 г"),
    };
}

} // namespace

TEST(ProtocolFileParse, TwoBlocksByPosition) {
    const ProtocolFileContent content = parseProtocolFile(twoBlocks());
    EXPECT_FALSE(content.damaged);
    EXPECT_EQ(content.damageLine, -1);
    ASSERT_EQ(content.blocks.size(), 2u);

    const ProtocolBlock& first = content.blocks[0];
    ASSERT_EQ(first.signals.size(), 2);
    EXPECT_DOUBLE_EQ(first.signals[1], 86.9);
    EXPECT_DOUBLE_EQ(first.derivatives[1], 0.014);
    // Half a unit of 1e-5 day before the written value.
    EXPECT_DOUBLE_EQ(first.elapsedTimes[1], 0.5e-5);
    EXPECT_DOUBLE_EQ(first.elapsedTimes[0], -0.5e-5);
    EXPECT_EQ(first.description, u"Проба 1");
    EXPECT_DOUBLE_EQ(first.rateResult, 0.46);
    EXPECT_FALSE(first.rangeResult);
    EXPECT_FALSE(first.toxicityResult);
    EXPECT_DOUBLE_EQ(first.temperature, 20.5);
    EXPECT_EQ(first.durationText, u"12:34");
    EXPECT_EQ(first.endTimeText, u"14:05:09");
    EXPECT_EQ(first.endTime, QTime(14, 5, 9));
    EXPECT_EQ(first.dateText, u"06.12.26 г");
    EXPECT_EQ(first.firstLine, 0);
    EXPECT_EQ(first.lastLine, 6);

    const ProtocolBlock& second = content.blocks[1];
    EXPECT_DOUBLE_EQ(second.rateResult, 12.35);
    ASSERT_TRUE(second.rangeResult);
    EXPECT_DOUBLE_EQ(*second.rangeResult, 7.5);
    EXPECT_EQ(second.dateText, u"05.12.26 г");
    EXPECT_EQ(second.firstLine, 7);
}

TEST(ProtocolFileParse, ResultForms) {
    struct Case {
        QString line;
        double rate;
        std::optional<double> range;
        std::optional<double> toxicity;
    };
    const std::vector<Case> cases = {
        {resultLine(12.3456, false, 0, false, 0), 12.35, std::nullopt, std::nullopt},
        {resultLine(1, true, 0.876, false, 0), 1, 0.88, std::nullopt},
        // The toxicity field comes with the blank before "%".
        {resultLine(2, false, 0, true, 45.67), 2, std::nullopt, 45.7},
        // The full form followed by a toxicity index: only the range is read here.
        {"БПК*=012,35 БПК=007,50 ОТ=045,7 %", 12.35, 7.5, std::nullopt},
    };
    for (const Case& c : cases) {
        const ProtocolFileContent content =
            parseProtocolFile({"1", dataLine(1, 0, 0), "x", c.line, temperatureLine(20, "01:00"),
                               timeDateLine("10:00:00", "06.12.26 г")});
        ASSERT_FALSE(content.damaged) << c.line.toStdString();
        ASSERT_EQ(content.blocks.size(), 1u);
        const ProtocolBlock& b = content.blocks[0];
        EXPECT_DOUBLE_EQ(b.rateResult, c.rate) << c.line.toStdString();
        EXPECT_EQ(b.rangeResult, c.range) << c.line.toStdString();
        EXPECT_EQ(b.toxicityResult, c.toxicity) << c.line.toStdString();
    }
}

TEST(ProtocolFileParse, EmptyTextsAndZeroCounts) {
    EXPECT_FALSE(parseProtocolFile({}).damaged);
    // A zero count announces nothing; the next line is a count line again.
    const ProtocolFileContent zeros = parseProtocolFile({"0", "0"});
    EXPECT_FALSE(zeros.damaged);
    EXPECT_TRUE(zeros.blocks.empty());
    QStringList withZero = twoBlocks();
    withZero.insert(7, "0");
    const ProtocolFileContent content = parseProtocolFile(withZero);
    EXPECT_FALSE(content.damaged);
    EXPECT_EQ(content.blocks.size(), 2u);
}

TEST(ProtocolFileParse, DamageKeepsTheCompleteBlocksBefore) {
    const QStringList good = twoBlocks();
    auto with = [&](qsizetype index, const QString& line) {
        QStringList lines = good;
        lines[index] = line;
        return lines;
    };
    struct Case {
        const char* name;
        QStringList lines;
        size_t blocks;
        qsizetype damageLine;
    };
    const std::vector<Case> cases = {
        {"count not an integer", with(0, "два"), 0, 0},
        {"count with a trailing blank", with(0, "2 "), 0, 0},
        {"one line", {"1"}, 0, 0},
        {"one zero line", {"0"}, 0, 0},
        {"cut short in the data", good.mid(0, 8), 1, 7},
        {"cut short before the time line", good.mid(0, 12), 1, 7},
        {"count larger than the text", with(7, "2"), 1, 7},
        {"huge count", with(7, "2147483647"), 1, 7},
        {"empty line after the last block", good + QStringList{""}, 2, 13},
        {"bad signal", with(8, "S=+0x0,000 dS=+000,100 T=000,0"), 1, 8},
        {"bad derivative", with(8, "S=+080,000 dS=+000.100 T=000,0"), 1, 8},
        {"bad elapsed time", with(8, "S=+080,000 dS=+000,100 T="), 1, 8},
        {"point instead of comma", with(1, "S=+087.250 dS=+000,000 T=000,0"), 0, 1},
        {"bad rate", with(10, "БПК*=01x,35 БПК=007,50 "), 1, 10},
        {"bad range", with(10, "БПК*=012,35 БПК=     "), 1, 10},
        {"bad toxicity", with(10, "БПК*=012,35 ОТ=04,5,7 %"), 1, 10},
        {"bad temperature", with(11, "t=ab,0 °C T=03:05"), 1, 11},
        {"bad time", with(12, "Время: 25:10:00 Дата: 05.12.26 г"), 1, 12},
        {"short time line", with(12, "Время:"), 1, 12},
        {"time line cut in the time", with(12, "Время: 15:10:0"), 1, 12},
        {"time line cut in the date", with(12, "Время: 15:10:00 Дата: 05.12.26"), 1, 12},
        {"negative count, too few lines", good.mid(0, 7) + QStringList{"-1", "Река", "БПК*=001,00 "}, 1, 7},
    };
    for (const Case& c : cases) {
        const ProtocolFileContent content = parseProtocolFile(c.lines);
        EXPECT_TRUE(content.damaged) << c.name;
        EXPECT_EQ(content.blocks.size(), c.blocks) << c.name;
        EXPECT_EQ(content.damageLine, c.damageLine) << c.name;
        if (!content.blocks.empty()) {
            EXPECT_EQ(content.blocks[0].description, u"Проба 1") << c.name;
        }
    }
}

TEST(ProtocolFileParse, NegativeCountIsABlockWithoutDataLines) {
    QStringList lines = twoBlocks();
    lines.erase(lines.begin() + 8); // the second block's only data line
    for (const char* count : {"-1", "-25", " -3"}) {
        lines[7] = QString::fromLatin1(count);
        const ProtocolFileContent content = parseProtocolFile(lines);
        EXPECT_FALSE(content.damaged) << count;
        ASSERT_EQ(content.blocks.size(), 2u) << count;
        const ProtocolBlock& second = content.blocks[1];
        EXPECT_TRUE(second.signals.isEmpty()) << count;
        EXPECT_EQ(second.description, u"Река") << count;
        EXPECT_DOUBLE_EQ(second.rateResult, 12.35) << count;
        EXPECT_EQ(second.dateText, u"05.12.26 г") << count;
        EXPECT_EQ(second.lastLine, 11) << count;
    }
}

TEST(ProtocolFileParse, TimeOfDay) {
    struct Case {
        const char* text;
        std::optional<QTime> time;
    };
    const std::vector<Case> cases = {
        {"14:05:09", QTime(14, 5, 9)}, {"9:05:09 ", QTime(9, 5, 9)},
        {"23:59", QTime(23, 59)},      {" 0:00:00", QTime(0, 0)},
        {"24:00:00", std::nullopt},    {"12:60:00", std::nullopt},
        {"12:00:60", std::nullopt},    {"12", std::nullopt},
        {"12:5a:00", std::nullopt},    {"", std::nullopt},
        {"123:00", std::nullopt},      {"1:2:3:4", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseTimeOfDay(QString::fromUtf8(c.text)), c.time) << c.text;
}
