// The table as clipboard text, CSV and workbook.
#include "ExportHelpers.h"

#include "reports/TableText.h"
#include "reports/XlsxExport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using namespace lorimet;
using namespace lorimet::exporttest;

namespace {

const ColumnWidths kWidths = {31, 109, 90, 82, 66, 52, 60, 66, 70};

} // namespace

TEST(ClipboardText, OneResultGivesHeadingRowAndTwoEmptyRows) {
    const QString text = clipboardText(resultTable(1), 1);
    ASSERT_TRUE(text.endsWith(QStringLiteral("\r\n")));
    const QStringList lines = text.chopped(2).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0],
              QStringLiteral(" № \t Описание пробы \t БПК' [мг/л] \t БПК [мг/л] \t ОПИ [%] \t t [°C] \t"
                             " T [м,с] \t Время \t Дата "));
    EXPECT_EQ(lines[1], QStringLiteral("1\tПроба 1\t0,46\t\t\t20,5\t12:34\t14:05:09\t06.12.26 г"));
    EXPECT_EQ(lines[2], QString(8, u'\t'));
    EXPECT_EQ(lines[3], QString(8, u'\t'));
    EXPECT_EQ(text.count(u'\n'), 4); // no LF without its CR
    EXPECT_EQ(text.count(u'\r'), 4);
}

TEST(ClipboardText, RowsBelowTheDataAreTheGridsOwn) {
    // The two rows under the data are read from the grid as they stand, however they were left.
    ReportTable table = resultTable(2);
    table.setCell(3, 1, QStringLiteral("x"));
    const QStringList lines = clipboardText(table, 2).split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines[3], QStringLiteral("\tx") + QString(7, u'\t'));
}

TEST(CsvReport, Cp1251WithSemicolonsAndQuotedFields) {
    ReportTable table = resultTable(2);
    table.setCell(2, 1, QStringLiteral("Река; \"устье\""));
    const QByteArray bytes = csvReport(table, 2);
    const QString expected = QStringLiteral(
        " № ; Описание пробы ; БПК' [мг/л] ; БПК [мг/л] ; ОПИ [%] ; t [°C] ; T [м,с] ; Время ; Дата \r\n"
        "1;Проба 1;0,46;;;20,5;12:34;14:05:09;06.12.26 г\r\n"
        "2;\"Река; \"\"устье\"\"\";13,3;0,88;;20,5;12:34;14:05:09;06.12.26 г\r\n");
    EXPECT_EQ(fromCp1251(bytes), expected);
    // One byte a character: "№" is 0xB9, "г" 0xE3, "°" 0xB0 in Windows-1251.
    EXPECT_EQ(bytes.size(), expected.size());
    EXPECT_TRUE(bytes.startsWith(QByteArray("\x20\xB9\x20;", 4)));
    EXPECT_TRUE(bytes.contains(QByteArray("06.12.26 \xE3\r\n")));
    EXPECT_TRUE(bytes.contains(QByteArray(" t [\xB0"
                                          "C] ")));
}

TEST(CsvReport, WriteFailsInAMissingFolder) {
    QTemporaryDir dir;
    EXPECT_FALSE(writeCsvReport(dir.filePath(QStringLiteral("no/such/report.csv")), resultTable(1), 1));
    EXPECT_TRUE(writeCsvReport(dir.filePath(QStringLiteral("report.csv")), resultTable(1), 1));
}

class XlsxReport : public ::testing::Test {
  protected:
    void SetUp() override {
        if (pythonWithOpenpyxl().isEmpty())
            GTEST_SKIP() << "python3 with openpyxl is not installed";
        ASSERT_TRUE(dir.isValid());
    }
    QJsonObject cell(const QJsonObject& book, const QString& ref) {
        return book[QStringLiteral("cells")].toObject()[ref].toObject();
    }
    QTemporaryDir dir;
};

TEST_F(XlsxReport, ThreeResultsFillRowsOneToFourColumnsAToI) {
    const QString path = dir.filePath(QStringLiteral("Отчёт от 06.12.26 г.xlsx"));
    ASSERT_TRUE(
        writeXlsxReport(path, resultTable(3), 3, reportTitle(QStringLiteral("06.12.26 г")), kWidths, 9));
    const std::optional<QJsonObject> book = readWorkbook(path);
    ASSERT_TRUE(book);
    EXPECT_EQ((*book)[QStringLiteral("sheets")].toArray(),
              QJsonArray({QStringLiteral("Отчёт от 06.12.26 г")}));
    EXPECT_EQ((*book)[QStringLiteral("dimensions")].toString(), QStringLiteral("A1:I4"));
    EXPECT_EQ((*book)[QStringLiteral("maxRow")].toInt(), 4);
    EXPECT_EQ((*book)[QStringLiteral("maxColumn")].toInt(), 9);

    for (int row = 1; row <= 4; ++row) {
        for (QChar column = u'A'; column <= u'I'; column = QChar(column.unicode() + 1)) {
            const QString ref = QString(column) + QString::number(row);
            const QJsonObject c = cell(*book, ref);
            SCOPED_TRACE(ref.toStdString());
            EXPECT_EQ(c[QStringLiteral("bold")].toBool(), row == 1);
            EXPECT_EQ(c[QStringLiteral("size")].toDouble(), 9.0);
            EXPECT_EQ(c[QStringLiteral("font")].toString(), QStringLiteral("Microsoft Sans Serif"));
            EXPECT_EQ(c[QStringLiteral("align")].toString(), QStringLiteral("center"));
            EXPECT_EQ(c[QStringLiteral("color")].toString(), QStringLiteral("FF000000"));
            // Every cell of A1:I4 has its border, the empty ones included.
            EXPECT_EQ(c[QStringLiteral("borders")].toArray(),
                      QJsonArray({QStringLiteral("hair"), QStringLiteral("hair"), QStringLiteral("hair"),
                                  QStringLiteral("hair")}));
            EXPECT_EQ(c[QStringLiteral("borderColor")].toString(), QStringLiteral("FF000000"));
        }
    }
    EXPECT_EQ(cell(*book, QStringLiteral("B1"))[QStringLiteral("value")].toString(),
              QStringLiteral(" Описание пробы "));
    EXPECT_TRUE(cell(*book, QStringLiteral("E2"))[QStringLiteral("value")].isNull());
    EXPECT_FALSE((*book)[QStringLiteral("cells")].toObject().contains(QStringLiteral("J1")));
}

TEST_F(XlsxReport, NumbersKeepTheShownDecimalsAndTextsStayTexts) {
    ReportTable table = resultTable(3);
    table.setCell(3, 4, QStringLiteral("45,7"));
    table.setCell(3, 2, QStringLiteral("n/a"));
    const QString path = dir.filePath(QStringLiteral("r.xlsx"));
    ASSERT_TRUE(writeXlsxReport(path, table, 3, QStringLiteral("Отчёт от 06.12.26 г"), kWidths, 9));
    const std::optional<QJsonObject> book = readWorkbook(path);
    ASSERT_TRUE(book);
    struct Expected {
        const char* ref;
        double value;
        const char* format;
    };
    for (const Expected& e :
         {Expected{"A2", 1, "0"}, Expected{"C2", 0.46, "0.00"}, Expected{"C3", 13.3, "0.0"},
          Expected{"D3", 0.88, "0.00"}, Expected{"E4", 45.7, "0.0"}, Expected{"F2", 20.5, "0.0"},
          Expected{"A4", 3, "0"}}) {
        SCOPED_TRACE(e.ref);
        const QJsonObject c = cell(*book, QString::fromLatin1(e.ref));
        EXPECT_EQ(c[QStringLiteral("type")].toString(), QStringLiteral("n"));
        EXPECT_DOUBLE_EQ(c[QStringLiteral("value")].toDouble(), e.value);
        EXPECT_EQ(c[QStringLiteral("format")].toString(), QString::fromLatin1(e.format));
    }
    for (const char* ref : {"B2", "C4", "G2", "H2", "I2", "A1", "F1"}) {
        SCOPED_TRACE(ref);
        EXPECT_EQ(cell(*book, QString::fromLatin1(ref))[QStringLiteral("type")].toString(),
                  QStringLiteral("s"));
    }
    EXPECT_EQ(cell(*book, QStringLiteral("C4"))[QStringLiteral("value")].toString(), QStringLiteral("n/a"));
    EXPECT_EQ(cell(*book, QStringLiteral("G2"))[QStringLiteral("value")].toString(), QStringLiteral("12:34"));
    EXPECT_EQ(cell(*book, QStringLiteral("I2"))[QStringLiteral("value")].toString(),
              QStringLiteral("06.12.26 г"));
}

TEST_F(XlsxReport, ColumnWidthsArePixelsDivSixAndClosedColumnsHidden) {
    ColumnWidths widths = kWidths;
    widths[4] = 0;       // a column the grid never fitted
    widths[1] = 6 * 300; // a description of 300 characters: the sheet's widest column is 255
    const QString path = dir.filePath(QStringLiteral("r.xlsx"));
    ASSERT_TRUE(writeXlsxReport(path, resultTable(1), 1, QStringLiteral("Отчёт"), widths, 12));
    const std::optional<QJsonObject> book = readWorkbook(path);
    ASSERT_TRUE(book);
    const QJsonObject columns = (*book)[QStringLiteral("widths")].toObject();
    const char* letters = "ABCDEFGHI";
    for (int c = 0; c < 9; ++c) {
        SCOPED_TRACE(letters[c]);
        const QJsonObject w = columns[QString(QChar::fromLatin1(letters[c]))].toObject();
        EXPECT_EQ(w[QStringLiteral("hidden")].toBool(), c == 4);
        // The stored width carries the spreadsheet's own padding of under one character.
        if (c != 4) {
            EXPECT_EQ(static_cast<int>(w[QStringLiteral("width")].toDouble()),
                      std::min(255, widths[size_t(c)] / 6));
        }
    }
    EXPECT_EQ(cell(*book, QStringLiteral("A1"))[QStringLiteral("size")].toDouble(), 12.0);
}

TEST_F(XlsxReport, AFailedExportLeavesTheOldFile) {
    const QString path = dir.filePath(QStringLiteral("r.xlsx"));
    ASSERT_TRUE(writeFile(path, "old"));
    // A sheet name the spreadsheet refuses.
    EXPECT_FALSE(writeXlsxReport(path, resultTable(1), 1, QStringLiteral("Отчёт [1]"), kWidths, 9));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no scratch file left
    EXPECT_FALSE(writeXlsxReport(dir.filePath(QStringLiteral("no/such/r.xlsx")), resultTable(1), 1,
                                 QStringLiteral("Отчёт"), kWidths, 9));
}
