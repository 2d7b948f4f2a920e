// The program's window after a long stretch of lines: memory, cost per line with the window updating, and one
// redraw of the chart at 100 000 points. Prints its figures; run it from a Release build.
#include "app/Application.h"
#include "app/ChartView.h"
#include "app/MainWindow.h"
#include "config/Configuration.h"
#include "engine/Engine.h"
#include "fakes/Fakes.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace lorimet;

namespace {

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100'000;
    QTemporaryDir dir;
    Configuration config;
    config.load(dir.path());
    Application::Options options;
    options.dataFolder = dir.path();
    options.demo = true;
    Application program(options, config);
    program.start();
    Engine& engine = program.engine();
    engine.PGoClick();
    QApplication::processEvents();
    const long before = residentKiB();

    QElapsedTimer timer;
    timer.start();
    double signal = 95;
    for (int i = 0; i < lines; ++i) {
        signal = 95 + 0.3 * ((i * 7919) % 100) / 100.0; // idle noise: the system stays in one state
        engine.lineAvailable(testing::analyserLine(signal));
        if (i % 1000 == 0)
            QApplication::processEvents(); // the window repaints as it would between lines
    }
    QApplication::processEvents();
    const double perLineUs = timer.nsecsElapsed() / 1000.0 / lines;
    const long after = residentKiB();

    ChartView* plotter = program.window().plotter();
    timer.restart();
    const int redraws = 20;
    for (int k = 0; k < redraws; ++k)
        plotter->replotNow();
    const double redrawMs = timer.nsecsElapsed() / 1e6 / redraws;

    // The drop-down of listed lines opened and closed, as the operator looks back through the day.
    auto* protocol = program.window().findChild<QComboBox*>(QStringLiteral("Protocol"));
    timer.restart();
    protocol->showPopup();
    QApplication::processEvents();
    protocol->hidePopup();
    const double popupMs = timer.nsecsElapsed() / 1e6;

    std::printf("lines fed:            %d (protocol list %d items, %d chart points)\n", lines,
                engine.protocolCount(), plotter->pointCount(Series::Signal));
    std::printf("per line, window on:  %.1f us\n", perLineUs);
    std::printf("resident memory:      %.1f MiB before, %.1f MiB after\n", before / 1024.0, after / 1024.0);
    std::printf("one chart redraw:     %.2f ms\n", redrawMs);
    std::printf("line list opened:     %.1f ms\n", popupMs);
    program.window().ExitProgramClick();
    return 0;
}
