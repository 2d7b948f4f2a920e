#pragma once

#include <QString>
#include <QVariant>

#include <array>
#include <optional>
#include <vector>

namespace lorimet::journal {

enum class FieldType { Text, Number, Integer, Boolean };

struct FieldInfo {
    const char* name; // as in JSON and as the column name
    FieldType type;
};

// Every field of a record in its fixed order: the order of the canonical form, the columns and the
// exports. prev_hash and hash come last and are not part of the canonical form.
inline constexpr std::array<FieldInfo, 38> kFields{{
    {"id", FieldType::Text},
    {"kind", FieldType::Text},
    {"status", FieldType::Text},
    {"station", FieldType::Text},
    {"station_name", FieldType::Text},
    {"seq", FieldType::Integer},
    {"operator", FieldType::Text},
    {"source", FieldType::Text},
    {"started_at", FieldType::Text},
    {"finished_at", FieldType::Text},
    {"description", FieldType::Text},
    {"analysis_kind", FieldType::Text},
    {"dilution", FieldType::Number},
    {"certified_value", FieldType::Number},
    {"reference_dilution", FieldType::Number},
    {"bod_initial", FieldType::Number},
    {"bod_final", FieldType::Number},
    {"toxicity", FieldType::Number},
    {"mean_temperature", FieldType::Number},
    {"signal_range", FieldType::Number},
    {"max_derivative", FieldType::Number},
    {"rate_coefficient", FieldType::Number},
    {"range_coefficient", FieldType::Number},
    {"calibration_id", FieldType::Text},
    {"corrects", FieldType::Text},
    {"note", FieldType::Text},
    {"invalidates", FieldType::Boolean},
    {"filter_a", FieldType::Number},
    {"filter_b", FieldType::Number},
    {"filter_c", FieldType::Number},
    {"frequency", FieldType::Number},
    {"delay", FieldType::Number},
    {"line_count", FieldType::Integer},
    {"app_version", FieldType::Text},
    {"lines_sha256", FieldType::Text},
    {"import_key", FieldType::Text},
    {"prev_hash", FieldType::Text},
    {"hash", FieldType::Text},
}};
// Fields before this index make the canonical form.
inline constexpr size_t kCanonicalFieldCount = kFields.size() - 2;

int fieldIndex(QStringView name); // -1 when there is no such field

// One line of a run: the analyser's text as received and what the program made of it.
struct RecordLine {
    qint64 elapsedMs = 0;
    QString raw; // the analyser's text
    double signal = 0;
    double smoothed = 0;
    double derivative = 0;
    double temperature = 0;
};

// The previous hash of a chain's first record.
inline const QString kChainStart = QString(64, u'0');

// A record: each field a null QVariant when absent, else a QString, double, qint64 or bool by its type.
// An empty text is absent.
struct Record {
    std::array<QVariant, kFields.size()> values;
    std::vector<RecordLine> lines;

    QVariant value(QStringView name) const;
    void set(QStringView name, const QVariant& value);
    QString text(QStringView name) const { return value(name).toString(); }
};

// The digest of a run's lines: SHA-256 (hex) over one text line per run line, in the form docs/journal.md
// gives; the empty run has the digest of no bytes.
QString linesDigest(const std::vector<RecordLine>& lines);
// The record's canonical form: UTF-8, one "name=value" line per field that is not null, in field order.
QByteArray canonicalForm(const Record& record);
// The chain's hash of a record: SHA-256 (hex) of the previous hash, a line end and the canonical form.
QString chainHash(const QString& prevHash, const Record& record);
// The number as the canonical form, JSON and the database text write it: the shortest text that reads
// back as the same double, with the point.
QString canonicalNumber(double value);

// Local time with its offset and milliseconds: 2026-12-06T12:07:25.250+03:00.
QString isoTime(const QDateTime& time);

} // namespace lorimet::journal
