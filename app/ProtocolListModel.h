#pragma once

#include <QAbstractListModel>
#include <QStringList>

#include "engine/ProtocolLines.h"

namespace lorimet {

// The `Protocol` drop-down's items: a view onto the engine's list of received lines, so a day of lines is
// held once and the list widget creates no item objects of its own.
class ProtocolListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit ProtocolListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}
    void setSource(const ProtocolLines* lines) {
        beginResetModel();
        lines_ = lines;
        shown_ = lines ? lines->size() : 0;
        endResetModel();
    }
    // The source grew by the lines up to `count`.
    void appended(int count) {
        if (count <= shown_) {
            reset();
            return;
        }
        beginInsertRows({}, shown_, count - 1);
        shown_ = count;
        endInsertRows();
    }
    void reset() { setSource(lines_); }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : shown_; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!lines_ || !index.isValid() || index.row() >= lines_->size())
            return {};
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return lines_->at(index.row());
        return {};
    }

  private:
    const ProtocolLines* lines_ = nullptr;
    int shown_ = 0;
};

} // namespace lorimet
