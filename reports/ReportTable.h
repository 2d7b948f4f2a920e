#pragma once

#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace lorimet {

using ReportRow = std::array<QString, 9>;

// The report table as a string grid without widgets: row 0 holds the headings, data row r is the r-th
// result of the day (or of the protocol file shown). Like the grid it stands for, the cells of rows beyond
// the row count keep their text: shrinking the count hides rows, it does not empty them, and growing it
// again shows the old text. That is why clear() empties the rows before it shrinks the count.
class ReportTable {
  public:
    static constexpr int kColumns = 9;
    static const ReportRow kHeadings;

    ReportTable();

    // Rows shown, the heading row included; never below 2 (the heading and one, possibly empty, row).
    int rowCount() const { return rowCount_; }
    void setRowCount(int n);

    // Any row may be read or written, shown or not; columns outside 0..8 read as empty and ignore writes.
    QString cell(int row, int column) const;
    void setCell(int row, int column, const QString& text);

    void writeHeadings();

    // Empties rows 1 .. probeCounter + 2 and shows just the heading and one empty row. The caller resets
    // its counter of filled rows to 0.
    void clear(int probeCounter);

    // Writes data row probeCounter + 1 and shows rows up to it. Columns 3 (range) and 4 (toxicity) are
    // written only when a value is given; otherwise they keep whatever the row held. The caller increments
    // its counter afterwards.
    void addResultRow(int probeCounter, const QString& description, double rate, std::optional<double> range,
                      std::optional<double> toxicity, double meanTemperature, const QString& duration,
                      const QString& endTime, const QString& date);

    // Called after every change; the view refits its columns to the widest text. Inside a Batch the call
    // is made once, when the outermost batch ends.
    std::function<void()> changed;

    // The rows written since the last call, as first .. last (first > last when none), hidden rows
    // included: a view measures only these again, so adding a row costs one row, not the whole table. The
    // range is the view's bookkeeping, not the table's content, hence a const reader.
    struct RowRange {
        int first;
        int last;
    };
    RowRange takeWrittenRows() const;

    // Groups several writes into one change (one row of a rebuild is one refit, not nine).
    class Batch {
      public:
        explicit Batch(ReportTable& table) : table_(table) { ++table_.batchDepth_; }
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

      private:
        ReportTable& table_;
    };

  private:
    void notify();

    std::vector<ReportRow> rows_;
    int rowCount_ = 2;
    int batchDepth_ = 0;
    bool pending_ = false;
    mutable RowRange written_{0, -1};
};

} // namespace lorimet
