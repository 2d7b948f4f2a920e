#include "app/DemoControls.h"

#include "sim/DemoLink.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lorimet {

DemoControls::DemoControls(DemoLink& link, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      link_(link) {
    setObjectName(QStringLiteral("DemoControls"));
    setWindowTitle(QStringLiteral("Анализатор (демонстрация)"));
    auto* layout = new QVBoxLayout(this);

    auto* sample = new QGroupBox(QStringLiteral("Проба"), this);
    auto* sampleRow = new QHBoxLayout(sample);
    bod_ = new QDoubleSpinBox(sample);
    bod_->setObjectName(QStringLiteral("DemoBod"));
    bod_->setRange(0.5, 30);
    bod_->setDecimals(1);
    bod_->setValue(10);
    bod_->setSuffix(QStringLiteral(" мг/л"));
    inject_ = new QPushButton(QStringLiteral("Ввести пробу"), sample);
    inject_->setObjectName(QStringLiteral("DemoInject"));
    sampleRow->addWidget(bod_);
    sampleRow->addWidget(inject_);
    layout->addWidget(sample);

    auto* knob = new QGroupBox(QStringLiteral("Ручка коммутатора"), this);
    auto* knobRow = new QHBoxLayout(knob);
    knob_ = new QPushButton(knob);
    knob_->setObjectName(QStringLiteral("DemoKnob"));
    knobRow->addWidget(knob_);
    layout->addWidget(knob);

    auto* faults = new QGroupBox(QStringLiteral("Неполадки"), this);
    auto* grid = new QGridLayout(faults);
    const std::pair<const char*, LineFault> kinds[] = {
        {"Чужая единица", LineFault::WrongUnit},
        {"Нет температуры", LineFault::BlankTemperature},
        {"Помехи", LineFault::Garbage},
        {"Строка по частям", LineFault::Split},
    };
    int n = 0;
    for (const auto& [caption, fault] : kinds) {
        auto* button = new QPushButton(QString::fromUtf8(caption), faults);
        connect(button, &QPushButton::clicked, this,
                [this, fault = fault] { link_.model().requestFault(fault); });
        grid->addWidget(button, n / 2, n % 2);
        ++n;
    }
    auto* silence = new QPushButton(QStringLiteral("Молчание 10 с"), faults);
    connect(silence, &QPushButton::clicked, this, [this] { link_.model().silence(link_.nowMs(), 10'000); });
    grid->addWidget(silence, n / 2, n % 2);
    layout->addWidget(faults);
    state_ = new QLabel(this);
    layout->addWidget(state_);

    connect(inject_, &QPushButton::clicked, this, [this] {
        link_.inject(bod_->value());
        state_->setText(
            QStringLiteral("Введена проба: %1 мг/л").arg(bod_->value(), 0, 'f', 1).replace(u'.', u','));
    });
    connect(knob_, &QPushButton::clicked, this, [this] {
        link_.turnKnob(link_.model().knob() == KnobPosition::Measuring ? KnobPosition::Preparation
                                                                       : KnobPosition::Measuring);
        showKnob();
    });
    showKnob();
}

void DemoControls::showKnob() {
    const bool measuring = link_.model().knob() == KnobPosition::Measuring;
    knob_->setText(measuring ? QStringLiteral("изм.  →  повернуть в «под.»")
                             : QStringLiteral("под.  →  повернуть в «изм.»"));
}

} // namespace lorimet
