// The main tick goes on under the boxes that it opens itself: the clock runs and the line watchdog lets go of
// a silent analyser while the question after the automatic upper point is still waiting for the operator.
#include "faults/FaultRig.h"

#include "app/Application.h"
#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::faults;

namespace {

const QString kUpperPointDone = QStringLiteral("Калибровка прибора по верхней точке успешно завершена !");
// The first letter is the Latin C.
const QString kLinkBroken = QStringLiteral("Внимание | Cвязь с прибором - прервана !");

QMessageBox* openBox(const QString& start) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w);
            box && box->isVisible() && box->text().startsWith(start))
            return box;
    return nullptr;
}

TEST(TickUnderItsOwnBoxes, TheWatchdogAndTheClockRunWhileTheUpperPointQuestionIsOpen) {
    Simulator sim;
    ASSERT_TRUE(sim.ok());
    ProgramRig rig(sim.pty);
    rig.robot.leaveOpen = {kUpperPointDone};
    auto* clock = rig.program->window().findChild<QLabel*>(QStringLiteral("TimeLabel"));
    ASSERT_NE(clock, nullptr);

    // The question opens inside the tick's own handler and holds the event loop that waits here: what is to
    // be seen under it is watched from a timer, which fires inside the question's loop.
    enum class Stage {
        AwaitingQuestion,
        AwaitingWatchdog,
        AwaitingClock,
        Done
    } stage = Stage::AwaitingQuestion;
    QString clockBefore, clockLater;
    bool linkDropped = false;
    bool questionStayed = false;
    QElapsedTimer sinceSilence, sinceWatchdog;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QMessageBox* question = openBox(kUpperPointDone);
        switch (stage) {
        case Stage::AwaitingQuestion:
            // The upper point cleared the line list; with no line listed since, the watchdog would take the
            // silence for a link never made.
            if (!question || rig.engine().protocolCount() < 2)
                return;
            clockBefore = clock->text();
            sim.say("silence 15");
            sinceSilence.start();
            stage = Stage::AwaitingWatchdog;
            return;
        case Stage::AwaitingWatchdog:
            if (!rig.robot.boxes.contains(kLinkBroken)) {
                // The watchdog speaks after five silent seconds; a tick that stands still never does.
                if (sinceSilence.elapsed() > 12000 && question) {
                    stage = Stage::Done;
                    question->button(QMessageBox::Cancel)->click();
                }
                return;
            }
            linkDropped = !rig.engine().workflow().linkActive;
            sinceWatchdog.start();
            stage = Stage::AwaitingClock;
            return;
        case Stage::AwaitingClock:
            if (sinceWatchdog.elapsed() < 1500)
                return;
            questionStayed = question != nullptr;
            clockLater = clock->text();
            stage = Stage::Done;
            // The operator comes back and declines the GSO calibration.
            if (question)
                question->button(QMessageBox::Cancel)->click();
            return;
        case Stage::Done:
            return;
        }
    });
    watcher.start(50);

    rig.trigger(Command::Connect);
    ASSERT_TRUE(rig.engine().workflow().linkActive) << rig.robot.boxes.join(u'\n').toStdString();
    // A stable minute of signal, the upper point, and then the watchdog's five silent seconds.
    const bool done = waitFor([&] { return stage == Stage::Done; }, 100000);
    if (QMessageBox* question = openBox(kUpperPointDone))
        question->button(QMessageBox::Cancel)->click();
    ASSERT_TRUE(done) << "stage " << static_cast<int>(stage) << ": "
                      << rig.robot.boxes.join(u'\n').toStdString();
    EXPECT_TRUE(linkDropped);
    EXPECT_TRUE(questionStayed) << "the question is still waiting for its answer";
    EXPECT_NE(clockLater, clockBefore);
    EXPECT_FALSE(clockLater.isEmpty());
    EXPECT_EQ(rig.robot.boxes.count(kLinkBroken), 1);
    EXPECT_TRUE(waitFor([] { return QApplication::activeModalWidget() == nullptr; }, 2000));
}

} // namespace
