// The direct print-out of the table, into PDF, and the print dialog.
#include "ExportHelpers.h"

#include "app/PrintDialog.h"
#include "app/TablePrinter.h"

#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using namespace lorimet;
using namespace lorimet::exporttest;

namespace {

const ColumnWidths kWidths = {31, 109, 90, 82, 66, 52, 60, 66, 70};

QStringList printToPdf(const QString& path, int results) {
    QPrinter printer(QPrinter::HighResolution);
    setUpPdfPrinter(printer, path);
    if (!printTable(printer, resultTable(results), results, QStringLiteral("Отчёт от 06.12.26 г"), kWidths))
        return {};
    return pdfPages(path);
}

// A data row of the print-out: its number at the left edge, then the description.
bool hasRow(const QString& page, int row) {
    return page.contains(QRegularExpression(QStringLiteral("(^|\\n)%1\\s+Проба %1\\s").arg(row)));
}

} // namespace

TEST(TablePageLayout, RowsPerPageAndPages) {
    struct Case {
        int width, height, probeCounter, rowsPerPage, pages;
    };
    for (const Case& c :
         {Case{2100, 2970, 0, 74, 1}, Case{2100, 2970, 73, 74, 1}, Case{2100, 2970, 74, 74, 2},
          Case{2100, 2970, 147, 74, 2}, Case{2100, 2970, 148, 74, 3}, Case{2970, 2100, 50, 50, 2}}) {
        SCOPED_TRACE(c.probeCounter);
        const TablePageLayout layout = TablePageLayout::forPage(c.width, c.height, c.probeCounter);
        EXPECT_EQ(layout.rowsPerPage, c.rowsPerPage);
        EXPECT_EQ(layout.pages, c.pages);
    }
}

TEST(FittedColumnWidths, WidestTextPlusEightAndNoneForEmptyColumns) {
    ReportTable table = resultTable(2);
    table.setCell(0, 4, QString()); // a column without any text stays closed
    const QFont font(QStringLiteral("Arial"), 9);
    const ColumnWidths widths = fittedColumnWidths(table, font);
    const QFontMetrics metrics(font);
    EXPECT_EQ(widths[1], metrics.horizontalAdvance(QStringLiteral(" Описание пробы ")) + 8);
    EXPECT_EQ(widths[4], 0);
}

class PdfPrintout : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
};

// A4 inside margins of 10 mm is 2770 high: (2770 - 100 - 200) div 36 = 68 rows a page.
TEST_F(PdfPrintout, SixtySevenResultsFitOnePageOfA4) {
    const QStringList pages = printToPdf(dir.filePath(QStringLiteral("t.pdf")), 67);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains(QStringLiteral("Отчёт от 06.12.26 г")));
    EXPECT_TRUE(pages[0].contains(QStringLiteral("страница: 1 из 1")));
    EXPECT_TRUE(pages[0].contains(QStringLiteral("Описание пробы")));
    EXPECT_TRUE(hasRow(pages[0], 1));
    EXPECT_TRUE(hasRow(pages[0], 67));
    // Columns 0..6 only: the time and the date stay off the paper.
    EXPECT_TRUE(pages[0].contains(QStringLiteral("12:34")));
    EXPECT_FALSE(pages[0].contains(QStringLiteral("14:05:09")));
    EXPECT_FALSE(pages[0].contains(QStringLiteral("Время")));
}

TEST_F(PdfPrintout, SixtyEightResultsTakeTwoPages) {
    const QStringList pages = printToPdf(dir.filePath(QStringLiteral("t.pdf")), 68);
    ASSERT_EQ(pages.size(), 2);
    EXPECT_TRUE(pages[0].contains(QStringLiteral("страница: 1 из 2")));
    EXPECT_TRUE(pages[1].contains(QStringLiteral("страница: 2 из 2")));
    // Every page carries the title; the heading row is printed once, on top of the first page.
    EXPECT_TRUE(pages[1].contains(QStringLiteral("Отчёт от 06.12.26 г")));
    EXPECT_FALSE(pages[1].contains(QStringLiteral("Описание пробы")));
    EXPECT_TRUE(hasRow(pages[0], 67));
    EXPECT_FALSE(hasRow(pages[0], 68));
    EXPECT_TRUE(hasRow(pages[1], 68));
}

// Nothing comes closer than 10 mm to an edge of the sheet, and the layout starts there rather than being
// cut: the row numbers stand at the left margin. A description longer than the sheet is wide is cut short
// and the results beside it are still printed.
TEST_F(PdfPrintout, EverythingStaysTenMillimetresOffTheEdges) {
    const QString longDescription = QStringLiteral("Сточная вода после очистки ") + QString(300, u'ж');
    for (const bool longOne : {false, true}) {
        SCOPED_TRACE(longOne ? "a long description" : "short descriptions");
        ReportTable table = resultTable(80);
        ColumnWidths widths = kWidths;
        if (longOne) {
            table.setCell(2, 1, longDescription);
            widths[1] =
                QFontMetrics(QFont(QStringLiteral("Arial"), 8)).horizontalAdvance(longDescription) + 8;
        }
        const QString path = dir.filePath(QStringLiteral("t.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        setUpPdfPrinter(printer, path);
        ASSERT_TRUE(printTable(printer, table, 80, QStringLiteral("Отчёт от 06.12.26 г"), widths));
        const ProcessResult r =
            runProcess(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
        ASSERT_EQ(r.exitCode, 0);
        const QString html = QString::fromUtf8(r.out);
        static const QRegularExpression page(
            QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\""));
        static const QRegularExpression word(
            QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
                           "yMax=\"([0-9.]+)\">([^<]*)</word>"));
        const QRegularExpressionMatch size = page.match(html);
        ASSERT_TRUE(size.hasMatch());
        const double pageWidth = size.captured(1).toDouble();
        const double pageHeight = size.captured(2).toDouble();
        const double margin = 10 / 25.4 * 72; // points
        double left = pageWidth, top = pageHeight, right = 0, bottom = 0;
        int words = 0;
        for (const QRegularExpressionMatch& m : word.globalMatch(html)) {
            ++words;
            left = std::min(left, m.captured(1).toDouble());
            top = std::min(top, m.captured(2).toDouble());
            right = std::max(right, m.captured(3).toDouble());
            bottom = std::max(bottom, m.captured(4).toDouble());
        }
        ASSERT_GT(words, 100);
        EXPECT_GE(left, margin - 0.5);
        EXPECT_LT(left, margin + 2); // the row numbers begin at the margin
        EXPECT_GE(top, margin - 0.5);
        EXPECT_LE(right, pageWidth - margin + 0.5);
        EXPECT_LE(bottom, pageHeight - margin + 0.5);
        // The second result's row, cut short or not, still carries its BOD' and its temperature.
        const QStringList pages = pdfPages(path);
        ASSERT_FALSE(pages.isEmpty());
        EXPECT_TRUE(
            pages[0].contains(QRegularExpression(QStringLiteral("\\n2\\s+\\S.*\\s13,3\\s.*20,5\\s+12:34"))));
    }
}

TEST_F(PdfPrintout, A4PortraitWithTheTitleAsDocumentName) {
    const QString path = dir.filePath(QStringLiteral("t.pdf"));
    ASSERT_FALSE(printToPdf(path, 3).isEmpty());
    const ProcessResult info = runProcess(QStringLiteral("pdfinfo"), {path});
    ASSERT_EQ(info.exitCode, 0);
    const QString text = QString::fromUtf8(info.out);
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Page size:\\s+595(\\.\\d+)? x 842"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Title:\\s+Отчёт от 06.12.26 г"))));
}

TEST_F(PdfPrintout, AnUnwritableTargetFails) {
    QPrinter printer(QPrinter::HighResolution);
    setUpPdfPrinter(printer, dir.filePath(QStringLiteral("no/such/t.pdf")));
    EXPECT_FALSE(printTable(printer, resultTable(1), 1, QStringLiteral("Отчёт"), kWidths));
}

TEST(PrintDialog, TableOrChart) {
    PrintDialog dialog(nullptr);
    EXPECT_EQ(dialog.objectName(), QStringLiteral("TModul4"));
    dialog.prepare(false, {QStringLiteral("Laser"), QStringLiteral("Ink")}, QStringLiteral("Ink"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Печатать график..."));
    EXPECT_TRUE(dialog.colorPrint()->isEnabled());
    EXPECT_TRUE(dialog.monochromeButton()->isChecked());
    EXPECT_EQ(dialog.printerList()->count(), 3);
    EXPECT_EQ(dialog.printerList()->itemText(2), PrintDialog::kPdfEntry);
    EXPECT_EQ(dialog.currentPrinter(), QStringLiteral("Ink"));
    dialog.colorButton()->setChecked(true);
    EXPECT_FALSE(dialog.monochrome());

    // Each use starts in black and white; for the table the kind of print is closed.
    dialog.prepare(true, {}, QString());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Печатать таблицу..."));
    EXPECT_FALSE(dialog.colorPrint()->isEnabled());
    EXPECT_TRUE(dialog.monochrome());
    EXPECT_EQ(dialog.printerList()->count(), 1);
    EXPECT_EQ(dialog.currentPrinter(), PrintDialog::kPdfEntry);
}

TEST(PrintDialog, OkPrintsThenClosesCancelJustCloses) {
    PrintDialog dialog(nullptr);
    dialog.prepare(true, {}, QString());
    int prints = 0;
    dialog.printRequested = [&] {
        EXPECT_TRUE(dialog.isVisible()); // printing happens while the dialog is still up
        ++prints;
    };
    dialog.show();
    dialog.okButton()->click();
    EXPECT_EQ(prints, 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    dialog.show();
    dialog.cancelButton()->click();
    EXPECT_EQ(prints, 1);
    EXPECT_FALSE(dialog.isVisible());
}
