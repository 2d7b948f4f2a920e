#include "app/SettingsDialogs.h"

#include "app/ChartView.h"
#include "app/Colours.h"
#include "app/MainWindow.h"
#include "config/Configuration.h"
#include "engine/Engine.h"
#include "text/NumberFormat.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QColorDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace lorimet {
namespace {

// The standard and extended colours of the colour lists, in the configuration's 0x00BBGGRR form.
struct NamedColour {
    quint32 value;
    const char* name;
};
constexpr NamedColour kNamedColours[] = {
    {0x00000000, "Чёрный"},       {0x00000080, "Тёмно-бордовый"}, {0x00008000, "Зелёный"},
    {0x00008080, "Оливковый"},    {0x00800000, "Тёмно-синий"},    {0x00800080, "Пурпурный"},
    {0x00808000, "Сине-зелёный"}, {0x00808080, "Серый"},          {0x00C0C0C0, "Серебристый"},
    {0x000000FF, "Красный"},      {0x0000FF00, "Салатовый"},      {0x0000FFFF, "Жёлтый"},
    {0x00FF0000, "Синий"},        {0x00FF00FF, "Фуксия"},         {0x00FFFF00, "Голубой"},
    {0x00FFFFFF, "Белый"},        {0x00C0DCC0, "Мятный"},         {0x00F0CAA6, "Небесный"},
    {0x00F0FBFF, "Кремовый"},     {0x00A4A0A0, "Средне-серый"},
};
constexpr int kNamedCount = static_cast<int>(std::size(kNamedColours));
const QString kOther = QStringLiteral("Другой...");
constexpr int kColourRole = Qt::UserRole;

QIcon swatch(const QColor& colour) {
    QPixmap picture(16, 12);
    picture.fill(colour);
    QPainter painter(&picture);
    painter.setPen(Qt::black);
    painter.drawRect(picture.rect().adjusted(0, 0, -1, -1));
    return QIcon(picture);
}

QString customName(const QColor& colour) {
    return colour.name(QColor::HexRgb).toUpper();
}

void fixDialog(QDialog* dialog, const char* name, const QString& caption) {
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setWindowTitle(caption);
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    dialog->layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void centreOnParent(QDialog* dialog) {
    if (QWidget* parent = dialog->parentWidget()) {
        dialog->adjustSize();
        dialog->move(parent->geometry().center() - QPoint(dialog->width() / 2, dialog->height() / 2));
    }
}

void showBeside(QDialog* dialog) {
    if (!dialog->isVisible())
        centreOnParent(dialog);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QSpinBox* numberBox(QWidget* parent, const char* name, int low, int high, const QString& hint = {}) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(low, high);
    box->setToolTip(hint);
    return box;
}

// One slider with the label that shows its value on the right.
QSlider* slider(QWidget* parent, QLayout* into, const char* name, int low, int high, int position,
                QLabel*& label, const char* labelName) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(low, high);
    s->setSingleStep(1);
    s->setPageStep(1);
    s->setTickPosition(QSlider::TicksBelow);
    s->setTickInterval(1);
    s->setValue(position);
    s->setMinimumWidth(200);
    label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setMinimumWidth(50);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* row = new QHBoxLayout;
    row->addWidget(s, 1);
    row->addWidget(label);
    if (auto* box = qobject_cast<QBoxLayout*>(into))
        box->addLayout(row);
    return s;
}

QGroupBox* group(QWidget* parent, QVBoxLayout* into, const QString& title) {
    auto* g = new QGroupBox(title, parent);
    into->addWidget(g);
    return g;
}

} // namespace

// ColourBox

ColourBox::ColourBox(const char* name, const QString& hint, QWidget* parent) : QComboBox(parent) {
    setObjectName(QString::fromLatin1(name));
    setToolTip(hint);
    setMaxVisibleItems(kNamedCount + 2);
    for (const NamedColour& named : kNamedColours) {
        const QColor c = colourFromSetting(named.value);
        addItem(swatch(c), QString::fromUtf8(named.name), c);
    }
    addItem(kOther);
    setCurrentIndex(0);
    lastIndex_ = 0;
    pickCustom = [this](const QColor& current) { return QColorDialog::getColor(current, this); };
    connect(this, &QComboBox::activated, this, &ColourBox::chosen);
}

QColor ColourBox::colour() const {
    return currentData(kColourRole).value<QColor>();
}

quint32 ColourBox::value() const {
    return settingFromColour(colour());
}

int ColourBox::findColour(const QColor& colour) const {
    for (int i = 0; i < otherIndex(); ++i)
        if (itemData(i, kColourRole).value<QColor>().rgb() == colour.rgb())
            return i;
    return -1;
}

int ColourBox::customIndex() const {
    return count() - 1 > kNamedCount ? kNamedCount : -1;
}

void ColourBox::setColour(const QColor& colour) {
    const QColor opaque(colour.rgb());
    int index = findColour(opaque);
    if (index < 0) {
        // One entry holds the colour that has no name; a new one takes its place.
        const QSignalBlocker quiet(this);
        if (customIndex() < 0)
            insertItem(kNamedCount, QString());
        index = kNamedCount;
        setItemText(index, customName(opaque));
        setItemIcon(index, swatch(opaque));
        setItemData(index, opaque, kColourRole);
    }
    const QSignalBlocker quiet(this);
    setCurrentIndex(index);
    lastIndex_ = index;
}

void ColourBox::setValue(quint32 value) {
    setColour(colourFromSetting(value));
}

void ColourBox::chosen(int index) {
    if (index == otherIndex()) {
        const QColor picked =
            pickCustom ? pickCustom(itemData(lastIndex_, kColourRole).value<QColor>()) : QColor();
        if (!picked.isValid()) {
            const QSignalBlocker quiet(this);
            setCurrentIndex(lastIndex_);
            return;
        }
        setColour(picked);
    } else {
        lastIndex_ = index;
    }
    Q_EMIT colourChanged(colour());
}

// PortAndFilterDialog

namespace {
constexpr int kPortNameRole = Qt::UserRole + 1;
} // namespace

QList<PortEntry> PortAndFilterDialog::availablePorts() {
    QList<PortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        PortEntry port(info.portName()); // "COM3", as operators know it
#else
        PortEntry port(info.systemLocation()); // "/dev/ttyUSB0"
#endif
        port.description = info.description().trimmed();
        port.manufacturer = info.manufacturer().trimmed();
        port.serialNumber = info.serialNumber().trimmed();
        if (info.systemLocation() != port.name)
            port.location = info.systemLocation();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            port.usbId = QStringLiteral("%1:%2")
                             .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                             .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        ports << port;
    }
    return ports;
}

QString PortAndFilterDialog::itemText(const PortEntry& port) {
    // What tells the ports apart, short enough for the closed list: the kind of adapter (its maker when it
    // names no kind) and its own number. The details line below the list has the rest.
    QStringList known;
    if (!port.description.isEmpty())
        known << port.description;
    else if (!port.manufacturer.isEmpty())
        known << port.manufacturer;
    if (!port.serialNumber.isEmpty())
        known << QStringLiteral("№ ") + port.serialNumber;
    return known.isEmpty() ? port.name : port.name + QStringLiteral(" — ") + known.join(QStringLiteral(", "));
}

QString PortAndFilterDialog::detailsText(const PortEntry& port) {
    if (!port.listed) {
        // The port in force that the system does not list: unplugged, or a device it does not count among
        // its serial ports (a pseudo-terminal).
        const bool exists = port.name.startsWith(u'/') && QFileInfo::exists(port.name);
        return exists ? QStringLiteral("Система не сообщает сведений об этом порте.")
                      : QStringLiteral(
                            "Порт сейчас не найден в системе: адаптер не подключён или порт отсутствует.");
    }
    const std::pair<const char*, const QString*> rows[] = {
        {"Описание: ", &port.description},        {"Изготовитель: ", &port.manufacturer},
        {"Серийный номер: ", &port.serialNumber}, {"USB (VID:PID): ", &port.usbId},
        {"Устройство: ", &port.location},
    };
    QStringList lines;
    for (const auto& [caption, value] : rows)
        if (!value->isEmpty())
            lines << QString::fromUtf8(caption) + *value;
    return lines.isEmpty() ? QStringLiteral("Система не сообщает сведений об этом порте.")
                           : lines.join(u'\n');
}

QString PortAndFilterDialog::portAt(int index) const {
    return portsList_->itemData(index, kPortNameRole).toString();
}

void PortAndFilterDialog::showPortDetails(int index) {
    portDetails_->setText(index < 0 ? QString() : portsList_->itemData(index, Qt::ToolTipRole).toString());
}

PortAndFilterDialog::PortAndFilterDialog(Engine& engine, QWidget* parent) : QDialog(parent), engine_(engine) {
    auto* layout = new QVBoxLayout(this);

    QGroupBox* port = group(this, layout, QStringLiteral("Последовательный порт:"));
    auto* portRow = new QVBoxLayout(port);
    portsList_ = new QComboBox(port);
    portsList_->setObjectName(QStringLiteral("PortsList"));
    // The closed list keeps the dialog's width; the open one is as wide as its longest port.
    portsList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    portsList_->setMinimumContentsLength(40);
    portRow->addWidget(portsList_);
    portDetails_ = new QLabel(port);
    portDetails_->setObjectName(QStringLiteral("PortDetails"));
    portDetails_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    portDetails_->setWordWrap(true);
    portRow->addWidget(portDetails_);

    QGroupBox* frequency = group(this, layout, QStringLiteral("Частота прерываний:"));
    auto* frequencyRow = new QVBoxLayout(frequency);
    frequency_ = slider(frequency, frequencyRow, "Frequency", 1, 20, 5, label1_, "Label1");

    QGroupBox* delay = group(this, layout, QStringLiteral("Транспортное запаздывание:"));
    auto* delayRow = new QVBoxLayout(delay);
    delay_ = slider(delay, delayRow, "Delay", 1, 30, 5, label8_, "Label8");

    QGroupBox* filter = group(this, layout, QStringLiteral("Сглаживающий фильтр:"));
    auto* filterRows = new QVBoxLayout(filter);
    filterRows->addWidget(new QLabel(QStringLiteral("Коэффициент сглаживания"), filter));
    aFilter_ = slider(filter, filterRows, "AFilterNumber", 1, 91, 40, label3_, "Label3");
    filterRows->addWidget(new QLabel(QStringLiteral("Число циклов сглаживания"), filter));
    bFilter_ = slider(filter, filterRows, "BFilterNumber", 1, 11, 4, label4_, "Label4");
    filterRows->addWidget(new QLabel(QStringLiteral("Окно сглаживания (число точек)"), filter));
    cFilter_ = slider(filter, filterRows, "CFilterNumber", 1, 11, 3, label5_, "Label5");
    // The design positions' texts; from here on each label follows its slider.
    label1_->setText(QStringLiteral("5 Гц"));
    label8_->setText(QStringLiteral("5 сек."));
    label3_->setText(QStringLiteral("0,40"));
    label4_->setText(QStringLiteral("4"));
    label5_->setText(QStringLiteral("3"));

    auto* buttons = new QHBoxLayout;
    resetButton_ = button(this, "ResetParameters", QStringLiteral("&Значения по умолчанию"));
    okButton_ = button(this, "OKButton", QStringLiteral("&Сохранить параметры"));
    buttons->addWidget(resetButton_);
    buttons->addWidget(okButton_);
    layout->addLayout(buttons);
    fixDialog(this, "TModul1", QStringLiteral("Настройки"));

    portList = &PortAndFilterDialog::availablePorts;

    // Each control puts its value in force at once; the port is reopened only when the link next starts.
    connect(portsList_, &QComboBox::activated, this, [this](int index) { engine_.setPort(portAt(index)); });
    connect(portsList_, &QComboBox::currentIndexChanged, this, [this](int index) { showPortDetails(index); });
    connect(frequency_, &QSlider::valueChanged, this, [this](int v) {
        engine_.setInterruptFrequency(v);
        label1_->setText(QString::number(v) + QStringLiteral(" Гц"));
    });
    connect(delay_, &QSlider::valueChanged, this, [this](int v) {
        engine_.setTransportDelay(v);
        label8_->setText(QString::number(v) + QStringLiteral(" сек."));
    });
    connect(aFilter_, &QSlider::valueChanged, this, [this](int v) {
        engine_.setFilterPosition(v);
        label3_->setText(formatNumber(engine_.filter().a, u"0.00"));
    });
    connect(bFilter_, &QSlider::valueChanged, this, [this](int v) {
        engine_.setFilterCycles(v);
        label4_->setText(QString::number(v));
    });
    connect(cFilter_, &QSlider::valueChanged, this, [this](int v) {
        engine_.setFilterWindow(v);
        label5_->setText(QString::number(v));
    });
    // The defaults of a fresh configuration, on the values in force, the sliders and the labels alike; the
    // port stays as chosen.
    connect(resetButton_, &QPushButton::clicked, this, [this] {
        engine_.resetPortAndFilter();
        moveSliders();
    });
    connect(okButton_, &QPushButton::clicked, this, [this] {
        engine_.savePortAndFilter();
        accept();
    });
}

void PortAndFilterDialog::moveSliders() {
    // A slider only announces a real move, so a label keeps its text when its slider already stands there;
    // it shows that same value anyway. A value beyond a slider's range is clamped and the clamped value put
    // in force by the handler.
    frequency_->setValue(engine_.interruptFrequency());
    delay_->setValue(engine_.transportDelay());
    aFilter_->setValue(static_cast<int>(std::lround(engine_.filter().a * 100)));
    bFilter_->setValue(engine_.filter().cycles);
    cFilter_->setValue(engine_.filter().window);
}

void PortAndFilterDialog::load() {
    // The list is taken afresh on every opening, so an adapter plugged in after start-up is offered too. The
    // port in force is always offered, even when it is absent or busy now.
    const QString inForce = engine_.port();
    QList<PortEntry> ports = portList ? portList() : QList<PortEntry>();
    const bool listed =
        std::any_of(ports.begin(), ports.end(), [&](const PortEntry& p) { return p.name == inForce; });
    if (!inForce.isEmpty() && !listed) {
        PortEntry absent(inForce);
        absent.listed = false;
        ports << absent;
    }
    {
        const QSignalBlocker quiet(portsList_);
        portsList_->clear();
        int current = -1;
        for (const PortEntry& port : ports) {
            if (port.name == inForce)
                current = portsList_->count();
            portsList_->addItem(itemText(port));
            portsList_->setItemData(portsList_->count() - 1, port.name, kPortNameRole);
            portsList_->setItemData(portsList_->count() - 1, detailsText(port), Qt::ToolTipRole);
        }
        portsList_->setCurrentIndex(current);
        // The open list shows each port whole.
        portsList_->view()->setMinimumWidth(portsList_->view()->sizeHintForColumn(0) + 24);
    }
    showPortDetails(portsList_->currentIndex());
    moveSliders();
}

void PortAndFilterDialog::run() {
    load();
    centreOnParent(this);
    engine_.setSettingsDialogOpen(true);
    exec();
    engine_.setSettingsDialogOpen(false);
}

// PlotterDialog

PlotterDialog::PlotterDialog(Configuration& config, ChartView& plotter, ChartView& temperature,
                             QWidget* parent)
    : QDialog(parent), config_(config), plotter_(plotter), temperature_(temperature) {
    auto* layout = new QVBoxLayout(this);

    QGroupBox* panel = group(this, layout, QStringLiteral("Панель:"));
    auto* panelRow = new QHBoxLayout(panel);
    colorPanel_ = new ColourBox("ColorPanel", QStringLiteral("Цвет фона"), panel);
    gradPlotter_ = new QCheckBox(QStringLiteral("градиет"), panel);
    gradPlotter_->setObjectName(QStringLiteral("GradPlotter"));
    gradPlotter_->setChecked(true);
    panelRow->addWidget(colorPanel_, 1);
    panelRow->addWidget(gradPlotter_);

    QGroupBox* grids = group(this, layout, QStringLiteral("Сетка:"));
    auto* gridsRow = new QHBoxLayout(grids);
    colorGrids_ = new ColourBox("ColorGrids", QStringLiteral("Цвет сетки"), grids);
    gridsRow->addWidget(colorGrids_, 1);

    auto line = [&](const QString& title, const char* colourName, const QString& hint, const char* widthName,
                    ColourBox*& colour, QSpinBox*& width) {
        QGroupBox* g = group(this, layout, title);
        auto* row = new QHBoxLayout(g);
        colour = new ColourBox(colourName, hint, g);
        width = numberBox(g, widthName, 1, 5);
        row->addWidget(colour, 1);
        row->addWidget(width);
    };
    line(QStringLiteral("Линия сигнала:"), "ColorSource", QStringLiteral("Цвет линии сигнала"), "SourceWidth",
         colorSource_, sourceWidth_);
    line(QStringLiteral("Линия производной:"), "ColorDiff", QStringLiteral("Цвет линии производной"),
         "DiffWidth", colorDiff_, diffWidth_);
    line(QStringLiteral("Линия температуры:"), "ColorTemp", QStringLiteral("Цвет линии температуры"),
         "TempWidth", colorTemp_, tempWidth_);

    auto* buttons = new QHBoxLayout;
    resetButton_ = button(this, "ResetButton", QStringLiteral("&Сброс параметров"));
    okButton_ = button(this, "OkButton", QStringLiteral("&Сохранить параметры"));
    buttons->addWidget(resetButton_);
    buttons->addWidget(okButton_);
    layout->addLayout(buttons);
    fixDialog(this, "TModul5", QStringLiteral("Установки..."));

    load(config_.settings());

    connect(colorPanel_, &ColourBox::colourChanged, this, &PlotterDialog::applyBackground);
    connect(gradPlotter_, &QCheckBox::clicked, this, &PlotterDialog::applyBackground);
    connect(colorGrids_, &ColourBox::colourChanged, this, &PlotterDialog::applyGrid);
    // Widths show at once, like the colours: the operator sees what the save button would keep.
    for (auto [box, width, series] : {std::tuple{colorSource_, sourceWidth_, Series::Signal},
                                      std::tuple{colorDiff_, diffWidth_, Series::Derivative},
                                      std::tuple{colorTemp_, tempWidth_, Series::Temperature}}) {
        connect(box, &ColourBox::colourChanged, this, [this, s = series] { applySeries(s); });
        connect(width, &QSpinBox::valueChanged, this, [this, s = series] { applySeries(s); });
    }
    connect(resetButton_, &QPushButton::clicked, this, &PlotterDialog::ResetButtonClick);
    connect(okButton_, &QPushButton::clicked, this, &PlotterDialog::OkButtonClick);
}

void PlotterDialog::load(const Settings& settings) {
    ColourBox* colours[] = {colorPanel_, colorGrids_, colorSource_, colorDiff_, colorTemp_};
    for (int i = 0; i < 5; ++i)
        colours[i]->setValue(settings.colours[static_cast<size_t>(i)]);
    QSpinBox* widths[] = {sourceWidth_, diffWidth_, tempWidth_};
    for (int i = 0; i < 3; ++i) {
        const QSignalBlocker quiet(widths[i]);
        widths[i]->setValue(settings.sizes[static_cast<size_t>(i)]);
    }
}

void PlotterDialog::setGradient(bool on) {
    gradPlotter_->setChecked(on);
}

void PlotterDialog::openFromSettings() {
    load(config_.settings());
    showBeside(this);
}

void PlotterDialog::applyBackground() {
    const QColor c = colorPanel_->colour();
    const bool gradient = gradPlotter_->isChecked();
    plotter_.setBackground(c, gradient);
    temperature_.setBackground(c, gradient);
}

void PlotterDialog::applyGrid() {
    plotter_.setGridColour(colorGrids_->colour());
    temperature_.setGridColour(colorGrids_->colour());
}

void PlotterDialog::applySeries(Series series) {
    ChartView& chart = series == Series::Temperature ? temperature_ : plotter_;
    ColourBox* colour = series == Series::Signal       ? colorSource_
                        : series == Series::Derivative ? colorDiff_
                                                       : colorTemp_;
    QSpinBox* width = series == Series::Signal       ? sourceWidth_
                      : series == Series::Derivative ? diffWidth_
                                                     : tempWidth_;
    chart.setSeriesColour(series, colour->colour());
    chart.setSeriesWidth(series, width->value());
}

void PlotterDialog::OkButtonClick() {
    Settings& s = config_.settings();
    const ColourBox* colours[] = {colorPanel_, colorGrids_, colorSource_, colorDiff_, colorTemp_};
    for (int i = 0; i < 5; ++i)
        s.colours[static_cast<size_t>(i)] = colours[i]->value();
    s.sizes[0] = sourceWidth_->value();
    s.sizes[1] = diffWidth_->value();
    s.sizes[2] = tempWidth_->value();
    config_.writePlotterLines(gradPlotter_->isChecked(), s.colours, s.sizes);
    hide();
}

void PlotterDialog::ResetButtonClick() {
    // The settings themselves return to the defaults; the configuration lines only when saved.
    const Settings defaults;
    Settings& s = config_.settings();
    for (size_t i = 0; i < 5; ++i)
        s.colours[i] = defaults.colours[i];
    for (size_t i = 0; i < 3; ++i)
        s.sizes[i] = defaults.sizes[i];
    gradPlotter_->setChecked(true);
    load(s);
    applyBackground();
    applyGrid();
    for (Series series : {Series::Signal, Series::Derivative, Series::Temperature})
        applySeries(series);
}

// TableDialog

TableDialog::TableDialog(Configuration& config, MainWindow& window, QWidget* parent)
    : QDialog(parent), config_(config), window_(window) {
    auto* layout = new QVBoxLayout(this);

    QGroupBox* panel = group(this, layout, QStringLiteral("Панель:"));
    auto* panelRow = new QHBoxLayout(panel);
    colorTP_ = new ColourBox("ColorTP", QStringLiteral("Цвет фона"), panel);
    panelRow->addWidget(colorTP_, 1);

    QGroupBox* text = group(this, layout, QStringLiteral("Текст:"));
    auto* textRow = new QHBoxLayout(text);
    tpColorText_ = new ColourBox("TPColorText", QStringLiteral("Цвет текста"), text);
    tpFontWidth_ = numberBox(text, "TPFontWidth", 8, 10, QStringLiteral("Размер шрифта"));
    // Arrows only: a typed size could leave the range the bar heights are made for.
    if (auto* edit = tpFontWidth_->findChild<QLineEdit*>())
        edit->setReadOnly(true);
    textRow->addWidget(tpColorText_, 1);
    textRow->addWidget(tpFontWidth_);

    auto* buttons = new QHBoxLayout;
    resetButton_ = button(this, "ResetButton", QStringLiteral("&Сброс параметров"));
    okButton_ = button(this, "OkButton", QStringLiteral("&Сохранить установки"));
    buttons->addWidget(resetButton_);
    buttons->addWidget(okButton_);
    layout->addLayout(buttons);
    fixDialog(this, "TModul6", QStringLiteral("Установки..."));

    load(config_.settings());

    connect(colorTP_, &ColourBox::colourChanged, this,
            [this](const QColor& c) { window_.setTableBackground(c); });
    connect(tpColorText_, &ColourBox::colourChanged, this,
            [this](const QColor& c) { window_.setTableTextColour(c); });
    connect(tpFontWidth_, &QSpinBox::valueChanged, this,
            [this](int size) { window_.setTableFontSize(size); });
    connect(resetButton_, &QPushButton::clicked, this, &TableDialog::ResetButtonClick);
    connect(okButton_, &QPushButton::clicked, this, &TableDialog::OkButtonClick);
}

void TableDialog::load(const Settings& settings) {
    colorTP_->setValue(settings.colours[5]);
    tpColorText_->setValue(settings.colours[6]);
    const QSignalBlocker quiet(tpFontWidth_);
    tpFontWidth_->setValue(settings.sizes[3]);
}

void TableDialog::openFromSettings() {
    load(config_.settings());
    showBeside(this);
}

void TableDialog::OkButtonClick() {
    Settings& s = config_.settings();
    s.colours[5] = colorTP_->value();
    s.colours[6] = tpColorText_->value();
    s.sizes[3] = tpFontWidth_->value();
    config_.writeTableLines(s.colours[5], s.colours[6], s.sizes[3]);
    hide();
}

void TableDialog::ResetButtonClick() {
    Settings& s = config_.settings();
    s.colours[5] = 0x00FFFFFF;
    s.colours[6] = 0x00000000;
    s.sizes[3] = 8;
    load(s);
    window_.applyTableAppearance(s.colours[5], s.colours[6], s.sizes[3]);
}

} // namespace lorimet
