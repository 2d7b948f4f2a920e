#pragma once

#include <QDialog>

#include <functional>

class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace lorimet {

// `TModul4`: the printer and, for the chart, black and white or colour. OK prints (printRequested) and then
// closes the dialog; Cancel just closes it.
class PrintDialog : public QDialog {
    Q_OBJECT
  public:
    // The entry after the installed printers that prints into a PDF file.
    static const QString kPdfEntry;

    explicit PrintDialog(QWidget* parent);

    // Sets the dialog up for one use: the caption for the table or the chart, the printers followed by the
    // PDF entry, the default printer chosen (the PDF entry when there is none), black and white checked, the
    // kind of print open only for the chart.
    void prepare(bool table, const QStringList& printers, const QString& defaultPrinter);

    // The chosen entry: a printer's name or kPdfEntry.
    QString currentPrinter() const;
    bool monochrome() const;

    std::function<void()> printRequested;

    QComboBox* printerList() const { return printerList_; }
    QGroupBox* colorPrint() const { return colorPrint_; }
    QRadioButton* monochromeButton() const { return monochromeButton_; }
    QRadioButton* colorButton() const { return colorButton_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

  private:
    QComboBox* printerList_;
    QGroupBox* colorPrint_;
    QRadioButton* monochromeButton_;
    QRadioButton* colorButton_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};

} // namespace lorimet
