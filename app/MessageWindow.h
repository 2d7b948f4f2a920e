#pragma once

#include "engine/Interfaces.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace lorimet {

// `TInfoModul`: the small window that tells the operator what to do with the analyser. It stays above the
// other windows without taking the focus and has no title-bar buttons: only the analyser's knob (or the
// Cancel button of a start prompt) closes it.
class MessageWindow : public QWidget {
    Q_OBJECT
  public:
    explicit MessageWindow(QWidget* mainWindow);
    void showLayout(const MessageWindowLayout& layout);
    void setPicture(const QPixmap& picture);
    QLabel* messageLabel() const { return messageLabel_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    std::function<void()> cancelClicked;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void fitToText(const QString& text, Qt::Alignment alignment, bool cancelVisible, int height);

    QWidget* mainWindow_;
    QLabel* messageLabel_;
    QLabel* image_;
    QPushButton* cancelButton_;
    bool placed_ = false;
};

} // namespace lorimet
