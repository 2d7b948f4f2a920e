// A recorded run evaluated again: the engine itself, begun at the run's first stored line, is fed the
// stored lines in virtual time, and what it reports is taken as it reports it. No numbers are computed
// here, so a re-evaluation with the record's own filter is the recorded run again, bit for bit.
#include "reevaluate/Reevaluate.h"

#include "config/Configuration.h"
#include "engine/Engine.h"
#include "text/Cp1251.h"
#include "text/Numbers.h"

#include <QTemporaryDir>

namespace lorimet {

namespace {

class TrialClock : public Clock {
  public:
    explicit TrialClock(const QDateTime& origin) : origin_(origin) {}
    qint64 monotonicMs() const override { return ms; }
    QDateTime now() const override { return origin_.addMSecs(ms); }
    qint64 ms = 0;

  private:
    QDateTime origin_;
};

// The indicator's BOD' panel: what the operator saw of a run that did not finish.
class TrialDisplay : public Display {
  public:
    void setResultPanel(int panel, const QString& text) override {
        if (panel == 7)
            bodInitialPanel = text;
    }
    void lineDropped(const QString& reason) override { dropped = reason; }
    QString bodInitialPanel;
    QString dropped;
};

// Nothing is connected: commands go nowhere, and a box (there is none in a measured run that saves its
// day file in a folder of its own) is answered OK.
class TrialOperator : public Operator {
  public:
    Answer messageBox(BeepKind, const QString&, const QString&, Buttons) override { return Answer::Ok; }
    bool runGsoDialog(Engine&) override { return false; }
    bool runSampleDialog(Engine&, const QString&) override { return false; }
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&,
                                        const QString&) override {
        return std::nullopt;
    }
};

class NoLink : public AnalyserLink {
  public:
    bool open(const QString&) override { return false; }
    void close() override {}
    bool isOpen() const override { return false; }
    bool write(const QByteArray&) override { return false; }
};

class TrialSink : public RunSink {
  public:
    void runFinished(FinishedRun r) override {
        if (!run)
            run = std::move(r);
    }
    std::optional<FinishedRun> run;
};

bool inRange(const FilterParameters& f) {
    return f.a >= 0.01 && f.a <= 0.91 && f.cycles >= 1 && f.cycles <= 11 && f.window >= 1 && f.window <= 11;
}

QString filterText(const FilterParameters& f) {
    return QStringLiteral("A=%1, B=%2, C=%3").arg(f.a).arg(f.cycles).arg(f.window);
}

// An imported line holds the protocol's data line, which the engine does not read: it gets an analyser line
// that reads back as the stored signal and temperature (the temperature in its four positions, the mode
// word where the analyser writes it).
QByteArray analyserLine(const journal::RecordLine& l) {
    QString temperature = QString::number(l.temperature, 'f', 1);
    if (temperature.size() > 4)
        temperature = QStringLiteral("0.0");
    return toCp1251(journal::canonicalNumber(l.signal) + QStringLiteral(" %нас ") +
                    temperature.rightJustified(4) + QString(23, u' ') + QStringLiteral("изм.\r\n"));
}

} // namespace

std::optional<FilterParameters> recordedFilter(const journal::Record& record) {
    const QVariant a = record.value(u"filter_a"), b = record.value(u"filter_b"),
                   c = record.value(u"filter_c");
    if (a.isNull() || b.isNull() || c.isNull())
        return std::nullopt;
    return FilterParameters{a.toDouble(), static_cast<int>(b.toDouble()), static_cast<int>(c.toDouble())};
}

std::optional<Reevaluation> reevaluate(const journal::Record& record, FilterParameters filter,
                                       QString& error) {
    const QString kind = record.text(u"kind");
    const bool calibration = kind == u"calibration";
    if (!calibration && kind != u"analysis") {
        error = QStringLiteral("a %1 record has no measured run to evaluate").arg(kind);
        return std::nullopt;
    }
    if (record.lines.empty()) {
        error = QStringLiteral("the record holds no lines of its run");
        return std::nullopt;
    }
    if (!inRange(filter)) {
        error = QStringLiteral("filter settings out of range (%1; A 0.01..0.91, B and C 1..11)")
                    .arg(filterText(filter));
        return std::nullopt;
    }

    Reevaluation out;
    out.filter = filter;
    out.smoothedTwice = record.text(u"source").startsWith(u"import:");
    MeasuredRunSetup setup;
    setup.filter = filter;
    if (calibration) {
        setup.kind = RunKind::Calibration;
        setup.small = false;
        if (record.value(u"certified_value").isNull()) {
            error = QStringLiteral("the calibration record holds no certified value");
            return std::nullopt;
        }
        setup.certifiedValue = record.value(u"certified_value").toDouble();
    } else {
        const QString analysisKind = record.text(u"analysis_kind");
        if (analysisKind != u"Small" && analysisKind != u"Full") {
            error = QStringLiteral("the record's analysis kind is neither Small nor Full");
            return std::nullopt;
        }
        setup.small = analysisKind == u"Small";
        const QVariant dilution = record.value(u"dilution");
        setup.dilution = dilution.isNull() ? 1.0 : dilution.toDouble();
        setup.rateCoefficient = record.value(u"rate_coefficient").toDouble();
        setup.rangeCoefficient = record.value(u"range_coefficient").toDouble();
        out.withoutCoefficients = setup.rateCoefficient == 0 && setup.rangeCoefficient == 0;
    }

    // The day file of the trial run's result goes to a folder of its own, which goes with it.
    QTemporaryDir folder;
    if (!folder.isValid()) {
        error = QStringLiteral("cannot make a temporary folder: ") + folder.errorString();
        return std::nullopt;
    }
    const qint64 firstMs = record.lines.front().elapsedMs;
    QDateTime startedAt = QDateTime::fromString(record.text(u"started_at"), Qt::ISODateWithMs);
    if (!startedAt.isValid())
        startedAt = QDateTime(QDate(2000, 1, 1), QTime(0, 0));
    // Virtual time: the line that began the run at 0, each stored line at its elapsed time.
    TrialClock clock(startedAt.addMSecs(-firstMs));
    Configuration config;
    TrialDisplay display;
    TrialOperator op;
    NoLink link;
    TrialSink sink;
    Engine engine(config, display, op, link, clock, folder.path());
    engine.setRunSink(&sink);
    engine.beginMeasuredRun(setup);

    const Acquisition& acq = engine.acquisition();
    for (size_t n = 0; n < record.lines.size() && !acq.operationName.isEmpty(); ++n) {
        const journal::RecordLine& l = record.lines[n];
        clock.ms = l.elapsedMs;
        const int sample = acq.currentSample;
        engine.lineAvailable(out.smoothedTwice ? analyserLine(l) : toCp1251(l.raw) + "\r\n");
        if (acq.currentSample != sample + 1) {
            error = QStringLiteral("line %1 of the record was not taken by the engine%2")
                        .arg(n + 1)
                        .arg(display.dropped.isEmpty() ? QString() : QStringLiteral(": ") + display.dropped);
            return std::nullopt;
        }
        const size_t i = static_cast<size_t>(sample);
        if (acq.rawSignals[i] != l.signal) {
            error =
                QStringLiteral("line %1 of the record does not read as the signal it recorded").arg(n + 1);
            return std::nullopt;
        }
        out.smoothed.push_back(acq.signals[i]);
        out.derivative.push_back(acq.derivatives[i]);
    }
    out.initialRateLine = acq.initialRateSample;
    out.finalRateLine = acq.finalRateSample;

    if (sink.run) {
        out.end =
            sink.run->status == RunStatus::Stopped ? ReevaluatedEnd::Stopped : ReevaluatedEnd::Completed;
        out.bodInitial = sink.run->bodInitial;
        out.bodFinal = sink.run->bodFinal;
        out.rateCoefficient = sink.run->rateCoefficient;
        out.rangeCoefficient = sink.run->rangeCoefficient;
    } else {
        out.end = ReevaluatedEnd::Unfinished;
        if (out.initialRateLine)
            out.bodInitial = parseFileReal(display.bodInitialPanel);
        out.rateCoefficient = engine.results().rateCoefficient;
        out.rangeCoefficient = engine.results().rangeCoefficient;
    }
    if (out.withoutCoefficients)
        out.bodInitial = out.bodFinal = std::nullopt;
    return out;
}

std::optional<Reevaluation> endPoints(const journal::Record& record, QString& error) {
    const auto filter = recordedFilter(record);
    if (!filter) {
        error = QStringLiteral("the record holds no filter settings");
        return std::nullopt;
    }
    return reevaluate(record, *filter, error);
}

} // namespace lorimet
