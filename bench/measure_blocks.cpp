// The program's window with a day of many analyses: start-up with N blocks in today's day file, opening a
// protocol file of N blocks through the open dialog, and closing, each timed in the real window. While the
// file loads a 20 ms timer runs beside it; its longest gap says how long the window went without painting.
//
//   measure_blocks [--samples S] [--start-only] N...   (N blocks of S data lines each; S = 20 unless given)
//
// --start-only skips the file: start-up and closing alone. GAPS=1 in the environment lists each gap over
// 150 ms with the rows loaded by then.
//
// Prints one row per N. Run it from a Release build, under Xvfb or offscreen.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "config/Configuration.h"
#include "engine/Engine.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolText.h"
#include "text/TimeText.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>

using namespace lorimet;

namespace {

QStringList protocolOf(int blocks, int samples, const QString& date) {
    QStringList lines;
    lines.reserve(qsizetype(blocks) * (samples + 5));
    for (int b = 0; b < blocks; ++b) {
        lines << QString::number(samples);
        for (int i = 0; i < samples; ++i)
            lines << dataLine(95 - i * 0.05, 0.001 * (i % 50), i * 0.0000058);
        lines << QStringLiteral("Проба %1").arg(b + 1) << resultLine(12.3456, b % 2 == 1, 7.5, false, 0)
              << temperatureLine(20.46, QStringLiteral("09:40"))
              << timeDateLine(QTime(8, 0).addSecs((b * 7) % 80000).toString(QStringLiteral("hh:mm:ss")),
                              date);
    }
    return lines;
}

// Answers the open dialog with the given file as soon as it shows, and notes when it did.
void answerOpenDialog(const QString& file, QElapsedTimer& accepted) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, file, &accepted] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            dialog->selectFile(file);
            accepted.start();
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    poll->start();
}

struct Figures {
    double startMs = 0, openMs = 0, longestGapMs = 0, cleanMs = 0, closeMs = 0;
    int rows = 0;
};

Figures measure(int blocks, int samples, bool startOnly) {
    Figures f;
    QTemporaryDir dir;
    const QString today = dateText(QDate::currentDate());
    QDir().mkpath(dir.filePath(QStringLiteral("Temp")));
    writeProtocolFile(dir.filePath(QStringLiteral("Temp/") + dayFileName(today)),
                      protocolOf(blocks, samples, today));
    const QString file = dir.filePath(QStringLiteral("big.txt"));
    writeProtocolFile(file, protocolOf(blocks, samples, QStringLiteral("06.12.26 г")));

    Configuration config;
    config.load(dir.path());
    Application::Options options;
    options.dataFolder = dir.path();

    QElapsedTimer timer;
    timer.start();
    Application program(options, config);
    program.start();
    QWindow* handle = program.window().windowHandle();
    while (!handle || !handle->isExposed()) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        handle = program.window().windowHandle();
    }
    QApplication::processEvents(); // the first paint
    f.startMs = timer.nsecsElapsed() / 1e6;
    f.rows = program.window().table()->model()->rowCount();

    if (startOnly) {
        timer.restart();
        program.window().ExitProgramClick();
        f.closeMs = timer.nsecsElapsed() / 1e6;
        return f;
    }

    // The window as a user sees it while the file loads: the table in front, a timer ticking beside it.
    QElapsedTimer accepted, sinceTick;
    QTimer ticker;
    ticker.setInterval(20);
    bool loading = false;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (loading) {
            f.longestGapMs = std::max(f.longestGapMs, sinceTick.nsecsElapsed() / 1e6);
            if (qEnvironmentVariableIsSet("GAPS") && sinceTick.nsecsElapsed() > 150e6)
                std::fprintf(stderr, "gap %.0f ms at row %d\n", sinceTick.nsecsElapsed() / 1e6,
                             program.window().table()->model()->rowCount());
        }
        sinceTick.start();
    });
    program.window().findChild<QAction*>(QStringLiteral("ResTable"))->trigger();
    answerOpenDialog(file, accepted);
    QTimer::singleShot(0, [&] {
        ticker.start();
        sinceTick.start();
        loading = true;
    });
    program.window().action(Command::Open)->trigger();
    loading = false;
    f.openMs = accepted.nsecsElapsed() / 1e6;
    if (program.window().table()->model()->rowCount() != blocks)
        std::fprintf(stderr, "the file did not open whole: %d rows\n",
                     program.window().table()->model()->rowCount());
    QApplication::processEvents();

    // The file view ended by the clearing command, then opened once more for the close below.
    timer.restart();
    program.window().findChild<QAction*>(QStringLiteral("Clean"))->trigger();
    QApplication::processEvents();
    f.cleanMs = timer.nsecsElapsed() / 1e6;
    answerOpenDialog(file, accepted);
    program.window().action(Command::Open)->trigger();
    QApplication::processEvents();

    timer.restart();
    program.window().ExitProgramClick();
    f.closeMs = timer.nsecsElapsed() / 1e6;
    return f;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int samples = 20;
    bool startOnly = false;
    QList<int> counts;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--start-only")
            startOnly = true;
        else if (QByteArray(argv[i]) == "--samples" && i + 1 < argc)
            samples = std::atoi(argv[++i]);
        else
            counts << std::atoi(argv[i]);
    }
    if (counts.isEmpty())
        counts = {250, 1000, 2000, 4000};
    std::printf("%8s %8s | %10s %10s | %10s %10s %9s | %9s %9s\n", "blocks", "samples", "start ms",
                "blocks/s", "open ms", "blocks/s", "gap ms", "clean ms", "close ms");
    for (int blocks : counts) {
        const Figures f = measure(blocks, samples, startOnly);
        std::printf("%8d %8d | %10.0f %10.0f | %10.0f %10.0f %9.0f | %9.0f %9.0f%s\n", blocks, samples,
                    f.startMs, blocks / (f.startMs / 1000), f.openMs, blocks / (f.openMs / 1000),
                    f.longestGapMs, f.cleanMs, f.closeMs,
                    f.rows == blocks ? "" : "  (start-up table incomplete)");
        std::fflush(stdout);
    }
    return 0;
}
