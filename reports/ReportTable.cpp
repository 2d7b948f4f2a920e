#include "reports/ReportTable.h"

#include "reports/ProtocolText.h"
#include "text/NumberFormat.h"

#include <algorithm>
#include <utility>

namespace lorimet {

const ReportRow ReportTable::kHeadings = {
    QStringLiteral(" № "),          QStringLiteral(" Описание пробы "), QStringLiteral(" БПК' [мг/л] "),
    QStringLiteral(" БПК [мг/л] "), QStringLiteral(" ОПИ [%] "),        QStringLiteral(" t [°C] "),
    QStringLiteral(" T [м,с] "),    QStringLiteral(" Время "),          QStringLiteral(" Дата "),
};

ReportTable::ReportTable() : rows_(2) {}

ReportTable::Batch::~Batch() {
    if (--table_.batchDepth_ == 0 && table_.pending_) {
        table_.pending_ = false;
        if (table_.changed)
            table_.changed();
    }
}

void ReportTable::notify() {
    if (batchDepth_ > 0) {
        pending_ = true;
        return;
    }
    if (changed)
        changed();
}

void ReportTable::setRowCount(int n) {
    rowCount_ = std::max(n, 2);
    if (static_cast<int>(rows_.size()) < rowCount_)
        rows_.resize(static_cast<size_t>(rowCount_));
    notify();
}

QString ReportTable::cell(int row, int column) const {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= kColumns)
        return {};
    return rows_[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

void ReportTable::setCell(int row, int column, const QString& text) {
    if (row < 0 || column < 0 || column >= kColumns)
        return;
    if (row >= static_cast<int>(rows_.size()))
        rows_.resize(static_cast<size_t>(row) + 1);
    rows_[static_cast<size_t>(row)][static_cast<size_t>(column)] = text;
    if (written_.first > written_.last) {
        written_ = {row, row};
    } else {
        written_.first = std::min(written_.first, row);
        written_.last = std::max(written_.last, row);
    }
    notify();
}

ReportTable::RowRange ReportTable::takeWrittenRows() const {
    return std::exchange(written_, RowRange{0, -1});
}

void ReportTable::writeHeadings() {
    Batch batch(*this);
    for (int c = 0; c < kColumns; ++c)
        setCell(0, c, kHeadings[static_cast<size_t>(c)]);
}

void ReportTable::clear(int probeCounter) {
    Batch batch(*this);
    for (int row = 1; row <= probeCounter + 2; ++row)
        for (int c = 0; c < kColumns; ++c)
            setCell(row, c, QString());
    setRowCount(2);
}

void ReportTable::addResultRow(int probeCounter, const QString& description, double rate,
                               std::optional<double> range, std::optional<double> toxicity,
                               double meanTemperature, const QString& duration, const QString& endTime,
                               const QString& date) {
    Batch batch(*this);
    const int row = probeCounter + 1;
    setRowCount(probeCounter + 2);
    setCell(row, 0, QString::number(row));
    setCell(row, 1, description);
    setCell(row, 2, resultCellText(rate));
    if (range)
        setCell(row, 3, resultCellText(*range));
    if (toxicity)
        setCell(row, 4, formatNumber(*toxicity, u"0.0"));
    setCell(row, 5, formatNumber(meanTemperature, u"0.0"));
    setCell(row, 6, duration);
    setCell(row, 7, endTime);
    setCell(row, 8, date);
}

} // namespace lorimet
