// lorimet-report FILE [--xlsx OUT] [--csv OUT] [--pdf OUT]: the report table of a protocol file, headless.
//
// Prints the table as the program copies it to the clipboard, and writes the spreadsheet, the CSV file and
// the table's print-out (A4, PDF) when asked. Exit status: 0 done, 1 wrong arguments or an output that
// could not be written, 2 a protocol file that is unreadable or damaged.
#include "app/PdfOutput.h"
#include "app/TablePrinter.h"
#include "config/Configuration.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolFile.h"
#include "reports/ReportTable.h"
#include "reports/TableText.h"
#include "reports/XlsxExport.h"
#include "text/FileNames.h"
#include "text/TimeText.h"

#include <QDate>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPrinter>

#include <cstdio>
#include <optional>

using namespace lorimet;

namespace {

const char kUsage[] = "usage: lorimet-report FILE [--xlsx OUT] [--csv OUT] [--pdf OUT]\n";

void writeOut(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

QString cannotWrite(const QString& path) {
    return QStringLiteral("Невозможно записать файл ") + QFileInfo(path).fileName() + QStringLiteral(" !\n");
}

// "dd.mm.yy г" of the first block when it holds a real date; a sheet may not be named after just any text.
QString reportDate(const ProtocolFileContent& content) {
    if (!content.blocks.empty()) {
        const QString first = content.blocks.front().dateText.trimmed();
        if (QDate::fromString(first, QStringLiteral("dd.MM.yy 'г'")).isValid())
            return first;
    }
    return dateText(QDate::currentDate());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();

    QString input;
    QString xlsxPath, csvPath, pdfPath;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        QString* target = a == u"--xlsx"  ? &xlsxPath
                          : a == u"--csv" ? &csvPath
                          : a == u"--pdf" ? &pdfPath
                                          : nullptr;
        if (target && i + 1 < args.size() && target->isEmpty()) {
            *target = args[++i];
        } else if (a == u"--help" || a == u"-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!target && input.isEmpty() && !a.startsWith(u"--")) {
            input = a;
        } else {
            std::fputs(kUsage, stderr);
            return 1;
        }
    }
    if (input.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    // Each output ends in its kind's extension, as the program's save dialogs make it; outputs of two kinds
    // given one name do not end as one file written over the other.
    xlsxPath = withExtension(xlsxPath, QStringLiteral("xlsx"));
    csvPath = withExtension(csvPath, QStringLiteral("csv"));
    pdfPath = withExtension(pdfPath, QStringLiteral("pdf"));

    // Read as the open command reads: every complete block becomes a row; any damage rejects the file.
    const std::optional<QStringList> lines = readProtocolFile(input);
    const ProtocolFileContent content = lines ? parseProtocolFile(*lines) : ProtocolFileContent{};
    if (!lines || content.damaged) {
        writeOut(stderr, QStringLiteral("Файл не содержит данных или повреждён !\n"));
        return 2;
    }
    ReportTable table;
    table.writeHeadings();
    int probeCounter = 0;
    for (const ProtocolBlock& block : content.blocks) {
        table.addResultRow(probeCounter, block.description, block.rateResult, block.rangeResult,
                           block.toxicityResult, block.temperature, block.durationText, block.endTimeText,
                           block.dateText);
        ++probeCounter;
    }

    writeOut(stdout, clipboardText(table, probeCounter));

    // The report is of the file's day, the date of its first result; a file without results, or whose
    // first date is not one, gets today's. The grid's font is the table's default, Arial at the
    // configuration's default size.
    const QString title = reportTitle(reportDate(content));
    const int fontSize = Settings{}.sizes[3];
    QFont gridFont(QStringLiteral("Arial"));
    gridFont.setPointSize(fontSize);
    const ColumnWidths widths = fittedColumnWidths(table, gridFont);

    int status = 0;
    if (!xlsxPath.isEmpty() && !writeXlsxReport(xlsxPath, table, probeCounter, title, widths, fontSize)) {
        writeOut(stderr, cannotWrite(xlsxPath));
        status = 1;
    }
    if (!csvPath.isEmpty() && !writeCsvReport(csvPath, table, probeCounter)) {
        writeOut(stderr, cannotWrite(csvPath));
        status = 1;
    }
    if (!pdfPath.isEmpty()) {
        const PdfOutput pdf(pdfPath);
        QPrinter printer(QPrinter::HighResolution);
        setUpPdfPrinter(printer, pdf.scratchPath());
        if (!printTable(printer, table, probeCounter, title, widths) || !pdf.commit()) {
            writeOut(stderr, cannotWrite(pdfPath));
            status = 1;
        }
    }
    return status;
}
