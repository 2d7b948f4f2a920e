// The program's own save dialogs, as the operator uses them: the proposed name taken with Enter ends in the
// filter's extension, and a file already there is replaced only after the operator said so.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/PrintDialog.h"
#include "config/Configuration.h"
#include "fakes/WaitFor.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolText.h"
#include "text/TimeText.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <deque>
#include <functional>

using namespace lorimet;
using lorimet::testing::waitFor;

namespace {

QStringList oneBlock(const QString& date) {
    return {QStringLiteral("2"),
            dataLine(90, 0, 0),
            dataLine(89, 0.01, 0.00001),
            QStringLiteral("Проба"),
            resultLine(1.5, false, 0, false, 0),
            temperatureLine(20, QStringLiteral("01:00")),
            timeDateLine(QStringLiteral("10:00:00"), date)};
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// The operator's hands: each step waits for its window to be the modal one, then acts on it.
class Hands {
  public:
    using Step = std::function<bool(QWidget*)>; // true when it acted on the window
    Hands() {
        // Queued: an action that opens a window of its own (the question about replacing a file) must not
        // hold the timer, which does not fire again while its own handler runs.
        QObject::connect(
            &timer_, &QTimer::timeout, &timer_,
            [this] {
                if (steps_.empty())
                    return;
                // Off the list before it acts: the next step is the one for a window that this one opens.
                Step step = std::move(steps_.front());
                steps_.pop_front();
                if (!step(QApplication::activeModalWidget()))
                    steps_.push_front(std::move(step));
            },
            Qt::QueuedConnection);
        timer_.start(30);
    }
    void then(Step step) { steps_.push_back(std::move(step)); }
    bool done() const { return steps_.empty(); }

    // Enter in the named file dialog, as the operator takes the proposed name.
    static Step enterIn(const QString& dialogName) {
        return [dialogName](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog || dialog->objectName() != dialogName)
                return false;
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus && dialog->isAncestorOf(focus) ? focus : dialog, Qt::Key_Return);
            return true;
        };
    }
    // A click on the dialog's Save button. With a file of the
    // proposed name there, Enter would first take the completion that the dialog offers.
    static Step saveIn(const QString& dialogName) {
        return [dialogName](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            auto* buttons = dialog ? dialog->findChild<QDialogButtonBox*>() : nullptr;
            if (!buttons || dialog->objectName() != dialogName || !buttons->button(QDialogButtonBox::Save))
                return false;
            buttons->button(QDialogButtonBox::Save)->click();
            return true;
        };
    }
    static Step escapeFrom(const QString& dialogName) {
        return [dialogName](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog || dialog->objectName() != dialogName)
                return false;
            dialog->reject();
            return true;
        };
    }
    // The question about replacing a file: the answer given, the question remembered.
    Step answer(QMessageBox::StandardButton button) {
        return [this, button](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box || !box->button(button))
                return false;
            questions << box->text();
            box->button(button)->click();
            return true;
        };
    }
    static Step printToPdf() {
        return [](QWidget* modal) {
            auto* dialog = qobject_cast<PrintDialog*>(modal);
            if (!dialog)
                return false;
            dialog->printerList()->setCurrentText(PrintDialog::kPdfEntry);
            dialog->okButton()->click();
            return true;
        };
    }
    QStringList questions;

  private:
    std::deque<Step> steps_;
    QTimer timer_;
};

class SaveDialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Temp")));
        ASSERT_TRUE(
            writeProtocolFile(dir.filePath(QStringLiteral("Temp/") + dayFileName(today)), oneBlock(today)));
        config.load(dir.path());
        Application::Options options;
        options.dataFolder = dir.path();
        program = std::make_unique<Application>(options, config);
        program->start();
    }
    void TearDown() override {
        // The day's files stay where they are: the exit sweep asks nothing about today's day file.
        if (program)
            program->window().ExitProgramClick();
    }
    QAction* action(const char* name) {
        return program->window().findChild<QAction*>(QString::fromLatin1(name));
    }
    // Triggers the command and waits until the hands have done every step.
    void run(const char* name) {
        QAction* a = action(name);
        ASSERT_TRUE(a) << name;
        ASSERT_TRUE(waitFor([&] { return a->isEnabled(); }, 3000)) << name;
        a->trigger();
        EXPECT_TRUE(waitFor([&] { return hands.done(); }, 5000)) << name;
    }
    QString inDayFolder(const QString& name) const {
        return dir.filePath(QStringLiteral("Reports/") + today + u'/' + name);
    }

    const QString today = dateText(QDate::currentDate());
    QTemporaryDir dir;
    Configuration config;
    std::unique_ptr<Application> program;
    Hands hands;
};

TEST_F(SaveDialogs, TheProtocolTakesItsExtensionAndReplacesAFileOnlyWhenTold) {
    const QString saved = inDayFolder(QStringLiteral("Протокол от ") + today + QStringLiteral(".txt"));
    hands.then(Hands::enterIn(QStringLiteral("SaveFiles")));
    run("SaveProtocol");
    ASSERT_EQ(contents(saved), contents(dir.filePath(QStringLiteral("Temp/") + dayFileName(today))));
    EXPECT_EQ(QDir(inDayFolder(QString())).entryList(QDir::Files), QStringList{QFileInfo(saved).fileName()});

    // Saved again under the same name: the operator is asked, and No keeps the file as it was.
    ASSERT_TRUE(QFile::remove(saved));
    {
        QFile older(saved);
        ASSERT_TRUE(older.open(QIODevice::WriteOnly));
        older.write("older");
    }
    hands.then(Hands::saveIn(QStringLiteral("SaveFiles")));
    hands.then(hands.answer(QMessageBox::No));
    hands.then(Hands::escapeFrom(QStringLiteral("SaveFiles")));
    run("SaveProtocol");
    ASSERT_EQ(hands.questions.size(), 1);
    EXPECT_TRUE(hands.questions[0].contains(QFileInfo(saved).fileName())) << hands.questions[0].toStdString();
    EXPECT_EQ(contents(saved), QByteArray("older"));

    // Yes replaces it.
    hands.then(Hands::saveIn(QStringLiteral("SaveFiles")));
    hands.then(hands.answer(QMessageBox::Yes));
    run("SaveProtocol");
    EXPECT_EQ(hands.questions.size(), 2);
    EXPECT_TRUE(contents(saved).startsWith("2\r\nS=+090,000"));
}

TEST_F(SaveDialogs, TheWorkbookAndThePrintOutOfTheTableAreTwoFiles) {
    program->window().ResTableClick();
    hands.then(Hands::saveIn(QStringLiteral("SaveFiles")));
    run("SaveChart");
    hands.then(Hands::printToPdf());
    hands.then(Hands::enterIn(QStringLiteral("SavePdf")));
    run("Print");
    const QString title = QStringLiteral("Отчёт от ") + today;
    EXPECT_TRUE(contents(inDayFolder(title + QStringLiteral(".xlsx"))).startsWith("PK"));
    EXPECT_TRUE(contents(inDayFolder(title + QStringLiteral(".pdf"))).startsWith("%PDF"));
    EXPECT_TRUE(hands.questions.isEmpty());

    // The chart's bitmap, proposed under the name its preview was written to: no question about that file.
    program->window().ResTableClick();
    hands.then(Hands::enterIn(QStringLiteral("SaveGraphics")));
    run("SaveChart");
    EXPECT_TRUE(hands.questions.isEmpty());
    EXPECT_TRUE(contents(inDayFolder(QStringLiteral("график1.bmp"))).startsWith("BM"));
}

} // namespace
