// Save, copy and print from the main window, offscreen, with the modal parts scripted.
#include "ExportHelpers.h"

#include "app/ChartView.h"
#include "app/MainWindow.h"
#include "app/PanelCommands.h"
#include "app/PrintDialog.h"
#include "config/Configuration.h"
#include "engine/Engine.h"
#include "fakes/Fakes.h"
#include "fakes/SmallDisk.h"
#include "reports/DayProtocol.h"
#include "reports/TableText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace lorimet;
using namespace lorimet::exporttest;
using namespace lorimet::testing;

namespace {

class PanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        config.load(dir.path());
        // Today's protocol holds two analyses; start-up restores them into the table.
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Temp")));
        ASSERT_TRUE(
            writeProtocol(dir.filePath(QStringLiteral("Temp/") + dayFileName(QStringLiteral("06.12.26 г"))),
                          protocolText(2)));
        window = std::make_unique<MainWindow>(config);
        engine = std::make_unique<Engine>(config, *window, scripted, link, clock, dir.path());
        window->applyConfiguration();
        window->attach(*engine);
        engine->startUp();
        window->show();
        commands = window->findChild<PanelCommands*>();
        ASSERT_TRUE(commands);
        ASSERT_EQ(engine->acquisition().probeCounter, 2);
        commands->showError = [this](const QString& text) { errors << text; };
        commands->chooseFile = [this](const FileRequest& request) -> std::optional<QString> {
            requests.push_back(request);
            if (duringDialog)
                duringDialog(request);
            return answer;
        };
    }
    void TearDown() override {
        window.reset();
        engine.reset();
    }
    void trigger(const char* name) {
        QAction* action = window->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_TRUE(action) << name;
        action->trigger();
    }
    // The print dialog answered with the PDF entry and the given kind of print.
    void scriptPrintDialog(bool colour = false) {
        commands->runPrintDialog = [this, colour](PrintDialog& dialog) {
            seenTitle = dialog.windowTitle();
            seenColourEnabled = dialog.colorPrint()->isEnabled();
            dialog.printerList()->setCurrentText(PrintDialog::kPdfEntry);
            if (colour)
                dialog.colorButton()->setChecked(true);
            dialog.okButton()->click();
            return int(QDialog::Accepted);
        };
    }
    QString dayFolder() const { return dir.filePath(QStringLiteral("Reports/06.12.26 г")); }

    QTemporaryDir dir;
    Configuration config;
    ManualClock clock;
    ScriptedOperator scripted;
    RecordingLink link;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Engine> engine;
    PanelCommands* commands = nullptr;
    QStringList errors;
    std::vector<FileRequest> requests;
    std::optional<QString> answer;
    std::function<void(const FileRequest&)> duringDialog;
    QString seenTitle;
    bool seenColourEnabled = false;
};

} // namespace

TEST_F(PanelTest, SavingTheTableWritesTheWorkbook) {
    window->ResTableClick();
    answer = dir.filePath(QStringLiteral("Отчёт.xlsx"));
    for (const char* name : {"SaveChart", "SavePanel"}) {
        requests.clear();
        QFile::remove(*answer);
        trigger(name);
        ASSERT_EQ(requests.size(), 1u) << name;
        const FileRequest& r = requests[0];
        EXPECT_EQ(r.title, QStringLiteral("Сохранить таблицу в формате Excel"));
        EXPECT_EQ(r.proposedName, QStringLiteral("Отчёт от 06.12.26 г"));
        EXPECT_EQ(r.filter, QStringLiteral("Файл Excel (*.xlsx)|*.xlsx"));
        EXPECT_EQ(QDir(r.folder), QDir(dayFolder()));
        EXPECT_TRUE(QFileInfo::exists(*answer)) << name;
    }
    EXPECT_TRUE(errors.isEmpty());
    if (pythonWithOpenpyxl().isEmpty())
        return;
    const std::optional<QJsonObject> book = readWorkbook(*answer);
    ASSERT_TRUE(book);
    EXPECT_EQ((*book)[QStringLiteral("sheets")].toArray(),
              QJsonArray({QStringLiteral("Отчёт от 06.12.26 г")}));
    EXPECT_EQ((*book)[QStringLiteral("dimensions")].toString(), QStringLiteral("A1:I3"));
}

TEST_F(PanelTest, CancelledOrFailedTableSave) {
    window->ResTableClick();
    trigger("SaveChart"); // cancelled: nothing written, nothing said
    EXPECT_TRUE(errors.isEmpty());
    answer = dir.filePath(QStringLiteral("no/such/r.xlsx"));
    trigger("SaveChart");
    EXPECT_EQ(errors, QStringList({QStringLiteral("Невозможно записать файл r.xlsx !")}));
}

TEST_F(PanelTest, CopyingTheTableOrTheChart) {
    window->ResTableClick();
    trigger("ChartCopy");
    EXPECT_EQ(QApplication::clipboard()->text(), clipboardText(engine->table(), 2));
    EXPECT_EQ(QApplication::clipboard()->text().count(QStringLiteral("\r\n")), 5);

    window->ResTableClick();
    trigger("CopyPanel");
    const QImage picture = QApplication::clipboard()->image();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), window->plotter()->size() * window->plotter()->devicePixelRatio());
    EXPECT_EQ(picture.pixelColor(1, 1), QColor(Qt::white)); // the gradient gives way to white
}

TEST_F(PanelTest, ASecondChartBitmapOfTheDayIsProposedAsNumberTwo) {
    ASSERT_TRUE(writeFile(QDir(dayFolder()).filePath(QStringLiteral("график1.bmp")), "x"));
    answer = dir.filePath(QStringLiteral("chart.bmp"));
    bool previewShown = false;
    duringDialog = [&](const FileRequest& r) {
        // The proposed name already holds the picture, for the dialog's preview.
        previewShown = QImageReader(QDir(r.folder).filePath(r.proposedName)).canRead();
    };
    trigger("SaveChart");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].title, QStringLiteral("Сохранить график..."));
    EXPECT_EQ(requests[0].proposedName, QStringLiteral("график2.bmp"));
    EXPECT_EQ(requests[0].filter, QStringLiteral("Bitmaps (*.bmp)|*.bmp"));
    EXPECT_TRUE(requests[0].picturePreview);
    EXPECT_TRUE(previewShown);
    EXPECT_FALSE(QFileInfo::exists(QDir(dayFolder()).filePath(QStringLiteral("график2.bmp"))));
    EXPECT_TRUE(QFileInfo::exists(QDir(dayFolder()).filePath(QStringLiteral("график1.bmp"))));
    QImageReader saved(*answer);
    EXPECT_EQ(saved.format(), QByteArray("bmp"));
    EXPECT_EQ(saved.size(), window->plotter()->size());
    EXPECT_TRUE(errors.isEmpty());

    // Cancelled: the preview goes as well, and nothing else is written.
    answer.reset();
    trigger("SavePanel");
    EXPECT_EQ(requests.back().proposedName, QStringLiteral("график2.bmp"));
    EXPECT_EQ(QDir(dayFolder()).entryList(QDir::Files), QStringList({QStringLiteral("график1.bmp")}));

    answer = dir.filePath(QStringLiteral("no/such/g.bmp"));
    trigger("SavePanel");
    EXPECT_EQ(errors, QStringList({QStringLiteral("Невозможно записать файл g.bmp !")}));
}

TEST_F(PanelTest, PrintingTheTableIntoPdf) {
    window->ResTableClick();
    scriptPrintDialog(true);
    answer = dir.filePath(QStringLiteral("table.pdf"));
    trigger("Print");
    EXPECT_EQ(seenTitle, QStringLiteral("Печатать таблицу..."));
    EXPECT_FALSE(seenColourEnabled);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].proposedName, QStringLiteral("Отчёт от 06.12.26 г"));
    const QStringList pages = pdfPages(*answer);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains(QStringLiteral("Отчёт от 06.12.26 г")));
    EXPECT_TRUE(pages[0].contains(QRegularExpression(QStringLiteral("\\n2\\s+Проба 2\\s+2,5"))));
    EXPECT_TRUE(pages[0].contains(QStringLiteral("страница: 1 из 1")));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(PanelTest, PrintingTheChartInLandscape) {
    for (bool colour : {false, true}) {
        scriptPrintDialog(colour);
        answer = dir.filePath(colour ? QStringLiteral("colour.pdf") : QStringLiteral("mono.pdf"));
        trigger("PrintPanel");
        EXPECT_EQ(seenTitle, QStringLiteral("Печатать график..."));
        EXPECT_TRUE(seenColourEnabled);
        const ProcessResult info = runProcess(QStringLiteral("pdfinfo"), {*answer});
        ASSERT_EQ(info.exitCode, 0);
        EXPECT_TRUE(QString::fromUtf8(info.out).contains(
            QRegularExpression(QStringLiteral("Page size:\\s+842(\\.\\d+)? x 595"))));
    }
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(PanelTest, ACancelledPdfNamePrintsNothing) {
    window->ResTableClick();
    scriptPrintDialog();
    trigger("PrintPanel");
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(PanelTest, OnAFullDiskNoSaveReplacesAFile) {
    SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    const QStringList names = {"Отчёт.xlsx", "table.pdf", "chart.pdf", "chart.bmp"};
    for (const QString& name : names)
        ASSERT_TRUE(writeFile(disk.filePath(name), "the file as it was"));
    disk.fill();

    window->ResTableClick();
    answer = disk.filePath(QStringLiteral("Отчёт.xlsx"));
    trigger("SaveChart");
    scriptPrintDialog();
    answer = disk.filePath(QStringLiteral("table.pdf"));
    trigger("Print");
    window->ResTableClick(); // the chart
    answer = disk.filePath(QStringLiteral("chart.pdf"));
    trigger("Print");
    answer = disk.filePath(QStringLiteral("chart.bmp"));
    trigger("SaveChart");

    QStringList expected;
    for (const QString& name : names)
        expected << QStringLiteral("Невозможно записать файл ") + name + QStringLiteral(" !");
    EXPECT_EQ(errors, expected);
    for (const QString& name : names) {
        QFile file(disk.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("the file as it was")) << name.toStdString();
    }
}
