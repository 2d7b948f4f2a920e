#include "app/TablePrinter.h"

#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <array>
#include <cmath>

namespace lorimet {
namespace {

constexpr int kTitleHeight = 48;
constexpr int kTextHeight = 36;
constexpr int kRuleWidth = 5;
constexpr int kTitleTop = 20;
constexpr int kFooterAboveBottom = 150;
constexpr int kFirstRowTop = 110;
constexpr int kPrintedColumns = 7; // time and date stay off the paper
constexpr int kUnitsPerPixel = 3;
constexpr qreal kMinimumMargin = 10; // millimetres
constexpr int kDescriptionColumn = 1;
constexpr int kCellPadding = 8 * kUnitsPerPixel;           // the grid's 8 pixels beside a cell's text
constexpr int kNarrowestDescription = 60 * kUnitsPerPixel; // what a long description keeps on paper

struct PrintedColumns {
    std::array<int, kPrintedColumns> left{};
    int descriptionRoom = 0; // the room for a description's text when it has to be cut short; 0: uncut
};

// Each printed column starts 3 units per screen pixel of the columns before it. A description column
// wider than the sheet allows (a long description) gives up what the sheet lacks, so that the results
// beside it stay on the paper; its texts are then cut short with an ellipsis.
PrintedColumns printedColumns(const ColumnWidths& pixelWidths, int pageWidth) {
    std::array<int, kPrintedColumns> widths{};
    int total = 0;
    for (int c = 0; c < kPrintedColumns; ++c) {
        widths[static_cast<size_t>(c)] = kUnitsPerPixel * pixelWidths[static_cast<size_t>(c)];
        total += widths[static_cast<size_t>(c)];
    }
    PrintedColumns columns;
    int& description = widths[kDescriptionColumn];
    if (total > pageWidth && description > kNarrowestDescription) {
        description = std::max(kNarrowestDescription, description - (total - pageWidth));
        columns.descriptionRoom = description - kCellPadding;
    }
    int x = 0;
    for (int c = 0; c < kPrintedColumns; ++c) {
        columns.left[static_cast<size_t>(c)] = x;
        x += widths[static_cast<size_t>(c)];
    }
    return columns;
}

// A text height on paper is the height of the whole character cell, leading included; the font's pixel
// size is its em, so it is scaled down until the cell is as high as asked.
QFont fontOfCellHeight(QFont font, int cellHeight, QPaintDevice* device) {
    font.setPixelSize(cellHeight);
    const qreal height = QFontMetricsF(font, device).height();
    if (height > 0)
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(cellHeight * cellHeight / height))));
    return font;
}

void drawTextAt(QPainter& painter, int x, int top, const QString& text) {
    painter.drawText(QPointF(x, top + painter.fontMetrics().ascent()), text);
}

int centredLeft(QPainter& painter, int pageWidth, const QString& text) {
    return pageWidth / 2 - painter.fontMetrics().horizontalAdvance(text) / 2;
}

// Row numbers at the very edge of the sheet are cut off by any printer's feed: the print-out keeps at
// least kMinimumMargin on every side, more where the printer cannot print closer to the edge (a printer's
// layout never has margins below what it can print).
void keepOffThePaperEdge(QPrinter& printer) {
    const QMarginsF margins = printer.pageLayout().margins(QPageLayout::Millimeter);
    const QMarginsF kept(std::max(margins.left(), kMinimumMargin), std::max(margins.top(), kMinimumMargin),
                         std::max(margins.right(), kMinimumMargin),
                         std::max(margins.bottom(), kMinimumMargin));
    if (kept != margins)
        printer.setPageMargins(kept, QPageLayout::Millimeter);
}

} // namespace

TablePageLayout TablePageLayout::forPage(int width, int height, int probeCounter) {
    TablePageLayout layout;
    layout.width = width;
    layout.height = height;
    layout.rowsPerPage = std::max(1, (height - kTopMargin - kBottomMargin) / kLineStep);
    layout.pages = std::max(0, probeCounter) / layout.rowsPerPage + 1;
    return layout;
}

ColumnWidths fittedColumnWidths(const ReportTable& table, const QFont& font) {
    const QFontMetrics metrics(font);
    ColumnWidths widths{};
    for (int c = 0; c < ReportTable::kColumns; ++c) {
        int widest = 0;
        for (int r = 0; r < table.rowCount(); ++r) {
            const QString text = table.cell(r, c);
            if (!text.isEmpty())
                widest = std::max(widest, metrics.horizontalAdvance(text) + 8);
        }
        widths[static_cast<size_t>(c)] = widest;
    }
    return widths;
}

void setUpPdfPrinter(QPrinter& printer, const QString& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                      QPageLayout::Millimeter));
}

bool printTable(QPrinter& printer, const ReportTable& table, int probeCounter, const QString& title,
                const ColumnWidths& pixelWidths) {
    printer.setDocName(title);
    keepOffThePaperEdge(printer);
    // Whole millimetres of the printable area: device pixels would cut A4 to 296 mm at some resolutions
    // and cost a row on every page. The painter's origin is the area's top left corner.
    const QRectF area = printer.pageLayout().paintRect(QPageLayout::Millimeter);
    const int width = static_cast<int>(std::floor(area.width() + 1e-6)) * 10;
    const int height = static_cast<int>(std::floor(area.height() + 1e-6)) * 10;
    const TablePageLayout layout = TablePageLayout::forPage(width, height, probeCounter);
    const PrintedColumns columns = printedColumns(pixelWidths, width);

    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    painter.scale(printer.logicalDpiX() / 254.0, printer.logicalDpiY() / 254.0);
    const QFont face = painter.font();
    const QFont titleFont = fontOfCellHeight(face, kTitleHeight, &printer);
    const QFont textFont = fontOfCellHeight(face, kTextHeight, &printer);

    for (int page = 1; page <= layout.pages; ++page) {
        painter.setFont(titleFont);
        drawTextAt(painter, centredLeft(painter, width, title), kTitleTop, title);

        painter.setPen(QPen(Qt::black, kRuleWidth));
        painter.drawLine(0, TablePageLayout::kTopMargin, width, TablePageLayout::kTopMargin);
        painter.drawLine(0, height - TablePageLayout::kBottomMargin, width,
                         height - TablePageLayout::kBottomMargin);

        painter.setFont(textFont);
        const QString footer = QStringLiteral("страница: %1 из %2").arg(page).arg(layout.pages);
        drawTextAt(painter, centredLeft(painter, width, footer), height - kFooterAboveBottom, footer);

        int y = kFirstRowTop;
        for (int g = 1; g <= layout.rowsPerPage; ++g) {
            const int row = (page - 1) * layout.rowsPerPage + g - 1;
            if (row > probeCounter + 2)
                break;
            for (int c = 0; c < kPrintedColumns; ++c) {
                QString text = table.cell(row, c);
                if (c == kDescriptionColumn && columns.descriptionRoom > 0)
                    text = painter.fontMetrics().elidedText(text, Qt::ElideRight, columns.descriptionRoom);
                drawTextAt(painter, columns.left[static_cast<size_t>(c)], y, text);
            }
            y += TablePageLayout::kLineStep;
        }
        if (page < layout.pages && !printer.newPage())
            return false;
    }
    return painter.end();
}

} // namespace lorimet
