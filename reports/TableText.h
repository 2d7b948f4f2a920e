#pragma once

#include "reports/ReportTable.h"

#include <QByteArray>
#include <QString>

namespace lorimet {

// One CSV field: as it is, or quoted with its quotes doubled when it holds ";", a quote, CR or LF.
QString csvField(const QString& text);

// The table for the clipboard: probeCounter + 3 lines for the grid rows 0 .. probeCounter + 2 (the heading,
// the data rows and the two rows below them, normally empty), each the nine cell texts joined by TAB and
// ended by CR LF.
QString clipboardText(const ReportTable& table, int probeCounter);

// The heading and the data rows 1 .. probeCounter as Windows-1251 CSV: ";" between fields, CR LF after each
// row, the cell texts as the grid shows them (so numbers keep their decimal comma). A field holding ";",
// a quote, CR or LF is quoted, its quotes doubled.
QByteArray csvReport(const ReportTable& table, int probeCounter);

// csvReport written atomically to path; false when it cannot be written.
bool writeCsvReport(const QString& path, const ReportTable& table, int probeCounter);

} // namespace lorimet
