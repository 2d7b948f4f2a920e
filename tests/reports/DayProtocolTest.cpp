#include "reports/DayProtocol.h"
#include "reports/ProtocolText.h"

#include "text/SafeFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace lorimet;

namespace {

QStringList dayText() {
    return {
        "2",
        dataLine(87.25, 0, 0),
        dataLine(86.9, 0.014, 0.0000105),
        "Проба 1",
        resultLine(0.456, false, 0, false, 0),
        temperatureLine(20.46, "12:34"),
        timeDateLine("14:05:09", "06.12.26 г"),
        "1",
        dataLine(80, 0.1, 0),
        "Река",
        // The full form followed by a toxicity index, as some older files carry it.
        "БПК*=012,35 БПК=007,50 ОТ=045,7 %",
        "t=021,0 °C T=03:05",
        "Время: 15:10:00 Дата: 06.12.26 г",
    };
}

std::vector<QString> rowOf(const ReportTable& table, int row) {
    std::vector<QString> cells;
    for (int c = 0; c < ReportTable::kColumns; ++c)
        cells.push_back(table.cell(row, c));
    return cells;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(RebuildTable, TwoBlocks) {
    ReportTable table;
    int changes = 0;
    table.changed = [&] { ++changes; };
    const RebuildResult result = rebuildTable(dayText(), table);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.probeCounter, 2);
    EXPECT_EQ(result.descriptions, QStringList({"Проба 1", "Река"}));
    EXPECT_EQ(table.rowCount(), 3);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(rowOf(table, 1), (std::vector<QString>{"1", "Проба 1", "0,46", "", "", "20,5", "12:34",
                                                     "14:05:09", "06.12.26 г"}));
    // 12,35 read back is shown with one decimal, rounded again.
    EXPECT_EQ(rowOf(table, 2), (std::vector<QString>{"2", "Река", "12,4", "7,5", "45,7", "21,0", "03:05",
                                                     "15:10:00", "06.12.26 г"}));
}

TEST(RebuildTable, ToxicityFormWithoutRangeIsNotRecognised) {
    ReportTable table;
    const QStringList lines = {"Проба", resultLine(2, false, 0, true, 45.67), temperatureLine(20, "01:00"),
                               timeDateLine("10:00:00", "06.12.26 г")};
    const RebuildResult result = rebuildTable(lines, table);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(table.cell(1, 3), QString());
    EXPECT_EQ(table.cell(1, 4), QString());
}

TEST(RebuildTable, DamageKeepsWhatWasRead) {
    const QStringList good = dayText();
    struct Case {
        const char* name;
        QStringList lines;
        int probeCounter;
        int rowCount;
        std::vector<QString> row2; // what the interrupted row holds
    };
    QStringList truncated = good.mid(0, good.size() - 1);
    QStringList badRate = good;
    badRate[10] = "БПК*=01x,35 БПК=007,50 ";
    QStringList badTemperature = good;
    badTemperature[11] = "t=ab,0 °C T=03:05";
    // A description that begins like a result line: the line before it (a data line) is taken for the
    // description and its own text for the result, which does not convert.
    QStringList oddDescription = good;
    oddDescription[9] = "БПК пробы";
    const std::vector<Case> cases = {
        {"truncated", truncated, 1, 3, {"2", "Река", "12,4", "7,5", "45,7", "21,0", "03:05", "", ""}},
        {"bad rate", badRate, 1, 3, {"2", "Река", "", "", "", "", "", "", ""}},
        {"bad temperature", badTemperature, 1, 3, {"2", "Река", "12,4", "7,5", "45,7", "", "", "", ""}},
        {"odd description", oddDescription, 1, 3, {"2", good[8], "", "", "", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        ReportTable table;
        const RebuildResult result = rebuildTable(c.lines, table);
        EXPECT_FALSE(result.complete) << c.name;
        EXPECT_EQ(result.probeCounter, c.probeCounter) << c.name;
        EXPECT_EQ(table.rowCount(), c.rowCount) << c.name;
        EXPECT_EQ(table.cell(1, 1), u"Проба 1") << c.name;
        EXPECT_EQ(table.cell(1, 8), u"06.12.26 г") << c.name;
        EXPECT_EQ(rowOf(table, 2), c.row2) << c.name;
    }
}

TEST(RebuildTable, NumberFieldsMayCarryBlanks) {
    // Values written without their leading zeros (a file edited by hand) bring blanks into the fields at
    // their fixed positions; the conversion takes blanks on either side.
    const QStringList lines = {"Проба",
                               "БПК*=12,35  БПК=7,50  ",
                               "t=20,5  °C T=01:00",
                               timeDateLine("10:00:00", "06.12.26 г"),
                               "Вторая",
                               "БПК*= 1,00 ",
                               "t=  9,5 °C T=02:00",
                               timeDateLine("11:00:00", "06.12.26 г")};
    ReportTable table;
    const RebuildResult result = rebuildTable(lines, table);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.probeCounter, 2);
    EXPECT_EQ(rowOf(table, 1), (std::vector<QString>{"1", "Проба", "12,4", "7,5", "", "20,5", "01:00",
                                                     "10:00:00", "06.12.26 г"}));
    EXPECT_EQ(rowOf(table, 2),
              (std::vector<QString>{"2", "Вторая", "1,0", "", "", "9,5", "02:00", "11:00:00", "06.12.26 г"}));
}

TEST(RebuildTable, ResultLineAtTheTopHasNoDescription) {
    ReportTable table;
    const RebuildResult result = rebuildTable({"БПК*=001,00 ", "t=020,0 °C T=01:00"}, table);
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(result.probeCounter, 0);
    EXPECT_TRUE(result.descriptions.isEmpty());
    EXPECT_EQ(table.cell(1, 0), u"1");
    EXPECT_EQ(table.cell(1, 1), QString());
}

TEST(ProtocolFile, LineEndingsAndNul) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        QByteArray bytes;
        QStringList lines;
    };
    const std::vector<Case> cases = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\nc", {"a", "b", "c"}},
        {"a\n\rb\r\r\n", {"a", "", "b", ""}},
        {"\r\n", {""}},
        {"", {}},
        {QByteArray("a\r\nb\0c\r\nd", 9), {"a", "b"}},
        {"\xCF\xF0\xEE\xE1\xE0 \xB9"
         "1",
         {"Проба №1"}},
    };
    const QString path = dir.filePath("in.txt");
    for (const Case& c : cases) {
        writeBytes(path, c.bytes);
        const auto lines = readProtocolFile(path);
        ASSERT_TRUE(lines.has_value());
        EXPECT_EQ(*lines, c.lines) << c.bytes.toHex().toStdString();
    }
    EXPECT_FALSE(readProtocolFile(dir.filePath("missing.tmp")).has_value());
}

TEST(ProtocolFile, WriteAndReadBack) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(dayFileName("06.12.26 г"));
    EXPECT_TRUE(path.endsWith(u"/Протокол от 06.12.26 г.tmp"));
    writeBytes(path, "old content that is longer than the new one\r\n");

    const QStringList lines = {"1", "Проба 1", "t=020,5 °C T=12:34"};
    ASSERT_TRUE(writeProtocolFile(path, lines));
    EXPECT_EQ(fileBytes(path), QByteArray("1\r\n\xCF\xF0\xEE\xE1\xE0 1\r\nt=020,5 \xB0"
                                          "C T=12:34\r\n"));
    EXPECT_EQ(readProtocolFile(path), lines);

    const QStringList day = dayText();
    ASSERT_TRUE(writeProtocolFile(path, day));
    EXPECT_EQ(readProtocolFile(path), day);
    EXPECT_FALSE(writeProtocolFile(dir.filePath("no/such/folder/x.txt"), lines));
}

TEST(ProtocolFile, BytesLeftOverAreReported) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("day.tmp");
    struct Case {
        QByteArray bytes;
        bool left;
    };
    for (const Case& c : {Case{"a\r\nb\r\n", false}, Case{QByteArray("a\r\n\0", 4), true},
                          Case{QByteArray("a\r\nb\0c\r\n", 8), true}, Case{"", false}}) {
        writeBytes(path, c.bytes);
        bool left = !c.left;
        ASSERT_TRUE(readProtocolFile(path, &left).has_value());
        EXPECT_EQ(left, c.left) << c.bytes.toHex().toStdString();
    }
    bool left = true;
    EXPECT_FALSE(readProtocolFile(dir.filePath("missing.tmp"), &left).has_value());
    EXPECT_FALSE(left);
}

TEST(ProtocolFile, WhatIsNoRegularFileIsNotRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A FIFO without a writer would hold a reader for ever, a device never ends: both are refused at once,
    // and neither counts as a file with bytes of ours in it.
    const QString fifo = dir.filePath("Протокол.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/zero"), QStringLiteral("/dev/null"), dir.path()}) {
        bool left = true;
        EXPECT_FALSE(readProtocolFile(path, &left).has_value()) << path.toStdString();
        EXPECT_FALSE(left) << path.toStdString();
    }
}

TEST(ProtocolFile, FilesAboveTheLimitAreNotRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("big.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(kMaxReadBytes + 1)); // sparse: no disk space taken
    file.close();
    bool left = false;
    EXPECT_FALSE(readProtocolFile(path, &left).has_value());
    EXPECT_TRUE(left); // there is a file, and it was not read
    EXPECT_TRUE(readRegularFile(path, kMaxReadBytes + 1).bytes.has_value());
}
