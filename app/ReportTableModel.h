#pragma once

#include "reports/ReportTable.h"

#include <QAbstractTableModel>

namespace lorimet {

// The report table grid: row 0 of the table holds the headings, which the view shows as its header.
class ReportTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit ReportTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void setSource(const ReportTable* table) {
        beginResetModel();
        table_ = table;
        endResetModel();
    }
    void refresh() {
        beginResetModel();
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !table_ ? 0 : table_->rowCount() - 1;
    }
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
};

} // namespace lorimet
