#include "app/VersionWindow.h"

#include "app/Pictures.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>

#include <algorithm>

namespace lorimet {

QDialog* ShowVersionInfo(QWidget* mainWindow) {
    // The version is what marks a build as a release of the program; without one there is nothing to tell.
    const QString version = QApplication::applicationVersion();
    if (version.isEmpty())
        return nullptr;

    struct Entry {
        QString prefix;
        QString value;
        const char* name;
    };
    // No author is named; the entry stays so that a build which names one shows it in its place.
    const Entry entries[] = {
        {QString(), QApplication::applicationDisplayName(), "ProductName"},
        {QStringLiteral("Версия: "), version, "FileVersion"},
        {QStringLiteral("Компания: "), QApplication::organizationName(), "CompanyName"},
        {QStringLiteral("Автор: "), QString(), "Author"},
    };

    auto* info = new QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                                             Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    info->setObjectName(QStringLiteral("InfoVersion"));
    info->setAttribute(Qt::WA_DeleteOnClose);
    info->setAttribute(Qt::WA_ShowWithoutActivating);
    info->setWindowTitle(QStringLiteral("Инфо версии"));

    auto* icon = new QLabel(info);
    icon->setObjectName(QStringLiteral("Icon"));
    icon->setGeometry(10, 10, 32, 32);
    icon->setPixmap(applicationIcon().pixmap(32, 32, QIcon::Normal));

    const int left = icon->x() + icon->width() + 10;
    QWidget* last = icon;
    int right = 10;
    bool first = true;
    for (const Entry& entry : entries) {
        // A value of a single character is taken for a placeholder, not a value.
        if (entry.value.size() <= 1)
            continue;
        auto* label = new QLabel(entry.prefix + entry.value, info);
        label->setObjectName(QString::fromLatin1(entry.name));
        if (first) {
            QFont f = label->font();
            f.setPointSize(10);
            f.setBold(true);
            label->setFont(f);
            QPalette p = label->palette();
            p.setColor(QPalette::WindowText, QColor(0, 0, 0x80));
            label->setPalette(p);
        }
        label->adjustSize();
        label->move(left, first ? icon->y() : last->y() + last->height() + 5);
        right = std::max(right, label->x() + label->width());
        last = label;
        first = false;
    }
    info->setFixedSize(right + 20, last->y() + last->height() + 40);
    if (mainWindow)
        info->move(mainWindow->geometry().center() - QPoint(info->width() / 2, info->height() / 2));
    info->show();
    return info;
}

} // namespace lorimet
