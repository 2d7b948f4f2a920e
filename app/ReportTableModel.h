#pragma once

#include "reports/ReportTable.h"

#include <QAbstractTableModel>

#include <algorithm>

namespace lorimet {

// The report table grid: row 0 of the table holds the headings, which the view shows as its header.
class ReportTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit ReportTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void setSource(const ReportTable* table) {
        beginResetModel();
        table_ = table;
        shown_ = table ? table->rowCount() - 1 : 0;
        endResetModel();
    }
    // The table's rows first .. last were written and its row count may have changed. Rows come and go at
    // the bottom and only the written ones are repainted: the view keeps its place and its selection, and
    // a row added to a long table costs no more than one added to a short one.
    void update(ReportTable::RowRange written) {
        const int rows = table_ ? table_->rowCount() - 1 : 0;
        if (rows > shown_) {
            beginInsertRows({}, shown_, rows - 1);
            shown_ = rows;
            endInsertRows();
        } else if (rows < shown_) {
            beginRemoveRows({}, rows, shown_ - 1);
            shown_ = rows;
            endRemoveRows();
        }
        if (written.first > written.last)
            return;
        if (written.first == 0)
            Q_EMIT headerDataChanged(Qt::Horizontal, 0, ReportTable::kColumns - 1);
        const int top = std::max(written.first, 1) - 1;
        const int bottom = std::min(written.last, shown_) - 1;
        if (top <= bottom)
            Q_EMIT dataChanged(index(top, 0), index(bottom, ReportTable::kColumns - 1), {Qt::DisplayRole});
    }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : shown_; }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : ReportTable::kColumns;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!table_ || !index.isValid())
            return {};
        if (role == Qt::DisplayRole)
            return table_->cell(index.row() + 1, index.column());
        if (role == Qt::TextAlignmentRole)
            return index.column() == 1 ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || !table_)
            return {};
        if (orientation == Qt::Horizontal)
            return table_->cell(0, section);
        return {};
    }

  private:
    const ReportTable* table_ = nullptr;
    int shown_ = 0; // data rows the view knows of
};

} // namespace lorimet
