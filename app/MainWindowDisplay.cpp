// The main window as the engine's display.
#include "app/ChartView.h"
#include "app/Colours.h"
#include "app/MainWindow.h"
#include "app/MessageWindow.h"
#include "app/Pictures.h"
#include "app/ProtocolListModel.h"
#include "app/ReportTableModel.h"
#include "app/TableColumnFitter.h"
#include "app/TrayIcon.h"
#include "config/Configuration.h"
#include "engine/Engine.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>

namespace lorimet {

void MainWindow::attach(Engine& engine) {
    engine_ = &engine;
    protocolModel_->setSource(&engine.protocolLines());
    tableModel_->setSource(&engine.table());
    columnFitter_->invalidate();
    auto forward = [this](const char* name, std::function<void(Engine&)> command) {
        QAction* a = findChild<QAction*>(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, [this, command] { command(*engine_); });
    };
    forward("PGo", &Engine::PGoClick);
    forward("PStop", &Engine::PStopClick);
    forward("OxyUpCalibration", &Engine::OxyUpCalibrationClick);
    forward("Calibrations", &Engine::CalibrationsClick);
    forward("Measurement", &Engine::MeasurementClick);
    forward("ToxiTest", &Engine::ToxiTestClick);
    forward("Clean", &Engine::CleanClick);
    forward("Open", &Engine::OpenClick);
    forward("SaveProtocol", &Engine::SaveProtocolClick);
    connect(action(Command::PortSettings), &QAction::triggered, this, [this] {
        if (portSettingsRequested)
            portSettingsRequested();
    });
    for (const char* name : {"SetUpPanelAction", "SetUpPanel"})
        connect(findChild<QAction*>(QString::fromLatin1(name)), &QAction::triggered, this, [this] {
            if (setUpPanelRequested)
                setUpPanelRequested();
        });
    messageWindow_->cancelClicked = [this] { engine_->CanselButtonClick(); };
    for (int c = 0; c < kCommandCount; ++c)
        setCommandEnabled(static_cast<Command>(c), engine.isEnabled(static_cast<Command>(c)));
    tableChanged();
}

void MainWindow::applyConfiguration() {
    const Settings& s = config_.settings();
    panel2_->setVisible(config_.isSwitchOn(Configuration::ScreenLine));
    panel3_->setVisible(config_.isSwitchOn(Configuration::ValuesLine));
    toolPanel_->setVisible(config_.isSwitchOn(Configuration::ToolsLine));
    panel5_->setVisible(config_.isSwitchOn(Configuration::ProtocolLine));
    screen_->setChecked(config_.isSwitchOn(Configuration::ScreenLine));
    valuesString_->setChecked(config_.isSwitchOn(Configuration::ValuesLine));
    tools_->setChecked(config_.isSwitchOn(Configuration::ToolsLine));
    protocolPanel_->setChecked(config_.isSwitchOn(Configuration::ProtocolLine));
    startScreen_->setChecked(config_.isSwitchOn(Configuration::SplashLine));

    const bool gradient = config_.isSwitchOn(Configuration::GradientLine);
    for (ChartView* chart : {plotter_, temperaturePlotter_}) {
        chart->setBackground(colourFromSetting(s.colours[0]), gradient);
        chart->setGridColour(colourFromSetting(s.colours[1]));
    }
    plotter_->setSeriesColour(Series::Signal, colourFromSetting(s.colours[2]));
    plotter_->setSeriesWidth(Series::Signal, s.sizes[0]);
    plotter_->setSeriesColour(Series::Derivative, colourFromSetting(s.colours[3]));
    plotter_->setSeriesWidth(Series::Derivative, s.sizes[1]);
    temperaturePlotter_->setSeriesColour(Series::Temperature, colourFromSetting(s.colours[4]));
    temperaturePlotter_->setSeriesWidth(Series::Temperature, s.sizes[2]);

    applyTableAppearance(s.colours[5], s.colours[6], s.sizes[3]);
}

// The report table and the protocol list share their colours and font size.
void MainWindow::applyTableAppearance(quint32 background, quint32 text, int fontSize) {
    setTableBackground(colourFromSetting(background));
    setTableTextColour(colourFromSetting(text));
    setTableFontSize(fontSize);
}

void MainWindow::setTableBackground(const QColor& colour) {
    for (QWidget* w : {static_cast<QWidget*>(table_), static_cast<QWidget*>(protocol_)}) {
        QPalette p = w->palette();
        p.setColor(QPalette::Base, colour);
        w->setPalette(p);
    }
}

void MainWindow::setTableTextColour(const QColor& colour) {
    for (QWidget* w : {static_cast<QWidget*>(table_), static_cast<QWidget*>(protocol_)}) {
        QPalette p = w->palette();
        p.setColor(QPalette::Text, colour);
        w->setPalette(p);
    }
}

void MainWindow::setTableFontSize(int points) {
    for (QWidget* w : {static_cast<QWidget*>(table_), static_cast<QWidget*>(protocol_)}) {
        QFont f(QStringLiteral("Arial"));
        f.setPointSize(points);
        w->setFont(f);
    }
    // The bar grows with the list's font and keeps its caption level with the list's text.
    panel5_->setFixedHeight(points + 13);
    protocolLabel_->move(protocolLabel_->x(), points - 4);
    columnFitter_->invalidate();
    tableChanged();
}

void MainWindow::showStatusText(int, const QString& text) {
    infoPanel_->setText(text);
}

void MainWindow::setResultPanel(int panel, const QString& text) {
    if (panel < 0 || panel >= static_cast<int>(statusPanel_.size()))
        return;
    QLabel* label = statusPanel_[static_cast<size_t>(panel)];
    label->setText(text);
    // A value wider than its panel widens it for the rest of the session rather than losing digits.
    if (const int needed = label->sizeHint().width(); needed > label->minimumWidth())
        label->setFixedWidth(needed);
}

void MainWindow::setLabelText(Label label, const QString& text) {
    switch (label) {
    case Label::Signal:
        signalLabel_->setText(text);
        fitReading();
        break;
    case Label::Temperature:
        tempLabel_->setText(text);
        break;
    case Label::Time:
        timeLabel_->setText(text);
        break;
    case Label::Date:
        dateLabel_->setText(text);
        break;
    }
}

void MainWindow::fitReading() {
    // The reading is set large; one wider than the display ("100,0 %нас.", "300,0 мг/л." in a wide face)
    // is set smaller, but never below kSmallestReading, so that it keeps clear of the display's edges.
    const QString text = signalLabel_->text();
    const int room = signalLabel_->width() - 2 * kReadingMargin;
    QFont font = signalLabel_->font();
    int pixels = kReadingPixels;
    for (; pixels > kSmallestReading; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        if (std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).width()) <= room)
            break;
    }
    font.setPixelSize(pixels);
    if (font != signalLabel_->font())
        signalLabel_->setFont(font);
}

void MainWindow::setSignalLabelVisible(bool visible) {
    // Hidden by blinking, but only while the display shows values at all.
    signalLabel_->setVisible(visible && logotip_->isHidden());
}

void MainWindow::setSignalImage(Picture picture) {
    signalImage_->setPixmap(picture == Picture::Oxy ? oxyPicture() : bpkPicture());
}

void MainWindow::setFrontPanelLinked(bool linked) {
    logotip_->setVisible(!linked);
    signalImage_->setVisible(linked);
    tempLabel_->setVisible(linked);
    signalLabel_->setVisible(linked);
}

void MainWindow::addPoint(Series series, double x, double y) {
    (series == Series::Temperature ? temperaturePlotter_ : plotter_)->addPoint(series, x, y);
}

void MainWindow::clearSeries(Series series) {
    (series == Series::Temperature ? temperaturePlotter_ : plotter_)->clearSeries(series);
    if (series == Series::Signal)
        plotter_->removeFileCurvePairs();
}

void MainWindow::setAxisMaximum(Axis axis, double maximum) {
    plotter_->setAxisMaximum(axis, maximum);
}
void MainWindow::setPlotTitle(const QStringList& lines) {
    plotter_->setTitleLines(lines);
}
void MainWindow::setAxisTitle(Axis axis, const QString& title) {
    plotter_->setAxisTitle(axis, title);
}

void MainWindow::protocolAppended(const QString&, int count) {
    protocolModel_->appended(count);
    protocol_->setCurrentIndex(count - 1);
}

void MainWindow::protocolCleared() {
    protocolModel_->reset();
    protocol_->setToolTip(QString());
}

void MainWindow::setCommandEnabled(Command command, bool enabled) {
    if (command == Command::SampleOk) {
        if (sampleOkEnabled)
            sampleOkEnabled(enabled);
        return;
    }
    if (command == Command::GsoOk) {
        if (gsoOkEnabled)
            gsoOkEnabled(enabled);
        return;
    }
    if (QAction* a = action(command))
        a->setEnabled(enabled);
}

void MainWindow::beep(BeepKind) {
    QApplication::beep();
}

void MainWindow::showMessageWindow(const MessageWindowLayout& layout) {
    messageWindow_->showLayout(layout);
}

void MainWindow::closeMessageWindow(const QString&) {
    messageWindow_->hide();
}

void MainWindow::showPromptPicture(QChar letter, int step) {
    messageWindow_->setPicture(promptPicture(letter, step));
}

void MainWindow::setTrayImageList(int index) {
    trayIcon_->setImageList(index);
}

void MainWindow::tableChanged() {
    if (!engine_)
        return;
    const ReportTable& t = engine_->table();
    const ReportTable::RowRange written = t.takeWrittenRows();
    tableModel_->update(written);
    columnFitter_->update(t, written);
}

void MainWindow::setProbeDescriptions(const QStringList& descriptions) {
    if (probeDescriptionsChanged)
        probeDescriptionsChanged(descriptions);
}

void MainWindow::setDayFileWarning(const QString& text) {
    dayFileWarning_->setText(text);
    dayFileWarning_->setVisible(!text.isEmpty());
}

void MainWindow::setJournalWarning(const QString& text, const QString& detail) {
    journalWarning_->setText(text);
    journalWarning_->setToolTip(detail);
    journalWarning_->setVisible(!text.isEmpty());
}

void MainWindow::setCalibrationAgeWarning(const QString& text) {
    auto* note = statusBar()->findChild<QLabel*>(QStringLiteral("CalibrationAge"));
    if (!note) {
        if (text.isEmpty())
            return;
        note = new QLabel(statusBar());
        note->setObjectName(QStringLiteral("CalibrationAge"));
        note->setStyleSheet(QStringLiteral("color: #7A4A00; background: #FFF4D6; padding: 0 4px"));
        note->setToolTip(QStringLiteral("Калибровка ГСО старше срока, заданного в lorimet.ini ([calibration] "
                                        "max_age_hours)."));
        statusBar()->addPermanentWidget(note);
    }
    note->setText(text);
    note->setVisible(!text.isEmpty());
}

void MainWindow::setJournalWaiting(qint64 waiting) {
    auto* note = statusBar()->findChild<QLabel*>(QStringLiteral("JournalWaiting"));
    if (!note) {
        if (waiting <= 0)
            return; // made when first needed: the status bar stays as it is without a server
        note = new QLabel(statusBar());
        note->setObjectName(QStringLiteral("JournalWaiting"));
        note->setToolTip(QStringLiteral("Записи журнала сохранены на этом компьютере и будут отправлены на "
                                        "сервер лаборатории, как только он станет доступен."));
        statusBar()->addPermanentWidget(note);
    }
    note->setText(QStringLiteral("Не отправлено на сервер: %1").arg(waiting));
    note->setVisible(waiting > 0);
}

// The bar lies over the left part of InfoPanel while a protocol file is read; the waiting text, pushed to the
// right by its leading blanks, stays readable beside it.
void MainWindow::setLoadProgress(int percent) {
    auto* bar = statusBar()->findChild<QProgressBar*>(QStringLiteral("LoadProgressBar"));
    const bool first = !bar;
    if (!bar) {
        bar = new QProgressBar(statusBar());
        bar->setObjectName(QStringLiteral("LoadProgressBar"));
        bar->setRange(0, 100);
        bar->setTextVisible(false);
        const QRect panel = infoPanel_->geometry();
        bar->setGeometry(panel.left(), 2, std::max(panel.width() - 335, 100), statusBar()->height() - 4);
        bar->show();
    }
    bar->setValue(percent);
    // Repaints and timer ticks run between blocks; clicks and keys wait until the file is read. Blocks
    // come far faster than a screen refreshes, and a repaint of the table costs more than a block: the
    // window gets its break once a frame, not after every block.
    if (first || loadBreak_.hasExpired(kLoadBreakMs)) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        loadBreak_.start();
    }
}

void MainWindow::loadFinished() {
    delete statusBar()->findChild<QProgressBar*>(QStringLiteral("LoadProgressBar"));
}

void MainWindow::addFileCurvePair(const QList<double>& x, const QList<double>& signal,
                                  const QList<double>& derivative, const QString& description) {
    plotter_->addFileCurvePair(x, signal, derivative, description);
}

void MainWindow::removeFileCurvePairs() {
    // The temperature chart holds one point per block of the file; it goes with the curves.
    plotter_->removeFileCurvePairs();
    temperaturePlotter_->clearSeries(Series::Temperature);
}

void MainWindow::protocolFileShown(const QString& hint) {
    protocolModel_->reset();
    protocol_->setCurrentIndex(0);
    protocol_->setToolTip(hint);
}

} // namespace lorimet
