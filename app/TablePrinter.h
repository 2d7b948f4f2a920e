#pragma once

#include "reports/ReportTable.h"
#include "reports/XlsxExport.h"

#include <QString>

class QFont;
class QPrinter;

namespace lorimet {

// The direct print-out of the report table, laid out in units of 0.1 mm from the top left corner of the
// printable area. The page's size is that area's size, cut to whole millimetres: A4 inside margins of
// 10 mm is 1900 x 2770.
struct TablePageLayout {
    static constexpr int kTopMargin = 100;    // the rule under the title
    static constexpr int kBottomMargin = 200; // the rule over the footer
    static constexpr int kLineStep = 36;

    int width = 0;
    int height = 0;
    int rowsPerPage = 0;
    int pages = 0;

    // One more page than whole pages of data rows: the heading and every data row always fit.
    static TablePageLayout forPage(int width, int height, int probeCounter);
};

// FitTableColumns: each column as wide as its widest text in the font, plus 8 pixels; 0 for a column
// without any text.
ColumnWidths fittedColumnWidths(const ReportTable& table, const QFont& font);

// A4, portrait, PDF into path, the page's origin at the paper's corner.
void setUpPdfPrinter(QPrinter& printer, const QString& path);

// Prints the grid rows 0 .. probeCounter + 2, columns 0..6, under the title `title` (also the job's name),
// with rules and the footer "страница: p из N" on every page, inside the printer's printable area and at
// least 10 mm from every edge of the paper. A description too long for the sheet is cut short. A column
// starts 3 units (0.3 mm) to the right per screen pixel of the column before it. False when the job could not
// be started or a page not begun.
bool printTable(QPrinter& printer, const ReportTable& table, int probeCounter, const QString& title,
                const ColumnWidths& pixelWidths);

} // namespace lorimet
