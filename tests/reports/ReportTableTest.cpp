#include "reports/ReportTable.h"

#include <gtest/gtest.h>

using namespace lorimet;

namespace {

std::vector<QString> rowOf(const ReportTable& table, int row) {
    std::vector<QString> cells;
    for (int c = 0; c < ReportTable::kColumns; ++c)
        cells.push_back(table.cell(row, c));
    return cells;
}

} // namespace

TEST(ReportTable, StartsWithHeadingAndOneEmptyRow) {
    ReportTable table;
    table.writeHeadings();
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.cell(0, 0), u" № ");
    EXPECT_EQ(table.cell(0, 2), u" БПК' [мг/л] ");
    EXPECT_EQ(table.cell(0, 6), u" T [м,с] ");
    EXPECT_EQ(table.cell(1, 0), QString());
}

TEST(ReportTable, SmallAnalysisLeavesRangeAndToxicityEmpty) {
    ReportTable table;
    table.addResultRow(0, QStringLiteral("Проба 1"), 0.456, std::nullopt, std::nullopt, 20.46,
                       QStringLiteral("12:34"), QStringLiteral("14:05:09"), QStringLiteral("06.12.26 г"));
    EXPECT_EQ(table.rowCount(), 2);
    const std::vector<QString> expected = {"1",    "Проба 1", "0,46",     "",          "",
                                           "20,5", "12:34",   "14:05:09", "06.12.26 г"};
    EXPECT_EQ(rowOf(table, 1), expected);
}

TEST(ReportTable, FullAnalysisAndToxicity) {
    ReportTable table;
    table.addResultRow(0, "a", 1.0, 1.0, std::nullopt, 20, "", "", "");
    table.addResultRow(1, "b", 12.34, 0.876, 45.67, 20, "", "", "");
    EXPECT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.cell(1, 2), u"1,0");
    EXPECT_EQ(table.cell(1, 3), u"1,0");
    EXPECT_EQ(table.cell(2, 0), u"2");
    EXPECT_EQ(table.cell(2, 2), u"12,3");
    EXPECT_EQ(table.cell(2, 3), u"0,88");
    EXPECT_EQ(table.cell(2, 4), u"45,7");
}

TEST(ReportTable, HiddenRowsKeepTheirText) {
    ReportTable table;
    table.addResultRow(0, "a", 5, 4.0, 3.0, 20, "", "", "");
    table.addResultRow(1, "b", 5, 4.0, 3.0, 20, "", "", "");
    table.setRowCount(2);
    EXPECT_EQ(table.cell(2, 1), u"b");
    // Without clearing first, a small analysis in that row shows the old range and toxicity.
    table.addResultRow(1, "c", 5, std::nullopt, std::nullopt, 20, "", "", "");
    EXPECT_EQ(table.cell(2, 3), u"4,0");
    EXPECT_EQ(table.cell(2, 4), u"3,0");
    table.setRowCount(0);
    EXPECT_EQ(table.rowCount(), 2);
}

TEST(ReportTable, ClearEmptiesRowsBeforeShrinking) {
    ReportTable table;
    table.writeHeadings();
    table.addResultRow(0, "a", 5, 4.0, 3.0, 20, "01:00", "10:00:00", "06.12.26 г");
    table.addResultRow(1, "b", 5, 4.0, 3.0, 20, "01:00", "10:00:00", "06.12.26 г");
    table.clear(2);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.cell(0, 1), u" Описание пробы ");
    for (int row = 1; row <= 4; ++row)
        EXPECT_EQ(rowOf(table, row), std::vector<QString>(9)) << row;
    table.addResultRow(0, "c", 5, std::nullopt, std::nullopt, 20, "", "", "");
    EXPECT_EQ(table.cell(1, 3), QString());
    EXPECT_EQ(table.cell(1, 4), QString());
}

TEST(ReportTable, OneChangePerOperation) {
    ReportTable table;
    int changes = 0;
    table.changed = [&] { ++changes; };
    table.writeHeadings();
    table.addResultRow(0, "a", 5, 4.0, 3.0, 20, "", "", "");
    table.clear(1);
    EXPECT_EQ(changes, 3);
    table.setCell(1, 1, "x");
    EXPECT_EQ(changes, 4);
}

// What a view must measure again after a change: the rows written, shown or hidden, and nothing twice.
TEST(ReportTable, WrittenRowsAreToldOnce) {
    ReportTable table;
    const auto take = [&] {
        const ReportTable::RowRange r = table.takeWrittenRows();
        return std::make_pair(r.first, r.last);
    };
    EXPECT_GT(table.takeWrittenRows().first, table.takeWrittenRows().last); // nothing written yet
    table.writeHeadings();
    EXPECT_EQ(take(), std::make_pair(0, 0));
    table.addResultRow(4, "a", 5, std::nullopt, std::nullopt, 20, "", "", "");
    table.setCell(2, 1, "b");
    EXPECT_EQ(take(), std::make_pair(2, 5));
    EXPECT_GT(table.takeWrittenRows().first, table.takeWrittenRows().last);
    table.clear(5);
    EXPECT_EQ(take(), std::make_pair(1, 7));
}
