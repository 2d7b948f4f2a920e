#include "reports/DayProtocol.h"

#include "reports/ProtocolText.h"
#include "text/Cp1251.h"
#include "text/NumberFormat.h"
#include "text/Numbers.h"
#include "text/SafeFile.h"

namespace lorimet {

std::optional<QStringList> readProtocolFile(const QString& path, bool* bytesLeftOut) {
    FileRead read = readRegularFile(path);
    if (bytesLeftOut)
        *bytesLeftOut = read.unreadFile;
    if (!read.bytes)
        return std::nullopt;
    QByteArray& bytes = *read.bytes;
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0) {
        bytes.truncate(nul);
        if (bytesLeftOut)
            *bytesLeftOut = true;
    }

    QStringList lines;
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    while (p < end) {
        const char* start = p;
        while (p < end && *p != '\r' && *p != '\n')
            ++p;
        lines.append(fromCp1251(start, p - start));
        if (p < end && *p == '\r')
            ++p;
        if (p < end && *p == '\n')
            ++p;
    }
    return lines;
}

bool writeProtocolFile(const QString& path, const QStringList& lines, QString* reason) {
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += toCp1251(line);
        bytes += "\r\n";
    }
    return writeFileAtomically(path, bytes, reason);
}

QString dayFileName(const QString& dateText) {
    return QStringLiteral("Протокол от ") + dateText + QStringLiteral(".tmp");
}

namespace {

// Characters first .. first + count - 1 (1-based), shorter or empty where the line is short.
QStringView chars(const QString& line, qsizetype first, qsizetype count) {
    return QStringView(line).mid(first - 1).left(count);
}

} // namespace

RebuildResult rebuildTable(const QStringList& lines, ReportTable& table) {
    RebuildResult result;
    const qsizetype lineCount = lines.size();
    qsizetype a = 0;
    while (a < lineCount) {
        const QString& r = lines[a];
        if (!r.startsWith(u"БПК")) {
            ++a;
            continue;
        }
        // One refit per row, also for a row that the damage cuts short.
        ReportTable::Batch batch(table);
        const int row = result.probeCounter + 1;
        table.setRowCount(result.probeCounter + 2);
        table.setCell(row, 0, QString::number(row));
        // A result line at the very top has no description line before it.
        if (a == 0) {
            result.complete = false;
            return result;
        }
        table.setCell(row, 1, lines[a - 1]);
        result.descriptions.append(lines[a - 1]);

        const auto rate = parseFileField(chars(r, 6, 6));
        if (!rate) {
            result.complete = false;
            return result;
        }
        table.setCell(row, 2, resultCellText(*rate));
        if (chars(r, 13, 3) == u"БПК") {
            const auto range = parseFileField(chars(r, 17, 6));
            if (!range) {
                result.complete = false;
                return result;
            }
            table.setCell(row, 3, resultCellText(*range));
        }
        // Only the full form followed by a toxicity index is recognised here.
        if (chars(r, 24, 2) == u"ОТ") {
            const auto toxicity = parseFileField(chars(r, 27, 5));
            if (!toxicity) {
                result.complete = false;
                return result;
            }
            table.setCell(row, 4, formatNumber(*toxicity, u"0.0"));
        }

        if (a + 1 >= lineCount) {
            result.complete = false;
            return result;
        }
        const QString& temperatureText = lines[a + 1];
        const auto temperature = parseFileField(chars(temperatureText, 3, 5));
        if (!temperature) {
            result.complete = false;
            return result;
        }
        table.setCell(row, 5, formatNumber(*temperature, u"0.0"));
        table.setCell(row, 6, chars(temperatureText, 14, 5).toString());

        if (a + 2 >= lineCount) {
            result.complete = false;
            return result;
        }
        const QString& timeText = lines[a + 2];
        table.setCell(row, 7, chars(timeText, 8, 8).toString());
        table.setCell(row, 8, chars(timeText, 23, 10).toString());

        ++result.probeCounter;
        a += 3;
    }
    return result;
}

} // namespace lorimet
