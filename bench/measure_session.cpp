// The program as a person meets it: how long it takes to start, what it costs while linked to an analyser,
// and how quickly its event loop answers meanwhile. The analyser is lorimet-sim on a pseudo-terminal.
//
// measure_session [--period SECONDS] [--seconds N] [--report-every N] [--journal URL [--runs-per-minute N]]
//   --period: the analyser's line period (1 = idle analyser at one line per second, 0.05 = its fastest rate)
//   --seconds: how long to stay linked while measuring (60 by default)
//   --journal: record into the data folder's journal and ship to this server (postgresql://…), as lorimet
//     --journal does; with a server that is stopped the records pile up in the outbox meanwhile
//   --runs-per-minute: finished analyses of 3 600 lines handed to the journal from the window's thread
//     (6 by default with --journal), a day of analyses in minutes
// Prints start-up time, CPU share, lines handled, the longest delay of a 20 ms timer, resident memory.
// Run it from a Release build; QT_QPA_PLATFORM defaults to offscreen.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "config/Configuration.h"
#include "engine/Engine.h"
#include "journal/Recorder.h"
#include "text/Cp1251.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

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

// Milliseconds since the kernel started this process (exec, dynamic loading and static initialisers
// included).
double msSinceExec() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Field 22 is the start time in clock ticks after boot; the name field may hold blanks, so count after
    // ")".
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble();
    timespec boot{};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    return (boot.tv_sec + boot.tv_nsec / 1e9) * 1000.0 - startTicks * 1000.0 / sysconf(_SC_CLK_TCK);
}

double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv) {
    const double atMain = msSinceExec();
    QElapsedTimer sinceMain;
    sinceMain.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&args](const char* name, double fallback) {
        const qsizetype at = args.indexOf(QString::fromLatin1(name));
        return at >= 0 && at + 1 < args.size() ? args[at + 1].toDouble() : fallback;
    };
    const double period = option("--period", 1.0);
    const int seconds = int(option("--seconds", 60));
    const int reportEvery = int(option("--report-every", 0));
    const qsizetype journalAt = args.indexOf(QStringLiteral("--journal"));
    const QString journalUrl = journalAt >= 0 ? args.value(journalAt + 1) : QString();
    const double runsPerMinute = option("--runs-per-minute", 6);
    const double appReadyMs = sinceMain.nsecsElapsed() / 1e6;

    // The analyser is started outside the timed part: it is not the program's start-up.
    QProcess sim;
    sim.setProgram(QStringLiteral(LORIMET_SIM_PATH));
    sim.setArguments({QStringLiteral("--pty"), QStringLiteral("--period"), QString::number(period)});
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start();
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "lorimet-sim did not start\n");
        return 1;
    }
    const QString pty = QString::fromUtf8(sim.readLine()).trimmed();
    QTemporaryDir dir;
    QStringList lines = Configuration::defaultLines();
    lines[Configuration::PortLine] = QStringLiteral("Последовательный порт       :") + pty;
    QFile file(dir.filePath(Configuration::kFileName));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(toCp1251(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    file.close();

    // What main() does from here on, up to the first turn of the event loop with the window on the screen.
    QElapsedTimer startup;
    startup.start();
    Configuration config;
    config.load(dir.path());
    QTranslator qtTranslations;
    if (qtTranslations.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslations);
    Application::Options options;
    options.dataFolder = dir.path();
    std::unique_ptr<journal::Recorder> recorder;
    qint64 waiting = 0;
    if (!journalUrl.isEmpty())
        recorder = journal::startRecorder(
            dir.path(), journalUrl, QStringLiteral("live"), QStringLiteral("bench"),
            [](const QString& message) { std::fprintf(stderr, "journal: %s\n", qUtf8Printable(message)); });
    Application program(options, config);
    if (recorder) {
        program.engine().setRunSink(recorder.get());
        MainWindow* window = &program.window();
        recorder->setWaitingObserver([window, &waiting](qint64 n) {
            QMetaObject::invokeMethod(
                window,
                [window, &waiting, n] {
                    waiting = n;
                    window->setJournalWaiting(n);
                },
                Qt::QueuedConnection);
        });
    }
    program.start();
    double windowUpMs = 0;
    {
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            windowUpMs = startup.nsecsElapsed() / 1e6;
            loop.quit();
        });
        loop.exec();
    }
    std::printf("start-up: %.0f ms exec to main, %.0f ms QApplication, %.0f ms configuration to window up; "
                "%.0f ms in all\n",
                atMain, appReadyMs, windowUpMs, atMain + appReadyMs + windowUpMs);
    std::printf("resident memory after start-up: %.1f MiB\n", residentKiB() / 1024.0);
    std::fflush(stdout);

    // The operator: a stable idle minute brings the automatic upper point and its questions; every message
    // box gets its default answer and any other dialog is closed, as a person passing by would.
    QTimer hands;
    QObject::connect(&hands, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            QAbstractButton* ok = box->button(QMessageBox::Ok);
            if (ok == nullptr)
                ok = box->defaultButton();
            if (ok == nullptr && !box->buttons().isEmpty())
                ok = box->buttons().first();
            if (ok != nullptr)
                ok->click();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        }
    });
    hands.start(200);

    Engine& engine = program.engine();
    program.window().action(Command::Connect)->trigger();
    if (!engine.workflow().linkActive) {
        std::fprintf(stderr, "the port %s did not open\n", qPrintable(pty));
        return 1;
    }
    runFor(3000); // the first lines and the state choice are not what is measured

    // A 20 ms timer stands for everything the window must do on time: its longest gap shows a starved loop.
    QElapsedTimer gap;
    gap.start();
    qint64 worstGapMs = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] { worstGapMs = std::max(worstGapMs, gap.restart()); });
    probe.start(20);

    // Analyses as the engine hands them over when they end: 3 600 lines each, from the window's thread. The
    // lines are made once: the engine has them already, so making them is not the program's cost.
    FinishedRun analysis;
    analysis.kind = RunKind::Analysis;
    analysis.analysisKind = QStringLiteral("Full");
    analysis.dilution = 1;
    analysis.bodInitial = 4.2;
    analysis.bodFinal = 4.4;
    analysis.rateCoefficient = 2;
    analysis.rangeCoefficient = 0.5;
    analysis.lines.reserve(3600);
    for (int k = 0; k < 3600; ++k)
        analysis.lines.push_back({k * 50, QStringLiteral("%1 %нас 20,3 °C").arg(95 - k * 0.01), 95 - k * 0.01,
                                  95 - k * 0.01, 0.01, 20.3});
    QTimer runs;
    int runsHanded = 0;
    QObject::connect(&runs, &QTimer::timeout, [&] {
        FinishedRun run = analysis;
        run.finishedAt = QDateTime::currentDateTime();
        run.startedAt = run.finishedAt.addSecs(-180);
        run.description = QStringLiteral("Проба %1").arg(++runsHanded);
        recorder->runFinished(std::move(run));
    });
    if (recorder && runsPerMinute > 0)
        runs.start(int(60000 / runsPerMinute));

    const double cpuBefore = cpuMs();
    QElapsedTimer wall;
    wall.start();
    const int step = reportEvery > 0 ? reportEvery : seconds;
    for (int done = 0; done < seconds; done += step) {
        runFor(std::min(step, seconds - done) * 1000);
        if (reportEvery > 0)
            std::printf("  %5d s: %d lines listed, %.1f MiB resident, worst timer gap %lld ms\n", done + step,
                        engine.protocolCount(), residentKiB() / 1024.0, worstGapMs);
        std::fflush(stdout);
    }
    const double wallMs = wall.nsecsElapsed() / 1e6;
    const double busyMs = cpuMs() - cpuBefore;
    // The list is cleared by an upper point, so the count of lines comes from the analyser's pace.
    const int handled = int(wallMs / 1000 / period + 0.5);
    probe.stop();

    std::printf("linked for %.0f s at a line period of %.3g s: about %d lines, CPU %.2f %% of one core "
                "(%.0f us per line)\n",
                wallMs / 1000, period, handled, 100.0 * busyMs / wallMs,
                handled > 0 ? busyMs * 1000 / handled : 0.0);
    std::printf("longest gap of a 20 ms timer: %lld ms\n", worstGapMs);
    if (recorder) {
        runs.stop();
        recorder->waitIdle();
        runFor(200); // the outbox's last count reaches the window
        std::printf(
            "journal: %d analyses of 3 600 lines handed over, %lld waiting for the server at the end\n",
            runsHanded, waiting);
    }
    std::printf("resident memory at the end: %.1f MiB\n", residentKiB() / 1024.0);

    if (recorder)
        recorder->setWaitingObserver({});
    engine.PStopClick();
    sim.write("quit\n");
    sim.waitForFinished(3000);
    program.window().ExitProgramClick();
    return 0;
}
