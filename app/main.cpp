// lorimet [--demo] [--data-dir DIR] [--journal URL]: the analyser's front end.
#include "app/Application.h"
#include "app/InstanceLock.h"
#include "app/MainWindow.h"
#include "app/Pictures.h"
#include "app/SplashWindow.h"
#include "app/journal/JournalWindow.h"
#include "cli/CommandLine.h"
#include "config/Configuration.h"
#include "config/DataFolder.h"
#include "engine/Engine.h"
#include "journal/JournalUrl.h"
#include "journal/Recorder.h"
#include "journal/Station.h"
#include "journal/Store.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>
#include <QTranslator>

#include <memory>
#include <mutex>

using namespace lorimet;

namespace {

struct ProgramOptions {
    bool demo = false;
    QString dataFolder; // empty: the default
    QString journalUrl; // empty: the data folder's journal
};

// The program's command line: empty when it is to go on (the options in `options`), else the status it
// ends with. `arguments` may still hold Qt's own options (-platform, -style …): then `qtOptionsRemain`
// says so, and a reading that fails is no verdict yet.
std::optional<int> readCommandLine(const QStringList& arguments, bool qtOptionsRemain,
                                   ProgramOptions& options) {
    cli::CommandLine command(QStringLiteral("lorimet"),
                             QStringLiteral("ЛОРИМЕТ: the front end of the BOD analyser on a serial port."));
    QCommandLineParser& parser = command.parser();
    const QCommandLineOption demoOption(
        QStringLiteral("demo"), QStringLiteral("Run with the built-in simulated analyser, no serial port."));
    const QCommandLineOption dataDirOption(
        QStringLiteral("data-dir"),
        QStringLiteral(
            "The data folder: configuration, Reports/, Temp/ and the journal (default: the program's "
            "folder when writable, else the user's application data folder)."),
        QStringLiteral("DIR"));
    const QCommandLineOption journalOption(
        QStringLiteral("journal"), QStringLiteral("The results journal (sqlite:PATH or postgresql://…)."),
        QStringLiteral("URL"));
    parser.addOptions({demoOption, dataDirOption, journalOption});
    if (qtOptionsRemain) {
        // Asked for help or the version, or called the wrong way: told without a display when the line
        // reads so on its own. Anything else waits for the application to take its own options out.
        const bool read = parser.parse(arguments);
        const bool question =
            read && (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version")));
        // Without any display the windowing system would only abort: a line that does not read is told
        // as wrong usage at once.
        bool displayless = false;
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
        displayless = qEnvironmentVariableIsEmpty("DISPLAY") &&
                      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !arguments.contains(u"-platform");
#endif
        if (!question && (read || !displayless))
            return std::nullopt;
    }
    if (const auto done = command.parse(arguments))
        return done;
    if (!parser.positionalArguments().isEmpty())
        return command.usageError(QStringLiteral("unexpected argument ") +
                                  parser.positionalArguments().first());
    options.demo = parser.isSet(demoOption);
    options.dataFolder = parser.value(dataDirOption);
    options.journalUrl = parser.value(journalOption);
    if (parser.isSet(dataDirOption) && options.dataFolder.isEmpty())
        return command.usageError(QStringLiteral("--data-dir needs a folder"));
    return std::nullopt;
}

} // namespace

// The engine's runs on their way to the journal, watched for GSO calibrations: when was the calibration in
// force made. Told from the engine's thread and from the one that reads the journal at start.
class CalibrationWatch : public RunSink {
  public:
    explicit CalibrationWatch(RunSink* next) : next_(next) {}
    void runFinished(FinishedRun run) override {
        if (run.kind == RunKind::Calibration && run.status == RunStatus::Completed)
            note(run.finishedAt, true);
        if (next_)
            next_->runFinished(std::move(run));
    }
    void waitKept() override {
        if (next_)
            next_->waitKept();
    }
    // The latest calibration the journal holds: kept unless one was made since the program started.
    void noteJournal(const QDateTime& at) { note(at, false); }
    QDateTime latest() const {
        std::lock_guard lock(mutex_);
        return latest_;
    }
    std::function<void()> changed;

  private:
    void note(const QDateTime& at, bool made) {
        {
            std::lock_guard lock(mutex_);
            if (!made && (madeHere_ || !at.isValid()))
                return;
            latest_ = at;
            madeHere_ = madeHere_ || made;
        }
        if (changed)
            changed();
    }
    RunSink* next_;
    mutable std::mutex mutex_;
    QDateTime latest_;
    bool madeHere_ = false;
};

int main(int argc, char** argv) {
    // --help and --version need no display: answered before the windowing system is asked for one.
    {
        QStringList raw;
        for (int i = 0; i < argc; ++i)
            raw << QString::fromLocal8Bit(argv[i]);
        ProgramOptions unused;
        if (const auto done = readCommandLine(raw, true, unused))
            return *done;
    }
    QApplication app(argc, argv);
    ProgramOptions commandLine;
    if (const auto done = readCommandLine(app.arguments(), false, commandLine))
        return *done;
    QApplication::setApplicationName(QStringLiteral("lorimet"));
    QApplication::setApplicationDisplayName(QStringLiteral("ЛОРИМЕТ"));
    QApplication::setApplicationVersion(cli::projectVersion());
    QApplication::setOrganizationName(QString::fromUtf8(kOrganisationName));
    QApplication::setWindowIcon(applicationIcon());

    // One instance for the whole machine.
    InstanceLock instance;
    QString lockProblem;
    switch (instance.acquire(QDir::temp().filePath(QStringLiteral("MyOwnMutex.lock")), lockProblem)) {
    case InstanceLock::Result::Acquired:
        break;
    case InstanceLock::Result::HeldElsewhere:
        return 0;
    case InstanceLock::Result::Failed:
        // Not known to run elsewhere: better two programs than none.
        qWarning("lorimet: the single-instance lock cannot be taken: %s", qPrintable(lockProblem));
        break;
    }

    Application::Options options;
    options.dataFolder =
        commandLine.dataFolder.isEmpty() ? defaultDataFolder() : QDir(commandLine.dataFolder).absolutePath();
    options.demo = commandLine.demo;
    QDir().mkpath(options.dataFolder);

    Configuration config;
    if (config.load(options.dataFolder) == Configuration::LoadResult::Damaged) {
        QApplication::beep();
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"),
                        QStringLiteral("Файл: Vornel_config.ini - повреждён !"), QMessageBox::Ok, nullptr,
                        Qt::Dialog | Qt::WindowStaysOnTopHint);
        box.exec();
        return 1;
    }

    QTranslator qtTranslations;
    if (qtTranslations.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslations);

    std::unique_ptr<SplashWindow> splash;
    if (config.splashShown()) {
        splash = std::make_unique<SplashWindow>();
        splash->showNow();
    }
    options.progress = [&splash](StartupStep step) {
        if (splash)
            splash->advance(step);
    };

    // The journal outlives the program's objects: closing them may still end a run.
    // Its notices come from its own threads, the first ones before the window is made: each goes to the
    // log at once and reaches the window once the event loop turns.
    MainWindow* window = nullptr;
    const auto recorder = journal::startRecorder(
        options.dataFolder, commandLine.journalUrl, QStringLiteral("live"), cli::projectVersion(),
        journal::NoticeSink([&window](const journal::JournalNotice& notice) {
            qWarning("%s", qUtf8Printable(notice.message));
            const QString text = journal::operatorText(notice);
            if (text.isEmpty())
                return;
            QMetaObject::invokeMethod(
                qApp,
                [&window, text, detail = notice.message] {
                    if (window)
                        window->setJournalWarning(text, detail);
                },
                Qt::QueuedConnection);
        }));

    // The engine's runs go to the journal; a GSO calibration also resets the age the status bar watches.
    // Like the journal, the watch outlives the program's objects.
    CalibrationWatch watch(recorder.get());
    Application program(options, config);
    program.engine().setRunSink(&watch);
    // The outbox's count comes from its own thread; the window shows it on its own.
    window = &program.window();
    // The age of the calibration in force: its time from this station's journal (read aside, the window
    // does not wait for the disk), then from each calibration made; looked at again every minute.
    const int ageLimitHours = journal::calibrationAgeLimitHours(options.dataFolder);
    auto showAge = [&window, &watch, ageLimitHours] {
        const QDateTime at = watch.latest();
        if (!window || !at.isValid())
            return;
        const qint64 hours = at.secsTo(QDateTime::currentDateTime()) / 3600;
        window->setCalibrationAgeWarning(
            hours >= ageLimitHours ? QStringLiteral("Калибровка ГСО %1 ч назад").arg(hours) : QString());
    };
    watch.changed = [showAge] { QMetaObject::invokeMethod(qApp, showAge, Qt::QueuedConnection); };
    QThreadPool::globalInstance()->start([&watch, folder = options.dataFolder] {
        QString error;
        const auto url = journal::parseJournalUrl(journal::kDefaultJournalUrl, folder, error);
        if (!url || !QFileInfo::exists(url->path))
            return;
        const auto store = journal::Store::openExisting(url->path, error);
        if (!store)
            return;
        journal::ListFilter f;
        f.kind = QStringLiteral("calibration");
        f.station = journal::loadStation(folder).id;
        const auto calibrations = store->list(f, error);
        if (!calibrations.empty())
            watch.noteJournal(
                QDateTime::fromString(calibrations.back().text(u"finished_at"), Qt::ISODateWithMs));
    });
    QTimer ageTimer;
    QObject::connect(&ageTimer, &QTimer::timeout, qApp, showAge);
    ageTimer.start(60000);
    recorder->setWaitingObserver([window](qint64 waiting) {
        QMetaObject::invokeMethod(
            window, [window, waiting] { window->setJournalWaiting(waiting); }, Qt::QueuedConnection);
    });
    // The journal's window is made when first asked for, and read anew each time it is shown.
    std::unique_ptr<journalwindow::JournalWindow> journalWindow;
    window->journalRequested = [&journalWindow, &options, &commandLine, rec = recorder.get()] {
        if (!journalWindow) {
            journalwindow::JournalWindow::Options o;
            o.dataFolder = options.dataFolder;
            o.url = commandLine.journalUrl;
            o.annotate = [rec](journal::Record note, std::function<void(bool, QString)> done) {
                rec->append(std::move(note),
                            [done](bool committed, const QString& error) { done(committed, error); });
            };
            journalWindow = std::make_unique<journalwindow::JournalWindow>(std::move(o));
        } else {
            journalWindow->refresh();
        }
        journalWindow->show();
        journalWindow->raise();
        journalWindow->activateWindow();
    };
    program.start();
    splash.reset(); // gone before the event loop starts
    const int result = QApplication::exec();
    recorder->setWaitingObserver({}); // before the window goes
    window = nullptr;
    QThreadPool::globalInstance()->waitForDone(); // the calibration's age is read by then
    // The close sequence has saved the day and the configuration: a new start may begin while this process
    // still takes its windows down (the curves of a large protocol file take a moment to go).
    instance.release();
    return result;
}
