// A day at the program's windows: lorimet with its real windows, serial port and timers, the simulated
// analyser on a pseudo-terminal, and a robot that plays the operator's hands on the dialogs and on the
// analyser.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/MessageWindow.h"
#include "app/OperationDialogs.h"
#include "app/PrintDialog.h"
#include "app/SettingsDialogs.h"
#include "config/Configuration.h"
#include "engine/Engine.h"
#include "engine/Texts.h"
#include "fakes/WaitFor.h"
#include "reports/DayProtocol.h"
#include "text/Cp1251.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

using namespace lorimet;

namespace {

using lorimet::testing::waitFor;

bool shooting() {
    return !qEnvironmentVariableIsEmpty("LORIMET_SCREENSHOTS_DIR");
}

void screenshot(QWidget& window, const char* name) {
    if (!shooting())
        return;
    waitFor([] { return false; }, 150); // let the layout and the coalesced redraws settle
    window.grab().save(QDir(qEnvironmentVariable("LORIMET_SCREENSHOTS_DIR"))
                           .filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
}

// The windows a command opens beside the main one, as the manual shows them; closed again unsaved.
void screenshotDialog(QWidget& window, const char* objectName, const char* name) {
    if (auto* dialog = window.findChild<QDialog*>(QString::fromLatin1(objectName))) {
        screenshot(*dialog, name);
        dialog->hide();
    }
}

// Answers whatever modal window is open: message boxes with their default, the GSO dialog with 10 mg/l, the
// sample dialog with the next sample's description. Waits for a greyed OK to come on, as an operator would.
class Robot : public QObject {
  public:
    Robot() {
        connect(&timer_, &QTimer::timeout, this, [this] { act(); });
        timer_.start(50);
    }
    QStringList boxes;
    QString description = QStringLiteral("Проба у водозабора");

  private:
    void act() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->windowTitle() + QStringLiteral(" | ") + box->text();
            if (boxes.size() == 1) // the upper point's confirmation
                screenshot(*box, "upper-point-box");
            box->button(box->buttons().contains(box->button(QMessageBox::Ok)) ? QMessageBox::Ok
                                                                              : QMessageBox::No)
                ->click();
        } else if (auto* gso = qobject_cast<GsoDialog*>(modal)) {
            // The dialog reads the field that has the focus: type only once the window is up and the cursor
            // stands in the field, however slowly a busy machine brings them.
            if (!gso->okButton()->isEnabled() || QApplication::activeWindow() != gso)
                return;
            if (QWidget* focus = QApplication::focusWidget();
                focus != gso->gsoNumber() && focus != static_cast<QWidget*>(gso->gsoNumber()->lineEdit())) {
                gso->gsoNumber()->setFocus();
                return;
            }
            gso->gsoNumber()->setEditText(QStringLiteral("10"));
            screenshot(*gso, "gso-dialog");
            gso->okButton()->click();
        } else if (auto* sample = qobject_cast<SampleDialog*>(modal)) {
            if (!sample->okButton()->isEnabled())
                return;
            sample->nameProbeList()->setEditText(description);
            sample->fullAnalis()->setChecked(true);
            screenshot(*sample, "sample-dialog");
            sample->okButton()->click();
        } else if (auto* dialog = qobject_cast<PortAndFilterDialog*>(modal)) {
            screenshot(*dialog, "port-dialog");
            dialog->reject();
        } else if (auto* dialog = qobject_cast<PrintDialog*>(modal)) {
            screenshot(*dialog, "print-dialog");
            dialog->reject();
        }
    }
    QTimer timer_;
};

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        sim.setProgram(QStringLiteral(LORIMET_SIM_PATH));
        sim.setArguments({QStringLiteral("--pty"), QStringLiteral("--period"), QStringLiteral("0.1"),
                          QStringLiteral("--dip"), QStringLiteral("4")});
        sim.start();
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(waitFor([this] { return sim.canReadLine(); }, 5000));
        const QString pty = QString::fromUtf8(sim.readLine()).trimmed();
        // The configuration names the pseudo-terminal, a 1 s transport delay and every panel switched on.
        QStringList lines = Configuration::defaultLines();
        lines[0] = QStringLiteral("Последовательный порт       :") + pty;
        lines[5] = QStringLiteral("Транспортное запаздывание   :1");
        for (int k = 20; k <= 23; ++k)
            lines[k].replace(QStringLiteral("Выкл"), QStringLiteral("Вкл"));
        QFile file(dir.filePath(Configuration::kFileName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(toCp1251(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
        file.close();
        ASSERT_EQ(config.load(dir.path()), Configuration::LoadResult::Loaded);
    }
    void TearDown() override {
        sim.write("quit\n");
        if (!sim.waitForFinished(3000))
            sim.kill();
    }
    void say(const char* command) {
        sim.write(QByteArray(command) + '\n');
        sim.waitForBytesWritten(1000);
    }

    QTemporaryDir dir;
    QProcess sim;
    Configuration config;
};

TEST_F(EndToEnd, ConnectUpperPointCalibrateAndAnalyse) {
    Application::Options options;
    options.dataFolder = dir.path();
    Application program(options, config);
    program.start();
    MainWindow& window = program.window();
    Engine& engine = program.engine();
    Robot robot;
    screenshot(window, "unlinked");
    if (shooting())
        window.action(Command::PortSettings)->trigger(); // the robot takes the dialog's picture and closes it

    window.action(Command::Connect)->trigger();
    ASSERT_TRUE(engine.workflow().linkActive) << robot.boxes.join(u'\n').toStdString();
    ASSERT_TRUE(waitFor([&] { return engine.protocolCount() >= 10; }, 10000));
    EXPECT_EQ(engine.workflow().statusIndex, 6); // awaiting the upper point
    screenshot(window, "awaiting-upper-point");

    // The upper point; its confirmation opens the GSO dialog, which the robot fills once its OK comes on.
    window.action(Command::UpperPoint)->trigger();
    ASSERT_TRUE(waitFor([&] { return engine.messageWindowVisible(); }, 10000))
        << robot.boxes.join(u'\n').toStdString();
    EXPECT_EQ(engine.messageWindow().layout.caption, texts::kCalibration);
    EXPECT_EQ(engine.results().certifiedValue, 10.0);
    say("inject 10");
    say("knob изм.");
    ASSERT_TRUE(waitFor([&] { return engine.acquisition().smoothingActive; }, 20000));
    ASSERT_TRUE(waitFor([&] { return engine.acquisition().currentSample > 30; }, 20000));
    screenshot(window, "calibration-run");
    ASSERT_TRUE(waitFor([&] { return engine.results().rangeCoefficient != 0; }, 40000));
    say("knob под.");
    ASSERT_TRUE(waitFor([&] { return window.action(Command::Measurement)->isEnabled(); }, 20000));
    screenshot(window, "ready");
    if (shooting()) {
        window.setUpPanelRequested();
        screenshotDialog(window, "TModul5", "plotter-dialog");
    }

    window.action(Command::Measurement)->trigger();
    ASSERT_TRUE(engine.messageWindowVisible());
    screenshot(*window.messageWindow(), "message-window");
    say("inject 5");
    say("knob изм.");
    ASSERT_TRUE(waitFor([&] { return engine.acquisition().probeCounter == 1; }, 40000));
    screenshot(window, "analysis-done");
    say("knob под.");

    // The row is in the table, the block in the day file.
    QAbstractItemModel* table = window.table()->model();
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->data(table->index(0, 1)).toString(), robot.description);
    const double bod = table->data(table->index(0, 3)).toString().replace(u',', u'.').toDouble();
    EXPECT_NEAR(bod, 5.0, 0.6);
    const auto day = readProtocolFile(engine.dayFilePath());
    ASSERT_TRUE(day.has_value());
    EXPECT_TRUE(day->contains(robot.description));
    window.ResTableClick();
    screenshot(window, "report-table");
    if (shooting()) {
        window.setUpPanelRequested();
        screenshotDialog(window, "TModul6", "table-dialog");
        window.findChild<QAction*>(QStringLiteral("Print"))->trigger(); // the robot pictures and cancels it
    }

    window.ExitProgramClick();
    EXPECT_FALSE(engine.workflow().linkActive);
    EXPECT_TRUE(QFile::exists(engine.dayFilePath()));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("ЛОРИМЕТ"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
