// The main window, its commands and the operation dialogs, offscreen, with the engine driven directly.
#include "app/MainWindow.h"
#include "app/Application.h"
#include "app/ChartView.h"
#include "app/MessageWindow.h"
#include "app/OperationDialogs.h"
#include "app/Pictures.h"
#include "app/QtOperator.h"
#include "engine/Texts.h"
#include "fakes/Fakes.h"
#include "fakes/Unprivileged.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace lorimet;
using namespace lorimet::testing;

namespace {

const QString kNoLink = QStringLiteral("Ошибка | Cвязь с прибором не установлена !");
const QString kBadNumberBox = QStringLiteral("Ошибка | Неверный формат числа,\r    повторите ввод!   ");

// Answers every message box that becomes the active modal window, and remembers what it said. It lives
// no longer than the test that made it, so it never touches a later test's windows.
class BoxAnswerer {
  public:
    BoxAnswerer() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen << box->windowTitle() + QStringLiteral(" | ") + box->text();
                box->accept();
            }
        });
        timer_.start();
    }
    QStringList seen;

  private:
    QTimer timer_;
};

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        config.load(dir.path());
        window = std::make_unique<MainWindow>(config);
        qtOperator = std::make_unique<QtOperator>(window.get());
        Operator& op = realDialogs ? static_cast<Operator&>(*qtOperator) : scripted;
        engine = std::make_unique<Engine>(config, *window, op, link, clock, dir.path());
        // The dialogs and their wiring as the program makes them.
        gso = new GsoDialog(*engine, window.get());
        sample = new SampleDialog(*engine, window.get());
        qtOperator->setDialogs(gso, sample);
        window->gsoOkEnabled = [this](bool on) { gso->okButton()->setEnabled(on); };
        window->sampleOkEnabled = [this](bool on) { sample->okButton()->setEnabled(on); };
        window->probeDescriptionsChanged = [this](const QStringList& d) { sample->setDescriptions(d); };
        window->applyConfiguration();
        window->attach(*engine);
        engine->startUp();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override {
        // In the program's order: the engine goes first, the windows that talk to it after.
        engine.reset();
        window.reset();
    }

    template <typename T = QWidget> T* find(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(found) << name;
        return found;
    }
    QAction* command(const char* name) const { return find<QAction>(name); }
    void line(double signal, const char* mode = "под.") {
        clock.ms += 500;
        engine->lineAvailable(analyserLine(signal, mode));
    }
    // Focus moves only inside the active window; an activation still queued for the main window may take
    // it back once, so the field asks again until it has the focus.
    static bool focus(QWidget* field) {
        return QTest::qWaitFor([field] {
            field->window()->activateWindow();
            field->setFocus();
            return field->hasFocus();
        });
    }
    // Runs the steps inside a modal dialog once it shows. A dialog the steps leave open is closed by its
    // close box, so that a failing test does not wait for ever.
    static void whenShown(QDialog* dialog, std::function<void()> steps) {
        QTimer::singleShot(0, dialog, [dialog, steps] {
            if (QTest::qWaitFor([dialog] { return dialog->isVisible(); }))
                steps();
            if (dialog->isVisible())
                dialog->reject();
        });
    }
    // The reference calibration's dialog, answered by the script: 10 mg/l, undiluted.
    void scriptGsoOk() {
        scripted.gso = [](Engine& e) {
            QString text = QStringLiteral("10");
            e.GSO_NumberExit(text);
            e.GsoOkButtonClick();
            return true;
        };
    }

    bool realDialogs = false;
    QTemporaryDir dir;
    Configuration config;
    ManualClock clock;
    ScriptedOperator scripted;
    RecordingLink link;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QtOperator> qtOperator;
    std::unique_ptr<Engine> engine;
    GsoDialog* gso = nullptr;
    SampleDialog* sample = nullptr;
};

// The engine's operator shows real boxes and runs the real modal dialogs.
class DialogTest : public WindowTest {
  protected:
    DialogTest() { realDialogs = true; }
};

TEST_F(WindowTest, CommandStatesFollowTheAnalyserThroughAnOperation) {
    // Each command as its menu item and its toolbar button; the dialogs' OK buttons by their dialog.
    const std::vector<std::pair<const char*, const char*>> commands = {
        {"Open", "OpenlButton"},
        {"PGo", "ConnectButton"},
        {"PStop", "DisconnectButton"},
        {"COMSettings", "ComPortButton"},
        {"OxyUpCalibration", "OxyUpCalibrationButton"},
        {"Calibrations", "CalibrationButton"},
        {"Measurement", "MeasurementButton"},
        {"ToxiTest", "ToxiButton"},
        {"Clean", "ClearButton"},
        {"ResTable", "TableButton"},
    };
    struct Stage {
        const char* name;
        std::function<void()> reach;
        int status;
        std::set<QString> enabled; // besides Clean and ResTable, which never change
    };
    scriptGsoOk();
    const std::vector<Stage> stages = {
        {"unlinked", [] {}, 0, {"Open", "PGo", "COMSettings", "GsoOk", "SampleOk"}},
        {"linked", [&] { command("PGo")->trigger(); }, 0, {"PStop", "GsoOk", "SampleOk"}},
        {"awaiting the upper point",
         [&] {
             line(95);
             engine->TimerTimer();
         },
         6,
         {"PStop", "OxyUpCalibration"}},
        {"ready for the reference",
         [&] {
             scripted.answers = {Answer::Cancel}; // no reference calibration straight after the upper point
             command("OxyUpCalibration")->trigger();
             line(95);
         },
         2,
         {"PStop", "OxyUpCalibration", "Calibrations", "GsoOk", "SampleOk"}},
        {"running",
         [&] {
             command("Calibrations")->trigger();
             line(95, "изм.");
             engine->TimerTimer(); // the knob reports measuring: the operation starts
             line(95, "изм.");
         },
         1,
         {"PStop", "OxyUpCalibration"}},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.name);
        stage.reach();
        EXPECT_EQ(find<QLabel>("InfoPanelText")->text(), texts::statusTexts()[stage.status]);
        for (const auto& [item, button] : commands) {
            const bool expected = stage.enabled.count(QString::fromLatin1(item)) > 0 ||
                                  item == std::string("Clean") || item == std::string("ResTable");
            EXPECT_EQ(command(item)->isEnabled(), expected) << item;
            EXPECT_EQ(find<QToolButton>(button)->isEnabled(), expected) << button;
        }
        EXPECT_EQ(gso->okButton()->isEnabled(), stage.enabled.count(QStringLiteral("GsoOk")) > 0);
        EXPECT_EQ(sample->okButton()->isEnabled(), stage.enabled.count(QStringLiteral("SampleOk")) > 0);
    }
    EXPECT_EQ(engine->acquisition().operationName, QStringLiteral("Калибровка"));
    EXPECT_FALSE(window->messageWindow()->isVisible());

    // The buttons' own hints outlast every change of their commands.
    const std::pair<const char*, const char*> hints[] = {
        {"OpenlButton", "Открыть файл протокола"},
        {"SaveButton", "Сохранить файл протокола"},
        {"ConnectButton", "Установить связь"},
        {"DisconnectButton", "Завершить связь"},
        {"OxyUpCalibrationButton", "Калибровка верхней точки"},
        {"CalibrationButton", "Калибровка по ГСО"},
        {"MeasurementButton", "Анализ пробы"},
        {"ToxiButton", "Тест на токсичность"},
        {"TableButton", "Таблица отчёта"},
        {"ComPortButton", "Настроить COM порт"},
        {"HelpButton", "Помощь"},
    };
    for (const auto& [button, hint] : hints)
        EXPECT_EQ(find<QToolButton>(button)->toolTip(), QString::fromUtf8(hint)) << button;
}

TEST_F(WindowTest, HintsAndCaptionsFollowTheView) {
    struct Hint {
        const char* button;
        const char* table;
        const char* chart;
    };
    const Hint hints[] = {
        {"PrintButton", "Печатать таблицу", "Печатать график"},
        {"ClearButton", "Очистить таблицу", "Очистить график"},
        {"CopyButton", "Копировать таблицу", "Копировать график"},
        {"SavePanelButton", "Сохранить таблицу", "Сохранить график"},
        {"SettingsButton", "Установки таблицы", "Установки графопостроителя"},
    };
    auto* tableButton = find<QToolButton>("TableButton");
    auto* saveMenu = find<QMenu>("Save");
    auto expectView = [&](bool table) {
        for (const Hint& h : hints)
            EXPECT_EQ(find<QToolButton>(h.button)->toolTip(), QString::fromUtf8(table ? h.table : h.chart));
        Q_EMIT saveMenu->aboutToShow(); // the menu names what it would save when it opens
        EXPECT_EQ(command("SaveChart")->text(), table ? QStringLiteral("Таблицу") : QStringLiteral("График"));
        EXPECT_EQ(command("NamePanel")->text(),
                  table ? QStringLiteral("Таблица отчёта") : QStringLiteral("Графопостроитель"));
        EXPECT_EQ(window->table()->isVisible(), table);
        EXPECT_EQ(window->temperaturePlotter()->isVisible(), !table);
        EXPECT_EQ(command("ResTable")->isChecked(), table);
        EXPECT_EQ(tableButton->isChecked(), table);
    };
    {
        SCOPED_TRACE("charts at start");
        expectView(false);
    }
    tableButton->click();
    {
        SCOPED_TRACE("table");
        expectView(true);
    }
    tableButton->click();
    {
        SCOPED_TRACE("charts again");
        expectView(false);
    }
    QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
    {
        SCOPED_TRACE("table by Ctrl+T");
        expectView(true);
    }
}

TEST_F(WindowTest, EachPanelSwitchWritesItsLineAndTwiceLeavesItAsItWas) {
    struct Switch {
        const char* item;
        int line;
        const char* on;
        const char* panel; // nullptr: the switch only takes effect at the next start
    };
    const Switch switches[] = {
        {"Tools", 22, "Интрументы                  Вкл", "ToolPanel"},
        {"Screen", 20, "Экран                       Вкл", "Panel2"},
        {"ValuesString", 21, "Параметры                   Вкл", "Panel3"},
        {"ProtocolPanel", 23, "Протокол                    Вкл", "Panel5"},
        {"StartScreen", 24, "Заставка                    Вкл", nullptr},
    };
    for (const Switch& s : switches) {
        SCOPED_TRACE(s.item);
        const QString before = config.lines()[s.line];
        EXPECT_TRUE(before.endsWith(QStringLiteral("Выкл"))); // the fresh configuration has them all off
        QWidget* panel = s.panel ? find<QWidget>(s.panel) : nullptr;
        if (panel) {
            EXPECT_FALSE(panel->isVisible());
        }
        command(s.item)->trigger();
        EXPECT_EQ(config.lines()[s.line], QString::fromUtf8(s.on));
        EXPECT_TRUE(command(s.item)->isChecked());
        if (panel) {
            EXPECT_TRUE(panel->isVisible());
        }
        command(s.item)->trigger();
        EXPECT_EQ(config.lines()[s.line], before);
        EXPECT_FALSE(command(s.item)->isChecked());
        if (panel) {
            EXPECT_FALSE(panel->isVisible());
        }
    }
}

TEST_F(WindowTest, CtrlHTogglesTheProtocolBarAndNeverOpensTheHelp) {
    BoxAnswerer boxes; // a help box would otherwise wait for the operator for ever
    QSignalSpy help(command("HelpProgramm"), &QAction::triggered);
    auto* bar = find<QWidget>("Panel5");
    QTest::keyClick(window.get(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(config.lines()[23], QStringLiteral("Протокол                    Вкл"));
    QTest::keyClick(window.get(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(config.lines()[23], QStringLiteral("Протокол                    Выкл"));
    EXPECT_EQ(help.count(), 0);
    EXPECT_TRUE(boxes.seen.isEmpty());
}

TEST_F(WindowTest, PowerSpotTwiceSwitchesTheDisplayBackOnWithTheBacklightOff) {
    command("PGo")->trigger();
    link.written.clear();
    auto* power = find<QToolButton>("PowerButton");
    auto* lumine = find<QToolButton>("Lumine");
    auto* indicator = find<QFrame>("Indicator");
    auto* indicatorOff = find<QFrame>("IndicatorOff");
    const QColor moneyGreen(0xC0, 0xDC, 0xC0), medGray(0xA0, 0xA0, 0xA4);
    auto colour = [&] { return indicator->palette().color(QPalette::Window); };

    EXPECT_EQ(colour(), medGray);
    EXPECT_EQ(lumine->toolTip(), QStringLiteral("Включить подсветку индикатора"));
    lumine->click();
    EXPECT_EQ(colour(), moneyGreen);
    EXPECT_EQ(lumine->toolTip(), QStringLiteral("Выключить подсветку индикатора"));

    EXPECT_EQ(power->toolTip(), QStringLiteral("Выключить прибор"));
    power->click();
    EXPECT_FALSE(indicatorOff->isHidden());
    EXPECT_EQ(power->toolTip(), QStringLiteral("Включить прибор"));
    power->click();
    EXPECT_TRUE(indicatorOff->isHidden());
    EXPECT_EQ(power->toolTip(), QStringLiteral("Выключить прибор"));
    EXPECT_EQ(colour(), medGray);
    EXPECT_EQ(lumine->toolTip(), QStringLiteral("Включить подсветку индикатора"));
    lumine->click();
    EXPECT_EQ(colour(), moneyGreen);
    EXPECT_TRUE(link.written.isEmpty()); // the picture only: nothing goes to the analyser
}

TEST_F(WindowTest, FactorySettingsSpotsNeedTheLinkAndSendOneByteEach) {
    struct Spot {
        const char* name;
        QByteArray byte;
        const char* confirmation;
    };
    const Spot spots[] = {
        {"SetUpReload", QByteArray("\xA5", 1), "Информация | Заводские установки восстановлены !"},
        {"SetUpSave", QByteArray("\xA6", 1), "Информация | Заводские установки сохранены !"},
    };
    for (const Spot& s : spots) {
        SCOPED_TRACE(s.name);
        scripted.boxes.clear();
        find<QToolButton>(s.name)->click();
        EXPECT_EQ(scripted.boxes, QStringList{kNoLink});
        EXPECT_TRUE(link.written.isEmpty());
    }
    command("PGo")->trigger();
    for (const Spot& s : spots) {
        SCOPED_TRACE(s.name);
        scripted.boxes.clear();
        link.written.clear();
        find<QToolButton>(s.name)->click();
        EXPECT_EQ(link.written, QList<QByteArray>{s.byte});
        EXPECT_EQ(scripted.boxes, QStringList{QString::fromUtf8(s.confirmation)});
    }
}

TEST_F(WindowTest, SampleDilutionIsReadWhenTheFieldIsLeft) {
    sample->show();
    QComboBox* field = sample->rProbe();
    auto enterAndLeave = [&](const char* typed) {
        ASSERT_TRUE(focus(field));
        field->lineEdit()->selectAll();
        QTest::keyClicks(field->lineEdit(), QString::fromUtf8(typed));
        sample->nameProbeList()->setFocus();
    };
    enterAndLeave("2.5");
    EXPECT_EQ(field->currentText(), QStringLiteral("2,5"));
    EXPECT_EQ(engine->results().dilution, 2.5);
    EXPECT_TRUE(scripted.boxes.isEmpty());

    for (const char* bad : {"0", "-3", "abc", "2,5,"}) {
        SCOPED_TRACE(bad);
        scripted.boxes.clear();
        enterAndLeave(bad);
        EXPECT_EQ(scripted.boxes, QStringList{kBadNumberBox});
        EXPECT_TRUE(field->currentText().isEmpty());
        EXPECT_EQ(field->count(), 0); // the list is emptied too
        EXPECT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }));
        EXPECT_EQ(engine->results().dilution, 2.5);
    }
}

TEST_F(DialogTest, ABadCertifiedValueShowsOneBoxAndTheFieldIsEnteredAgain) {
    QStringList seen;
    bool refocused = false;
    BoxAnswerer boxes;
    whenShown(gso, [&] {
        QComboBox* field = gso->gsoNumber();
        if (!focus(field))
            return;
        QTest::keyClicks(field->lineEdit(), QStringLiteral("0"));
        gso->rgso()->setFocus(); // leaves the field: the box shows at once
        refocused = QTest::qWaitFor([&] { return field->hasFocus(); });
        seen = boxes.seen;
    });
    engine->CalibrationsClick();
    EXPECT_EQ(seen, QStringList{QStringLiteral("Ошибка | Неверный формат числа,\n    повторите ввод!   ")});
    EXPECT_TRUE(refocused);
    EXPECT_TRUE(gso->gsoNumber()->currentText().isEmpty());
    EXPECT_EQ(engine->results().certifiedValue, 0);
}

TEST_F(DialogTest, ClosingTheDialogReadsNothing) {
    BoxAnswerer boxes;
    whenShown(gso, [&] {
        if (!focus(gso->gsoNumber()))
            return;
        QTest::keyClicks(gso->gsoNumber()->lineEdit(), QStringLiteral("abc"));
        gso->reject(); // the close box
    });
    engine->CalibrationsClick();
    QCoreApplication::processEvents();
    EXPECT_TRUE(boxes.seen.isEmpty());
    EXPECT_FALSE(engine->messageWindowVisible());
    EXPECT_EQ(engine->results().certifiedValue, 0);
}

TEST_F(DialogTest, CertifiedValueIsDividedByTheReferenceDilutionOnOk) {
    bool activeControl = false;
    whenShown(gso, [&] {
        activeControl = gso->focusWidget() == gso->gsoNumber();
        if (!focus(gso->gsoNumber()))
            return;
        QTest::keyClicks(gso->gsoNumber()->lineEdit(), QStringLiteral("10"));
        QTest::keyClick(gso->gsoNumber(), Qt::Key_Tab);
        gso->rgso()->lineEdit()->selectAll();
        QTest::keyClicks(gso->rgso()->lineEdit(), QStringLiteral("2"));
        QTest::mouseClick(gso->okButton(), Qt::LeftButton);
    });
    engine->CalibrationsClick();
    EXPECT_TRUE(activeControl);
    EXPECT_EQ(engine->results().referenceDilution, 2);
    EXPECT_EQ(engine->results().certifiedValue, 5);
    EXPECT_TRUE(window->messageWindow()->isVisible());
    EXPECT_EQ(window->messageWindow()->windowTitle(), QStringLiteral("Калибровка"));
}

TEST_F(DialogTest, EnterInTheCertifiedFieldReadsItBeforeTheDialogCloses) {
    whenShown(gso, [&] {
        if (!focus(gso->gsoNumber()))
            return;
        QTest::keyClicks(gso->gsoNumber()->lineEdit(), QStringLiteral("12.5"));
        QTest::keyClick(gso->gsoNumber(), Qt::Key_Return);
    });
    engine->CalibrationsClick();
    EXPECT_EQ(gso->gsoNumber()->currentText(), QStringLiteral("12,5"));
    EXPECT_EQ(engine->results().certifiedValue, 12.5);
    EXPECT_TRUE(engine->messageWindowVisible());
}

TEST_F(DialogTest, SampleDialogCountsSamplesAndTakesTheDilution) {
    QString caption;
    whenShown(sample, [&] {
        caption = sample->windowTitle();
        if (!focus(sample->rProbe()))
            return;
        sample->nameProbeList()->lineEdit()->insert(QStringLiteral("Сток 1"));
        sample->fullAnalis()->click();
        sample->rProbe()->lineEdit()->selectAll();
        QTest::keyClicks(sample->rProbe()->lineEdit(), QStringLiteral("4.0"));
        QTest::mouseClick(sample->okButton(), Qt::LeftButton);
    });
    engine->MeasurementClick();
    EXPECT_EQ(caption, QStringLiteral("Проба №1"));
    EXPECT_EQ(engine->results().dilution, 4);
    EXPECT_EQ(sample->rProbe()->currentText(), QStringLiteral("4,0"));
    EXPECT_EQ(engine->workflow().probeDescription, QStringLiteral("Сток 1"));
    EXPECT_FALSE(engine->workflow().smallAnalysisSelected);
    EXPECT_EQ(window->messageWindow()->windowTitle(), QStringLiteral("Анализ пробы"));
}

// A rejected entry leaves the dilution field empty, and it is still empty when the dialog opens again.
// OK then reads it as leaving it would: the number-format box, the focus back in the field, the dialog
// open; once a number is typed, OK goes on.
TEST_F(DialogTest, OkWithAnEmptiedNumberFieldShowsTheBoxAndEntersTheField) {
    const QStringList badNumber{QStringLiteral("Ошибка | Неверный формат числа,\n    повторите ввод!   ")};
    struct Case {
        const char* name;
        QDialog* dialog;
        QComboBox* field;
        QPushButton* ok;
        std::function<void()> open;
    };
    const Case cases[] = {
        {"GSO dilution", gso, gso->rgso(), gso->okButton(), [this] { engine->CalibrationsClick(); }},
        {"sample dilution", sample, sample->rProbe(), sample->okButton(),
         [this] { engine->MeasurementClick(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoxAnswerer boxes;
        // 0 in the field, Tab, the box accepted, then Esc.
        whenShown(c.dialog, [&] {
            if (c.dialog == gso) {
                if (!focus(gso->gsoNumber()))
                    return;
                QTest::keyClicks(gso->gsoNumber()->lineEdit(), QStringLiteral("10"));
            }
            if (!focus(c.field))
                return;
            c.field->lineEdit()->selectAll();
            QTest::keyClicks(c.field->lineEdit(), QStringLiteral("0"));
            QTest::keyClick(c.field, Qt::Key_Tab);
            if (QTest::qWaitFor([&] { return c.field->hasFocus(); }))
                QTest::keyClick(c.dialog, Qt::Key_Escape);
        });
        c.open();
        ASSERT_EQ(boxes.seen, badNumber);
        ASSERT_TRUE(c.field->currentText().isEmpty());

        // Opened again, straight to OK.
        QStringList seen;
        bool refocused = false, stillOpen = false;
        whenShown(c.dialog, [&] {
            boxes.seen.clear();
            QTest::mouseClick(c.ok, Qt::LeftButton);
            refocused = QTest::qWaitFor([&] { return c.field->hasFocus(); });
            stillOpen = c.dialog->isVisible();
            seen = boxes.seen;
            QTest::keyClicks(c.field->lineEdit(), QStringLiteral("2"));
            QTest::mouseClick(c.ok, Qt::LeftButton);
        });
        c.open();
        EXPECT_EQ(seen, badNumber);
        EXPECT_TRUE(refocused);
        EXPECT_TRUE(stillOpen);
        EXPECT_EQ(c.dialog->result(), QDialog::Accepted);
        EXPECT_EQ(c.dialog == gso ? engine->results().referenceDilution : engine->results().dilution, 2);
    }
}

TEST_F(WindowTest, TheDayFileWarningHasALineOfItsOwnUntilCleared) {
    auto* warning = find<QLabel>("DayFileWarning");
    auto* status = find<QLabel>("InfoPanelText");
    ASSERT_TRUE(warning && status);
    EXPECT_FALSE(warning->isVisible());
    const QRect statusBefore = status->geometry();
    window->setDayFileWarning(texts::kDayFileNotSaved);
    QApplication::processEvents();
    EXPECT_TRUE(warning->isVisible());
    EXPECT_EQ(warning->text(), texts::kDayFileNotSaved);
    // Whole, on one line across the window, right over the status bar, which keeps its own room.
    EXPECT_GE(warning->contentsRect().width(), warning->fontMetrics().horizontalAdvance(warning->text()));
    EXPECT_EQ(warning->mapTo(window.get(), QPoint(0, warning->height())).y(), window->statusBar()->y());
    EXPECT_EQ(status->geometry(), statusBefore);

    window->setDayFileWarning(QString());
    EXPECT_FALSE(warning->isVisible());
}

TEST_F(WindowTest, JournalRecordsWaitingForTheServerAreNotedInTheStatusBarWhileThereAreAny) {
    const auto noted = [this] { return window->findChild<QLabel*>(QStringLiteral("JournalWaiting")); };
    EXPECT_EQ(noted(), nullptr);
    window->setJournalWaiting(0); // no server, or nothing waits: nothing is added
    EXPECT_EQ(noted(), nullptr);
    window->setJournalWaiting(3);
    auto* note = find<QLabel>("JournalWaiting");
    ASSERT_TRUE(note);
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().contains(QStringLiteral("3")));
    window->setJournalWaiting(0);
    EXPECT_FALSE(note->isVisible());
}

TEST_F(WindowTest, CancelOnAStartPromptLeavesNoOperation) {
    scriptGsoOk();
    engine->CalibrationsClick();
    MessageWindow* prompt = window->messageWindow();
    ASSERT_TRUE(prompt->isVisible());
    ASSERT_TRUE(prompt->cancelButton()->isVisible());
    QTest::mouseClick(prompt->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(prompt->isVisible());
    EXPECT_FALSE(engine->messageWindowVisible());
    EXPECT_TRUE(engine->acquisition().operationName.isEmpty());
    EXPECT_TRUE(engine->acquisition().analysisKind.isEmpty());
    line(95);
    engine->TimerTimer();
    EXPECT_FALSE(prompt->isVisible());
    EXPECT_TRUE(engine->acquisition().operationName.isEmpty());
    EXPECT_TRUE(scripted.boxes.isEmpty());
    EXPECT_TRUE(link.written.isEmpty()); // nothing goes to the analyser
}

TEST_F(WindowTest, AStartPromptShowsTheSyringeThenTheKnob) {
    scriptGsoOk();
    engine->CalibrationsClick();
    auto* image = window->messageWindow()->findChild<QLabel*>(QStringLiteral("Image"));
    ASSERT_TRUE(image);
    EXPECT_EQ(engine->messageWindow().animationStep, 1);
    auto shows = [&](QChar letter, int step) {
        return image->pixmap().toImage() == promptPicture(letter, step).toImage();
    };
    for (int step = 1; step <= 45; ++step) {
        SCOPED_TRACE(step);
        engine->HandTimerTimer();
        EXPECT_EQ(engine->messageWindow().animationStep, step + 1);
        ASSERT_FALSE(image->pixmap().isNull());
        if (step <= 30)
            EXPECT_TRUE(shows(u'F', step));
        else
            EXPECT_TRUE(shows(u'H', std::max(1, 42 - step))); // the knob turns to H1 and stays there
    }
}

// Ending the program while a run is measured: every way of ending it asks first, No by default, and No
// leaves the run going; with no run it ends at once.
enum class ExitPath { Menu, CtrlZ, TrayMenu, CloseBox };

class ExitTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        window->closeRequested = [this] {
            ++closeSequences;
            engine->closeSequence();
        };
    }
    // A run of the kind given, measured on lines that keep falling faster, so that it reaches no end point
    // of its own; the lines come every 10 ms as from the port, also while a box is open.
    void startRun(RunKind kind) {
        command("PGo")->trigger();
        line(95);
        line(95, "изм."); // the knob turned for the run
        MeasuredRunSetup setup;
        setup.kind = kind;
        setup.small = false;
        setup.certifiedValue = 10;
        setup.rateCoefficient = 5;
        setup.rangeCoefficient = 0.25;
        engine->beginMeasuredRun(setup);
        QObject::connect(&port, &QTimer::timeout, [this] {
            ++fed;
            line(95 - 0.0004 * fed * fed, "изм.");
        });
        port.start(10);
    }
    void exitBy(ExitPath path) {
        switch (path) {
        case ExitPath::Menu:
            command("ExitProgram")->trigger();
            break;
        case ExitPath::CtrlZ:
            // A shortcut reaches the active window only; after a box the activation comes back queued.
            window->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
            QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
            break;
        case ExitPath::TrayMenu:
            command("ExitWindow")->trigger();
            break;
        case ExitPath::CloseBox:
            window->close();
            break;
        }
    }
    // Answers the question once it shows, after some lines have been taken while it was open, and tells
    // what it asked.
    struct Question {
        QString text;
        bool defaultIsNo = false;
        int samplesWhileOpen = 0;
        bool asked = false;
    };
    Question answerNextQuestion(QMessageBox::StandardButton answer, const std::function<void()>& ask) {
        Question q;
        int sampleAtShow = -1;
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            const int sample = engine->acquisition().currentSample;
            if (sampleAtShow < 0) {
                sampleAtShow = sample;
                q.asked = true;
                q.text = box->windowTitle() + QStringLiteral(" | ") + box->text();
                q.defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
            }
            if (sample < sampleAtShow + 5 && answer == QMessageBox::No)
                return; // the run is seen to go on under the question first
            q.samplesWhileOpen = sample - sampleAtShow;
            box->button(answer)->click();
        });
        answerer.start(5);
        ask();
        return q;
    }

    QTimer port;
    int fed = 0;
    int closeSequences = 0;
};

const char* const kExitPathNames[] = {"Menu", "CtrlZ", "TrayMenu", "CloseBox"};

class ExitWhileRunning : public ExitTest,
                         public ::testing::WithParamInterface<std::tuple<ExitPath, RunKind>> {};

TEST_P(ExitWhileRunning, EndingAsksFirstNoKeepsTheRunGoingAndYesEnds) {
    const auto [path, kind] = GetParam();
    const bool analysis = kind == RunKind::Analysis;
    const QString operation = analysis ? QStringLiteral("Анализ пробы") : QStringLiteral("Калибровка");
    const QString question =
        analysis
            ? QStringLiteral("Внимание | Идёт анализ пробы !\nПри выходе из программы анализ будет "
                             "потерян.\nЗавершить работу программы ?")
            : QStringLiteral("Внимание | Идёт калибровка по ГСО !\nПри выходе из программы калибровка будет "
                             "потеряна.\nЗавершить работу программы ?");
    startRun(kind);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->acquisition().currentSample >= 3; }));
    ASSERT_EQ(engine->acquisition().operationName, operation);

    const Question kept = answerNextQuestion(QMessageBox::No, [&] { exitBy(path); });
    ASSERT_TRUE(kept.asked);
    EXPECT_EQ(kept.text, question);
    EXPECT_TRUE(kept.defaultIsNo);
    EXPECT_GE(kept.samplesWhileOpen, 5); // lines were taken while the question was open
    // No: nothing has changed, and the run goes on.
    EXPECT_EQ(closeSequences, 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(engine->acquisition().operationName, operation);
    EXPECT_TRUE(engine->acquisition().smoothingActive);
    EXPECT_TRUE(engine->workflow().linkActive);
    EXPECT_FALSE(window->messageWindow()->isVisible());
    const int sample = engine->acquisition().currentSample;
    EXPECT_TRUE(QTest::qWaitFor([&] { return engine->acquisition().currentSample >= sample + 5; }));
    EXPECT_EQ(engine->acquisition().operationName, operation);

    // Yes: the program ends as it always has.
    const Question ended = answerNextQuestion(QMessageBox::Yes, [&] { exitBy(path); });
    EXPECT_TRUE(ended.asked);
    EXPECT_EQ(closeSequences, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(engine->workflow().linkActive);
    EXPECT_TRUE(engine->acquisition().operationName.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(EveryWay, ExitWhileRunning,
                         ::testing::Combine(::testing::Values(ExitPath::Menu, ExitPath::CtrlZ,
                                                              ExitPath::TrayMenu, ExitPath::CloseBox),
                                            ::testing::Values(RunKind::Analysis, RunKind::Calibration)),
                         [](const auto& info) {
                             return std::string(kExitPathNames[static_cast<int>(std::get<0>(info.param))]) +
                                    (std::get<1>(info.param) == RunKind::Analysis ? "Analysis"
                                                                                  : "Calibration");
                         });

class ExitWhenIdle : public ExitTest, public ::testing::WithParamInterface<ExitPath> {};

TEST_P(ExitWhenIdle, TheProgramEndsAtOnce) {
    command("PGo")->trigger();
    line(95);
    BoxAnswerer answers;
    exitBy(GetParam());
    EXPECT_TRUE(answers.seen.isEmpty()) << answers.seen.join(u'\n').toStdString();
    EXPECT_EQ(closeSequences, 1);
    EXPECT_FALSE(window->isVisible());
}

INSTANTIATE_TEST_SUITE_P(EveryWay, ExitWhenIdle,
                         ::testing::Values(ExitPath::Menu, ExitPath::CtrlZ, ExitPath::TrayMenu,
                                           ExitPath::CloseBox),
                         [](const auto& info) {
                             return std::string(kExitPathNames[static_cast<int>(info.param)]);
                         });

// The room a label gives its text: its contents less the indent a framed label keeps on its aligned side.
int textRoom(const QLabel* label) {
    const int indent = label->indent() >= 0      ? label->indent()
                       : label->frameWidth() > 0 ? label->fontMetrics().horizontalAdvance(u'x') / 2
                                                 : 0;
    const bool indented = label->alignment() & (Qt::AlignLeft | Qt::AlignRight);
    return label->contentsRect().width() - (indented ? indent : 0);
}

// Every prompt, in either height the engine gives the window, with and without its Cancel button: the
// label holds the whole text in its font, each written line on a line of its own, inside the window and
// clear of the button; the window keeps the height it was given.
TEST(MessageWindowText, EveryPromptIsShownWholeInBothHeights) {
    MessageWindow window(nullptr);
    QLabel* label = window.messageLabel();
    for (const QString& prompt : texts::promptTexts()) {
        for (const int height : {125, 90}) {
            for (const bool cancel : {true, false}) {
                SCOPED_TRACE(QString(prompt).replace(u'\r', u'/').toStdString() + " / " +
                             std::to_string(height) + (cancel ? " with Cancel" : ""));
                MessageWindowLayout layout;
                layout.caption = cancel ? QStringLiteral("Анализ пробы") : QStringLiteral("Подготовка");
                layout.text = prompt;
                layout.cancelVisible = cancel;
                layout.height = height;
                layout.alignment = cancel ? Alignment::Left : Alignment::Centre;
                window.showLayout(layout);
                const QFontMetrics metrics(label->font());
                const QRect room = label->contentsRect();
                const QRect wrapped =
                    metrics.boundingRect(room, label->alignment() | Qt::TextWordWrap, label->text());
                EXPECT_TRUE(room.contains(wrapped)) << wrapped.height() << " high in " << room.height();
                EXPECT_EQ(wrapped.height(),
                          metrics.boundingRect(room, label->alignment(), label->text()).height());
                EXPECT_EQ(label->font().pixelSize(), 12);
                EXPECT_TRUE(window.rect().contains(label->geometry()));
                // As the program shows them (Cancel in the higher window) the heights are kept; the
                // lower one with the button grows by the button's margin.
                if (cancel == (height == 125))
                    EXPECT_EQ(window.height(), height);
                else
                    EXPECT_GE(window.height(), height);
                EXPECT_GE(window.width(), 271);
                if (cancel) {
                    const QRect button = window.cancelButton()->geometry();
                    EXPECT_TRUE(window.rect().contains(button));
                    EXPECT_FALSE(button.intersects(label->geometry()));
                }
            }
        }
    }
}

// The results bar's captions, and values as wide as a run gives them, fit their panels in the bar's font.
TEST_F(WindowTest, ResultsBarCaptionsAndValuesAreShownWhole) {
    const std::array<const char*, 5> captions = {"dS=", "S'max=", "БПК= ", "БПК'=", "ОТ="};
    for (int k = 0; k < 5; ++k)
        window->setResultPanel(2 * k + 1, QStringLiteral("-100,000"));
    QCoreApplication::processEvents();
    for (int k = 0; k < 10; ++k) {
        auto* panel = window->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(k));
        ASSERT_TRUE(panel);
        SCOPED_TRACE(panel->text().toStdString());
        if (k % 2 == 0) {
            EXPECT_EQ(panel->text(), QString::fromUtf8(captions[size_t(k / 2)]));
        }
        EXPECT_LE(panel->fontMetrics().horizontalAdvance(panel->text()), textRoom(panel));
    }
}

// The display's reading keeps clear of its edges in its own font: a long one is set smaller, never
// below a readable size; a short one keeps the display's large size.
TEST_F(WindowTest, TheDisplayShowsItsReadingWhole) {
    auto* reading = find<QLabel>("SignalLabel");
    auto* display = find<QFrame>("Indicator");
    ASSERT_TRUE(reading && display);
    for (const char* text : {"300,0 мг/л.", "100,0 %нас.", "93,2 %нас.", "1234,5 мг/л.", "4,8 мг/л."}) {
        SCOPED_TRACE(text);
        window->setLabelText(Label::Signal, QString::fromUtf8(text));
        const QFontMetrics metrics(reading->font());
        const QRect ink = metrics.boundingRect(reading->rect(), reading->alignment(), reading->text());
        const QRect inDisplay = ink.translated(reading->pos());
        EXPECT_GE(inDisplay.left(), 3);
        EXPECT_LE(inDisplay.right(), display->width() - 4);
        EXPECT_LE(metrics.horizontalAdvance(reading->text()), reading->width() - 6);
        EXPECT_GE(reading->font().pixelSize(), 14);
    }
    EXPECT_EQ(reading->font().pixelSize(), 22);
    // The smaller labels of the display with their widest texts.
    const std::pair<Label, const char*> small[] = {
        {Label::Temperature, "-10,0 °C"}, {Label::Time, "23:59:59"}, {Label::Date, "28.12.26 г"}};
    for (const auto& [which, text] : small)
        window->setLabelText(which, QString::fromUtf8(text));
    for (const char* name : {"TempLabel", "TimeLabel", "DateLabel"}) {
        auto* label = find<QLabel>(name);
        ASSERT_TRUE(label);
        SCOPED_TRACE(name);
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
        EXPECT_TRUE(display->rect().contains(label->geometry()));
    }
}

// The program put together as main() does, with its own engine, dialogs and close wrapper.
class ApplicationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        config.load(dir.path());
        Application::Options options;
        options.dataFolder = dir.path();
        options.demo = true;
        program = std::make_unique<Application>(options, config);
        program->start();
    }
    QTemporaryDir dir;
    Configuration config;
    std::unique_ptr<Application> program;
};

TEST_F(ApplicationTest, TheDialogsOkButtonsFollowTheCommandStates) {
    for (const char* dialog : {"TModul3", "TModul2"}) {
        SCOPED_TRACE(dialog);
        auto* d = program->window().findChild<QDialog*>(QString::fromLatin1(dialog));
        ASSERT_TRUE(d);
        auto* ok = d->findChild<QPushButton*>(QStringLiteral("OkButton"));
        ASSERT_TRUE(ok);
        EXPECT_TRUE(ok->isEnabled());
        const Command c = dialog == std::string("TModul3") ? Command::GsoOk : Command::SampleOk;
        program->window().setCommandEnabled(c, false);
        EXPECT_FALSE(ok->isEnabled());
        program->window().setCommandEnabled(c, true);
        EXPECT_TRUE(ok->isEnabled());
    }
}

TEST_F(ApplicationTest, TheCloseSequenceRunsOnceAndWritesTheConfigurationOnce) {
    MainWindow& window = program->window();
    int runs = 0;
    window.closeRequested = [&, inner = window.closeRequested] {
        ++runs;
        inner();
    };
    const QString file = dir.filePath(Configuration::kFileName);
    ASSERT_TRUE(QFile::remove(file));
    window.ExitProgramClick();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_FALSE(window.isVisible());
    ASSERT_TRUE(QFile::remove(file));
    window.close();
    window.ExitProgramClick();
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(ApplicationTest, ClosingByTheCloseBoxRunsTheSequenceToo) {
    MainWindow& window = program->window();
    int runs = 0;
    window.closeRequested = [&, inner = window.closeRequested] {
        ++runs;
        inner();
    };
    window.close();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(QFile::exists(dir.filePath(Configuration::kFileName)));
    window.ExitProgramClick();
    EXPECT_EQ(runs, 1);
}

// The program as main() puts it together, on the serial port, connecting to a device its account may not
// use: the error box names the system's reason on its second line and tells what to do. Tried without
// root's rights, in a child process.
TEST(PortRefusedBox, TheSecondLineTellsThePermissionAndTheCure) {
    LockedPty locked;
    ASSERT_TRUE(locked.ok());
    QString why;
    const auto said = runUnprivileged(
        [&] {
            QTemporaryDir dir;
            Configuration config;
            config.load(dir.path());
            Application::Options options;
            options.dataFolder = dir.path();
            Application program(options, config);
            program.start();
            program.engine().setPort(locked.path());
            QString shown;
            QTimer answerer;
            QObject::connect(&answerer, &QTimer::timeout, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    shown = box->windowTitle() + QStringLiteral(" | ") + box->text();
                    box->accept();
                }
            });
            answerer.start(5);
            program.window().action(Command::Connect)->trigger();
            return shown.toUtf8();
        },
        &why);
    ASSERT_TRUE(said) << why.toStdString();
    const QStringList lines = QString::fromUtf8(*said).split(u'\n');
    ASSERT_EQ(lines.size(), 4) << said->constData();
    EXPECT_EQ(lines[0], QStringLiteral("Ошибка | Нет доступа к последовательному порту ") + locked.path() +
                            QStringLiteral(" !"));
    EXPECT_EQ(lines[1], QStringLiteral("Причина: Permission denied"));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("в группу dialout"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].contains(QStringLiteral("sudo usermod -aG dialout "))) << lines[3].toStdString();
}

// The program itself, started twice. The instance lock lives in the temporary folder, so each test gives
// the program a folder of its own and meets no other running copy.
class InstanceTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(lockFolder.isValid()); }
    void TearDown() override {
        for (auto& p : started)
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(10000);
            }
    }
    QProcess& start(const QTemporaryDir& dataFolder) {
        auto& p = started.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TMPDIR"), lockFolder.path());
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QStringLiteral(LORIMET_EXECUTABLE), {QStringLiteral("--data-dir"), dataFolder.path()});
        EXPECT_TRUE(p->waitForStarted(10000));
        return *p;
    }
    // The configuration is read only after the instance check: its file marks an instance that runs.
    static bool runsIn(const QTemporaryDir& dataFolder) {
        return QTest::qWaitFor([&] { return QFile::exists(dataFolder.filePath(Configuration::kFileName)); },
                               60000);
    }
    QString lockFile() const { return lockFolder.filePath(QStringLiteral("MyOwnMutex.lock")); }

    QTemporaryDir lockFolder;
    std::vector<std::unique_ptr<QProcess>> started;
};

TEST_F(InstanceTest, ASecondStartEndsAtOnceAndSilently) {
    QTemporaryDir first, second;
    QProcess& running = start(first);
    ASSERT_TRUE(runsIn(first));
    QProcess& again = start(second);
    ASSERT_TRUE(again.waitForFinished(30000));
    EXPECT_EQ(again.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(again.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(second.filePath(Configuration::kFileName)));
    EXPECT_EQ(running.state(), QProcess::Running);
}

TEST_F(InstanceTest, TheLockOfAKilledInstanceIsTakenOver) {
    QTemporaryDir first, second;
    QProcess& killed = start(first);
    ASSERT_TRUE(runsIn(first));
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));
    ASSERT_TRUE(QFile::exists(lockFile())); // left behind by the killed process
    // Open to every user: one left by root in the sticky /tmp must not keep everyone else's program away.
    EXPECT_TRUE(QFileInfo(lockFile()).permissions().testFlag(QFileDevice::WriteOther));
    QProcess& next = start(second);
    EXPECT_TRUE(runsIn(second));
    EXPECT_EQ(next.state(), QProcess::Running);
}

} // namespace
