#pragma once

// Helpers for workflow tests that run whole scenarios in-process: scenario text put together in the test,
// the run into a transcript, an operator's day as a script, and what a measured run must give.
#include "ReplayRunner.h"
#include "Scenario.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>
#include <initializer_list>
#include <ostream>
#include <vector>

// Readable failure messages: texts as text, bytes as hexadecimal.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << bytes.toHex(' ').toStdString();
}

namespace lorimet::replaytest {

qint64 toMs(double seconds);
// Transcript time: "1.500".
QString stamp(qint64 ms);
inline QString stamp(double seconds) {
    return stamp(toMs(seconds));
}

// One analyser line: the signal as "%6.2f", " %нас ", the temperature, then blanks up to the mode word,
// which starts 32 characters after the "%".
QString analyserLine(double signal, const QString& mode = QStringLiteral("под."),
                     const QString& temperature = QStringLiteral("20.3"));
// The signal the program reads from such a line.
double lineValue(double signal);

// Scenario text put together event by event, in any order: the events are written sorted by time, those
// at one instant in the order they were added.
class ScenarioText {
  public:
    ScenarioText& header(const QString& line);
    ScenarioText& at(double seconds, const QString& event);
    ScenarioText& atMs(qint64 ms, const QString& event);
    ScenarioText& line(double seconds, double signal, const QString& mode = QStringLiteral("под."));
    // Lines every `period` seconds from t0 to t1, both included.
    ScenarioText& lines(double t0, double t1, double period, double signal,
                        const QString& mode = QStringLiteral("под."));
    ScenarioText& lines(double t0, double t1, double period, const std::function<double(double t)>& signal,
                        const QString& mode = QStringLiteral("под."));
    QString text() const;

  private:
    struct Item {
        qint64 ms;
        QString text;
    };
    QStringList headers_;
    std::vector<Item> items_;
};

// One run's transcript.
struct Replay {
    int exitCode = -1;
    QString error;
    QStringList records; // "T KIND DETAILS", in order

    // Whole records of these kinds, in order.
    QStringList of(std::initializer_list<const char*> kinds) const;
    QStringList of(const char* kind) const { return of({kind}); }
    // Whole records from t0 to t1, both included.
    QStringList between(double t0, double t1) const;
    bool has(const QString& record) const { return records.contains(record); }
};

// Parses the text and runs it with `dataFolder` as the data folder. A text that does not parse fails the
// test and gives an empty transcript.
// Finished runs go to `sink` when one is given (from the first of the two runs only).
Replay runReplay(const QString& scenarioText, const QString& dataFolder, RunSink* sink = nullptr);

// Texts of the program that the tests expect, written out once.
namespace said {
inline const QString kUnlinked = QStringLiteral("status 0 Связь с прибором не установлена !");
inline const QString kAwaitingUpperPoint =
    QStringLiteral("status 6 Прибор проводит калибровку по верхней точке ! Ждите...");
inline const QString kReadyForGso = QStringLiteral("status 2 Прибор готов к калибровке по раствору ГСО !");
inline const QString kReady = QStringLiteral("status 3 Прибор готов к проведению измерений !");
inline const QString kWaiting = QStringLiteral("status 1 Прибор в режиме протоколирования данных ! Ждите...");
inline const QString kCalibrating =
    QStringLiteral("status 4 Прибор проводит калибровку по раствору ГСО ! Ждите...");
inline const QString kAnalysing = QStringLiteral("status 5 Прибор проводит анализ пробы ! Ждите...");
inline const QString kPreparing =
    QStringLiteral("status 7 Прибор в режиме подготовки к проведению измерений ! Ждите...");
inline const QString kFirstUpperPointBox =
    QStringLiteral("box Информация | Калибровка прибора по верхней точке успешно завершена !\\r  Для "
                   "калибровки прибора по раствору ГСО нажмите ОК.    -> OK");
inline const QString kLowSignalBox = QStringLiteral(
    "box Ошибка | Калибровка по верхней точке невозможна,\\r       - низкий уровень сигнала !       -> OK");
inline const QString kCalibrationPrompt =
    QStringLiteral("window Калибровка | Для проведения калибровки по ГСО:\\r1. Введите пробу (раствор ГСО "
                   "!).\\r2. Поверните ручку коммутатора   \\r    в указанное положение.");
inline const QString kAnalysisPrompt =
    QStringLiteral("window Анализ пробы | Для проведения анализа пробы:   \\r1. Введите подготовленную "
                   "пробу.\\r2. Поверните ручку коммутатора  \\r    в указанное положение.");
inline const QString kKnobBack = QStringLiteral("\\rПоверните ручку коммутатора в\\rуказанное положение.");
inline const QString kOverLimit = QStringLiteral("БПК в пробе превышает 200 мг/л !\\rПоверните ручку "
                                                 "коммутатора в\\rуказанное положение. Повторите\\rанализ "
                                                 "с разведением пробы.");
} // namespace said

// A measured run as the analyser sent it: the line that started it (and was dropped), then its samples.
struct RunRecord {
    qint64 startMs = 0;
    std::vector<qint64> ms;
    std::vector<double> raw; // as read from the lines
    double temperature = 20.3;
};

// An operator's day, written as the analyser's lines and the operator's commands, a line every 0.5 s.
// Commands go between two lines. Operations follow the analyser's knob: command, inject, knob to
// measuring, the waiting phase on a flat signal, the run on a dip of the signal, knob back.
class Day {
  public:
    static constexpr qint64 kPeriod = 500;
    static constexpr double kBase = 95.0;

    explicit Day(int transportDelay = 2, QDate date = QDate(2026, 12, 6), QTime time = QTime(9, 0));

    ScenarioText scenario;
    QDate date;
    QTime time;
    int transportDelay;
    qint64 next = 1000; // time of the next line
    QString knob = QStringLiteral("под.");

    double now() const { return static_cast<double>(next) / 1000.0; }
    // At 250 ms before the next line; returns that time in ms.
    qint64 command(const QString& event);
    void lines(int count, double signal);
    void lines(int count, const std::function<double(int k)>& signal);

    void connect();    // connect and three idle lines
    void upperPoint(); // the upper-point command and two lines: ready for the GSO calibration
    // The command, two lines with the prompt showing, then the knob to measuring: the prompt closes on the
    // tick that follows that line.
    void startOperation(const QString& command);
    // A whole operation: its run is `runLines` samples of a dip of `depth` %нас below the base; then the
    // knob back and idle lines until the program is ready again.
    RunRecord operation(const QString& command, double depth, int runLines = 60);
    // The dip of the run, k samples after its start.
    static double dip(double depth, int k);

    QDateTime clockAt(qint64 ms) const { return QDateTime(date, time).addMSecs(ms); }
    // The scenario, with the date and time headers as they are when it is asked for.
    QString text() const;
};

// What a run gives, worked out from its raw samples by the definitions alone: the whole run refiltered for
// every sample, the fall per 1e-4 day, both end-point checks on every line in their order.
struct Filter {
    double a = 0.3;
    int b = 3;
    int c = 5;
};

struct RunOutcome {
    int endSample = -1; // the sample whose line ended the operation; -1 when none did
    bool overLimit = false;
    std::vector<double> signals, derivatives;
    double rateCoefficient = 0, rangeCoefficient = 0;
    double rateResult = 0, rangeResult = 0;
    double meanTemperature = 0;

    qint64 endMs(const RunRecord& run) const { return run.ms[static_cast<size_t>(endSample)]; }
};

RunOutcome expectCalibration(const RunRecord& run, double certified, Filter filter = {});
RunOutcome expectAnalysis(const RunRecord& run, bool small, double rateCoefficient, double rangeCoefficient,
                          double dilution, Filter filter = {});

// The protocol block and the table row of a finished analysis.
QStringList expectedBlock(const Day& day, const RunRecord& run, const RunOutcome& outcome, bool full,
                          const QString& description);
QString expectedRow(const Day& day, const RunRecord& run, const RunOutcome& outcome, bool full, int number,
                    const QString& description);

// The day file's bytes for these lines: Windows-1251, each line ended by CR LF.
QByteArray fileBytes(const QStringList& lines);
QByteArray readBytes(const QString& path);
QString dayFilePath(const QString& dataFolder, const QString& dateText);

} // namespace lorimet::replaytest
