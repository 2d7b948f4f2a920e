// lorimet-report FILE [--xlsx OUT] [--csv OUT] [--pdf OUT]: the report table of a protocol file, headless.
//
// Prints the table as the program copies it to the clipboard, and writes the spreadsheet, the CSV file and
// the table's print-out (A4, PDF) when asked. Exit status: 0 done, 1 an output that could not be written,
// 2 wrong usage or a protocol file that is unreadable or damaged.
#include "app/PdfOutput.h"
#include "app/TablePrinter.h"
#include "cli/CommandLine.h"
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

    cli::CommandLine command(
        QStringLiteral("lorimet-report"),
        QStringLiteral("The report table of a protocol file: printed as the program copies "
                       "it, and written as a workbook, CSV or PDF when asked."));
    QCommandLineParser& parser = command.parser();
    const QCommandLineOption xlsxOption(QStringLiteral("xlsx"), QStringLiteral("Write the workbook."),
                                        QStringLiteral("OUT"));
    const QCommandLineOption csvOption(QStringLiteral("csv"), QStringLiteral("Write the CSV file."),
                                       QStringLiteral("OUT"));
    const QCommandLineOption pdfOption(QStringLiteral("pdf"), QStringLiteral("Write the print-out (A4)."),
                                       QStringLiteral("OUT"));
    parser.addOptions({xlsxOption, csvOption, pdfOption});
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The protocol file (.txt) or day file."));
    command.setEpilogue(
        QStringLiteral("Exit status: 0 done, 1 an output that could not be written, 2 wrong usage "
                       "or a protocol file that is unreadable or damaged."));
    if (const auto done = command.parse(app.arguments()))
        return *done;
    if (parser.positionalArguments().size() != 1)
        return command.usageError(parser.positionalArguments().isEmpty()
                                      ? QStringLiteral("no protocol file")
                                      : QStringLiteral("one protocol file at a time"));
    for (const QCommandLineOption* output : {&xlsxOption, &csvOption, &pdfOption})
        if (parser.values(*output).size() > 1)
            return command.usageError(QStringLiteral("--%1 is given once").arg(output->names().first()));
    const QString input = parser.positionalArguments().first();
    QString xlsxPath = parser.value(xlsxOption);
    QString csvPath = parser.value(csvOption);
    QString pdfPath = parser.value(pdfOption);
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
