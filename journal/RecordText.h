#pragma once

#include "journal/Record.h"

#include <QString>

namespace lorimet::journal {

// One JSON object (no line end): the fields in their order, numbers with the point, null where absent;
// with `withLines`, "lines": [{"elapsed_ms", "raw", "signal", "smoothed", "derivative", "temperature"}, …].
QString recordJson(const Record& record, bool withLines);

// CSV as lorimet's other CSV files: ";" between fields, decimal comma, CR LF after each row (the caller
// converts to Windows-1251). The heading names the fields.
QString csvHeading();
QString csvRow(const Record& record);

// A field's value for people: numbers with the decimal comma, empty where absent.
QString displayValue(const Record& record, size_t field);

} // namespace lorimet::journal
