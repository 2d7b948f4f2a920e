#pragma once

#include "engine/Interfaces.h"

#include <QColor>
#include <QComboBox>
#include <QDialog>
#include <QStringList>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

namespace lorimet {

class ChartView;
class Configuration;
class Engine;
class MainWindow;
struct Settings;

// A drop-down list of named colours with a swatch beside each name, and "Другой..." at the end, which asks
// for any colour. Colours are selected by value: a colour that has no name in the list gets an entry of its
// own, just above "Другой...".
class ColourBox : public QComboBox {
    Q_OBJECT
  public:
    ColourBox(const char* name, const QString& hint, QWidget* parent);

    QColor colour() const;
    // 0x00BBGGRR, the form the configuration keeps.
    quint32 value() const;
    // Selects the colour without announcing it: loading a dialog is not a change made by the operator.
    void setColour(const QColor& colour);
    void setValue(quint32 value);

    // Asks the operator for a colour when "Другой..." is chosen; an invalid answer keeps the previous one.
    // QColorDialog unless replaced (tests answer without a window).
    std::function<QColor(const QColor& current)> pickCustom;

  Q_SIGNALS:
    // The operator chose a colour.
    void colourChanged(const QColor& colour);

  private:
    void chosen(int index);
    int findColour(const QColor& colour) const;
    int customIndex() const;
    int otherIndex() const { return count() - 1; }

    int lastIndex_ = -1;
};

// A serial port as the system knows it, so that the operator can tell one adapter from another. Only the
// name is kept as the setting; the rest is shown.
struct PortEntry {
    PortEntry(const QString& portName = {}) : name(portName) {}
    QString name;         // the port setting: "COM3" on Windows, "/dev/ttyUSB0" elsewhere
    QString description;  // "FT232R USB UART"
    QString manufacturer; // "FTDI"
    QString serialNumber; // a USB adapter's own number
    QString location;     // the system's device path, when it is not the name itself
    QString usbId;        // "0403:6001" for a USB adapter
    bool listed = true;   // false: not among the system's ports now (only the port in force is offered so)
};

// `TModul1`: serial port, smoothing filter, interrupt frequency and transport delay. Every control puts its
// value in force at once through the engine; the save button writes configuration lines 0..5 (in memory).
class PortAndFilterDialog : public QDialog {
    Q_OBJECT
  public:
    PortAndFilterDialog(Engine& engine, QWidget* parent);

    // The ports the list offers: the system's serial ports unless replaced (tests give their own).
    std::function<QList<PortEntry>()> portList;
    static QList<PortEntry> availablePorts();
    // What the list and the details below it say of a port.
    static QString itemText(const PortEntry& port);
    static QString detailsText(const PortEntry& port);

    // Fills the port list and moves the controls to the values in force.
    void load();
    // Loads and runs the dialog modally; the engine knows it is open meanwhile.
    void run();

    QComboBox* portsList() const { return portsList_; }
    QLabel* portDetails() const { return portDetails_; }
    // The port the list's item stands for (its setting), whatever the item shows.
    QString portAt(int index) const;
    QSlider* frequency() const { return frequency_; }
    QSlider* delay() const { return delay_; }
    QSlider* aFilterNumber() const { return aFilter_; }
    QSlider* bFilterNumber() const { return bFilter_; }
    QSlider* cFilterNumber() const { return cFilter_; }
    QLabel* frequencyLabel() const { return label1_; }
    QLabel* delayLabel() const { return label8_; }
    QLabel* aLabel() const { return label3_; }
    QLabel* bLabel() const { return label4_; }
    QLabel* cLabel() const { return label5_; }
    QPushButton* resetButton() const { return resetButton_; }
    QPushButton* okButton() const { return okButton_; }

  private:
    void moveSliders();
    void showPortDetails(int index);

    Engine& engine_;
    QComboBox* portsList_;
    QLabel* portDetails_;
    QSlider* frequency_;
    QSlider* delay_;
    QSlider* aFilter_;
    QSlider* bFilter_;
    QSlider* cFilter_;
    QLabel* label1_;
    QLabel* label8_;
    QLabel* label3_;
    QLabel* label4_;
    QLabel* label5_;
    QPushButton* resetButton_;
    QPushButton* okButton_;
};

// `TModul5`: colours, background gradient and line widths of the two charts. Each change shows on the charts
// at once; the settings and configuration lines 7, 8..12 and 16..18 change only when saved.
class PlotterDialog : public QDialog {
    Q_OBJECT
  public:
    PlotterDialog(Configuration& config, ChartView& plotter, ChartView& temperature, QWidget* parent);

    // Shows C0..C4 and S0..S2 in the controls; the charts are not touched.
    void load(const Settings& settings);
    // The gradient box, as configuration line 7 says at start-up; the charts are not touched.
    void setGradient(bool on);
    // Loads from the settings in force and shows the dialog beside the main window.
    void openFromSettings();

    ColourBox* colorPanel() const { return colorPanel_; }
    QCheckBox* gradPlotter() const { return gradPlotter_; }
    ColourBox* colorGrids() const { return colorGrids_; }
    ColourBox* colorSource() const { return colorSource_; }
    ColourBox* colorDiff() const { return colorDiff_; }
    ColourBox* colorTemp() const { return colorTemp_; }
    QSpinBox* sourceWidth() const { return sourceWidth_; }
    QSpinBox* diffWidth() const { return diffWidth_; }
    QSpinBox* tempWidth() const { return tempWidth_; }
    QPushButton* resetButton() const { return resetButton_; }
    QPushButton* okButton() const { return okButton_; }

  private:
    void applyBackground();
    void applyGrid();
    void applySeries(Series series);
    void OkButtonClick();
    void ResetButtonClick();

    Configuration& config_;
    ChartView& plotter_;
    ChartView& temperature_;
    ColourBox* colorPanel_;
    QCheckBox* gradPlotter_;
    ColourBox* colorGrids_;
    ColourBox* colorSource_;
    ColourBox* colorDiff_;
    ColourBox* colorTemp_;
    QSpinBox* sourceWidth_;
    QSpinBox* diffWidth_;
    QSpinBox* tempWidth_;
    QPushButton* resetButton_;
    QPushButton* okButton_;
};

// `TModul6`: background, text colour and font size of the report table and the protocol list. Each change
// shows at once; the settings and configuration lines 13, 14 and 19 change only when saved.
class TableDialog : public QDialog {
    Q_OBJECT
  public:
    TableDialog(Configuration& config, MainWindow& window, QWidget* parent);

    // Shows C5, C6 and S3 in the controls; the table is not touched.
    void load(const Settings& settings);
    // Loads from the settings in force and shows the dialog beside the main window.
    void openFromSettings();

    ColourBox* colorTP() const { return colorTP_; }
    ColourBox* tpColorText() const { return tpColorText_; }
    QSpinBox* tpFontWidth() const { return tpFontWidth_; }
    QPushButton* resetButton() const { return resetButton_; }
    QPushButton* okButton() const { return okButton_; }

  private:
    void OkButtonClick();
    void ResetButtonClick();

    Configuration& config_;
    MainWindow& window_;
    ColourBox* colorTP_;
    ColourBox* tpColorText_;
    QSpinBox* tpFontWidth_;
    QPushButton* resetButton_;
    QPushButton* okButton_;
};

} // namespace lorimet
