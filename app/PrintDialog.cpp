#include "app/PrintDialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lorimet {

const QString PrintDialog::kPdfEntry = QStringLiteral("Файл PDF");

PrintDialog::PrintDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("TModul4"));
    setModal(true);

    auto* printerGroup = new QGroupBox(QStringLiteral("Принтер:"), this);
    printerGroup->setObjectName(QStringLiteral("GroupBox1"));
    printerList_ = new QComboBox(printerGroup);
    printerList_->setObjectName(QStringLiteral("PrinterList"));
    printerList_->setMinimumWidth(260);
    auto* printerRow = new QVBoxLayout(printerGroup);
    printerRow->addWidget(printerList_);

    colorPrint_ = new QGroupBox(QStringLiteral("Вид печати:"), this);
    colorPrint_->setObjectName(QStringLiteral("ColorPrint"));
    monochromeButton_ = new QRadioButton(QStringLiteral("Чёрно-белая"), colorPrint_);
    monochromeButton_->setObjectName(QStringLiteral("MonochromeButton"));
    colorButton_ = new QRadioButton(QStringLiteral("Цветная"), colorPrint_);
    colorButton_->setObjectName(QStringLiteral("ColorButton"));
    auto* kinds = new QHBoxLayout(colorPrint_);
    kinds->addWidget(monochromeButton_);
    kinds->addWidget(colorButton_);

    okButton_ = new QPushButton(QStringLiteral("&ОК"), this);
    okButton_->setObjectName(QStringLiteral("OkButton"));
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("&Отмена"), this);
    cancelButton_->setObjectName(QStringLiteral("CancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);

    auto* column = new QVBoxLayout(this);
    column->addWidget(printerGroup);
    column->addWidget(colorPrint_);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);

    connect(okButton_, &QPushButton::clicked, this, [this] {
        if (printRequested)
            printRequested();
        accept();
    });
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void PrintDialog::prepare(bool table, const QStringList& printers, const QString& defaultPrinter) {
    setWindowTitle(table ? QStringLiteral("Печатать таблицу...") : QStringLiteral("Печатать график..."));
    colorPrint_->setEnabled(!table);
    printerList_->clear();
    printerList_->addItems(printers);
    printerList_->addItem(kPdfEntry);
    const int chosen = printerList_->findText(defaultPrinter);
    printerList_->setCurrentIndex(chosen >= 0 ? chosen : printerList_->count() - 1);
    monochromeButton_->setChecked(true);
}

QString PrintDialog::currentPrinter() const {
    return printerList_->currentText();
}

bool PrintDialog::monochrome() const {
    return monochromeButton_->isChecked();
}

} // namespace lorimet
