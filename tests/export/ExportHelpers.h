#pragma once

// Tables, protocol texts and the outside readers (openpyxl, pdftotext) the export tests share.
#include "reports/ProtocolText.h"
#include "reports/ReportTable.h"
#include "text/Cp1251.h"

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <optional>

namespace lorimet::exporttest {

// A table of n results as the program fills it: every second one a full analysis.
inline ReportTable resultTable(int n) {
    ReportTable table;
    table.writeHeadings();
    for (int k = 0; k < n; ++k)
        table.addResultRow(k, QStringLiteral("Проба %1").arg(k + 1), k == 0 ? 0.456 : 12.34 + k,
                           k % 2 == 1 ? std::optional<double>(0.876) : std::nullopt, std::nullopt, 20.46,
                           QStringLiteral("12:34"), QStringLiteral("14:05:09"), QStringLiteral("06.12.26 г"));
    return table;
}

// The protocol text of n small analyses of two samples each.
inline QStringList protocolText(int n) {
    QStringList lines;
    for (int k = 0; k < n; ++k) {
        lines << QStringLiteral("2") << dataLine(87.25, 0, 0) << dataLine(86.9, 0.014, 0.0000105)
              << QStringLiteral("Проба %1").arg(k + 1) << resultLine(1.5 + k, false, 0, false, 0)
              << temperatureLine(20.46, QStringLiteral("12:34"))
              << timeDateLine(QStringLiteral("14:05:09"), QStringLiteral("06.12.26 г"));
    }
    return lines;
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline bool writeProtocol(const QString& path, const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += toCp1251(line) + "\r\n";
    return writeFile(path, bytes);
}

struct ProcessResult {
    bool started = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ProcessResult runProcess(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    ProcessResult result;
    result.started = process.waitForStarted(30000);
    if (!result.started)
        return result;
    process.waitForFinished(60000);
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// Debian's python3 carries openpyxl; a python3 earlier on the PATH may not.
inline QString pythonWithOpenpyxl() {
    for (const QString& candidate : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        const ProcessResult r =
            runProcess(candidate, {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
        if (r.started && r.exitCode == 0)
            return candidate;
    }
    return {};
}

// What openpyxl sees in the first worksheet: names, extent, every cell's value, type, number format,
// font and borders, the column widths.
inline std::optional<QJsonObject> readWorkbook(const QString& path) {
    static const QString script = QStringLiteral(R"(
import json, sys, openpyxl
def rgb(color):  # a theme colour has no rgb text
    return color.rgb if color is not None and isinstance(color.rgb, str) else None
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
out = {"sheets": wb.sheetnames, "dimensions": ws.dimensions, "maxRow": ws.max_row, "maxColumn": ws.max_column,
       "cells": {}, "widths": {}}
for row in ws.iter_rows():
    for c in row:
        b = c.border
        out["cells"][c.coordinate] = {
            "value": c.value, "type": c.data_type, "format": c.number_format, "bold": bool(c.font.b),
            "size": c.font.sz, "font": c.font.name, "align": c.alignment.horizontal,
            "color": rgb(c.font.color),
            "borders": [b.left.style, b.right.style, b.top.style, b.bottom.style],
            "borderColor": rgb(b.left.color)}
for key, d in ws.column_dimensions.items():
    out["widths"][key] = {"width": d.width, "hidden": bool(d.hidden)}
print(json.dumps(out))
)");
    const QString python = pythonWithOpenpyxl();
    if (python.isEmpty())
        return std::nullopt;
    const ProcessResult r = runProcess(python, {QStringLiteral("-c"), script, path});
    if (r.exitCode != 0)
        return std::nullopt;
    return QJsonDocument::fromJson(r.out).object();
}

// The text of each page of a PDF file, laid out as on paper.
inline QStringList pdfPages(const QString& path) {
    const ProcessResult r =
        runProcess(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (r.exitCode != 0)
        return {};
    QStringList pages = QString::fromUtf8(r.out).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

} // namespace lorimet::exporttest
