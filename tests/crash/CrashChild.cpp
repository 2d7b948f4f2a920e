#include "crash/CrashChild.h"
#include "fakes/WaitFor.h"

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/OperationDialogs.h"
#include "config/Configuration.h"
#include "engine/Engine.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolText.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTimer>

#include <cstdio>
#include <functional>

#include <signal.h>
#include <sys/prctl.h>

namespace lorimet::crash {

namespace {

// A quick analyser: a line every 30 ms and a dip that reaches its bottom 1.5 s after the onset, so one
// operation takes a few seconds instead of minutes.
const QStringList kSimArguments{QStringLiteral("--pty"), QStringLiteral("--period"), QStringLiteral("0.03"),
                                QStringLiteral("--dip"), QStringLiteral("1.5")};

void tell(const QString& line) {
    std::fputs((line + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout); // the parent may kill us the next moment: every line must be out already
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    return lorimet::testing::waitFor(condition, timeoutMs, 10);
}

// The operator's hands on the modal windows: boxes get their default (OK, else No), the GSO dialog
// 10 mg/l, the sample dialog the description and kind asked for. The question of the exit sweep about an
// unsaved day file is left open unless told otherwise, so the parent can kill the program while it waits.
class Robot : public QObject {
  public:
    explicit Robot(bool answerQuestions) : answerQuestions_(answerQuestions) {
        connect(&timer_, &QTimer::timeout, this, [this] { act(); });
        timer_.start(20);
    }
    QString description;
    bool full = false;

  private:
    void act() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            const QString said = box->windowTitle() + QStringLiteral(" | ") + box->text();
            if (!answerQuestions_ && box->text().contains(QStringLiteral("не был сохранён"))) {
                if (box != questionShown_)
                    tell(QStringLiteral("QUESTION ") + box->text());
                questionShown_ = box;
                return;
            }
            tell(QStringLiteral("BOX ") + said);
            QAbstractButton* ok = box->button(QMessageBox::Ok);
            (ok ? ok : box->button(QMessageBox::No))->click();
        } else if (auto* gso = qobject_cast<GsoDialog*>(modal)) {
            // The dialog reads the field that has the focus: type only once the window is up and the
            // cursor stands in the field, however slowly the machine brings them.
            if (!gso->okButton()->isEnabled() || QApplication::activeWindow() != gso)
                return;
            if (QWidget* focus = QApplication::focusWidget();
                focus != gso->gsoNumber() && focus != static_cast<QWidget*>(gso->gsoNumber()->lineEdit())) {
                gso->gsoNumber()->setFocus();
                return;
            }
            gso->gsoNumber()->setEditText(QStringLiteral("10"));
            gso->okButton()->click();
        } else if (auto* sample = qobject_cast<SampleDialog*>(modal)) {
            if (!sample->okButton()->isEnabled() || QApplication::activeWindow() != sample)
                return;
            sample->nameProbeList()->setEditText(description);
            (full ? sample->fullAnalis() : sample->smallAnalis())->setChecked(true);
            sample->okButton()->click();
        }
    }
    bool answerQuestions_;
    QMessageBox* questionShown_ = nullptr;
    QTimer timer_;
};

class Simulator {
  public:
    bool start(QString* pty) {
        process_.setProgram(QStringLiteral(LORIMET_SIM_PATH));
        process_.setArguments(kSimArguments);
        process_.setStandardErrorFile(QProcess::nullDevice());
        // Killed with us: a SIGKILL leaves no chance to stop it.
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start();
        if (!process_.waitForStarted(10000))
            return false;
        if (!waitFor([this] { return process_.canReadLine(); }, 10000))
            return false;
        *pty = QString::fromUtf8(process_.readLine()).trimmed();
        return true;
    }
    ~Simulator() {
        process_.kill();
        process_.waitForFinished(3000);
    }
    void say(const QString& command) {
        process_.write(command.toUtf8() + '\n');
        process_.waitForBytesWritten(1000);
    }

  private:
    QProcess process_;
};

int fail(const QString& reason) {
    tell(QStringLiteral("FAIL ") + reason);
    return 3;
}

void tellRows(MainWindow& window, Engine& engine) {
    const QAbstractItemModel* table = window.table()->model();
    for (int r = 0; r < table->rowCount(); ++r)
        tell(QStringLiteral("ROW ") + table->data(table->index(r, 1)).toString());
    tell(QStringLiteral("UP ") + engine.dayFilePath());
}

// Where the program stood when a step did not come: for the parent's failure message.
QString stateOf(const Engine& engine) {
    const Acquisition& a = engine.acquisition();
    return QStringLiteral(" (status %1, operation '%2', window '%3' %4, smoothing %5, sample %6, waiting %7, "
                          "lines %8, signal %9, certified %10, S'max %11, dS %12, coefficients %13 %14)")
        .arg(engine.workflow().statusIndex)
        .arg(a.operationName, engine.messageWindow().layout.caption,
             engine.messageWindowVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"))
        .arg(a.smoothingActive)
        .arg(a.currentSample)
        .arg(a.waitCounter)
        .arg(engine.protocolCount())
        .arg(a.lineSignal)
        .arg(engine.results().certifiedValue)
        .arg(engine.results().maxDerivative)
        .arg(engine.results().signalRange)
        .arg(engine.results().rateCoefficient)
        .arg(engine.results().rangeCoefficient);
}

int runDay(const QString& dataFolder, const QString& life, int analyses, bool close) {
    Configuration config;
    if (config.load(dataFolder) != Configuration::LoadResult::Loaded)
        return fail(QStringLiteral("configuration not loaded"));
    Application::Options options;
    options.dataFolder = dataFolder;
    Application program(options, config);
    program.start();
    MainWindow& window = program.window();
    Engine& engine = program.engine();
    auto fail = [&engine](const QString& reason) { return crash::fail(reason + stateOf(engine)); };
    tellRows(window, engine);

    Simulator sim;
    QString pty;
    if (!sim.start(&pty))
        return fail(QStringLiteral("no simulator"));
    Robot robot(false);
    // What the port dialog would do; the file's port line stays as written.
    engine.setPort(pty);
    window.action(Command::Connect)->trigger();
    if (!engine.workflow().linkActive)
        return fail(QStringLiteral("no link"));
    if (!waitFor([&] { return engine.protocolCount() >= 5; }, 20000))
        return fail(QStringLiteral("no lines"));

    // The upper point; its confirmation opens the GSO dialog, and the calibration follows.
    window.action(Command::UpperPoint)->trigger();
    if (!waitFor([&] { return engine.messageWindowVisible(); }, 20000))
        return fail(QStringLiteral("no calibration prompt"));
    sim.say(QStringLiteral("inject 10"));
    sim.say(QStringLiteral("knob изм."));
    if (!waitFor([&] { return engine.results().rangeCoefficient != 0; }, 60000))
        return fail(QStringLiteral("calibration did not end"));
    sim.say(QStringLiteral("knob под."));
    tell(QStringLiteral("CALIBRATED"));

    for (int n = 1; n <= analyses; ++n) {
        if (!waitFor([&] { return window.action(Command::Measurement)->isEnabled(); }, 60000))
            return fail(QStringLiteral("never ready for analysis %1").arg(n));
        robot.description = QStringLiteral("Проба %1.%2").arg(life).arg(n);
        robot.full = n % 2 == 0;
        const int before = engine.acquisition().probeCounter;
        window.action(Command::Measurement)->trigger();
        if (!engine.messageWindowVisible())
            return fail(QStringLiteral("no analysis prompt"));
        sim.say(QStringLiteral("inject %1").arg(3 + n % 3));
        sim.say(QStringLiteral("knob изм."));
        if (!waitFor([&] { return engine.acquisition().smoothingActive; }, 60000))
            return fail(QStringLiteral("analysis %1 never ran").arg(n));
        tell(QStringLiteral("RUN ") + robot.description);
        if (!waitFor([&] { return engine.acquisition().probeCounter > before; }, 60000))
            return fail(QStringLiteral("analysis %1 did not end").arg(n));
        tell(QStringLiteral("RESULT ") + robot.description);
        sim.say(QStringLiteral("knob под."));
    }
    if (!close) {
        tell(QStringLiteral("IDLE"));
        QApplication::exec(); // until killed
        return 0;
    }
    // Back in preparation first, so the exit meets the program at rest.
    if (!waitFor([&] { return !engine.messageWindowVisible(); }, 60000))
        return fail(QStringLiteral("the end window stayed"));
    tell(QStringLiteral("CLOSING"));
    window.ExitProgramClick();
    tell(QStringLiteral("CLOSED"));
    return 0;
}

int runCheck(const QString& dataFolder) {
    Configuration config;
    if (config.load(dataFolder) != Configuration::LoadResult::Loaded)
        return fail(QStringLiteral("configuration not loaded"));
    Application::Options options;
    options.dataFolder = dataFolder;
    Application program(options, config);
    program.start();
    tellRows(program.window(), program.engine());
    Robot robot(true);
    tell(QStringLiteral("CLOSING"));
    program.window().ExitProgramClick();
    tell(QStringLiteral("CLOSED"));
    return 0;
}

QString todayText() {
    return QDate::currentDate().toString(QStringLiteral("dd.MM.yy")) + QStringLiteral(" г");
}

int runSaves(const QString& dataFolder, int first) {
    Configuration base;
    if (base.load(dataFolder) != Configuration::LoadResult::Loaded)
        return fail(QStringLiteral("configuration not loaded"));
    const QString date = todayText();
    const QString dayFile = dataFolder + QStringLiteral("/Temp/") + dayFileName(date);
    const QString reportFolder = dataFolder + QStringLiteral("/Reports/") + date;
    const QString protocolFile =
        reportFolder + QStringLiteral("/Протокол от ") + date + QStringLiteral(".txt");
    QDir().mkpath(dataFolder + QStringLiteral("/Temp"));
    QDir().mkpath(reportFolder);
    tell(QStringLiteral("SAVING"));
    for (int version = first;; ++version) {
        const QStringList protocol = versionProtocol(version);
        Configuration config;
        config.setLines(versionConfiguration(base.lines(), version));
        if (!writeProtocolFile(dayFile, protocol) || !writeProtocolFile(protocolFile, protocol) ||
            !config.save(dataFolder))
            return fail(QStringLiteral("save %1 failed").arg(version));
        tell(QStringLiteral("SAVED %1").arg(version));
    }
}

} // namespace

QStringList versionProtocol(int version) {
    QStringList lines;
    const int blocks = 1 + version % 3;
    for (int k = 1; k <= blocks; ++k) {
        // Long enough that a write takes a while: plenty of moments to be killed in.
        const int samples = 300;
        lines << QString::number(samples);
        for (int i = 0; i < samples; ++i)
            lines << dataLine(90.0 - i * 0.05, 0.001 * i, i * 1e-5);
        lines << QStringLiteral("Версия %1, блок %2").arg(version).arg(k);
        lines << resultLine(1 + version % 900 / 10.0, true, 2.5, false, 0);
        lines << temperatureLine(20.3, QStringLiteral("01:23"));
        lines << timeDateLine(QStringLiteral("12:00:00"), QStringLiteral("06.12.26 г"));
    }
    return lines;
}

int protocolVersion(const QStringList& descriptions) {
    static const QRegularExpression pattern(QStringLiteral("^Версия (\\d+), блок (\\d+)$"));
    int version = -1;
    for (qsizetype k = 0; k < descriptions.size(); ++k) {
        const QRegularExpressionMatch match = pattern.match(descriptions[k]);
        if (!match.hasMatch() || match.captured(2).toInt() != k + 1)
            return -1;
        const int v = match.captured(1).toInt();
        if (version >= 0 && v != version)
            return -1;
        version = v;
    }
    if (version < 0 || descriptions.size() != 1 + version % 3)
        return -1;
    return version;
}

QStringList versionConfiguration(const QStringList& base, int version) {
    Configuration config;
    config.setLines(base);
    config.writeSwitch(Configuration::ProtocolLine, version % 2 == 0);
    return config.lines();
}

int runChild(int argc, char** argv) {
    const QStringList args = [&] {
        QStringList list;
        for (int i = 0; i < argc; ++i)
            list << QString::fromLocal8Bit(argv[i]);
        return list;
    }();
    const qsizetype at = args.indexOf(QString::fromLatin1(kChildSwitch));
    const QStringList rest = args.mid(at + 1);
    const QString mode = rest.value(0);
    const QString dataFolder = rest.value(1);
    if (mode == u"saves") {
        QCoreApplication app(argc, argv);
        return runSaves(dataFolder, rest.value(2).toInt());
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("ЛОРИМЕТ"));
    if (mode == u"day")
        return runDay(dataFolder, rest.value(2), rest.value(3).toInt(), rest.value(4) == u"close");
    if (mode == u"check")
        return runCheck(dataFolder);
    return fail(QStringLiteral("unknown mode ") + mode);
}

} // namespace lorimet::crash
