#pragma once

#include "app/SaveFileDialog.h"
#include "reports/XlsxExport.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QPrinter;

namespace lorimet {

class ChartView;
class Configuration;
class Engine;
class MainWindow;
class PdfOutput;
class PrintDialog;

// Saving, copying and printing whatever the chart area shows: the report table when it is shown, else the
// signal chart. Bound to the menu items SaveChart, ChartCopy and Print, their toolbar buttons and the
// context menu items SavePanel, CopyPanel and PrintPanel of the main window.
class PanelCommands : public QObject {
    Q_OBJECT
  public:
    PanelCommands(MainWindow& window, Configuration& config, std::function<Engine*()> engine);

    void SavePanelClick();
    void CopyPanelClick();
    void PrintPanelClick();

    // The grid's column widths in pixels as the operator sees them.
    ColumnWidths tableColumnWidths() const;

    PrintDialog* printDialog() const { return printDialog_; }

    // Seams for the modal parts; they show real windows unless replaced (tests script them).
    std::function<std::optional<QString>(const FileRequest&)> chooseFile;
    std::function<void(const QString& text)> showError; // stop beep, stop icon, caption "Ошибка", topmost
    std::function<QStringList()> installedPrinters;
    std::function<QString()> defaultPrinter;
    std::function<int(PrintDialog&)> runPrintDialog;

  private:
    void SaveChartBitmap();
    void printChosen();
    // The printer chosen in the dialog; for the PDF entry a file is asked for, and `pdf` then holds the
    // print-out until finishPdf takes it to that file.
    bool setUpPrinter(QPrinter& printer, bool table, std::unique_ptr<PdfOutput>& pdf);
    void finishPdf(const std::unique_ptr<PdfOutput>& pdf);
    QString fileNameOnly(const QString& path) const;

    MainWindow& window_;
    Configuration& config_;
    std::function<Engine*()> engine_;
    PrintDialog* printDialog_;
};

// The signal chart on one landscape page, in colour or black on white; the printer's orientation is put
// back afterwards. False when the job could not be started.
bool printChart(QPrinter& printer, ChartView& chart, bool monochrome);

} // namespace lorimet
