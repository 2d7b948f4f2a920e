#pragma once

#include <QWidget>

class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace lorimet {

class DemoLink;

// The operator's hands on the built-in simulated analyser: the switch knob, the syringe with a solution of a
// chosen BOD, and the faults a real instrument and its cable can show. Always on top, beside the main window.
class DemoControls : public QWidget {
    Q_OBJECT
  public:
    DemoControls(DemoLink& link, QWidget* parent = nullptr);
    QPushButton* knobButton() const { return knob_; }
    QPushButton* injectButton() const { return inject_; }
    QDoubleSpinBox* bodBox() const { return bod_; }

  private:
    void showKnob();

    DemoLink& link_;
    QPushButton* knob_;
    QPushButton* inject_;
    QDoubleSpinBox* bod_;
    QLabel* state_;
};

} // namespace lorimet
