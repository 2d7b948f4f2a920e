#include "ReevaluationText.h"

#include "reports/ProtocolText.h"
#include "text/NumberFormat.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <vector>

namespace lorimet::journal {

namespace {

QString endText(ReevaluatedEnd end) {
    switch (end) {
    case ReevaluatedEnd::Completed:
        return QStringLiteral("completed");
    case ReevaluatedEnd::Stopped:
        return QStringLiteral("stopped");
    case ReevaluatedEnd::Unfinished:
        return QStringLiteral("unfinished");
    }
    return {};
}

QString jsonNumber(const std::optional<double>& v) {
    return v ? canonicalNumber(*v) : QStringLiteral("null");
}

QString jsonText(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString jsonBool(bool b) {
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

std::optional<double> numberField(const Record& r, QStringView name) {
    const QVariant v = r.value(name);
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
}

// 1-based, as people and `show --lines` count the lines.
std::optional<double> lineNumber(const std::optional<int>& index) {
    return index ? std::optional<double>(*index + 1) : std::nullopt;
}

std::optional<int> recordedLine(const std::optional<Reevaluation>& recorded,
                                std::optional<int> Reevaluation::*line) {
    return recorded ? (*recorded).*line : std::nullopt;
}

} // namespace

std::optional<FilterParameters> parseFilterPositions(const QString& text, QString& error) {
    const QStringList parts = text.split(u',');
    int values[3] = {};
    const int low[3] = {1, 1, 1}, high[3] = {91, 11, 11};
    bool ok = parts.size() == 3;
    for (qsizetype i = 0; ok && i < 3; ++i) {
        values[i] = parts[i].trimmed().toInt(&ok);
        ok = ok && values[i] >= low[i] && values[i] <= high[i];
    }
    if (!ok) {
        error = QStringLiteral("--filter is A,B,C: the A slider's position 1..91, the cycles B 1..11 and the "
                               "window C 1..11 (e.g. 30,3,5 for A = 0.30), not ") +
                text;
        return std::nullopt;
    }
    return FilterParameters{filterAOfPosition(values[0]), values[1], values[2]};
}

QStringList reevaluationNotes(const Reevaluation& again) {
    QStringList notes;
    if (again.smoothedTwice)
        notes << QStringLiteral("an imported record keeps only the smoothed signal, which stands for the raw "
                                "one: it has been smoothed twice, so the results are not those of the run");
    if (again.withoutCoefficients)
        notes << QStringLiteral("the record holds no calibration coefficients: BOD' and BOD cannot be given");
    if (again.end == ReevaluatedEnd::Unfinished)
        notes << QStringLiteral(
            "the recorded lines end where the recorded run ended: an end point that these "
            "settings put later is not reached");
    return notes;
}

QString reevaluationJson(const Record& record, const Reevaluation& again,
                         const std::optional<Reevaluation>& recorded) {
    QStringList f;
    auto add = [&f](const char* name, const QString& value) {
        f << u'"' + QLatin1StringView(name) + QStringLiteral("\": ") + value;
    };
    add("id", jsonText(record.text(u"id")));
    add("kind", jsonText(record.text(u"kind")));
    add("analysis_kind", jsonText(record.text(u"analysis_kind")));
    add("filter_a", canonicalNumber(again.filter.a));
    add("filter_b", QString::number(again.filter.cycles));
    add("filter_c", QString::number(again.filter.window));
    add("recorded_filter_a", jsonNumber(numberField(record, u"filter_a")));
    add("recorded_filter_b", jsonNumber(numberField(record, u"filter_b")));
    add("recorded_filter_c", jsonNumber(numberField(record, u"filter_c")));
    add("status", jsonText(endText(again.end)));
    add("recorded_status", jsonText(record.text(u"status")));
    add("bod_initial", jsonNumber(again.bodInitial));
    add("bod_final", jsonNumber(again.bodFinal));
    add("recorded_bod_initial", jsonNumber(numberField(record, u"bod_initial")));
    add("recorded_bod_final", jsonNumber(numberField(record, u"bod_final")));
    add("initial_rate_line", jsonNumber(lineNumber(again.initialRateLine)));
    add("final_rate_line", jsonNumber(lineNumber(again.finalRateLine)));
    add("recorded_initial_rate_line",
        jsonNumber(lineNumber(recordedLine(recorded, &Reevaluation::initialRateLine))));
    add("recorded_final_rate_line",
        jsonNumber(lineNumber(recordedLine(recorded, &Reevaluation::finalRateLine))));
    add("rate_coefficient", canonicalNumber(again.rateCoefficient));
    add("range_coefficient", canonicalNumber(again.rangeCoefficient));
    add("recorded_rate_coefficient", jsonNumber(numberField(record, u"rate_coefficient")));
    add("recorded_range_coefficient", jsonNumber(numberField(record, u"range_coefficient")));
    add("line_count", QString::number(record.lines.size()));
    add("lines_evaluated", QString::number(again.smoothed.size()));
    add("smoothed_twice", jsonBool(again.smoothedTwice));
    add("without_coefficients", jsonBool(again.withoutCoefficients));
    return u'{' + f.join(QStringLiteral(", ")) + u'}';
}

QString reevaluationTable(const Record& record, const Reevaluation& again,
                          const std::optional<Reevaluation>& recorded) {
    const QString none = QStringLiteral("—");
    auto bod = [&none](const std::optional<double>& v) { return v ? resultCellText(*v) : none; };
    auto line = [&none](const std::optional<int>& index) {
        return index ? QString::number(*index + 1) : none;
    };
    auto filter = [&none](const std::optional<FilterParameters>& p) {
        return p ? formatNumber(p->a, u"0.00") + QStringLiteral("; %1; %2").arg(p->cycles).arg(p->window)
                 : none;
    };
    auto comma = [](double v) { return canonicalNumber(v).replace(u'.', u','); };
    struct Row {
        QString heading, recorded, again;
    };
    std::vector<Row> rows = {
        {QString(), QStringLiteral("записано"), QStringLiteral("пересчитано")},
        {QStringLiteral("Фильтр A; B; C"), filter(recordedFilter(record)), filter(again.filter)},
        {QStringLiteral("Окончание"), record.text(u"status"), endText(again.end)},
        {QStringLiteral("БПК'"), bod(numberField(record, u"bod_initial")), bod(again.bodInitial)},
        {QStringLiteral("БПК"), bod(numberField(record, u"bod_final")), bod(again.bodFinal)},
        {QStringLiteral("Начальная скорость, строка"),
         line(recordedLine(recorded, &Reevaluation::initialRateLine)), line(again.initialRateLine)},
        {QStringLiteral("Конечная скорость, строка"),
         line(recordedLine(recorded, &Reevaluation::finalRateLine)), line(again.finalRateLine)},
    };
    const bool calibration = record.text(u"kind") == u"calibration";
    if (calibration) {
        rows.push_back({QStringLiteral("Коэффициент по S'max"),
                        comma(record.value(u"rate_coefficient").toDouble()), comma(again.rateCoefficient)});
        rows.push_back({QStringLiteral("Коэффициент по dS"),
                        comma(record.value(u"range_coefficient").toDouble()), comma(again.rangeCoefficient)});
    }
    QString text = QStringLiteral("Запись ") + record.text(u"id") + QStringLiteral(": ") +
                   (calibration ? QStringLiteral("калибровка ") : QStringLiteral("анализ ")) +
                   record.text(u"analysis_kind");
    if (!record.text(u"description").isEmpty())
        text += QStringLiteral(" «") + record.text(u"description") + QStringLiteral("»");
    if (!record.value(u"dilution").isNull())
        text += QStringLiteral(", разведение ") + comma(record.value(u"dilution").toDouble());
    text += QStringLiteral(", строк %1\n").arg(record.lines.size());
    qsizetype w0 = 0, w1 = 0;
    for (const Row& r : rows) {
        w0 = std::max(w0, r.heading.size());
        w1 = std::max(w1, r.recorded.size());
    }
    for (const Row& r : rows)
        text += r.heading.leftJustified(w0) + QStringLiteral("  ") + r.recorded.leftJustified(w1) +
                QStringLiteral("  ") + r.again + u'\n';
    return text;
}

} // namespace lorimet::journal
