// Opening and saving protocol files through the main window's commands, offscreen.
#include "app/ChartView.h"
#include "app/CustomPlot.h"
#include "app/MainWindow.h"
#include "fakes/Fakes.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolText.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QProgressBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace lorimet;
using namespace lorimet::testing;

namespace {

class FileOperator : public ScriptedOperator {
  public:
    std::optional<QString> openAnswer;
    std::optional<QString> saveAnswer;
    std::optional<QString> openFileName(const QString&, const QString&, const QString&) override {
        return openAnswer;
    }
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&,
                                        const QString&) override {
        return saveAnswer;
    }
};

// A block of three data lines per description, half an hour apart.
QStringList blocks(const QStringList& descriptions) {
    QStringList lines;
    for (qsizetype b = 0; b < descriptions.size(); ++b) {
        lines << QStringLiteral("3");
        for (int i = 0; i < 3; ++i)
            lines << dataLine(90 - i - b, 0.01 * i, i * 0.00001);
        lines << descriptions[b] << resultLine(1.5, false, 0, false, 0) << temperatureLine(20, "01:00")
              << timeDateLine(QTime(10, 0).addSecs(1800 * int(b)).toString("hh:mm:ss"), "06.12.26 г");
    }
    return lines;
}

QStringList twoBlocks() {
    return blocks({QStringLiteral("Проба"), QStringLiteral("Проба")});
}

class WindowFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        config.load(dir.path());
        window = std::make_unique<MainWindow>(config);
        engine = std::make_unique<Engine>(config, *window, op, link, clock, dir.path());
        window->applyConfiguration();
        window->attach(*engine);
        engine->startUp();
        window->show();
    }
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }

    QTemporaryDir dir;
    Configuration config;
    ManualClock clock;
    FileOperator op;
    RecordingLink link;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Engine> engine;
};

} // namespace

TEST_F(WindowFilesTest, OpenShowsTheFileAndCleanRemovesIt) {
    ASSERT_TRUE(writeProtocolFile(path("two.txt"), twoBlocks()));
    op.openAnswer = path("two.txt");
    // The window repaints while the file is read; a zero timer runs in the first of those breaks.
    bool barSeen = false;
    QTimer::singleShot(0, window.get(), [&] {
        auto* bar = window->statusBar()->findChild<QProgressBar*>(QStringLiteral("LoadProgressBar"));
        barSeen = bar && bar->isVisible() && bar->width() > 0;
    });
    window->action(Command::Open)->trigger();
    EXPECT_TRUE(barSeen);
    EXPECT_EQ(window->statusBar()->findChild<QProgressBar*>(QStringLiteral("LoadProgressBar")), nullptr);
    EXPECT_TRUE(op.boxes.isEmpty());
    EXPECT_EQ(window->plotter()->fileCurvePairCount(), 2);
    EXPECT_EQ(window->temperaturePlotter()->pointCount(Series::Temperature), 2);
    EXPECT_EQ(window->plotter()->titleLines(), QStringList{"two"});
    auto* protocol = window->findChild<QComboBox*>(QStringLiteral("Protocol"));
    ASSERT_NE(protocol, nullptr);
    EXPECT_EQ(protocol->count(), twoBlocks().size());
    EXPECT_EQ(protocol->currentIndex(), 0);
    EXPECT_EQ(protocol->toolTip(), u"Файл протокола: two.txt");

    window->findChild<QAction*>(QStringLiteral("Clean"))->trigger();
    EXPECT_EQ(window->plotter()->fileCurvePairCount(), 0);
    EXPECT_EQ(window->temperaturePlotter()->pointCount(Series::Temperature), 0);
    EXPECT_EQ(protocol->count(), 0);
    EXPECT_TRUE(protocol->toolTip().isEmpty());
}

TEST_F(WindowFilesTest, SaveProtocolWritesTheDayProtocol) {
    ASSERT_TRUE(writeProtocolFile(path("Temp/") + dayFileName("06.12.26 г"), twoBlocks()));
    engine->PGoClick(); // connecting reloads the day protocol
    engine->PStopClick();
    engine->TimerTimer(); // the tick enables the command
    ASSERT_TRUE(window->action(Command::SaveProtocol)->isEnabled());
    op.saveAnswer = path("saved");
    window->action(Command::SaveProtocol)->trigger();
    EXPECT_EQ(readProtocolFile(path("saved.txt")), twoBlocks());
}

TEST_F(WindowFilesTest, OpenedBlocksAreToldApartUntilCleaned) {
    ASSERT_TRUE(writeProtocolFile(path("three.txt"), blocks({"Проба 1", "Река", ""})));
    op.openAnswer = path("three.txt");
    window->action(Command::Open)->trigger();
    ChartView* plotter = window->plotter();
    ASSERT_EQ(plotter->fileCurvePairCount(), 3);
    std::set<QRgb> colours;
    for (int k = 0; k < 3; ++k)
        colours.insert(plotter->fileSignalGraph(k)->pen().color().rgb());
    EXPECT_EQ(colours.size(), 3u);
    EXPECT_TRUE(plotter->plot()->legend->visible());
    EXPECT_EQ(plotter->legendTexts(), QStringList({"Проба 1", "Река", "Блок 3"}));

    // The operator looks closer; clearing brings back the automatic axes and the live chart's plain look.
    plotter->replotNow();
    QCustomPlot* plot = plotter->plot();
    const QPointF at = plot->axisRect()->rect().center();
    QWheelEvent wheel(at, plot->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    ASSERT_EQ(plotter->view(), ChartView::View::Operator);
    window->findChild<QAction*>(QStringLiteral("Clean"))->trigger();
    EXPECT_EQ(plotter->view(), ChartView::View::Automatic);
    EXPECT_FALSE(plot->legend->visible());
    EXPECT_TRUE(plotter->legendTexts().isEmpty());
}
