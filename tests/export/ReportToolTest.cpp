// lorimet-report on protocol files.
#include "ExportHelpers.h"

#include "reports/ReportTable.h"
#include "reports/TableText.h"

#include "fakes/SmallDisk.h"

#include <QDate>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace lorimet;
using namespace lorimet::exporttest;

namespace {

class ReportTool : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    ProcessResult run(const QStringList& arguments) {
        return runProcess(QStringLiteral(LORIMET_REPORT_TOOL), arguments);
    }
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(ReportTool, PrintsTheTableAndWritesEveryOutput) {
    QStringList text = protocolText(3);
    text[11] = QStringLiteral("БПК*=012,35 БПК=007,50 "); // the second analysis was a full one
    ASSERT_TRUE(writeProtocol(path("p.txt"), text));
    const ProcessResult r =
        run({path("p.txt"), QStringLiteral("--xlsx"), path("r.xlsx"), QStringLiteral("--csv"), path("r.csv"),
             QStringLiteral("--pdf"), path("r.pdf")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QStringList lines = QString::fromUtf8(r.out).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 7); // heading, three rows, two empty rows, and nothing after the last CR LF
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral(" № \t Описание пробы \t")));
    EXPECT_EQ(lines[2], QStringLiteral("2\tПроба 2\t12,4\t7,5\t\t20,5\t12:34\t14:05:09\t06.12.26 г"));
    EXPECT_EQ(lines[4], QString(8, u'\t'));

    QFile csv(path("r.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(fromCp1251(csv.readAll()).count(QStringLiteral("\r\n")), 4);
    const QStringList pages = pdfPages(path("r.pdf"));
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains(QStringLiteral("Проба 3")));
    EXPECT_TRUE(pages[0].contains(QStringLiteral("страница: 1 из 1")));
    if (pythonWithOpenpyxl().isEmpty())
        return;
    const std::optional<QJsonObject> book = readWorkbook(path("r.xlsx"));
    ASSERT_TRUE(book);
    EXPECT_EQ((*book)[QStringLiteral("dimensions")].toString(), QStringLiteral("A1:I4"));
    const QString sheet = (*book)[QStringLiteral("sheets")].toArray().at(0).toString();
    EXPECT_EQ(sheet, QStringLiteral("Отчёт от 06.12.26 г"));
}

// The sheet and the print-out are named after the day of the file's first result, not after the day the
// report is made; a first date that is no date gives today's.
TEST_F(ReportTool, TheReportCarriesTheDateOfTheFilesFirstResult) {
    const QString today =
        QStringLiteral("Отчёт от ") + QDate::currentDate().toString(QStringLiteral("dd.MM.yy г"));
    struct Case {
        const char* firstDate;
        QString title;
    };
    for (const Case& c : {Case{"06.12.26 г", QStringLiteral("Отчёт от 06.12.26 г")},
                          Case{"06:12:26 г", today}, Case{"32.12.26 г", today}}) {
        SCOPED_TRACE(c.firstDate);
        QStringList text = protocolText(2);
        text[6] = timeDateLine(QStringLiteral("14:05:09"), QString::fromUtf8(c.firstDate));
        text[13] = timeDateLine(QStringLiteral("09:00:00"), QStringLiteral("07.12.26 г"));
        ASSERT_TRUE(writeProtocol(path("p.txt"), text));
        const ProcessResult r = run({path("p.txt"), QStringLiteral("--xlsx"), path("r.xlsx"),
                                     QStringLiteral("--pdf"), path("r.pdf")});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        const ProcessResult info = runProcess(QStringLiteral("pdfinfo"), {path("r.pdf")});
        EXPECT_TRUE(QString::fromUtf8(info.out).contains(QRegularExpression(
            QStringLiteral("Title:\\s+") + QRegularExpression::escape(c.title) + QStringLiteral("\\n"))));
        const QStringList pages = pdfPages(path("r.pdf"));
        ASSERT_EQ(pages.size(), 1);
        EXPECT_EQ(pages[0].trimmed().section(u'\n', 0, 0).trimmed(), c.title);
        if (pythonWithOpenpyxl().isEmpty())
            continue;
        const std::optional<QJsonObject> book = readWorkbook(path("r.xlsx"));
        ASSERT_TRUE(book);
        EXPECT_EQ((*book)[QStringLiteral("sheets")].toArray().at(0).toString(), c.title);
    }
}

TEST_F(ReportTool, OutputsNamedAlikeEachGetTheirOwnExtension) {
    ASSERT_TRUE(writeProtocol(path("p.txt"), protocolText(1)));
    const QString name = path("Отчёт от 06.12.26 г");
    const ProcessResult r = run({path("p.txt"), QStringLiteral("--xlsx"), name, QStringLiteral("--csv"), name,
                                 QStringLiteral("--pdf"), name + QStringLiteral(".PDF")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_FALSE(QFileInfo::exists(name));
    EXPECT_EQ(pdfPages(name + QStringLiteral(".PDF")).size(), 1);
    QFile csv(name + QStringLiteral(".csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(fromCp1251(csv.readAll()).contains(QStringLiteral("Проба 1")));
    if (!pythonWithOpenpyxl().isEmpty())
        EXPECT_TRUE(readWorkbook(name + QStringLiteral(".xlsx")));
}

TEST_F(ReportTool, DamagedOrUnreadableFilesAreRefused) {
    QStringList cut = protocolText(2);
    cut.removeLast(); // the second block ends early
    ASSERT_TRUE(writeProtocol(path("cut.txt"), cut));
    ASSERT_TRUE(writeProtocol(path("one.txt"), {QStringLiteral("1")}));
    ASSERT_TRUE(writeProtocol(path("word.txt"), {QStringLiteral("два")}));
    QStringList cutTime = protocolText(2);
    cutTime.last() = QStringLiteral("Время: 09:09:0"); // the last write was lost part-way
    ASSERT_TRUE(writeProtocol(path("cut-time.txt"), cutTime));
    for (const char* name : {"cut.txt", "one.txt", "word.txt", "missing.txt", "cut-time.txt"}) {
        SCOPED_TRACE(name);
        const ProcessResult r = run({path(name), QStringLiteral("--csv"), path("r.csv")});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(
            QString::fromUtf8(r.err).contains(QStringLiteral("Файл не содержит данных или повреждён !")));
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(path("r.csv")));
    }
}

TEST_F(ReportTool, AnEmptyFileIsAnEmptyTable) {
    ASSERT_TRUE(writeFile(path("empty.txt"), QByteArray()));
    const ProcessResult r = run({path("empty.txt")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(r.out).count(QStringLiteral("\r\n")), 3);
}

TEST_F(ReportTool, WrongArgumentsAndUnwritableOutputs) {
    // Wrong usage is told apart from an output that could not be written.
    EXPECT_EQ(run({}).exitCode, 2);
    EXPECT_EQ(run({path("a.txt"), path("b.txt")}).exitCode, 2);
    ASSERT_TRUE(writeProtocol(path("p.txt"), protocolText(1)));
    EXPECT_EQ(run({path("p.txt"), QStringLiteral("--xlsx")}).exitCode, 2);
    EXPECT_EQ(
        run({path("p.txt"), QStringLiteral("--csv"), path("a"), QStringLiteral("--csv"), path("b")}).exitCode,
        2);
    const ProcessResult r = run({path("p.txt"), QStringLiteral("--xlsx"), path("no/such/r.xlsx")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("Невозможно записать файл r.xlsx !")));
}

TEST_F(ReportTool, WhatIsNoRegularFileIsRefusedAtOnce) {
    // A FIFO would hold the tool for ever, /dev/zero would fill the memory.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.txt")).constData(), 0600), 0);
    for (const QString& input : {path("fifo.txt"), QStringLiteral("/dev/zero"), dir.path()}) {
        QProcess process;
        process.start(QStringLiteral(LORIMET_REPORT_TOOL), {input});
        ASSERT_TRUE(process.waitForStarted(30000));
        const bool finished = process.waitForFinished(20000);
        if (!finished)
            process.kill();
        ASSERT_TRUE(finished) << input.toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << input.toStdString();
        EXPECT_EQ(process.exitCode(), 2) << input.toStdString();
        EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError())
                        .contains(QStringLiteral("Файл не содержит данных или повреждён !")));
    }
}

TEST_F(ReportTool, OnAFullDiskTheOutputsStayAsTheyWere) {
    lorimet::testing::SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    ASSERT_TRUE(writeProtocol(path("p.txt"), protocolText(3)));
    for (const char* kind : {"csv", "xlsx", "pdf"}) {
        const QString out = disk.filePath(QStringLiteral("r.") + QString::fromLatin1(kind));
        ASSERT_TRUE(writeFile(out, "the file as it was"));
    }
    disk.fill();
    for (const char* kind : {"csv", "xlsx", "pdf"}) {
        SCOPED_TRACE(kind);
        const QString name = QStringLiteral("r.") + QString::fromLatin1(kind);
        const ProcessResult r =
            run({path("p.txt"), QStringLiteral("--") + QString::fromLatin1(kind), disk.filePath(name)});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("Невозможно записать файл ") + name +
                                                      QStringLiteral(" !")));
        QFile file(disk.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("the file as it was"));
    }
    // With room the same outputs are written whole.
    disk.empty();
    const ProcessResult r =
        run({path("p.txt"), QStringLiteral("--csv"), disk.filePath(QStringLiteral("r.csv")),
             QStringLiteral("--pdf"), disk.filePath(QStringLiteral("r.pdf"))});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(pdfPages(disk.filePath(QStringLiteral("r.pdf"))).size(), 1);
}
