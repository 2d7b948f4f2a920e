#pragma once

#include "app/HelpCommand.h"
#include "engine/Interfaces.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QSplitter;
class QTableView;
class QToolBar;
class QToolButton;
class QWidget;

namespace lorimet {

class ChartView;
class Configuration;
class Engine;
class MessageWindow;
class ProtocolListModel;
class ReportTableModel;
class TableColumnFitter;
class TrayIcon;

// The program's one working window. It renders what the engine tells it (it is the engine's Display) and
// forwards the operator's commands; it keeps no state of the workflow itself.
class MainWindow : public QMainWindow, public Display {
    Q_OBJECT
  public:
    MainWindow(Configuration& config, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The engine is made after the window (it needs the window as its display) and attached here.
    void attach(Engine& engine);
    // Panels, appearance and switches from the configuration, as at start-up.
    void applyConfiguration();

    MessageWindow* messageWindow() const { return messageWindow_; }
    ChartView* plotter() const { return plotter_; }
    ChartView* temperaturePlotter() const { return temperaturePlotter_; }
    QTableView* table() const { return table_; }
    QAction* action(Command command) const;
    bool tableShown() const;
    // The close sequence runs once, whichever way the window closes.
    std::function<void()> closeRequested;
    std::function<void(bool checked)> sampleOkEnabled; // the dialogs' OK buttons follow the commands
    std::function<void(bool checked)> gsoOkEnabled;
    std::function<void(const QStringList&)> probeDescriptionsChanged;
    std::function<void()> portSettingsRequested;
    std::function<void()> journalRequested;    // «Журнал...» in the file and tray menus
    std::function<void()> setUpPanelRequested; // SettingsButton and the pop-up's SetUpPanel
    // Where «Помощь» looks for its help, and what shows it (empty: the system's browser or viewer).
    HelpPlaces helpPlaces = HelpPlaces::standard();
    std::function<bool(const QUrl&)> openHelpUrl;

    // Appearance of the report table and the Protocol list (colours 0x00BBGGRR, size in points). The font
    // size also sets the protocol bar's height and its caption's place, and refits the table's columns.
    void applyTableAppearance(quint32 background, quint32 text, int fontSize);
    void setTableBackground(const QColor& colour);
    void setTableTextColour(const QColor& colour);
    void setTableFontSize(int points);

    // Display
    void showStatusText(int index, const QString& text) override;
    void setResultPanel(int panel, const QString& text) override;
    void setLabelText(Label label, const QString& text) override;
    void setSignalLabelVisible(bool visible) override;
    void setSignalImage(Picture picture) override;
    void setFrontPanelLinked(bool linked) override;
    void addPoint(Series series, double x, double y) override;
    void clearSeries(Series series) override;
    void setAxisMaximum(Axis axis, double maximum) override;
    void setPlotTitle(const QStringList& lines) override;
    void setAxisTitle(Axis axis, const QString& title) override;
    void protocolAppended(const QString& line, int count) override;
    void protocolCleared() override;
    void setCommandEnabled(Command command, bool enabled) override;
    void beep(BeepKind kind) override;
    void showMessageWindow(const MessageWindowLayout& layout) override;
    void closeMessageWindow(const QString& caption) override;
    void showPromptPicture(QChar letter, int step) override;
    void setTrayImageList(int index) override;
    void tableChanged() override;
    void setProbeDescriptions(const QStringList& descriptions) override;
    void setDayFileWarning(const QString& text) override;
    // Records of the journal that the lab server has not taken yet: a note at the right of the status bar,
    // shown while there are any (no box: they are safe in the local journal and are shipped by themselves).
    void setJournalWaiting(qint64 waiting);
    // The age of the GSO calibration in force, shown in a warning colour in the status bar once it is older
    // than the lab allows; empty hides it.
    void setCalibrationAgeWarning(const QString& text);
    // A line about the results journal over the status bar; empty hides it. `detail` is its tooltip.
    void setJournalWarning(const QString& text, const QString& detail = QString());
    void setLoadProgress(int percent) override;
    void loadFinished() override;
    void addFileCurvePair(const QList<double>& x, const QList<double>& signal,
                          const QList<double>& derivative, const QString& description) override;
    void removeFileCurvePairs() override;
    void protocolFileShown(const QString& hint) override;

    // Commands owned by the window.
    void ResTableClick();
    void PowerButtonClick();
    void LumineClick();
    void ToolsClick();
    void ScreenClick();
    void ValuesStringClick();
    void ProtocolPanelClick();
    void StartScreenClick();
    void HelpProgrammClick();
    void InfoProgrammClick();
    void ContactsClick();
    void TrayIconClick();
    void HideWindowClick();
    void ShowWindowClick();
    void ExitProgramClick(); // also Ctrl+Z and the tray menu's Выход
    bool powerOn() const { return powerOn_; }
    bool backlightOn() const { return backlightOn_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The display's reading: its designed size, the smallest it is set at to fit, and the room it keeps
    // from either edge of the display.
    static constexpr int kReadingPixels = 22;
    static constexpr int kSmallestReading = 14;
    static constexpr int kReadingMargin = 4;

    // The one decision for every way of ending the program (the menu command, Ctrl+Z, the tray menu, the
    // close box): true once the program is to end, the close sequence then run; false while the operator
    // keeps a running operation.
    bool mayEnd();
    void buildMenus();
    void buildToolbar();
    void buildFrontPanel(QWidget* parent);
    void buildCharts(QWidget* parent);
    void updateViewTexts();
    void setPanelSwitch(QWidget* panel, QAction* item, int line, bool on);
    void setIndicatorColour();
    void fitReading();
    QAction* addCommand(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut);
    QToolButton* toolButton(QAction* action, const char* name, const QString& hint, const QString& icon);

    Configuration& config_;
    Engine* engine_ = nullptr;

    std::array<QAction*, kCommandCount> commands_{};
    QAction* saveChart_ = nullptr;
    QAction* resTable_ = nullptr;
    QAction* tools_ = nullptr;
    QAction* screen_ = nullptr;
    QAction* valuesString_ = nullptr;
    QAction* protocolPanel_ = nullptr;
    QAction* startScreen_ = nullptr;
    QAction* namePanel_ = nullptr;
    QMenu* panelMenu_ = nullptr;

    QToolBar* toolPanel_ = nullptr;
    QToolButton* clearButton_ = nullptr;
    QToolButton* copyButton_ = nullptr;
    QToolButton* savePanelButton_ = nullptr;
    QToolButton* printButton_ = nullptr;
    QToolButton* settingsButton_ = nullptr;
    QToolButton* tableButton_ = nullptr;

    QWidget* panel5_ = nullptr;
    QLabel* protocolLabel_ = nullptr;
    QComboBox* protocol_ = nullptr;
    ProtocolListModel* protocolModel_ = nullptr;
    QWidget* panel2_ = nullptr;
    QWidget* panel3_ = nullptr;
    std::array<QLabel*, 11> statusPanel_{};
    QLabel* infoPanel_ = nullptr;
    QLabel* dayFileWarning_ = nullptr;
    QLabel* journalWarning_ = nullptr;

    QFrame* indicator_ = nullptr;
    QFrame* indicatorOff_ = nullptr;
    QLabel* signalLabel_ = nullptr;
    QLabel* signalImage_ = nullptr;
    QLabel* tempLabel_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QLabel* dateLabel_ = nullptr;
    QLabel* logotip_ = nullptr;
    QToolButton* powerButton_ = nullptr;
    QToolButton* lumine_ = nullptr;
    bool powerOn_ = true;
    bool backlightOn_ = false;

    ChartView* plotter_ = nullptr;
    ChartView* temperaturePlotter_ = nullptr;
    QSplitter* hSplitter_ = nullptr;
    QTableView* table_ = nullptr;
    ReportTableModel* tableModel_ = nullptr;
    std::unique_ptr<TableColumnFitter> columnFitter_;
    MessageWindow* messageWindow_ = nullptr;
    TrayIcon* trayIcon_ = nullptr;
    bool closing_ = false;
    bool askingToEnd_ = false;
    // While a protocol file loads: time since the window last processed its events.
    static constexpr int kLoadBreakMs = 20;
    QElapsedTimer loadBreak_;
};

} // namespace lorimet
