#include "app/TableColumnFitter.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>

#include <algorithm>

namespace lorimet {

void TableColumnFitter::invalidate() {
    fresh_ = false;
    cellWidths_.clear();
    rows_.clear();
    counted_.clear();
    countedRows_ = 0;
    for (auto& c : counts_)
        c.clear();
}

int TableColumnFitter::cellWidth(const QString& text) {
    if (text.isEmpty())
        return 0;
    // Most cells repeat (results, temperatures, dates): each text is laid out once per font.
    auto found = cellWidths_.constFind(text);
    if (found == cellWidths_.cend())
        found = cellWidths_.insert(text, QFontMetrics(view_.font()).horizontalAdvance(text) + cellMargins_);
    return *found;
}

TableColumnFitter::RowWidths TableColumnFitter::measure(const ReportTable& table, int row) {
    RowWidths widths{};
    for (int c = 0; c < ReportTable::kColumns; ++c) {
        if (row == 0) {
            // The heading as the header lays it out: its own font, margins and bold face.
            const QHeaderView* header = view_.horizontalHeader();
            widths[static_cast<size_t>(c)] = table.cell(0, c).isEmpty() ? 0 : header->sectionSizeHint(c);
        } else {
            widths[static_cast<size_t>(c)] = cellWidth(table.cell(row, c));
        }
    }
    return widths;
}

void TableColumnFitter::count(int row, int delta) {
    const RowWidths& widths = rows_[static_cast<size_t>(row)];
    for (int c = 0; c < ReportTable::kColumns; ++c) {
        auto& column = counts_[static_cast<size_t>(c)];
        const int w = widths[static_cast<size_t>(c)];
        if ((column[w] += delta) == 0)
            column.erase(w);
    }
    counted_[static_cast<size_t>(row)] = delta > 0;
}

void TableColumnFitter::update(const ReportTable& table, ReportTable::RowRange written) {
    if (!fresh_) {
        invalidate();
        // The text is drawn inside the cell's focus-frame margin plus one pixel on each side, and the grid
        // line takes the cell's last pixel.
        cellMargins_ = 2 * (view_.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view_) + 1) +
                       (view_.showGrid() ? 1 : 0);
        fresh_ = true;
    }
    const int shown = table.rowCount();
    const int known = static_cast<int>(rows_.size());
    if (shown > known) {
        rows_.resize(static_cast<size_t>(shown));
        counted_.resize(static_cast<size_t>(shown), 0);
    }
    // Rows written: out of the counts, measured again below if the table shows them.
    const int firstWritten = std::max(written.first, 0);
    const int lastWritten = std::min(written.last, static_cast<int>(rows_.size()) - 1);
    for (int r = firstWritten; r <= lastWritten; ++r)
        if (counted_[static_cast<size_t>(r)])
            count(r, -1);
    // Rows no longer shown: out of the counts.
    for (int r = shown; r < countedRows_; ++r)
        if (counted_[static_cast<size_t>(r)])
            count(r, -1);
    const auto add = [&](int r) {
        if (!counted_[static_cast<size_t>(r)]) {
            rows_[static_cast<size_t>(r)] = measure(table, r);
            count(r, +1);
        }
    };
    for (int r = firstWritten; r <= std::min(lastWritten, shown - 1); ++r)
        add(r);
    for (int r = countedRows_; r < shown; ++r)
        add(r);
    countedRows_ = shown;

    QHeaderView* header = view_.horizontalHeader();
    for (int c = 0; c < ReportTable::kColumns; ++c) {
        const auto& column = counts_[static_cast<size_t>(c)];
        const int widest = column.empty() ? 0 : column.rbegin()->first;
        const int width = widest > 0 ? widest + 8 : 0;
        if (header->sectionSize(c) != width)
            header->resizeSection(c, width);
    }
}

} // namespace lorimet
