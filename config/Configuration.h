#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace lorimet {

// The values in force, as parsed from the configuration lines (and later changed by the dialogs).
struct Settings {
    // The port value as written after the colon of line 0: "COM1", "COM12", or a device name or path.
    QString port = QStringLiteral("COM1");
    double filterA = 0.3;       // smoothing coefficient A, 0.01..0.91
    int filterCycles = 3;       // B, 1..11
    int filterWindow = 5;       // C, 1..11
    int interruptFrequency = 2; // Hz, 1..20
    int transportDelay = 2;     // seconds, 1..30
    // C0..C6 in the layout 0x00BBGGRR: plotter background, grid and chart texts, signal line, derivative
    // line, temperature line, table background, table text.
    std::array<quint32, 7> colours{0x00C0C0C0, 0x00000000, 0x00FF0000, 0x000000FF,
                                   0x00008000, 0x00FFFFFF, 0x00000000};
    // S0..S2 line widths (signal, derivative, temperature), S3 the table's font size in points.
    std::array<int, 4> sizes{2, 2, 2, 9};

    // n for a port written "COM" + n, else 0 (a device given by name or path).
    int portNumber() const;
};

// The 25-line configuration file. Lines are addressed by index, never by label: the labels are there for a
// human reader only. The lines are kept as read and written back as they are, except the ones a writer
// replaced.
class Configuration {
  public:
    static const QString kFileName; // "Vornel_config.ini"

    // Line indices that other parts of the program address.
    enum Line : int {
        PortLine = 0,
        FilterALine = 1,
        FilterBLine = 2,
        FilterCLine = 3,
        FrequencyLine = 4,
        DelayLine = 5,
        GradientLine = 7,
        FirstColourLine = 8,
        FirstSizeLine = 16,
        ScreenLine = 20,
        ValuesLine = 21,
        ToolsLine = 22,
        ProtocolLine = 23,
        SplashLine = 24,
        LineCount = 25,
    };

    // The 25 lines of a fresh configuration.
    static QStringList defaultLines();

    enum class LoadResult { Loaded, Defaulted, Damaged };

    // Reads folder/Vornel_config.ini (Windows-1251; lines end in CR LF, LF or CR) and parses it. A file that
    // cannot be read is replaced by the default lines, which are also written there if possible, silently:
    // Defaulted. A file that does not parse is Damaged and is left as it is on disk.
    LoadResult load(const QString& folder);

    // Parses lines() into settings(). False when the lines are damaged (settings() is then unchanged).
    // On success a list of 20..24 lines is completed with the missing switch lines, switched off.
    bool parse();

    const QStringList& lines() const { return m_lines; }
    void setLines(const QStringList& lines) { m_lines = lines; }
    const Settings& settings() const { return m_settings; }
    Settings& settings() { return m_settings; }

    // A switch is on unless the 4 characters from position 29 are exactly "Выкл"; a missing line is off.
    bool isSwitchOn(int index) const;
    // The splash window wants the exact word "Вкл" on line 24: a misspelt word shows none.
    bool splashShown() const;

    // Line writers: each replaces whole lines in memory only; nothing reaches the disk before save().
    // They do not touch settings(): the dialogs put their values in force themselves.
    void writePortAndFilterLines(const QString& port, const QString& aLabelText, int b, int c, int frequency,
                                 int delay); // lines 0..5
    void writeSwitch(int index, bool on);    // 7, 20..24
    void writePlotterLines(bool gradient, const std::array<quint32, 7>& colours,
                           const std::array<int, 4>& sizes); // 7, 8..12, 16..18
    void writeTableLines(quint32 c5, quint32 c6, int s3);    // 13, 14, 19

    // Writes folder/Vornel_config.ini atomically: each line in Windows-1251 followed by CR LF.
    bool save(const QString& folder) const;

  private:
    void setLine(int index, const QString& text);

    QStringList m_lines;
    Settings m_settings;
};

// "$" and 8 uppercase hexadecimal digits, the form of the colour lines.
QString colourText(quint32 colour);

} // namespace lorimet
