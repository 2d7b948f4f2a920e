#include "reports/TableText.h"

#include "text/Cp1251.h"
#include "text/SafeFile.h"

namespace lorimet {

QString csvField(const QString& text) {
    if (!text.contains(u';') && !text.contains(u'"') && !text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString clipboardText(const ReportTable& table, int probeCounter) {
    QString text;
    for (int r = 0; r <= probeCounter + 2; ++r) {
        for (int c = 0; c < ReportTable::kColumns; ++c) {
            if (c > 0)
                text += u'\t';
            text += table.cell(r, c);
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

QByteArray csvReport(const ReportTable& table, int probeCounter) {
    QString text;
    for (int r = 0; r <= probeCounter; ++r) {
        for (int c = 0; c < ReportTable::kColumns; ++c) {
            if (c > 0)
                text += u';';
            text += csvField(table.cell(r, c));
        }
        text += QStringLiteral("\r\n");
    }
    return toCp1251(text);
}

bool writeCsvReport(const QString& path, const ReportTable& table, int probeCounter) {
    return writeFileAtomically(path, csvReport(table, probeCounter));
}

} // namespace lorimet
