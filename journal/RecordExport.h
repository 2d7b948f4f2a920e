#pragma once

#include "journal/Record.h"

#include <QString>

#include <vector>

namespace lorimet::journal {

// The records as lorimet's CSV (Windows-1251, ";" between fields, decimal comma), one row per record under
// a heading of the field names.
bool writeRecordsCsv(const QString& path, const std::vector<Record>& records, QString* reason = nullptr);
// The same rows and heading as a workbook of one sheet: numbers as numbers, texts as texts, the heading
// frozen with a filter on each column.
bool writeRecordsXlsx(const QString& path, const std::vector<Record>& records, QString* reason = nullptr);

} // namespace lorimet::journal
