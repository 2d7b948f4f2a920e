#include "app/MessageWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

namespace lorimet {

MessageWindow::MessageWindow(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("TInfoModul"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(271, 91);
    messageLabel_ = new QLabel(this);
    messageLabel_->setObjectName(QStringLiteral("MessageLabel"));
    messageLabel_->setGeometry(52, 2, 213, 55);
    messageLabel_->setWordWrap(true);
    QFont font = messageLabel_->font();
    font.setPixelSize(12);
    messageLabel_->setFont(font);
    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image"));
    image_->setGeometry(4, 7, 41, 41);
    image_->setAlignment(Qt::AlignCenter);
    cancelButton_ = new QPushButton(QStringLiteral("&Отмена"), this);
    cancelButton_->setObjectName(QStringLiteral("CanselButton"));
    cancelButton_->setGeometry(100, 62, 75, 25);
    cancelButton_->hide();
    connect(cancelButton_, &QPushButton::clicked, this, [this] {
        if (cancelClicked)
            cancelClicked();
    });
}

void MessageWindow::showLayout(const MessageWindowLayout& layout) {
    setWindowTitle(layout.caption);
    cancelButton_->setVisible(layout.cancelVisible);
    setFixedHeight(layout.height);
    messageLabel_->setAlignment((layout.alignment == Alignment::Left ? Qt::AlignLeft : Qt::AlignHCenter) |
                                Qt::AlignTop);
    QString text = layout.text;
    text.replace(u'\r', u'\n');
    messageLabel_->setText(text);
    if (!placed_ && mainWindow_) {
        // Centred on the main window the first time; afterwards it stays where the operator put it.
        move(mainWindow_->geometry().center() - QPoint(width() / 2, height() / 2));
        placed_ = true;
    }
    show();
    raise();
}

void MessageWindow::setPicture(const QPixmap& picture) {
    image_->setPixmap(picture);
}

void MessageWindow::closeEvent(QCloseEvent* event) {
    // The window manager's close (Alt+F4) must not end an operation behind the engine's back.
    event->ignore();
}

} // namespace lorimet
