#pragma once

#include <QString>
#include <QVariant>

#include <functional>
#include <vector>

namespace lorimet {

// A workbook of one worksheet named `sheetName`: the first row is the heading (bold, frozen, with a filter
// button on each column), then one sheet row per row. A cell's value decides its kind: a QString is text, a
// double or an integer a number, a bool TRUE or FALSE, a null or empty value a blank cell. Each column is
// as wide as its widest text, at most 255 characters. The file is replaced only when the whole workbook was
// written; false, with the reason in *reason, otherwise.
bool writeXlsxSheet(const QString& path, const QString& sheetName, const QStringList& heading,
                    const std::vector<std::vector<QVariant>>& rows, QString* reason = nullptr);

// Writes a workbook through `write` into a scratch file, then puts the whole workbook in place with the
// program's one safe way of replacing files. libxlsxwriter cannot tell when its last writes failed on a
// full disk, so the workbook's end record is checked before anything is replaced.
bool placeWorkbook(const QString& path, const std::function<bool(const QString& scratchPath)>& write,
                   QString* reason = nullptr);

} // namespace lorimet
