#include "app/PanelCommands.h"

#include "app/ChartView.h"
#include "app/MainWindow.h"
#include "app/PdfOutput.h"
#include "app/PrintDialog.h"
#include "app/TablePrinter.h"
#include "config/Configuration.h"
#include "engine/Engine.h"
#include "engine/Texts.h"
#include "reports/TableText.h"
#include "text/SafeFile.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QPageLayout>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTableView>

namespace lorimet {
namespace {

const QString kCannotPrintTable = QStringLiteral("Невозможно напечатать таблицу !");
const QString kCannotPrintChart = QStringLiteral("Невозможно напечатать график !");
// The paper's edge that the chart keeps free on every side, in millimetres.
constexpr double kChartMarginMm = 10.0;

QString cannotWrite(const QString& name) {
    return texts::operatorMessages().at(1) + name + QStringLiteral(" !");
}

QString bitmapName(int n) {
    return QStringLiteral("график%1.bmp").arg(n);
}

} // namespace

PanelCommands::PanelCommands(MainWindow& window, Configuration& config, std::function<Engine*()> engine)
    : QObject(&window), window_(window), config_(config), engine_(std::move(engine)),
      printDialog_(new PrintDialog(&window)) {
    setObjectName(QStringLiteral("PanelCommands"));
    chooseFile = [this](const FileRequest& request) { return chooseSaveFile(&window_, request); };
    showError = [this](const QString& text) {
        QApplication::beep();
        QMessageBox box(QMessageBox::Critical, texts::kError, text, QMessageBox::Ok, &window_,
                        Qt::Dialog | Qt::WindowStaysOnTopHint);
        box.setObjectName(QStringLiteral("MessageBox"));
        box.exec();
    };
    installedPrinters = [] { return QPrinterInfo::availablePrinterNames(); };
    defaultPrinter = [] { return QPrinterInfo::defaultPrinterName(); };
    runPrintDialog = [](PrintDialog& dialog) { return dialog.exec(); };
    printDialog_->printRequested = [this] { printChosen(); };

    // The toolbar buttons share the menu items' actions; the context menu has items of its own.
    const std::pair<const char*, void (PanelCommands::*)()> bindings[] = {
        {"SaveChart", &PanelCommands::SavePanelClick}, {"SavePanel", &PanelCommands::SavePanelClick},
        {"ChartCopy", &PanelCommands::CopyPanelClick}, {"CopyPanel", &PanelCommands::CopyPanelClick},
        {"Print", &PanelCommands::PrintPanelClick},    {"PrintPanel", &PanelCommands::PrintPanelClick},
    };
    for (const auto& [name, handler] : bindings) {
        if (QAction* action = window_.findChild<QAction*>(QString::fromLatin1(name)))
            connect(action, &QAction::triggered, this, handler);
    }
}

ColumnWidths PanelCommands::tableColumnWidths() const {
    ColumnWidths widths{};
    const QHeaderView* header = window_.table()->horizontalHeader();
    for (int c = 0; c < ReportTable::kColumns; ++c)
        widths[static_cast<size_t>(c)] = header->sectionSize(c);
    return widths;
}

QString PanelCommands::fileNameOnly(const QString& path) const {
    return QFileInfo(path).fileName();
}

void PanelCommands::SavePanelClick() {
    Engine* engine = engine_();
    if (!engine)
        return;
    if (!window_.tableShown()) {
        SaveChartBitmap();
        return;
    }
    const Workflow& w = engine->workflow();
    // The folder of the day may be gone (a day change while running, a removed folder of an opened file).
    QDir().mkpath(w.reportFolder);
    const std::optional<QString> chosen =
        chooseFile({QStringLiteral("SaveFiles"), kSpreadsheetDialogTitle, w.reportFolder,
                    reportTitle(w.dateText), kSpreadsheetFilter, kSpreadsheetSuffix, false});
    if (!chosen)
        return;
    if (!writeXlsxReport(*chosen, engine->table(), engine->acquisition().probeCounter,
                         reportTitle(w.dateText), tableColumnWidths(), config_.settings().sizes[3]))
        showError(cannotWrite(fileNameOnly(*chosen)));
}

void PanelCommands::SaveChartBitmap() {
    Engine* engine = engine_();
    const Workflow& w = engine->workflow();
    const QDir folder(w.reportFolder);
    const QDir dayFolder(engine->reportsDayFolder());
    QDir().mkpath(w.reportFolder);
    int n = 1;
    while (QFileInfo::exists(folder.filePath(bitmapName(n))) ||
           QFileInfo::exists(dayFolder.filePath(bitmapName(n))))
        ++n;
    const QString proposed = bitmapName(n);
    const QString previewPath = folder.filePath(proposed);
    const QPixmap picture = window_.plotter()->toPixmap(0, 0, true);
    // The bitmap is made in memory and written as every file of the program is: whole, or not at all.
    QByteArray bitmap;
    QBuffer buffer(&bitmap);
    if (!picture.save(&buffer, "BMP") || !writeFileAtomically(previewPath, bitmap)) {
        showError(cannotWrite(proposed));
        return;
    }
    const std::optional<QString> chosen =
        chooseFile({QStringLiteral("SaveGraphics"), QStringLiteral("Сохранить график..."), w.reportFolder,
                    proposed, QStringLiteral("Bitmaps (*.bmp)|*.bmp"), QStringLiteral("bmp"), true});
    // The preview served the dialog only; it goes where it was written, whichever folder that is.
    QFile::remove(previewPath);
    if (chosen && !writeFileAtomically(*chosen, bitmap))
        showError(cannotWrite(fileNameOnly(*chosen)));
}

void PanelCommands::CopyPanelClick() {
    Engine* engine = engine_();
    if (!engine)
        return;
    QClipboard* clipboard = QApplication::clipboard();
    if (window_.tableShown())
        clipboard->setText(clipboardText(engine->table(), engine->acquisition().probeCounter));
    else
        clipboard->setPixmap(window_.plotter()->toPixmap(0, 0, true));
}

void PanelCommands::PrintPanelClick() {
    if (!engine_())
        return;
    printDialog_->prepare(window_.tableShown(), installedPrinters(), defaultPrinter());
    if (printDialog_->printerList()->count() == 0) {
        showError(texts::operatorMessages().at(10));
        return;
    }
    runPrintDialog(*printDialog_);
}

bool PanelCommands::setUpPrinter(QPrinter& printer, bool table, std::unique_ptr<PdfOutput>& pdf) {
    const QString chosen = printDialog_->currentPrinter();
    if (chosen != PrintDialog::kPdfEntry) {
        printer.setPrinterName(chosen);
        return true;
    }
    const Workflow& w = engine_()->workflow();
    QDir().mkpath(w.reportFolder);
    const std::optional<QString> path =
        chooseFile({QStringLiteral("SavePdf"), QStringLiteral("Печатать в файл PDF..."), w.reportFolder,
                    table ? reportTitle(w.dateText) : QStringLiteral("График от ") + w.dateText,
                    QStringLiteral("Файл PDF (*.pdf)|*.pdf"), QStringLiteral("pdf"), false});
    if (!path)
        return false;
    pdf = std::make_unique<PdfOutput>(*path);
    setUpPdfPrinter(printer, pdf->scratchPath());
    return true;
}

void PanelCommands::finishPdf(const std::unique_ptr<PdfOutput>& pdf) {
    if (pdf && !pdf->commit())
        showError(cannotWrite(fileNameOnly(pdf->target())));
}

void PanelCommands::printChosen() {
    Engine* engine = engine_();
    if (!engine)
        return;
    std::unique_ptr<PdfOutput> pdf;
    if (window_.tableShown()) {
        QPrinter printer(QPrinter::HighResolution);
        if (!setUpPrinter(printer, true, pdf))
            return;
        printer.setPageOrientation(QPageLayout::Portrait);
        if (!printTable(printer, engine->table(), engine->acquisition().probeCounter,
                        reportTitle(engine->workflow().dateText), tableColumnWidths()))
            showError(kCannotPrintTable);
        else
            finishPdf(pdf);
        return;
    }
    // The chart is laid out in screen pixels: at a printer's own resolution its fonts would come out huge.
    QPrinter printer(QPrinter::ScreenResolution);
    if (!setUpPrinter(printer, false, pdf))
        return;
    if (!printChart(printer, *window_.plotter(), printDialog_->monochrome()))
        showError(kCannotPrintChart);
    else
        finishPdf(pdf);
}

bool printChart(QPrinter& printer, ChartView& chart, bool monochrome) {
    const QPageLayout::Orientation before = printer.pageLayout().orientation();
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    bool ok = painter.begin(&printer);
    if (ok) {
        const QRect page(QPoint(0, 0), printer.pageRect(QPrinter::DevicePixel).size().toSize());
        const int mx = static_cast<int>(kChartMarginMm / 25.4 * printer.logicalDpiX());
        const int my = static_cast<int>(kChartMarginMm / 25.4 * printer.logicalDpiY());
        chart.render(&painter, page.adjusted(mx, my, -mx, -my), monochrome);
        ok = painter.end();
    }
    printer.setPageOrientation(before);
    return ok;
}

} // namespace lorimet
