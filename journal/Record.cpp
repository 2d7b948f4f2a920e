#include "journal/Record.h"
#include "journal/Sha256.h"

#include <QDateTime>

#include <charconv>
#include <cstdlib>
#include <string>

namespace lorimet::journal {

int fieldIndex(QStringView name) {
    for (size_t i = 0; i < kFields.size(); ++i)
        if (name == QLatin1StringView(kFields[i].name))
            return static_cast<int>(i);
    return -1;
}

QVariant Record::value(QStringView name) const {
    const int i = fieldIndex(name);
    return i < 0 ? QVariant() : values[static_cast<size_t>(i)];
}

void Record::set(QStringView name, const QVariant& value) {
    const int i = fieldIndex(name);
    Q_ASSERT(i >= 0);
    // An empty text is no value: stored as NULL, it must hash as one too.
    const bool empty = value.typeId() == QMetaType::QString && value.toString().isEmpty();
    if (i >= 0)
        values[static_cast<size_t>(i)] = empty ? QVariant() : value;
}

QString canonicalNumber(double value) {
    if (value == 0)
        value = 0; // -0 is stored as 0 by SQLite: one text for both
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

namespace {

// Backslash, line ends and tabs escaped, so a field or a line's field is always one text line.
QString escaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString canonicalValue(FieldType type, const QVariant& v) {
    switch (type) {
    case FieldType::Text:
        return escaped(v.toString());
    case FieldType::Number:
        return canonicalNumber(v.toDouble());
    case FieldType::Integer:
        return QString::number(v.toLongLong());
    case FieldType::Boolean:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    }
    return {};
}

} // namespace

namespace {

void appendNumber(std::string& out, double value) {
    if (value == 0)
        value = 0; // as canonicalNumber: -0 is 0
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// escaped() on the UTF-8 bytes: the characters it escapes are ASCII, and no byte of a multi-byte
// sequence is.
void appendEscaped(std::string& out, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    for (const char c : bytes) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
}

} // namespace

QString linesDigest(const std::vector<RecordLine>& lines) {
    // The bytes of the form docs/journal.md gives, written straight into a buffer: a run of 36 000 lines
    // (and an import of thousands of runs) spends its time here otherwise, in temporary strings.
    constexpr size_t kBlock = 1 << 16;
    Sha256 hash;
    std::string text;
    text.reserve(kBlock + 1024);
    for (const RecordLine& l : lines) {
        char buffer[32];
        const auto elapsed = std::to_chars(buffer, buffer + sizeof buffer, l.elapsedMs);
        text.append(buffer, elapsed.ptr);
        text += '\t';
        appendEscaped(text, l.raw);
        for (const double v : {l.signal, l.smoothed, l.derivative, l.temperature}) {
            text += '\t';
            appendNumber(text, v);
        }
        text += '\n';
        if (text.size() >= kBlock) {
            hash.addData(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
            text.clear();
        }
    }
    hash.addData(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return QString::fromLatin1(hash.hexResult());
}

QByteArray canonicalForm(const Record& record) {
    QString out;
    for (size_t i = 0; i < kCanonicalFieldCount; ++i) {
        const QVariant& v = record.values[i];
        if (v.isNull())
            continue;
        out += QLatin1StringView(kFields[i].name) + u'=' + canonicalValue(kFields[i].type, v) + u'\n';
    }
    return out.toUtf8();
}

QString chainHash(const QString& prevHash, const Record& record) {
    Sha256 hash;
    hash.addData(prevHash.toLatin1());
    hash.addData(QByteArrayView("\n"));
    hash.addData(canonicalForm(record));
    return QString::fromLatin1(hash.hexResult());
}

QString isoTime(const QDateTime& time) {
    // Written out by hand: Qt writes an offset of 0 as "Z", the journal always as "+00:00".
    const QDateTime local = time.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace lorimet::journal
