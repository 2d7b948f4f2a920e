#include "journal/RecordText.h"

#include "reports/TableText.h"

namespace lorimet::journal {

namespace {

QString jsonString(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            out += QStringLiteral("\\\"");
            break;
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
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + u'"';
}

QString jsonValue(FieldType type, const QVariant& v) {
    if (v.isNull())
        return QStringLiteral("null");
    switch (type) {
    case FieldType::Text:
        return jsonString(v.toString());
    case FieldType::Number:
        return canonicalNumber(v.toDouble());
    case FieldType::Integer:
        return QString::number(v.toLongLong());
    case FieldType::Boolean:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    }
    return {};
}

QString commaNumber(double value) {
    return canonicalNumber(value).replace(u'.', u',');
}

} // namespace

QString recordJson(const Record& record, bool withLines) {
    QString out = QStringLiteral("{");
    for (size_t i = 0; i < kFields.size(); ++i) {
        if (i > 0)
            out += QStringLiteral(", ");
        out += jsonString(QLatin1StringView(kFields[i].name).toString()) + QStringLiteral(": ") +
               jsonValue(kFields[i].type, record.values[i]);
    }
    if (withLines) {
        out += QStringLiteral(", \"lines\": [");
        bool first = true;
        for (const RecordLine& l : record.lines) {
            if (!first)
                out += QStringLiteral(", ");
            first = false;
            out += QStringLiteral("{\"elapsed_ms\": ") + QString::number(l.elapsedMs) +
                   QStringLiteral(", \"raw\": ") + jsonString(l.raw) + QStringLiteral(", \"signal\": ") +
                   canonicalNumber(l.signal) + QStringLiteral(", \"smoothed\": ") +
                   canonicalNumber(l.smoothed) + QStringLiteral(", \"derivative\": ") +
                   canonicalNumber(l.derivative) + QStringLiteral(", \"temperature\": ") +
                   canonicalNumber(l.temperature) + u'}';
        }
        out += u']';
    }
    return out + u'}';
}

QString displayValue(const Record& record, size_t field) {
    const QVariant& v = record.values[field];
    if (v.isNull())
        return {};
    switch (kFields[field].type) {
    case FieldType::Text:
        return v.toString();
    case FieldType::Number:
        return commaNumber(v.toDouble());
    case FieldType::Integer:
        return QString::number(v.toLongLong());
    case FieldType::Boolean:
        return v.toBool() ? QStringLiteral("да") : QStringLiteral("нет");
    }
    return {};
}

QString csvHeading() {
    QString out;
    for (size_t i = 0; i < kFields.size(); ++i) {
        if (i > 0)
            out += u';';
        out += QLatin1StringView(kFields[i].name);
    }
    return out + QStringLiteral("\r\n");
}

QString csvRow(const Record& record) {
    QString out;
    for (size_t i = 0; i < kFields.size(); ++i) {
        if (i > 0)
            out += u';';
        const QVariant& v = record.values[i];
        if (kFields[i].type == FieldType::Boolean && !v.isNull())
            out += v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        else
            out += csvField(displayValue(record, i));
    }
    return out + QStringLiteral("\r\n");
}

} // namespace lorimet::journal
