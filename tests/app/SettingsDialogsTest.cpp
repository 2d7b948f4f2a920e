#include "fakes/Fakes.h"

#include "app/Application.h"
#include "app/ChartView.h"
#include "app/Colours.h"
#include "app/MainWindow.h"
#include "app/SettingsDialogs.h"
#include "text/Cp1251.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace lorimet;
using namespace lorimet::testing;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The operator picks a colour of the list with the keyboard, as a user choice (not a programmatic one).
void choose(ColourBox* box, const QColor& colour) {
    int target = -1;
    for (int i = 0; i < box->count(); ++i)
        if (box->itemData(i).value<QColor>() == colour)
            target = i;
    ASSERT_GE(target, 0) << colour.name().toStdString();
    box->setCurrentIndex(target == 0 ? 1 : target - 1);
    QTest::keyClick(box, target == 0 ? Qt::Key_Up : Qt::Key_Down);
    ASSERT_EQ(box->currentIndex(), target);
}

// Lines that differ between two configurations, by index.
QList<int> changedLines(const QStringList& before, const QStringList& after) {
    QList<int> changed;
    for (int i = 0; i < after.size(); ++i)
        if (i >= before.size() || before[i] != after[i])
            changed << i;
    return changed;
}

class ConfiguredTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(config.load(dir.path()), Configuration::LoadResult::Defaulted);
        onDisk = fileBytes(dir.filePath(Configuration::kFileName));
        ASSERT_FALSE(onDisk.isEmpty());
    }

    QTemporaryDir dir;
    Configuration config;
    QByteArray onDisk;
};

// TModul1

class PortAndFilterTest : public ConfiguredTest {
  protected:
    void SetUp() override {
        ConfiguredTest::SetUp();
        engine = std::make_unique<Engine>(config, display, op, link, clock, dir.path());
        dialog = std::make_unique<PortAndFilterDialog>(*engine, nullptr);
        dialog->portList = [this] { return ports; };
    }

    void choosePort(const QString& name) {
        const int index = dialog->portsList()->findText(name);
        ASSERT_GE(index, 0);
        // Reach the item with the keyboard from the other end of the list.
        dialog->portsList()->setCurrentIndex(index == 0 ? 1 : index - 1);
        QTest::keyClick(dialog->portsList(), index == 0 ? Qt::Key_Up : Qt::Key_Down);
        ASSERT_EQ(dialog->portsList()->currentIndex(), index);
    }

    RecordingDisplay display;
    ScriptedOperator op;
    RecordingLink link;
    ManualClock clock;
    QList<PortEntry> ports{QStringLiteral("COM1"), QStringLiteral("COM3")};
    std::unique_ptr<Engine> engine;
    std::unique_ptr<PortAndFilterDialog> dialog;
};

TEST_F(PortAndFilterTest, EachSliderShowsItsValueAndPutsItInForceAtOnce) {
    dialog->load();
    struct Case {
        QSlider* slider;
        QLabel* label;
        int position;
        const char* text;
        std::function<double()> inForce;
        double expected;
    };
    const Case cases[] = {
        {dialog->frequency(), dialog->frequencyLabel(), 7, "7 Гц",
         [&] { return engine->interruptFrequency(); }, 7},
        {dialog->delay(), dialog->delayLabel(), 12, "12 сек.", [&] { return engine->transportDelay(); }, 12},
        {dialog->aFilterNumber(), dialog->aLabel(), 35, "0,35", [&] { return engine->filter().a; }, 0.35},
        {dialog->aFilterNumber(), dialog->aLabel(), 1, "0,01", [&] { return engine->filter().a; }, 0.01},
        {dialog->aFilterNumber(), dialog->aLabel(), 91, "0,91", [&] { return engine->filter().a; }, 0.91},
        {dialog->bFilterNumber(), dialog->bLabel(), 11, "11", [&] { return engine->filter().cycles; }, 11},
        {dialog->cFilterNumber(), dialog->cLabel(), 1, "1", [&] { return engine->filter().window; }, 1},
    };
    for (const Case& c : cases) {
        c.slider->setValue(c.position);
        EXPECT_EQ(c.label->text(), QString::fromUtf8(c.text));
        EXPECT_DOUBLE_EQ(c.inForce(), c.expected) << c.text;
    }
    EXPECT_EQ(config.lines(), Configuration::defaultLines()); // nothing saved by moving
}

TEST_F(PortAndFilterTest, OpeningShowsTheValuesInForce) {
    QStringList lines = Configuration::defaultLines();
    lines[0] = QStringLiteral("Последовательный порт       :COM3");
    lines[1] = QStringLiteral("Параметр фильтра           A:0,33");
    lines[2] = QStringLiteral("Параметр фильтра           B:7");
    lines[3] = QStringLiteral("Параметр фильтра           С:2");
    lines[4] = QStringLiteral("Частота прерываний          :4");
    lines[5] = QStringLiteral("Транспортное запаздывание   :9");
    config.setLines(lines);
    ASSERT_TRUE(config.parse());
    engine = std::make_unique<Engine>(config, display, op, link, clock, dir.path());
    dialog = std::make_unique<PortAndFilterDialog>(*engine, nullptr);
    dialog->portList = [] { return QList<PortEntry>{QStringLiteral("COM1"), QStringLiteral("COM3")}; };
    dialog->load();
    EXPECT_EQ(dialog->portsList()->currentText(), "COM3");
    EXPECT_EQ(dialog->frequency()->value(), 4);
    EXPECT_EQ(dialog->delay()->value(), 9);
    EXPECT_EQ(dialog->aFilterNumber()->value(), 33);
    EXPECT_EQ(dialog->bFilterNumber()->value(), 7);
    EXPECT_EQ(dialog->cFilterNumber()->value(), 2);
    EXPECT_EQ(dialog->frequencyLabel()->text(), "4 Гц");
    EXPECT_EQ(dialog->delayLabel()->text(), "9 сек.");
    EXPECT_EQ(dialog->aLabel()->text(), "0,33");
    EXPECT_EQ(dialog->bLabel()->text(), "7");
    EXPECT_EQ(dialog->cLabel()->text(), "2");
    EXPECT_DOUBLE_EQ(engine->filter().a, 0.33);
}

TEST_F(PortAndFilterTest, ThePortInForceIsOfferedEvenWhenAbsentAndChoosingAPortSetsIt) {
    ports = {QStringLiteral("COM3")};
    dialog->load(); // COM1 is in force but not present
    ASSERT_EQ(dialog->portsList()->count(), 2);
    EXPECT_EQ(dialog->portsList()->itemText(0), "COM3");
    EXPECT_EQ(dialog->portsList()->currentText(), "COM1");
    choosePort(QStringLiteral("COM3"));
    EXPECT_EQ(engine->port(), "COM3");

    dialog->load(); // opened again with port 3 in force
    EXPECT_EQ(dialog->portsList()->count(), 1);
    EXPECT_EQ(dialog->portsList()->currentText(), "COM3");
    EXPECT_EQ(engine->port(), "COM3");
}

TEST_F(PortAndFilterTest, TwoLikeAdaptersAreToldApartAndTheSettingStaysThePortName) {
    PortEntry first(QStringLiteral("/dev/ttyUSB0"));
    first.description = QStringLiteral("FT232R USB UART");
    first.manufacturer = QStringLiteral("FTDI");
    first.serialNumber = QStringLiteral("A50285BI");
    first.usbId = QStringLiteral("0403:6001");
    PortEntry second = first;
    second.name = QStringLiteral("/dev/ttyUSB1");
    second.serialNumber = QStringLiteral("A9J7Q0KD");
    PortEntry bare(QStringLiteral("/dev/ttyS0")); // the system knows nothing of it
    PortEntry unnamed(QStringLiteral("/dev/ttyACM0"));
    unnamed.manufacturer = QStringLiteral("Arduino (www.arduino.cc)");
    ports = {bare, first, second, unnamed};
    engine->setPort(QStringLiteral("/dev/ttyUSB0"));
    dialog->load();
    ASSERT_EQ(dialog->portsList()->count(), 4);
    EXPECT_EQ(dialog->portsList()->itemText(0), "/dev/ttyS0");
    EXPECT_EQ(dialog->portsList()->itemText(1), "/dev/ttyUSB0 — FT232R USB UART, № A50285BI");
    EXPECT_EQ(dialog->portsList()->itemText(2), "/dev/ttyUSB1 — FT232R USB UART, № A9J7Q0KD");
    EXPECT_EQ(dialog->portsList()->itemText(3),
              "/dev/ttyACM0 — Arduino (www.arduino.cc)"); // no kind: its maker
    EXPECT_EQ(dialog->portsList()->currentIndex(), 1);
    EXPECT_EQ(dialog->portDetails()->text(), "Описание: FT232R USB UART\nИзготовитель: FTDI\nСерийный номер: "
                                             "A50285BI\nUSB (VID:PID): 0403:6001");

    const int index = 2;
    dialog->portsList()->setCurrentIndex(index - 1);
    QTest::keyClick(dialog->portsList(), Qt::Key_Down);
    ASSERT_EQ(dialog->portsList()->currentIndex(), index);
    EXPECT_EQ(engine->port(), "/dev/ttyUSB1"); // the name, as the configuration keeps it
    EXPECT_TRUE(dialog->portDetails()->text().contains(QStringLiteral("Серийный номер: A9J7Q0KD")));
    EXPECT_EQ(dialog->portsList()->itemData(index, Qt::ToolTipRole).toString(),
              dialog->portDetails()->text());
    dialog->portsList()->setCurrentIndex(0);
    EXPECT_EQ(dialog->portDetails()->text(), "Система не сообщает сведений об этом порте.");

    // LORIMET_SCREENSHOTS_DIR=DIR saves the dialog and its open list as the operator sees them.
    if (const QString folder = qEnvironmentVariable("LORIMET_SCREENSHOTS_DIR"); !folder.isEmpty()) {
        dialog->portsList()->setCurrentIndex(1);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        EXPECT_TRUE(dialog->grab().save(QDir(folder).filePath(QStringLiteral("port-dialog.png"))));
        dialog->portsList()->showPopup();
        QWidget* popup = dialog->portsList()->view()->window();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
        EXPECT_TRUE(popup->grab().save(QDir(folder).filePath(QStringLiteral("port-list.png"))));
        dialog->portsList()->hidePopup();
        dialog->hide();
    }

    // The port in force that is gone is still offered, and said to be gone.
    ports = {bare};
    dialog->load();
    EXPECT_EQ(dialog->portsList()->currentText(), "/dev/ttyUSB1");
    EXPECT_TRUE(dialog->portDetails()->text().startsWith(QStringLiteral("Порт сейчас не найден в системе")));
}

TEST_F(PortAndFilterTest, SaveWritesExactlyLinesZeroToFiveAndTheDiskWaitsForTheClose) {
    dialog->load();
    choosePort(QStringLiteral("COM3"));
    dialog->frequency()->setValue(7);
    dialog->delay()->setValue(12);
    dialog->aFilterNumber()->setValue(35);
    dialog->bFilterNumber()->setValue(9);
    dialog->cFilterNumber()->setValue(1);
    const QStringList before = config.lines();
    dialog->show();
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(changedLines(before, config.lines()), (QList<int>{0, 1, 2, 3, 4, 5}));
    const QStringList expected = {
        QStringLiteral("Последовательный порт       :COM3"),
        QStringLiteral("Параметр фильтра           A:0,35"),
        QStringLiteral("Параметр фильтра           B:9"),
        QStringLiteral("Параметр фильтра           С:1"),
        QStringLiteral("Частота прерываний          :7"),
        QStringLiteral("Транспортное запаздывание   :12"),
    };
    EXPECT_EQ(config.lines().mid(0, 6), expected);
    EXPECT_EQ(fileBytes(dir.filePath(Configuration::kFileName)), onDisk);

    ASSERT_TRUE(config.save(dir.path()));
    const QByteArray saved = fileBytes(dir.filePath(Configuration::kFileName));
    EXPECT_TRUE(saved.startsWith(toCp1251(expected.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"))));
}

TEST_F(PortAndFilterTest, ResetRestoresTheDefaultsOnSlidersLabelsAndValuesInForce) {
    dialog->load();
    choosePort(QStringLiteral("COM3"));
    for (QSlider* s : {dialog->frequency(), dialog->delay(), dialog->aFilterNumber(), dialog->bFilterNumber(),
                       dialog->cFilterNumber()})
        s->setValue(s->maximum());
    QTest::mouseClick(dialog->resetButton(), Qt::LeftButton);

    EXPECT_EQ(dialog->frequency()->value(), 2);
    EXPECT_EQ(dialog->delay()->value(), 2);
    EXPECT_EQ(dialog->aFilterNumber()->value(), 30);
    EXPECT_EQ(dialog->bFilterNumber()->value(), 3);
    EXPECT_EQ(dialog->cFilterNumber()->value(), 5);
    const QStringList labels = {dialog->frequencyLabel()->text(), dialog->delayLabel()->text(),
                                dialog->aLabel()->text(), dialog->bLabel()->text(), dialog->cLabel()->text()};
    EXPECT_EQ(labels, (QStringList{"2 Гц", "2 сек.", "0,30", "3", "5"}));
    EXPECT_EQ(engine->interruptFrequency(), 2);
    EXPECT_EQ(engine->transportDelay(), 2);
    EXPECT_DOUBLE_EQ(engine->filter().a, 0.30);
    EXPECT_EQ(engine->filter().cycles, 3);
    EXPECT_EQ(engine->filter().window, 5);
    EXPECT_EQ(engine->port(), "COM3"); // the port stays as chosen
    EXPECT_EQ(config.lines(), Configuration::defaultLines());

    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    EXPECT_EQ(config.lines()[0], "Последовательный порт       :COM3");
    EXPECT_EQ(config.lines()[1], "Параметр фильтра           A:0,30");
    EXPECT_EQ(config.lines().mid(2, 4), Configuration::defaultLines().mid(2, 4));
}

// TModul5

class PlotterTest : public ConfiguredTest {
  protected:
    void SetUp() override {
        ConfiguredTest::SetUp();
        dialog = std::make_unique<PlotterDialog>(config, plotter, temperature, nullptr);
        dialog->setGradient(config.isSwitchOn(Configuration::GradientLine));
        // The charts as the start-up leaves them.
        for (ChartView* chart : {&plotter, &temperature}) {
            chart->setBackground(colourFromSetting(0x00C0C0C0), true);
            chart->setGridColour(Qt::black);
        }
        plotter.setSeriesColour(Series::Signal, Qt::blue);
        plotter.setSeriesWidth(Series::Signal, 2);
        plotter.setSeriesColour(Series::Derivative, Qt::red);
        plotter.setSeriesWidth(Series::Derivative, 2);
        temperature.setSeriesColour(Series::Temperature, colourFromSetting(0x00008000));
        temperature.setSeriesWidth(Series::Temperature, 2);
    }

    ChartView plotter{ChartView::Kind::Signal};
    ChartView temperature{ChartView::Kind::Temperature};
    std::unique_ptr<PlotterDialog> dialog;
};

TEST_F(PlotterTest, ColoursAndWidthsReachTheChartsAtOnceButNotTheSettings) {
    const QColor yellow = colourFromSetting(0x0000FFFF);
    const QColor purple = colourFromSetting(0x00800080);
    const QColor teal = colourFromSetting(0x00808000);
    choose(dialog->colorSource(), yellow);
    EXPECT_EQ(plotter.seriesColour(Series::Signal), yellow);
    choose(dialog->colorDiff(), purple);
    EXPECT_EQ(plotter.seriesColour(Series::Derivative), purple);
    choose(dialog->colorTemp(), teal);
    EXPECT_EQ(temperature.seriesColour(Series::Temperature), teal);
    choose(dialog->colorGrids(), purple);
    EXPECT_EQ(plotter.gridColour(), purple);
    EXPECT_EQ(temperature.gridColour(), purple);
    choose(dialog->colorPanel(), teal);
    EXPECT_EQ(plotter.gradientStartColour(), QColor(Qt::white));
    EXPECT_EQ(plotter.gradientEndColour(), teal);
    EXPECT_EQ(temperature.gradientStartColour(), teal);
    EXPECT_EQ(temperature.gradientEndColour(), QColor(Qt::white));

    dialog->sourceWidth()->setValue(4);
    dialog->diffWidth()->setValue(1);
    dialog->tempWidth()->setValue(5);
    EXPECT_EQ(plotter.seriesWidth(Series::Signal), 4);
    EXPECT_EQ(plotter.seriesWidth(Series::Derivative), 1);
    EXPECT_EQ(temperature.seriesWidth(Series::Temperature), 5);

    QTest::mouseClick(dialog->gradPlotter(), Qt::LeftButton);
    EXPECT_EQ(plotter.gradientStartColour(), teal);
    EXPECT_EQ(plotter.gradientEndColour(), teal);
    EXPECT_EQ(temperature.gradientEndColour(), teal);

    EXPECT_EQ(config.settings().colours, Settings().colours);
    EXPECT_EQ(config.settings().sizes, Settings().sizes);
    EXPECT_EQ(config.lines(), Configuration::defaultLines());
}

TEST_F(PlotterTest, SaveWritesExactlyItsLinesAndHides) {
    dialog->openFromSettings();
    ASSERT_TRUE(dialog->isVisible());
    const QStringList before = config.lines();
    choose(dialog->colorPanel(), Qt::white);
    choose(dialog->colorTemp(), Qt::black);
    dialog->diffWidth()->setValue(3);
    QTest::mouseClick(dialog->gradPlotter(), Qt::LeftButton); // off
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(changedLines(before, config.lines()), (QList<int>{7, 8, 12, 17}));
    EXPECT_EQ(config.lines()[7], "градиент                    Выкл");
    EXPECT_EQ(config.lines()[8], "$00FFFFFF");
    EXPECT_EQ(config.lines()[12], "$00000000");
    EXPECT_EQ(config.lines()[17], "3");
    EXPECT_EQ(config.settings().colours[0], 0x00FFFFFFu);
    EXPECT_EQ(config.settings().colours[4], 0x00000000u);
    EXPECT_EQ(config.settings().sizes[1], 3);
    EXPECT_EQ(fileBytes(dir.filePath(Configuration::kFileName)), onDisk);

    // Checking the box again writes the word back: "Вкл" as well as "Выкл".
    QTest::mouseClick(dialog->gradPlotter(), Qt::LeftButton);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    EXPECT_EQ(config.lines()[7], "градиент                    Вкл");
}

TEST_F(PlotterTest, ResetRestoresTheDefaultsOnSettingsControlsAndCharts) {
    choose(dialog->colorPanel(), Qt::white);
    choose(dialog->colorSource(), Qt::black);
    dialog->tempWidth()->setValue(5);
    QTest::mouseClick(dialog->gradPlotter(), Qt::LeftButton);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    const QStringList saved = config.lines();

    QTest::mouseClick(dialog->resetButton(), Qt::LeftButton);
    EXPECT_EQ(config.settings().colours, Settings().colours);
    EXPECT_EQ(config.settings().sizes, Settings().sizes);
    EXPECT_TRUE(dialog->gradPlotter()->isChecked());
    EXPECT_EQ(dialog->colorPanel()->value(), 0x00C0C0C0u);
    EXPECT_EQ(dialog->colorSource()->value(), 0x00FF0000u);
    EXPECT_EQ(dialog->tempWidth()->value(), 2);
    EXPECT_EQ(plotter.gradientEndColour(), colourFromSetting(0x00C0C0C0));
    EXPECT_EQ(plotter.gradientStartColour(), QColor(Qt::white));
    EXPECT_EQ(plotter.seriesColour(Series::Signal), QColor(Qt::blue));
    EXPECT_EQ(temperature.seriesWidth(Series::Temperature), 2);
    EXPECT_EQ(config.lines(), saved); // written only by the save button
}

// TModul6

class TableTest : public ConfiguredTest {
  protected:
    void SetUp() override {
        ConfiguredTest::SetUp();
        window = std::make_unique<MainWindow>(config);
        window->applyConfiguration();
        dialog = std::make_unique<TableDialog>(config, *window, nullptr);
        panel5 = window->findChild<QWidget*>(QStringLiteral("Panel5"));
        ASSERT_TRUE(panel5);
        label1 = panel5->findChild<QLabel*>(QStringLiteral("Label1"));
        protocol = panel5->findChild<QWidget*>(QStringLiteral("Protocol"));
        ASSERT_TRUE(label1 && protocol);
    }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<TableDialog> dialog;
    QWidget* panel5 = nullptr;
    QLabel* label1 = nullptr;
    QWidget* protocol = nullptr;
};

TEST_F(TableTest, FontSizeSetsTheProtocolBarAndOnlyTheArrowsChangeIt) {
    ASSERT_EQ(dialog->tpFontWidth()->value(), 9);
    EXPECT_EQ(panel5->height(), 22);
    QTest::keyClick(dialog->tpFontWidth(), Qt::Key_Up);
    EXPECT_EQ(dialog->tpFontWidth()->value(), 10);
    EXPECT_EQ(panel5->height(), 23);
    EXPECT_EQ(label1->y(), 6);
    EXPECT_EQ(window->table()->font().pointSize(), 10);
    EXPECT_EQ(protocol->font().pointSize(), 10);
    QTest::keyClick(dialog->tpFontWidth(), Qt::Key_Up); // already at the top of 8..10
    EXPECT_EQ(dialog->tpFontWidth()->value(), 10);

    QTest::keyClicks(dialog->tpFontWidth(), QStringLiteral("8"));
    EXPECT_EQ(dialog->tpFontWidth()->value(), 10);
    EXPECT_EQ(config.settings().sizes[3], 9); // not before the save
}

TEST_F(TableTest, ColoursReachTheTableAndTheProtocolListAtOnce) {
    const QColor navy = colourFromSetting(0x00800000);
    choose(dialog->colorTP(), navy);
    choose(dialog->tpColorText(), Qt::yellow);
    for (QWidget* w : {static_cast<QWidget*>(window->table()), protocol}) {
        EXPECT_EQ(w->palette().color(QPalette::Base), navy);
        EXPECT_EQ(w->palette().color(QPalette::Text), QColor(Qt::yellow));
    }
    EXPECT_EQ(config.settings().colours[5], 0x00FFFFFFu);
}

TEST_F(TableTest, SaveWritesExactlyItsLinesAndHides) {
    dialog->openFromSettings();
    const QStringList before = config.lines();
    choose(dialog->colorTP(), colourFromSetting(0x00C0C0C0));
    choose(dialog->tpColorText(), Qt::red);
    QTest::keyClick(dialog->tpFontWidth(), Qt::Key_Down);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(changedLines(before, config.lines()), (QList<int>{13, 14, 19}));
    EXPECT_EQ(config.lines()[13], "$00C0C0C0");
    EXPECT_EQ(config.lines()[14], "$000000FF");
    EXPECT_EQ(config.lines()[19], "8");
    EXPECT_EQ(config.settings().colours[6], 0x000000FFu);
    EXPECT_EQ(config.settings().sizes[3], 8);
    EXPECT_EQ(fileBytes(dir.filePath(Configuration::kFileName)), onDisk);
}

TEST_F(TableTest, ResetMakesTheTableWhiteWithBlackTextAtEightPoints) {
    choose(dialog->colorTP(), Qt::black);
    choose(dialog->tpColorText(), Qt::white);
    QTest::keyClick(dialog->tpFontWidth(), Qt::Key_Up);
    QTest::mouseClick(dialog->resetButton(), Qt::LeftButton);

    for (QWidget* w : {static_cast<QWidget*>(window->table()), protocol}) {
        EXPECT_EQ(w->palette().color(QPalette::Base), QColor(Qt::white));
        EXPECT_EQ(w->palette().color(QPalette::Text), QColor(Qt::black));
        EXPECT_EQ(w->font().pointSize(), 8);
    }
    EXPECT_EQ(panel5->height(), 21);
    EXPECT_EQ(label1->y(), 4);
    EXPECT_EQ(dialog->colorTP()->value(), 0x00FFFFFFu);
    EXPECT_EQ(dialog->tpColorText()->value(), 0x00000000u);
    EXPECT_EQ(dialog->tpFontWidth()->value(), 8);
    EXPECT_EQ(config.settings().sizes[3], 8);
    EXPECT_EQ(config.lines(), Configuration::defaultLines()); // written only by the save button
}

// The colour list

TEST(ColourBoxTest, SelectsByValueAndKeepsOneEntryForAnUnnamedColour) {
    ColourBox box("Box", QString(), nullptr);
    const int named = box.count() - 1;
    EXPECT_EQ(box.itemText(box.count() - 1), "Другой...");
    box.setValue(0x00C0C0C0);
    EXPECT_EQ(box.currentText(), "Серебристый");
    box.setValue(0x00563412);
    EXPECT_EQ(box.value(), 0x00563412u);
    EXPECT_EQ(box.count(), named + 2);
    box.setValue(0x00010203);
    EXPECT_EQ(box.value(), 0x00010203u);
    EXPECT_EQ(box.count(), named + 2);
    EXPECT_EQ(box.itemText(box.count() - 1), "Другой...");
}

TEST(ColourBoxTest, OtherAsksForAColourAndACancelKeepsThePreviousOne) {
    ColourBox box("Box", QString(), nullptr);
    box.setValue(0x000000FF);
    QSignalSpy changed(&box, &ColourBox::colourChanged);
    QColor answer;
    box.pickCustom = [&](const QColor& current) {
        EXPECT_EQ(current, QColor(Qt::red));
        return answer;
    };
    box.setCurrentIndex(box.count() - 2);
    QTest::keyClick(&box, Qt::Key_Down); // "Другой...", cancelled
    EXPECT_EQ(box.colour(), QColor(Qt::red));
    EXPECT_EQ(changed.count(), 0);

    answer = QColor(0x12, 0x34, 0x56);
    box.setCurrentIndex(box.count() - 2);
    QTest::keyClick(&box, Qt::Key_Down);
    EXPECT_EQ(box.colour(), answer);
    EXPECT_EQ(box.currentText(), "#123456");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].value<QColor>(), answer);
}

// The wiring of the running program

TEST(SettingsWiringTest, SettingsButtonOpensTheDialogOfTheViewShown) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Configuration config;
    config.load(dir.path());
    Application::Options options;
    options.dataFolder = dir.path();
    Application app(options, config);
    app.start();
    MainWindow& window = app.window();
    auto* plotterDialog = window.findChild<PlotterDialog*>(QStringLiteral("TModul5"));
    auto* tableDialog = window.findChild<TableDialog*>(QStringLiteral("TModul6"));
    ASSERT_TRUE(plotterDialog && tableDialog);
    EXPECT_TRUE(plotterDialog->gradPlotter()->isChecked());
    EXPECT_EQ(tableDialog->tpFontWidth()->value(), 9);

    window.findChild<QAction*>(QStringLiteral("SetUpPanelAction"))->trigger();
    EXPECT_TRUE(plotterDialog->isVisible());
    EXPECT_FALSE(tableDialog->isVisible());
    plotterDialog->hide();

    window.ResTableClick();
    window.findChild<QAction*>(QStringLiteral("SetUpPanel"))->trigger();
    EXPECT_TRUE(tableDialog->isVisible());
    EXPECT_FALSE(plotterDialog->isVisible());
    tableDialog->hide();
    window.hide();
}

} // namespace
