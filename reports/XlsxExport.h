#pragma once

#include "reports/ReportTable.h"

#include <QString>

#include <array>

namespace lorimet {

// Pixel widths of the grid's nine columns as the operator sees them (0 for a column never fitted).
using ColumnWidths = std::array<int, ReportTable::kColumns>;

// "Отчёт от 06.12.26 г": worksheet name, print job title and the name proposed for the file.
QString reportTitle(const QString& dateText);

inline const QString kSpreadsheetDialogTitle = QStringLiteral("Сохранить таблицу в формате Excel");
inline const QString kSpreadsheetFilter = QStringLiteral("Файл Excel (*.xlsx)|*.xlsx");
inline const QString kSpreadsheetSuffix = QStringLiteral("xlsx");

// The report table as a workbook of one worksheet named `title`: sheet rows 1 .. probeCounter + 1 hold the
// heading row and the data rows, columns A..I the nine grid columns. Every cell of that range takes the
// row format (bold in the heading row only, black, `fontSize` points, Microsoft Sans Serif, centred, no
// wrapping) and a hairline black border. Column widths are the grid's pixel widths div 6, in characters, at
// most 255.
//
// The number columns (№, both BOD results, toxicity, temperature) become numeric cells showing as many
// decimals as the grid shows ("12,3" is 12.3 in the format "0.0"); a text there that is not a number, and
// every other column, is written as text. The file is replaced only when the whole workbook was written.
bool writeXlsxReport(const QString& path, const ReportTable& table, int probeCounter, const QString& title,
                     const ColumnWidths& pixelWidths, int fontSize);

} // namespace lorimet
