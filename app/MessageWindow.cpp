#include "app/MessageWindow.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace lorimet {
namespace {

// The window as designed: the label's place and size, the Cancel button below it; the label may grow
// to the right and downwards, the window with it.
constexpr int kClientWidth = 271;
constexpr QRect kLabel(52, 2, 213, 55);
constexpr QRect kCancel(100, 62, 75, 25);
constexpr int kWidestLabel = 520;
constexpr int kGap = 4;

} // namespace

MessageWindow::MessageWindow(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("TInfoModul"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kClientWidth, 91);
    messageLabel_ = new QLabel(this);
    messageLabel_->setObjectName(QStringLiteral("MessageLabel"));
    messageLabel_->setGeometry(kLabel);
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
    cancelButton_->setGeometry(kCancel);
    cancelButton_->hide();
    connect(cancelButton_, &QPushButton::clicked, this, [this] {
        if (cancelClicked)
            cancelClicked();
    });
}

void MessageWindow::showLayout(const MessageWindowLayout& layout) {
    setWindowTitle(layout.caption);
    cancelButton_->setVisible(layout.cancelVisible);
    const Qt::Alignment alignment =
        (layout.alignment == Alignment::Left ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignTop;
    messageLabel_->setAlignment(alignment);
    QString text = layout.text;
    text.replace(u'\r', u'\n');
    messageLabel_->setText(text);
    fitToText(text, alignment, layout.cancelVisible, layout.height);
    if (!placed_ && mainWindow_) {
        // Centred on the main window the first time; afterwards it stays where the operator put it.
        move(mainWindow_->geometry().center() - QPoint(width() / 2, height() / 2));
        placed_ = true;
    }
    show();
    raise();
}

void MessageWindow::fitToText(const QString& text, Qt::Alignment alignment, bool cancelVisible, int height) {
    // The prompts are written line by line for a narrower face than most systems have: the label widens
    // until each of their lines fits on one line of its own (a line broken in the middle of an instruction
    // reads badly), up to a limit past which it wraps, and grows downwards for the lines it then holds.
    // The window keeps its size wherever the text fits in it.
    const QFontMetrics metrics(messageLabel_->font());
    const QRect unwrapped = metrics.boundingRect(QRect(0, 0, kWidestLabel, 10'000), alignment, text);
    const int width = std::clamp(unwrapped.width() + 1, kLabel.width(), kWidestLabel);
    const QRect wrapped =
        metrics.boundingRect(QRect(0, 0, width, 10'000), alignment | Qt::TextWordWrap, text);
    const QRect label(kLabel.topLeft(), QSize(width, std::max(kLabel.height(), wrapped.height())));
    messageLabel_->setGeometry(label);

    const int grown = width - kLabel.width();
    QRect cancel = kCancel.translated(grown / 2, 0);
    cancel.moveTop(std::max(kCancel.top(), label.bottom() + 1 + kGap));
    cancelButton_->setGeometry(cancel);
    const int bottom = (cancelVisible ? cancel.bottom() : label.bottom()) + 1;
    setFixedSize(kClientWidth + grown, std::max(height, bottom + kGap));
}

void MessageWindow::setPicture(const QPixmap& picture) {
    image_->setPixmap(picture);
}

void MessageWindow::closeEvent(QCloseEvent* event) {
    // The window manager's close (Alt+F4) must not end an operation behind the engine's back.
    event->ignore();
}

} // namespace lorimet
