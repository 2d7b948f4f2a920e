#pragma once

#include "reports/ReportTable.h"

#include <QHash>
#include <QString>

#include <array>
#include <map>
#include <vector>

class QTableView;

namespace lorimet {

// The report table's column widths: each column as wide as its widest text plus 8 pixels, plus the room the
// style keeps around a text (the cell's margins and grid line, the heading's margins and its bold face when
// its column is selected), so that no text is cut. A column with no text at all stays closed.
//
// The widths of each row are kept and counted per column, so a change measures only the rows it wrote:
// a table rebuilt row by row costs what its rows cost, not the square of their number. Widths still follow
// the content both ways: a column shrinks back when its widest rows are emptied or hidden.
class TableColumnFitter {
  public:
    explicit TableColumnFitter(QTableView& view) : view_(view) {}

    // The font or the style changed: every row is measured again at the next update.
    void invalidate();

    // The table's rows in `written` changed (and perhaps its row count): measure those, then set the widths.
    void update(const ReportTable& table, ReportTable::RowRange written);

  private:
    using RowWidths = std::array<int, ReportTable::kColumns>;

    RowWidths measure(const ReportTable& table, int row);
    int cellWidth(const QString& text);
    void count(int row, int delta);

    QTableView& view_;
    bool fresh_ = false;  // the margins and the caches belong to the current font and style
    int cellMargins_ = 0; // what a cell needs beside its text
    QHash<QString, int> cellWidths_;
    std::vector<RowWidths> rows_; // the widths of each row measured so far
    std::vector<char> counted_;   // whether the row's widths are in the counts
    int countedRows_ = 0;         // rows 0 .. countedRows_ - 1 are counted: the rows the table shows
    std::array<std::map<int, int>, ReportTable::kColumns> counts_; // width → rows with that width
};

} // namespace lorimet
