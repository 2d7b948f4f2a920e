// The main window: layout, menus, toolbar, front panel and the commands the window owns.
#include "app/MainWindow.h"

#include "app/ChartView.h"
#include "app/Colours.h"
#include "app/ContactsWindow.h"
#include "app/HelpCommand.h"
#include "app/MessageWindow.h"
#include "app/PanelCommands.h"
#include "app/Pictures.h"
#include "app/ProtocolListModel.h"
#include "app/ReportTableModel.h"
#include "app/TableColumnFitter.h"
#include "app/TrayIcon.h"
#include "app/VersionWindow.h"
#include "config/Configuration.h"
#include "engine/Engine.h"
#include "engine/Texts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProxyStyle>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace lorimet {
namespace {

// Desktop styles such as Fusion open a combo box as a pop-up as wide as its widest item, which means
// measuring every line of the day each time the list opens (seconds by the evening). The plain drop-down list
// below the box, as on Windows, only lays out the lines on the screen.
class DropDownListStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QStyle* dropDownListStyle() {
    // One for the program, owned by the application: a widget does not own the style it is given.
    static QPointer<QStyle> style;
    if (style.isNull()) {
        style = new DropDownListStyle;
        style->setParent(qApp);
    }
    return style;
}

const QColor kBacklightOn(0xC0, 0xDC, 0xC0);  // clMoneyGreen
const QColor kBacklightOff(0xA0, 0xA0, 0xA4); // clMedGray

QLabel* fixedLabel(QWidget* parent, const char* name, const QRect& geometry, Qt::Alignment alignment) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    return label;
}

} // namespace

MainWindow::MainWindow(Configuration& config, QWidget* parent) : QMainWindow(parent), config_(config) {
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("ВОРНЕЛ: ЛОРИМЕТ"));
    setWindowIcon(applicationIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    resize(679, 559);

    buildMenus();
    buildToolbar();

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    panel5_ = new QWidget(central);
    panel5_->setObjectName(QStringLiteral("Panel5"));
    panel5_->setFixedHeight(21);
    protocolLabel_ = new QLabel(QStringLiteral("Протокол данных "), panel5_);
    protocolLabel_->setObjectName(QStringLiteral("Label1"));
    QFont bold = protocolLabel_->font();
    bold.setBold(true);
    protocolLabel_->setFont(bold);
    protocolLabel_->setGeometry(0, 2, 239, 17);
    protocolLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    protocol_ = new QComboBox(panel5_);
    protocol_->setObjectName(QStringLiteral("Protocol"));
    protocol_->setMaxVisibleItems(27);
    protocolModel_ = new ProtocolListModel(protocol_);
    protocol_->setModel(protocolModel_);
    if (auto* view = qobject_cast<QListView*>(protocol_->view()))
        view->setUniformItemSizes(true); // a day of lines opens at once
    protocol_->setStyle(dropDownListStyle());
    auto* protocolRow = new QHBoxLayout(panel5_);
    protocolRow->setContentsMargins(0, 0, 0, 0);
    protocolRow->addSpacing(239);
    protocolRow->addWidget(protocol_, 1);
    column->addWidget(panel5_);

    auto* middle = new QHBoxLayout;
    middle->setSpacing(0);
    panel2_ = new QWidget(central);
    panel2_->setObjectName(QStringLiteral("Panel2"));
    panel2_->setFixedWidth(240);
    buildFrontPanel(panel2_);
    middle->addWidget(panel2_);

    auto* panel6 = new QWidget(central);
    panel6->setObjectName(QStringLiteral("Panel6"));
    auto* right = new QVBoxLayout(panel6);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    buildCharts(panel6);
    right->addWidget(hSplitter_, 1);

    panel3_ = new QWidget(panel6);
    panel3_->setObjectName(QStringLiteral("Panel3"));
    panel3_->setFixedHeight(20);
    QFont resultsFont = panel3_->font();
    resultsFont.setPixelSize(11);
    panel3_->setFont(resultsFont);
    auto* results = new QHBoxLayout(panel3_);
    results->setContentsMargins(0, 0, 0, 0);
    results->setSpacing(1);
    const std::array<std::pair<const char*, int>, 11> panels = {{{"dS=", 25},
                                                                 {"", 50},
                                                                 {"S'max=", 45},
                                                                 {"", 50},
                                                                 {"БПК= ", 40},
                                                                 {"", 50},
                                                                 {"БПК'=", 40},
                                                                 {"", 50},
                                                                 {"ОТ=", 30},
                                                                 {"", 50},
                                                                 {"", 50}}};
    for (size_t k = 0; k < panels.size(); ++k) {
        auto* label = new QLabel(QString::fromUtf8(panels[k].first), panel3_);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(k));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        const bool caption = k % 2 == 0 && k < 10;
        label->setAlignment(caption || k == 10
                                ? Qt::AlignRight | Qt::AlignVCenter
                                : (k == 9 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter));
        // The designed widths were made for a narrower face: a caption gets the room its text needs.
        label->setFixedWidth(std::max(panels[k].second, label->sizeHint().width()));
        results->addWidget(label);
        statusPanel_[k] = label;
    }
    results->addStretch(1);
    right->addWidget(panel3_);
    middle->addWidget(panel6, 1);
    column->addLayout(middle, 1);
    // A line of its own over the status bar, shown only while the day file cannot be written: the results
    // of the day are then in memory only. Across the whole window it fits beside nothing else.
    dayFileWarning_ = new QLabel(central);
    dayFileWarning_->setObjectName(QStringLiteral("DayFileWarning"));
    QFont warningFont = dayFileWarning_->font();
    warningFont.setBold(true);
    warningFont.setPixelSize(13);
    dayFileWarning_->setFont(warningFont);
    dayFileWarning_->setAlignment(Qt::AlignCenter);
    dayFileWarning_->setWordWrap(true);
    dayFileWarning_->setStyleSheet(QStringLiteral("color: #C00000; background: #FFF0F0; padding: 2px"));
    dayFileWarning_->setToolTip(QStringLiteral("Результаты дня есть только в памяти программы: файл дня в "
                                               "папке Temp не удалось записать."));
    dayFileWarning_->hide();
    column->addWidget(dayFileWarning_);
    // The journal's trouble in a line of its own, in amber: the results are safe in the day file, but the
    // permanent record is not being kept as it should.
    journalWarning_ = new QLabel(central);
    journalWarning_->setObjectName(QStringLiteral("JournalWarning"));
    journalWarning_->setFont(warningFont);
    journalWarning_->setAlignment(Qt::AlignCenter);
    journalWarning_->setWordWrap(true);
    journalWarning_->setStyleSheet(QStringLiteral("color: #7A4A00; background: #FFF4D6; padding: 2px"));
    journalWarning_->hide();
    column->addWidget(journalWarning_);
    setCentralWidget(central);

    infoPanel_ = new QLabel(this);
    infoPanel_->setObjectName(QStringLiteral("InfoPanelText"));
    QFont statusFont = infoPanel_->font();
    statusFont.setBold(true);
    statusFont.setPixelSize(13);
    infoPanel_->setFont(statusFont);
    infoPanel_->setAlignment(Qt::AlignCenter);
    infoPanel_->setMinimumWidth(575);
    statusBar()->setObjectName(QStringLiteral("InfoPanel"));
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(infoPanel_, 1);

    messageWindow_ = new MessageWindow(this);
    trayIcon_ = new TrayIcon(this);
    auto* trayMenu = new QMenu(this);
    trayMenu->setObjectName(QStringLiteral("TrayMenu"));
    QAction* showWindow =
        trayMenu->addAction(QStringLiteral("&Восстановить"), this, &MainWindow::ShowWindowClick);
    showWindow->setObjectName(QStringLiteral("ShowWindow"));
    trayMenu->setDefaultAction(showWindow);
    trayMenu->addAction(QStringLiteral("&Свернуть"), this, &MainWindow::HideWindowClick)
        ->setObjectName(QStringLiteral("HideWindow"));
    trayMenu
        ->addAction(QStringLiteral("&Журнал..."), this,
                    [this] {
                        if (journalRequested)
                            journalRequested();
                    })
        ->setObjectName(QStringLiteral("TrayJournal"));
    trayMenu->addSeparator();
    trayMenu->addAction(QStringLiteral("&Выход"), this, &MainWindow::ExitProgramClick)
        ->setObjectName(QStringLiteral("ExitWindow"));
    trayIcon_->setContextMenu(trayMenu);
    connect(trayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            TrayIconClick();
    });
    trayIcon_->show();
    // Save, copy and print of the table or the chart bind themselves to their menu and context items.
    new PanelCommands(*this, config_, [this] { return engine_; });
    updateViewTexts();
}

MainWindow::~MainWindow() {
    // The engine whose table and lines the models show goes first; closing the window asks the header for
    // its texts again, and must not read them from the engine's remains.
    tableModel_->setSource(nullptr);
    protocolModel_->setSource(nullptr);
}

QAction* MainWindow::addCommand(QMenu* menu, const char* name, const QString& caption,
                                const QKeySequence& shortcut) {
    auto* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = bar->addMenu(QStringLiteral("&Файл"));
    file->setObjectName(QStringLiteral("FileMenu"));
    commands_[size_t(Command::Open)] =
        addCommand(file, "Open", QStringLiteral("&Открыть..."), Qt::CTRL | Qt::Key_O);
    QMenu* save = file->addMenu(QStringLiteral("&Сохранить ..."));
    save->setObjectName(QStringLiteral("Save"));
    commands_[size_t(Command::SaveProtocol)] =
        addCommand(save, "SaveProtocol", QStringLiteral("&Протокол"), Qt::CTRL | Qt::Key_D);
    saveChart_ = addCommand(save, "SaveChart", QStringLiteral("График"), Qt::CTRL | Qt::Key_B);
    addCommand(file, "Print", QStringLiteral("&Печатать..."), Qt::CTRL | Qt::Key_P);
    connect(addCommand(file, "Journal", QStringLiteral("&Журнал..."), Qt::CTRL | Qt::SHIFT | Qt::Key_J),
            &QAction::triggered, this, [this] {
                if (journalRequested)
                    journalRequested();
            });
    file->addSeparator();
    connect(addCommand(file, "ExitProgram", QStringLiteral("&Выход"), Qt::CTRL | Qt::Key_Z),
            &QAction::triggered, this, &MainWindow::ExitProgramClick);
    // The save item names what is shown whenever the menu opens.
    connect(file, &QMenu::aboutToShow, this, &MainWindow::updateViewTexts);
    connect(save, &QMenu::aboutToShow, this, &MainWindow::updateViewTexts);

    QMenu* operations = bar->addMenu(QStringLiteral("&Операции"));
    operations->setObjectName(QStringLiteral("Operations"));
    QMenu* link = operations->addMenu(QStringLiteral("&Связь"));
    link->setObjectName(QStringLiteral("SetProtocol"));
    commands_[size_t(Command::Connect)] =
        addCommand(link, "PGo", QStringLiteral("Установить"), Qt::CTRL | Qt::Key_G);
    commands_[size_t(Command::Disconnect)] =
        addCommand(link, "PStop", QStringLiteral("Завершить"), Qt::CTRL | Qt::Key_E);
    operations->addSeparator();
    commands_[size_t(Command::UpperPoint)] =
        addCommand(operations, "OxyUpCalibration", QStringLiteral("&Калибровка В.Т."), Qt::CTRL | Qt::Key_U);
    commands_[size_t(Command::Calibration)] =
        addCommand(operations, "Calibrations", QStringLiteral("&Калибровка по ГСО"), Qt::CTRL | Qt::Key_K);
    commands_[size_t(Command::Measurement)] =
        addCommand(operations, "Measurement", QStringLiteral("&Анализ пробы"), Qt::CTRL | Qt::Key_A);
    commands_[size_t(Command::Toxicity)] =
        addCommand(operations, "ToxiTest", QStringLiteral("&Тест на токсичность"), Qt::CTRL | Qt::Key_L);
    operations->addSeparator();
    addCommand(operations, "Clean", QStringLiteral("&Очистить..."), Qt::CTRL | Qt::Key_J);
    addCommand(operations, "ChartCopy", QStringLiteral("&Копировать..."), Qt::CTRL | Qt::Key_C);
    operations->addSeparator();
    resTable_ =
        addCommand(operations, "ResTable", QStringLiteral("&Таблица отчёта..."), Qt::CTRL | Qt::Key_T);
    resTable_->setCheckable(true);
    connect(resTable_, &QAction::triggered, this, [this] {
        resTable_->setChecked(tableShown()); // the switch sets the check itself
        ResTableClick();
    });

    QMenu* settings = bar->addMenu(QStringLiteral("&Настройки"));
    settings->setObjectName(QStringLiteral("Settings"));
    commands_[size_t(Command::PortSettings)] =
        addCommand(settings, "COMSettings", QStringLiteral("&COM порт"), Qt::CTRL | Qt::Key_M);
    settings->addSeparator();
    auto switchItem = [&](const char* name, const QString& caption, const QKeySequence& key,
                          void (MainWindow::*slot)()) {
        QAction* a = addCommand(settings, name, caption, key);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, a, slot] {
            a->setChecked(!a->isChecked()); // the handler decides from the state before the click
            (this->*slot)();
        });
        return a;
    };
    tools_ =
        switchItem("Tools", QStringLiteral("&Инструменты"), Qt::CTRL | Qt::Key_S, &MainWindow::ToolsClick);
    screen_ = switchItem("Screen", QStringLiteral("&Прибор"), Qt::CTRL | Qt::Key_V, &MainWindow::ScreenClick);
    valuesString_ = switchItem("ValuesString", QStringLiteral("&Параметры"), Qt::CTRL | Qt::Key_X,
                               &MainWindow::ValuesStringClick);
    // Ctrl+H belongs to the protocol bar; the help item shows no shortcut of its own.
    protocolPanel_ = switchItem("ProtocolPanel", QStringLiteral("&Протокол "), Qt::CTRL | Qt::Key_H,
                                &MainWindow::ProtocolPanelClick);
    settings->addSeparator();
    startScreen_ = switchItem("StartScreen", QStringLiteral("&Заставка"), Qt::CTRL | Qt::Key_R,
                              &MainWindow::StartScreenClick);

    QMenu* help = bar->addMenu(QStringLiteral("&Справка"));
    help->setObjectName(QStringLiteral("Help"));
    connect(addCommand(help, "HelpProgramm", QStringLiteral("&Помощь"), {}), &QAction::triggered, this,
            &MainWindow::HelpProgrammClick);
    help->addSeparator();
    connect(addCommand(help, "InfoProgramm", QStringLiteral("&Инфо версии"), Qt::CTRL | Qt::Key_I),
            &QAction::triggered, this, &MainWindow::InfoProgrammClick);
    connect(addCommand(help, "Contacts", QStringLiteral("&Контакты..."), Qt::CTRL | Qt::Key_Q),
            &QAction::triggered, this, &MainWindow::ContactsClick);

    panelMenu_ = new QMenu(this);
    panelMenu_->setObjectName(QStringLiteral("PanelMenu"));
    namePanel_ = panelMenu_->addAction(QStringLiteral("Графопостроитель"));
    namePanel_->setObjectName(QStringLiteral("NamePanel"));
    panelMenu_->setDefaultAction(namePanel_);
    panelMenu_->addSeparator();
    panelMenu_->addAction(QStringLiteral("&Установки"))->setObjectName(QStringLiteral("SetUpPanel"));
    connect(panelMenu_->addAction(QStringLiteral("&Очистить")), &QAction::triggered, this, [this] {
        if (engine_)
            engine_->CleanClick();
    });
    panelMenu_->actions().last()->setObjectName(QStringLiteral("CleanPanel"));
    panelMenu_->addAction(QStringLiteral("&Копировать"))->setObjectName(QStringLiteral("CopyPanel"));
    panelMenu_->addAction(QStringLiteral("&Сохранить"))->setObjectName(QStringLiteral("SavePanel"));
    panelMenu_->addAction(QStringLiteral("&Печатать"))->setObjectName(QStringLiteral("PrintPanel"));

    for (QAction* a : commands_)
        if (a)
            a->setEnabled(false);
    commands_[size_t(Command::Open)]->setEnabled(true);
    commands_[size_t(Command::Connect)]->setEnabled(true);
    commands_[size_t(Command::PortSettings)]->setEnabled(true);
}

QToolButton* MainWindow::toolButton(QAction* action, const char* name, const QString& hint,
                                    const QString& icon) {
    toolPanel_->addAction(action);
    auto* button = qobject_cast<QToolButton*>(toolPanel_->widgetForAction(action));
    button->setObjectName(QString::fromLatin1(name));
    // The hint lives on the action: the button takes its action's hint again whenever the action changes
    // (enabled, checked, caption), so a hint given to the button alone would soon be lost.
    action->setToolTip(hint);
    action->setIcon(toolbarIcon(icon)); // the button follows its action, the icon included
    button->setFixedSize(26, 25);
    return button;
}

void MainWindow::buildToolbar() {
    toolPanel_ = new QToolBar(this);
    toolPanel_->setObjectName(QStringLiteral("ToolPanel"));
    toolPanel_->setToolTip(QStringLiteral("Панель инструментов"));
    toolPanel_->setMovable(false);
    toolPanel_->setFixedHeight(29);
    toolPanel_->setIconSize(QSize(20, 20));
    addToolBar(Qt::TopToolBarArea, toolPanel_);
    addToolBarBreak();
    auto find = [this](const char* name) {
        return menuBar()->findChild<QAction*>(QString::fromLatin1(name));
    };
    toolButton(commands_[size_t(Command::Open)], "OpenlButton", QStringLiteral("Открыть файл протокола"),
               "open");
    toolButton(commands_[size_t(Command::SaveProtocol)], "SaveButton",
               QStringLiteral("Сохранить файл протокола"), "save");
    toolPanel_->addSeparator();
    toolButton(commands_[size_t(Command::Connect)], "ConnectButton", QStringLiteral("Установить связь"),
               "connect");
    toolButton(commands_[size_t(Command::Disconnect)], "DisconnectButton", QStringLiteral("Завершить связь"),
               "disconnect");
    toolPanel_->addSeparator();
    toolButton(commands_[size_t(Command::UpperPoint)], "OxyUpCalibrationButton",
               QStringLiteral("Калибровка верхней точки"), "upperpoint");
    toolButton(commands_[size_t(Command::Calibration)], "CalibrationButton",
               QStringLiteral("Калибровка по ГСО"), "calibration");
    toolButton(commands_[size_t(Command::Measurement)], "MeasurementButton", QStringLiteral("Анализ пробы"),
               "measurement");
    toolButton(commands_[size_t(Command::Toxicity)], "ToxiButton", QStringLiteral("Тест на токсичность"),
               "toxicity");
    toolPanel_->addSeparator();
    clearButton_ = toolButton(find("Clean"), "ClearButton", QString(), "clear");
    copyButton_ = toolButton(find("ChartCopy"), "CopyButton", QString(), "copy");
    savePanelButton_ = toolButton(saveChart_, "SavePanelButton", QString(), "savepanel");
    printButton_ = toolButton(find("Print"), "PrintButton", QString(), "print");
    tableButton_ = toolButton(resTable_, "TableButton", QStringLiteral("Таблица отчёта"), "table");
    toolPanel_->addSeparator();
    toolButton(commands_[size_t(Command::PortSettings)], "ComPortButton",
               QStringLiteral("Настроить COM порт"), "comport");
    auto* setUp = new QAction(this);
    setUp->setObjectName(QStringLiteral("SetUpPanelAction"));
    settingsButton_ = toolButton(setUp, "SettingsButton", QString(), "settings");
    toolPanel_->addSeparator();
    toolButton(find("HelpProgramm"), "HelpButton", QStringLiteral("Помощь"), "help");
}

void MainWindow::buildFrontPanel(QWidget* parent) {
    auto* screen = new QFrame(parent);
    screen->setObjectName(QStringLiteral("ScreenPanel"));
    screen->setFrameShape(QFrame::Panel);
    screen->setFrameShadow(QFrame::Sunken);
    screen->setAutoFillBackground(true);
    QPalette white = screen->palette();
    white.setColor(QPalette::Window, Qt::white);
    screen->setPalette(white);
    screen->setCursor(Qt::PointingHandCursor);
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(screen);

    auto* pribor = new QLabel(screen);
    pribor->setObjectName(QStringLiteral("Pribor"));
    pribor->setPixmap(frontPanelPicture());
    pribor->setGeometry(QRect(QPoint(0, 0), kFrontPanelSize));

    indicator_ = new QFrame(screen);
    indicator_->setObjectName(QStringLiteral("Indicator"));
    indicator_->setGeometry(kIndicatorRect);
    indicator_->setAutoFillBackground(true);
    setIndicatorColour();
    signalLabel_ = fixedLabel(indicator_, "SignalLabel", QRect(0, 18, 133, 30), Qt::AlignCenter);
    QFont big = signalLabel_->font();
    big.setBold(true);
    big.setPixelSize(kReadingPixels);
    signalLabel_->setFont(big);
    QPalette navy = signalLabel_->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 0x80));
    signalLabel_->setPalette(navy);
    signalImage_ =
        fixedLabel(indicator_, "SignalImage", QRect(6, 2, 35, 15), Qt::AlignLeft | Qt::AlignVCenter);
    signalImage_->setPixmap(oxyPicture());
    tempLabel_ = fixedLabel(indicator_, "TempLabel", QRect(60, 2, 68, 15), Qt::AlignRight | Qt::AlignVCenter);
    QFont small = tempLabel_->font();
    small.setBold(true);
    small.setItalic(true);
    small.setPixelSize(12);
    tempLabel_->setFont(small);
    tempLabel_->setPalette(navy);
    timeLabel_ = fixedLabel(indicator_, "TimeLabel", QRect(4, 56, 62, 14), Qt::AlignLeft | Qt::AlignVCenter);
    dateLabel_ =
        fixedLabel(indicator_, "DateLabel", QRect(70, 56, 59, 14), Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel* l : {timeLabel_, dateLabel_}) {
        QFont f = l->font();
        f.setPixelSize(10);
        l->setFont(f);
    }
    logotip_ = fixedLabel(indicator_, "Logotip", QRect(4, 4, 124, 58), Qt::AlignCenter);
    logotip_->setPixmap(displayLogo());
    indicatorOff_ = new QFrame(screen);
    indicatorOff_->setObjectName(QStringLiteral("IndicatorOff"));
    indicatorOff_->setGeometry(kIndicatorRect);
    indicatorOff_->setAutoFillBackground(true);
    QPalette grey = indicatorOff_->palette();
    grey.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    indicatorOff_->setPalette(grey);
    indicatorOff_->hide();

    auto spot = [screen](const char* name, const QRect& where, const QString& hint) {
        auto* button = new QToolButton(screen);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(where);
        button->setAutoRaise(true);
        button->setToolTip(hint);
        button->setStyleSheet(QStringLiteral("QToolButton { background: transparent; border: none; }"));
        return button;
    };
    lumine_ = spot("Lumine", kLumineSpot, QString());
    powerButton_ = spot("PowerButton", kPowerSpot, QString());
    QToolButton* reload =
        spot("SetUpReload", kReloadSpot, QStringLiteral("Восстановить заводские установки"));
    QToolButton* saveSpot = spot("SetUpSave", kSaveSpot, QStringLiteral("Сохранить заводские установки"));
    connect(lumine_, &QToolButton::clicked, this, &MainWindow::LumineClick);
    connect(powerButton_, &QToolButton::clicked, this, &MainWindow::PowerButtonClick);
    connect(reload, &QToolButton::clicked, this, [this] {
        if (engine_)
            engine_->SetUpReloadClick();
    });
    connect(saveSpot, &QToolButton::clicked, this, [this] {
        if (engine_)
            engine_->SetUpSaveClick();
    });
    setFrontPanelLinked(false);
}

void MainWindow::buildCharts(QWidget* parent) {
    hSplitter_ = new QSplitter(Qt::Vertical, parent);
    hSplitter_->setObjectName(QStringLiteral("HSplitter"));
    hSplitter_->setHandleWidth(1);
    hSplitter_->setChildrenCollapsible(false);
    plotter_ = new ChartView(ChartView::Kind::Signal, hSplitter_);
    temperaturePlotter_ = new ChartView(ChartView::Kind::Temperature, hSplitter_);
    hSplitter_->addWidget(plotter_);
    hSplitter_->addWidget(temperaturePlotter_);
    hSplitter_->setStretchFactor(0, 1);
    hSplitter_->setSizes({300, 100});

    table_ = new QTableView(plotter_);
    table_->setObjectName(QStringLiteral("Table"));
    tableModel_ = new ReportTableModel(table_);
    table_->setModel(tableModel_);
    columnFitter_ = std::make_unique<TableColumnFitter>(*table_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(17);
    table_->setFrameShape(QFrame::NoFrame);
    table_->hide();
    // The table lies over the signal chart and fills it.
    plotter_->installEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(plotter_), static_cast<QWidget*>(table_)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint& at) { panelMenu_->popup(w->mapToGlobal(at)); });
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == plotter_ && event->type() == QEvent::Resize)
        table_->setGeometry(plotter_->rect());
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::tableShown() const {
    return table_ && !table_->isHidden();
}

QAction* MainWindow::action(Command command) const {
    return commands_[static_cast<size_t>(command)];
}

void MainWindow::updateViewTexts() {
    const bool t = tableShown();
    printButton_->defaultAction()->setToolTip(t ? QStringLiteral("Печатать таблицу")
                                                : QStringLiteral("Печатать график"));
    clearButton_->defaultAction()->setToolTip(t ? QStringLiteral("Очистить таблицу")
                                                : QStringLiteral("Очистить график"));
    copyButton_->defaultAction()->setToolTip(t ? QStringLiteral("Копировать таблицу")
                                               : QStringLiteral("Копировать график"));
    savePanelButton_->defaultAction()->setToolTip(t ? QStringLiteral("Сохранить таблицу")
                                                    : QStringLiteral("Сохранить график"));
    settingsButton_->defaultAction()->setToolTip(t ? QStringLiteral("Установки таблицы")
                                                   : QStringLiteral("Установки графопостроителя"));
    saveChart_->setText(t ? QStringLiteral("Таблицу") : QStringLiteral("График"));
    powerButton_->setToolTip(powerOn_ ? QStringLiteral("Выключить прибор")
                                      : QStringLiteral("Включить прибор"));
    lumine_->setToolTip(backlightOn_ ? QStringLiteral("Выключить подсветку индикатора")
                                     : QStringLiteral("Включить подсветку индикатора"));
}

void MainWindow::ResTableClick() {
    if (!tableShown()) {
        namePanel_->setText(QStringLiteral("Таблица отчёта"));
        table_->clearSelection();
        temperaturePlotter_->hide();
        table_->setGeometry(plotter_->rect());
        table_->show();
        table_->raise();
        resTable_->setChecked(true);
    } else {
        namePanel_->setText(QStringLiteral("Графопостроитель"));
        table_->hide();
        resTable_->setChecked(false);
        temperaturePlotter_->show();
    }
    tableButton_->setChecked(resTable_->isChecked());
    updateViewTexts();
}

void MainWindow::setIndicatorColour() {
    QPalette p = indicator_->palette();
    p.setColor(QPalette::Window, backlightOn_ ? kBacklightOn : kBacklightOff);
    indicator_->setPalette(p);
}

void MainWindow::PowerButtonClick() {
    if (powerOn_) {
        indicatorOff_->show();
        indicatorOff_->raise();
        powerOn_ = false;
    } else {
        backlightOn_ = false;
        setIndicatorColour();
        indicatorOff_->hide();
        powerOn_ = true;
    }
    updateViewTexts();
}

void MainWindow::LumineClick() {
    backlightOn_ = !backlightOn_;
    setIndicatorColour();
    updateViewTexts();
}

void MainWindow::setPanelSwitch(QWidget* panel, QAction* item, int line, bool on) {
    if (panel)
        panel->setVisible(on);
    item->setChecked(on);
    config_.writeSwitch(line, on);
}

void MainWindow::ToolsClick() {
    setPanelSwitch(toolPanel_, tools_, Configuration::ToolsLine, !tools_->isChecked());
}
void MainWindow::ScreenClick() {
    setPanelSwitch(panel2_, screen_, Configuration::ScreenLine, panel2_->isHidden());
}
void MainWindow::ValuesStringClick() {
    setPanelSwitch(panel3_, valuesString_, Configuration::ValuesLine, panel3_->isHidden());
}
void MainWindow::ProtocolPanelClick() {
    setPanelSwitch(panel5_, protocolPanel_, Configuration::ProtocolLine, panel5_->isHidden());
}
void MainWindow::StartScreenClick() {
    setPanelSwitch(nullptr, startScreen_, Configuration::SplashLine, !startScreen_->isChecked());
}

void MainWindow::HelpProgrammClick() {
    std::function<bool(const QUrl&)> open = openHelpUrl;
    if (!open)
        open = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    if (openHelp(helpPlaces, open))
        return;
    QApplication::beep();
    QMessageBox box(QMessageBox::Critical, texts::kError, QStringLiteral("Файл помощи - не найден !"),
                    QMessageBox::Ok, this, Qt::Dialog | Qt::WindowStaysOnTopHint);
    box.exec();
}

void MainWindow::InfoProgrammClick() {
    ShowVersionInfo(this);
}

void MainWindow::ContactsClick() {
    // The start-up makes the Contacts window as a child of this one; a window used on its own makes it here.
    auto* contacts = findChild<ContactsWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!contacts)
        contacts = new ContactsWindow(this);
    contacts->showContacts();
}

void MainWindow::TrayIconClick() {
    if (isVisible())
        HideWindowClick();
    else
        ShowWindowClick();
}

void MainWindow::HideWindowClick() {
    showMinimized();
    hide();
}

void MainWindow::ShowWindowClick() {
    showNormal();
    raise();
    activateWindow();
}

bool MainWindow::mayEnd() {
    if (closing_)
        return true;
    if (askingToEnd_)
        return false; // the question is open already; its answer decides
    askingToEnd_ = true;
    const bool agreed = !engine_ || engine_->confirmExit();
    askingToEnd_ = false;
    if (!agreed)
        return false;
    closing_ = true;
    if (closeRequested)
        closeRequested();
    return true;
}

void MainWindow::ExitProgramClick() {
    if (mayEnd())
        close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!mayEnd()) {
        event->ignore();
        return;
    }
    trayIcon_->hide();
    messageWindow_->hide();
    event->accept();
    QApplication::quit();
}

} // namespace lorimet
