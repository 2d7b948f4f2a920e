#include "ReplayHarness.h"

#include "text/Cp1251.h"
#include "text/NumberFormat.h"
#include "text/Numbers.h"
#include "text/TimeText.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace lorimet::replaytest {

qint64 toMs(double seconds) {
    return std::llround(seconds * 1000.0);
}

QString stamp(qint64 ms) {
    return QStringLiteral("%1.%2").arg(ms / 1000).arg(ms % 1000, 3, 10, QChar(u'0'));
}

QString analyserLine(double signal, const QString& mode, const QString& temperature) {
    QString head = QString::asprintf("%6.2f", signal) + QStringLiteral(" %нас ") + temperature;
    const qsizetype percent = head.indexOf(u'%');
    return head.leftJustified(percent + 32, u' ') + mode;
}

double lineValue(double signal) {
    return parseInstrumentReal(QString::asprintf("%6.2f", signal)).value();
}

ScenarioText& ScenarioText::header(const QString& line) {
    headers_ << line;
    return *this;
}

ScenarioText& ScenarioText::at(double seconds, const QString& event) {
    return atMs(toMs(seconds), event);
}

ScenarioText& ScenarioText::atMs(qint64 ms, const QString& event) {
    items_.push_back({ms, event});
    return *this;
}

ScenarioText& ScenarioText::line(double seconds, double signal, const QString& mode) {
    return at(seconds, QStringLiteral("line ") + analyserLine(signal, mode));
}

ScenarioText& ScenarioText::lines(double t0, double t1, double period, double signal, const QString& mode) {
    return lines(
        t0, t1, period, [signal](double) { return signal; }, mode);
}

ScenarioText& ScenarioText::lines(double t0, double t1, double period,
                                  const std::function<double(double)>& signal, const QString& mode) {
    const qint64 from = toMs(t0), to = toMs(t1), step = toMs(period);
    for (qint64 ms = from; ms <= to; ms += step)
        atMs(ms, QStringLiteral("line ") + analyserLine(signal(static_cast<double>(ms) / 1000.0), mode));
    return *this;
}

QString ScenarioText::text() const {
    std::vector<Item> sorted = items_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Item& a, const Item& b) { return a.ms < b.ms; });
    QStringList out = headers_;
    for (const Item& item : sorted)
        out << stamp(item.ms) + u' ' + item.text;
    return out.join(u'\n') + u'\n';
}

QStringList Replay::of(std::initializer_list<const char*> kinds) const {
    QStringList out;
    for (const QString& record : records) {
        const QString kind = record.section(u' ', 1, 1);
        for (const char* k : kinds)
            if (kind == QLatin1String(k))
                out << record;
    }
    return out;
}

QStringList Replay::between(double t0, double t1) const {
    QStringList out;
    for (const QString& record : records) {
        const qint64 ms = toMs(record.section(u' ', 0, 0).toDouble());
        if (ms >= toMs(t0) && ms <= toMs(t1))
            out << record;
    }
    return out;
}

namespace {

void copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else
            QFile::copy(path, target);
    }
}

// The same scenario read from a file as it runs, in a copy of the data folder as it was before the run.
QString streamedTranscript(const QString& scenarioText, const QString& folderCopy) {
    QBuffer file;
    file.setData(scenarioText.toUtf8());
    file.open(QIODevice::ReadOnly);
    replay::ScenarioFile scenario(file);
    replay::ParseError error;
    if (!scenario.check(error))
        return QStringLiteral("malformed");
    QString out;
    QTextStream stream(&out);
    replay::runScenario(scenario, scenario.date, scenario.time, folderCopy, stream);
    stream.flush();
    return out;
}

} // namespace

Replay runReplay(const QString& scenarioText, const QString& dataFolder, RunSink* sink) {
    Replay replay;
    QTemporaryDir copy;
    const QString folderCopy = copy.filePath(QStringLiteral("data"));
    copyFolder(dataFolder, folderCopy);
    replay::ParseError error;
    const auto scenario = replay::parseScenario(scenarioText, error);
    if (!scenario) {
        ADD_FAILURE() << "scenario line " << error.lineNumber << ": " << error.reason.toStdString();
        return replay;
    }
    QString out;
    QTextStream stream(&out);
    const replay::RunResult result = replay::runScenario(*scenario, dataFolder, stream, sink);
    stream.flush();
    replay.exitCode = result.exitCode;
    replay.error = result.error;
    replay.records = out.split(u'\n', Qt::SkipEmptyParts);
    // Reading the events as the run goes on must not change a single record.
    QString streamed = streamedTranscript(scenarioText, folderCopy);
    streamed.replace(folderCopy, dataFolder);
    EXPECT_EQ(streamed, out) << "the scenario read from a file ran differently";
    // LORIMET_REPLAY_DUMP=folder keeps each run's scenario and transcript there, to read a failure by eye.
    const QString dump = qEnvironmentVariable("LORIMET_REPLAY_DUMP");
    if (!dump.isEmpty()) {
        static int count = 0;
        const QString base = QStringLiteral("%1/%2").arg(dump).arg(++count, 3, 10, QChar(u'0'));
        QFile scenarioFile(base + QStringLiteral(".scenario"));
        if (scenarioFile.open(QIODevice::WriteOnly))
            scenarioFile.write(scenarioText.toUtf8());
        QFile transcriptFile(base + QStringLiteral(".transcript"));
        if (transcriptFile.open(QIODevice::WriteOnly))
            transcriptFile.write(out.toUtf8());
    }
    return replay;
}

Day::Day(int transportDelay, QDate date, QTime time)
    : date(date), time(time), transportDelay(transportDelay) {}

qint64 Day::command(const QString& event) {
    const qint64 at = next - 250;
    scenario.atMs(at, event);
    return at;
}

void Day::lines(int count, double signal) {
    lines(count, [signal](int) { return signal; });
}

void Day::lines(int count, const std::function<double(int)>& signal) {
    for (int k = 0; k < count; ++k) {
        scenario.atMs(next, QStringLiteral("line ") + analyserLine(signal(k), knob));
        next += kPeriod;
    }
}

void Day::connect() {
    command(QStringLiteral("connect"));
    lines(3, kBase);
}

void Day::upperPoint() {
    command(QStringLiteral("upper-point"));
    lines(2, kBase);
}

void Day::startOperation(const QString& what) {
    command(what);
    lines(2, kBase);
    knob = QStringLiteral("изм.");
    lines(1, kBase);
}

double Day::dip(double depth, int k) {
    // A smooth dip u² e^(2(1-u)), deepest 5 s after the run starts. The smoothing lags well behind it: the
    // run by final rates ends some 25 s after its start.
    const double u = static_cast<double>(k) * 0.5 / 5.0;
    return depth * u * u * std::exp(2 * (1 - u));
}

RunRecord Day::operation(const QString& what, double depth, int runLines) {
    startOperation(what);
    // A flat signal never rises: the last of these lines is the first one allowed to start the run.
    lines(25 * transportDelay + 2, kBase);
    RunRecord run;
    run.startMs = next - kPeriod;
    for (int k = 0; k < runLines; ++k) {
        const double value = kBase - dip(depth, k);
        run.ms.push_back(next);
        run.raw.push_back(lineValue(value));
        lines(1, value);
    }
    knob = QStringLiteral("под.");
    lines(4, kBase);
    return run;
}

QString Day::text() const {
    return QStringLiteral("date ") + date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("\ntime ") +
           time.toString(QStringLiteral("HH:mm:ss.zzz")) + u'\n' + scenario.text();
}

namespace {

// The smoothing as defined: B passes over the whole run 0..i, window C, coefficient A.
double refilter(const std::vector<double>& raw, size_t i, const Filter& f) {
    std::vector<double> input(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    std::vector<double> work(i + 1);
    for (int pass = 0; pass < f.b; ++pass) {
        work[0] = input[0];
        for (size_t j = 1; j <= i; ++j) {
            const size_t lo = j < static_cast<size_t>(f.c) ? 0 : j - static_cast<size_t>(f.c);
            double sum = 0;
            for (size_t k = lo; k < j; ++k)
                sum += work[k];
            sum += input[j];
            const double m = sum / static_cast<double>(j - lo + 1);
            work[j] = f.a * work[j - 1] + (1 - f.a) * m;
        }
        input = work;
    }
    return RoundTo(3, work[i]);
}

double result(double coefficient, double measure, double dilution) {
    const double x = coefficient * measure;
    return (x < 1 ? RoundTo(2, x) : RoundTo(1, x)) * dilution;
}

RunOutcome evaluate(const RunRecord& run, bool calibration, bool small, double certified,
                    double rateCoefficient, double rangeCoefficient, double dilution, const Filter& filter) {
    RunOutcome o;
    o.rateCoefficient = rateCoefficient;
    o.rangeCoefficient = rangeCoefficient;
    std::vector<double>& S = o.signals;
    std::vector<double>& D = o.derivatives;
    std::vector<double> elapsed;
    double temperatureSum = 0;
    auto finish = [&](size_t i) {
        o.endSample = static_cast<int>(i);
        o.meanTemperature = RoundTo(1, temperatureSum / static_cast<double>(i + 1));
    };
    for (size_t i = 0; i < run.raw.size(); ++i) {
        elapsed.push_back(static_cast<double>(run.ms[i] - run.startMs) / 86'400'000.0);
        if (i == 0) {
            S.push_back(run.raw[0]);
            D.push_back(0);
            temperatureSum = run.temperature;
            continue; // no end point before sample 21
        }
        const double step = std::floor((elapsed[i] - elapsed[i - 1]) * 1'000'000) / 10;
        S.push_back(refilter(run.raw, i, filter));
        const double d = (S[i] - S[i - 1]) * 10;
        D.push_back(RoundTo(3, -d / step));
        temperatureSum += run.temperature;
        const auto [minS, maxS] = std::minmax_element(S.begin(), S.end());
        const double range = *maxS - *minS;
        const double maxD = *std::max_element(D.begin(), D.end());
        if (i <= 20)
            continue;
        if (D[i] > 0 && D[i - 1] > 0 && D[i] < maxD && S[i] < S[i - 1]) {
            if (calibration)
                o.rateCoefficient = certified / maxD;
            o.rateResult = result(o.rateCoefficient, maxD, calibration ? 1.0 : dilution);
            if (!calibration && o.rateResult > 200) {
                o.overLimit = true;
                o.endSample = static_cast<int>(i);
                return o;
            }
            if (!calibration && small) {
                finish(i);
                return o;
            }
        }
        if (S[i] < S[0] && *minS < S[i] && D[i] < maxD) {
            if (calibration)
                o.rangeCoefficient = certified / range;
            o.rangeResult = result(o.rangeCoefficient, range, calibration ? 1.0 : dilution);
            finish(i);
            return o;
        }
    }
    return o;
}

qint64 lastTickBefore(qint64 ms) {
    // Events run before the timers of their instant: a line sees the tick before it.
    return ms % 100 == 0 ? ms - 100 : ms - ms % 100;
}

QString resultCell(double value) {
    return formatNumber(value, value >= 1 ? u"0.0" : u"0.00");
}

} // namespace

RunOutcome expectCalibration(const RunRecord& run, double certified, Filter filter) {
    return evaluate(run, true, false, certified, 0, 0, 1.0, filter);
}

RunOutcome expectAnalysis(const RunRecord& run, bool small, double rateCoefficient, double rangeCoefficient,
                          double dilution, Filter filter) {
    return evaluate(run, false, small, 0, rateCoefficient, rangeCoefficient, dilution, filter);
}

QStringList expectedBlock(const Day& day, const RunRecord& run, const RunOutcome& o, bool full,
                          const QString& description) {
    QStringList block;
    const size_t n = static_cast<size_t>(o.endSample) + 1;
    block << QString::number(n);
    for (size_t i = 0; i < n; ++i) {
        const double elapsed = static_cast<double>(run.ms[i] - run.startMs) / 86'400'000.0;
        block << formatNumber(o.signals[i] > 0 ? o.signals[i] : 0, u"S=+000.000 ") +
                     formatNumber(o.derivatives[i] > 0 ? o.derivatives[i] : 0, u"dS=+000.000 ") +
                     QStringLiteral("T=") + formatNumber(std::floor(elapsed * 1'000'000) / 10, u"000.0");
    }
    block << description;
    QString result = formatNumber(o.rateResult, u"БПК*=000.00 ");
    if (full)
        result += formatNumber(o.rangeResult, u"БПК=000.00 ");
    block << result;
    const qint64 end = o.endMs(run);
    block << formatNumber(o.meanTemperature, u"t=000.0 °C ") + QStringLiteral("T=") +
                 durationText(lastTickBefore(end) - run.startMs);
    block << QStringLiteral("Время: ") + timeText(day.clockAt(end).time()) + QStringLiteral(" Дата: ") +
                 dateText(day.clockAt(lastTickBefore(end)).date());
    return block;
}

QString expectedRow(const Day& day, const RunRecord& run, const RunOutcome& o, bool full, int number,
                    const QString& description) {
    const qint64 end = o.endMs(run);
    const QStringList cells = {QString::number(number),
                               description,
                               resultCell(o.rateResult),
                               full ? resultCell(o.rangeResult) : QString(),
                               QString(),
                               formatNumber(o.meanTemperature, u"0.0"),
                               durationText(lastTickBefore(end) - run.startMs),
                               timeText(day.clockAt(end).time()),
                               dateText(day.clockAt(lastTickBefore(end)).date())};
    return stamp(end) + QStringLiteral(" row ") + cells.join(QStringLiteral(" | "));
}

QByteArray fileBytes(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += toCp1251(line) + QByteArray("\r\n");
    return bytes;
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString dayFilePath(const QString& dataFolder, const QString& dateText) {
    return dataFolder + QStringLiteral("/Temp/Протокол от ") + dateText + QStringLiteral(".tmp");
}

} // namespace lorimet::replaytest
