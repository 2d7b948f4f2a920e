#include "app/QtOperator.h"

#include "app/OperationDialogs.h"
#include "app/SaveFileDialog.h"
#include "text/FileNames.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace lorimet {

Answer QtOperator::messageBox(BeepKind kind, const QString& caption, const QString& text, Buttons buttons) {
    QApplication::beep();
    const QMessageBox::Icon icon = kind == BeepKind::Error     ? QMessageBox::Critical
                                   : kind == BeepKind::Warning ? QMessageBox::Warning
                                                               : QMessageBox::Information;
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    if (buttons == Buttons::OkCancel)
        standard = QMessageBox::Ok | QMessageBox::Cancel;
    else if (buttons == Buttons::YesNo || buttons == Buttons::NoYes)
        standard = QMessageBox::Yes | QMessageBox::No;
    QString shown = text;
    shown.replace(u'\r', u'\n');
    QMessageBox box(icon, caption, shown, standard, parent_, Qt::Dialog | Qt::WindowStaysOnTopHint);
    box.setObjectName(QStringLiteral("MessageBox"));
    if (buttons == Buttons::NoYes) {
        // Enter or a hasty Space keeps what would be lost; Escape answers No as well.
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return buttons == Buttons::YesNo || buttons == Buttons::NoYes
                   ? Answer::No
                   : (buttons == Buttons::OkCancel ? Answer::Cancel : Answer::Ok);
    case QMessageBox::Ok:
        return Answer::Ok;
    }
}

bool QtOperator::runGsoDialog(Engine&) {
    return gso_ && gso_->run();
}

bool QtOperator::runSampleDialog(Engine&, const QString& caption) {
    return sample_ && sample_->run(caption);
}

std::optional<QString> QtOperator::saveFileName(const QString& title, const QString& folder,
                                                const QString& proposedName, const QString& filter) {
    return chooseSaveFile(parent_, {QStringLiteral("SaveFiles"), title, folder, proposedName, filter,
                                    filterExtension(filter), false});
}

std::optional<QString> QtOperator::openFileName(const QString& title, const QString& folder,
                                                const QString& filter) {
    const QString chosen = QFileDialog::getOpenFileName(parent_, title, folder, filter.section(u'|', 0, 0));
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

} // namespace lorimet
