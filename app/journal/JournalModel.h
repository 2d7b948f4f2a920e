#pragma once

#include "journal/Record.h"
#include "journal/Store.h"

#include <QAbstractTableModel>

#include <functional>
#include <vector>

namespace lorimet::journalwindow {

// One row of the journal's list: the record (without its lines), what its annotations say, and the date of
// the calibration it was measured against.
struct JournalRow {
    journal::Record record;
    journal::AnnotationMarks marks;
    QString calibrationText;
};

// The records the filter selects, fetched a page at a time as the list is scrolled: a journal of a hundred
// thousand records opens with its first page. Pages are asked for through `requestPage` and arrive by
// addPage, tagged with the filter's generation so a page of a filter already replaced is dropped.
class JournalModel : public QAbstractTableModel {
  public:
    static constexpr int kPageSize = 200;
    enum Column {
        Time,
        Kind,
        Description,
        AnalysisKind,
        Dilution,
        BodInitial,
        BodFinal,
        Temperature,
        Calibration,
        Operator,
        Station,
        Status,
        ColumnCount
    };

    using PageRequest = std::function<void(int generation, const journal::ListFilter& filter)>;
    explicit JournalModel(PageRequest requestPage, QObject* parent = nullptr);

    // A new filter: the list empties and its first page is asked for.
    void setFilter(const journal::ListFilter& filter);
    const journal::ListFilter& filter() const { return filter_; }
    void addPage(int generation, std::vector<JournalRow> rows, bool atEnd);
    // The annotations of the record `id` changed (one was made in the window).
    void setMarks(const QString& id, const journal::AnnotationMarks& marks);

    const JournalRow* row(int r) const;
    int rowOf(const QString& id) const; // -1 when not (yet) listed
    bool atEnd() const { return atEnd_; }
    bool waiting() const { return pending_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

  private:
    void request();

    PageRequest requestPage_;
    journal::ListFilter filter_;
    std::vector<JournalRow> rows_;
    int generation_ = 0;
    bool pending_ = false;
    bool atEnd_ = true;
};

// Texts the journal's window shows: a kind, a status, a time, a number as lorimet writes them.
QString kindText(const QString& kind);
QString statusText(const QString& status);
QString analysisKindText(const QString& analysisKind);
QString timeText(const QString& iso); // "06.12.2026 09:05:58", the record's own local time
QString numberText(const QVariant& value);

} // namespace lorimet::journalwindow
