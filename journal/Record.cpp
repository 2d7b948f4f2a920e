#include "journal/Record.h"

#include <QCryptographicHash>
#include <QDateTime>

#include <charconv>
#include <cstdlib>

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

QString linesDigest(const std::vector<RecordLine>& lines) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QString line;
    for (const RecordLine& l : lines) {
        line = QString::number(l.elapsedMs) + u'\t' + escaped(l.raw) + u'\t' + canonicalNumber(l.signal) +
               u'\t' + canonicalNumber(l.smoothed) + u'\t' + canonicalNumber(l.derivative) + u'\t' +
               canonicalNumber(l.temperature) + u'\n';
        hash.addData(line.toUtf8());
    }
    return QString::fromLatin1(hash.result().toHex());
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
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(prevHash.toLatin1());
    hash.addData(QByteArrayView("\n"));
    hash.addData(canonicalForm(record));
    return QString::fromLatin1(hash.result().toHex());
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
