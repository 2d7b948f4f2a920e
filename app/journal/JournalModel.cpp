#include "app/journal/JournalModel.h"

#include "journal/RecordText.h"

#include <QBrush>
#include <QColor>
#include <QFont>

namespace lorimet::journalwindow {

QString kindText(const QString& kind) {
    if (kind == u"upper-point")
        return QStringLiteral("Верхняя точка");
    if (kind == u"calibration")
        return QStringLiteral("Калибровка ГСО");
    if (kind == u"analysis")
        return QStringLiteral("Анализ пробы");
    if (kind == u"annotation")
        return QStringLiteral("Отметка");
    return kind;
}

QString statusText(const QString& status) {
    if (status == u"completed")
        return QStringLiteral("выполнен");
    if (status == u"stopped")
        return QStringLiteral("остановлен > 200 мг/л");
    if (status == u"abandoned")
        return QStringLiteral("прерван");
    return status;
}

QString analysisKindText(const QString& analysisKind) {
    if (analysisKind == u"Small")
        return QStringLiteral("по начальным");
    if (analysisKind == u"Full")
        return QStringLiteral("по конечным");
    return analysisKind;
}

QString timeText(const QString& iso) {
    // 2026-12-06T09:05:58.500+03:00: the time the station's clock showed, whatever zone this computer is in.
    if (iso.size() < 19)
        return iso;
    return iso.mid(8, 2) + u'.' + iso.mid(5, 2) + u'.' + iso.left(4) + u' ' + iso.mid(11, 8);
}

QString numberText(const QVariant& value) {
    if (value.isNull())
        return {};
    return journal::canonicalNumber(value.toDouble()).replace(u'.', u',');
}

JournalModel::JournalModel(PageRequest requestPage, QObject* parent)
    : QAbstractTableModel(parent), requestPage_(std::move(requestPage)) {}

void JournalModel::setFilter(const journal::ListFilter& filter) {
    beginResetModel();
    filter_ = filter;
    filter_.after.reset();
    filter_.limit = kPageSize;
    rows_.clear();
    ++generation_;
    atEnd_ = false;
    pending_ = false;
    endResetModel();
    request();
}

void JournalModel::request() {
    if (pending_ || atEnd_)
        return;
    pending_ = true;
    journal::ListFilter page = filter_;
    if (!rows_.empty()) {
        const journal::Record& last = rows_.back().record;
        page.after = journal::ListFilter::After{last.text(u"finished_at"), last.text(u"station"),
                                                last.value(u"seq").toLongLong()};
    }
    requestPage_(generation_, page);
}

void JournalModel::addPage(int generation, std::vector<JournalRow> rows, bool atEnd) {
    if (generation != generation_)
        return; // a page of a filter already replaced
    pending_ = false;
    atEnd_ = atEnd;
    if (rows.empty())
        return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    for (JournalRow& r : rows)
        rows_.push_back(std::move(r));
    endInsertRows();
}

void JournalModel::setMarks(const QString& id, const journal::AnnotationMarks& marks) {
    const int r = rowOf(id);
    if (r < 0)
        return;
    rows_[static_cast<size_t>(r)].marks = marks;
    Q_EMIT dataChanged(index(r, 0), index(r, ColumnCount - 1));
}

const JournalRow* JournalModel::row(int r) const {
    return r >= 0 && r < static_cast<int>(rows_.size()) ? &rows_[static_cast<size_t>(r)] : nullptr;
}

int JournalModel::rowOf(const QString& id) const {
    for (size_t r = 0; r < rows_.size(); ++r)
        if (rows_[r].record.text(u"id") == id)
            return static_cast<int>(r);
    return -1;
}

int JournalModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int JournalModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant JournalModel::data(const QModelIndex& index, int role) const {
    const JournalRow* r = row(index.row());
    if (!r)
        return {};
    const journal::Record& rec = r->record;
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case Time:
            return timeText(rec.text(u"finished_at"));
        case Kind:
            return kindText(rec.text(u"kind"));
        case Description:
            if (rec.text(u"kind") == u"annotation")
                return (rec.value(u"invalidates").toBool() ? QStringLiteral("недействительна: ")
                                                           : QString()) +
                       rec.text(u"note");
            return rec.text(u"description");
        case AnalysisKind:
            return analysisKindText(rec.text(u"analysis_kind"));
        case Dilution:
            return numberText(rec.value(u"dilution"));
        case BodInitial:
            return numberText(rec.value(u"bod_initial"));
        case BodFinal:
            return numberText(rec.value(u"bod_final"));
        case Temperature:
            return numberText(rec.value(u"mean_temperature"));
        case Calibration:
            return r->calibrationText;
        case Operator:
            return rec.text(u"operator");
        case Station:
            return rec.text(u"station_name");
        case Status: {
            QString text = statusText(rec.text(u"status"));
            if (r->marks.invalid)
                text = QStringLiteral("НЕДЕЙСТВИТЕЛЕН, ") + text;
            else if (r->marks.count > 0)
                text += QStringLiteral(", есть отметка");
            return text;
        }
        }
        return {};
    }
    if (role == Qt::ForegroundRole && r->marks.invalid)
        return QBrush(QColor(0xB0, 0x00, 0x00));
    if (role == Qt::BackgroundRole && r->marks.count > 0 && !r->marks.invalid)
        return QBrush(QColor(0xFF, 0xF6, 0xD8));
    if (role == Qt::FontRole && r->marks.invalid) {
        QFont f;
        f.setStrikeOut(true);
        return f;
    }
    if (role == Qt::ToolTipRole && r->marks.count > 0)
        return r->marks.invalid
                   ? QStringLiteral("Результат отмечен как недействительный (%1 отм.)").arg(r->marks.count)
                   : QStringLiteral("К записи сделаны отметки: %1").arg(r->marks.count);
    if (role == Qt::TextAlignmentRole && index.column() >= Dilution && index.column() <= Temperature)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const headings[ColumnCount] = {"Дата и время", "Вид",        "Описание",  "Метод",
                                                      "Разв.",        "БПК', мг/л", "БПК, мг/л", "t, °C",
                                                      "Калибровка",   "Оператор",   "Станция",   "Состояние"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(headings[section]) : QVariant();
}

bool JournalModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !atEnd_ && !pending_;
}

void JournalModel::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid())
        request();
}

} // namespace lorimet::journalwindow
