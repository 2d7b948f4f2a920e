#include "faults/FaultRig.h"
#include "fakes/WaitFor.h"

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/OperationDialogs.h"
#include "text/Cp1251.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

#include <algorithm>
#include <ctime>

#include <gtest/gtest.h>

namespace lorimet::faults {

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    return lorimet::testing::waitFor(condition, timeoutMs);
}

void pause(int ms) {
    waitFor([] { return false; }, ms);
}

bool holdsDevice(const QString& path) {
    const QDir fds(QStringLiteral("/proc/self/fd"));
    // A pseudo-terminal whose other end has closed loses its node; the link then reads "<path> (deleted)".
    const QString deleted = path + QStringLiteral(" (deleted)");
    for (const QString& name : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(name));
        if (target == path || target == deleted)
            return true;
    }
    return false;
}

double cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

const QStringList Simulator::kQuick = {QStringLiteral("--period"), QStringLiteral("0.1"),
                                       QStringLiteral("--dip"), QStringLiteral("4")};

Simulator::Simulator(const QStringList& arguments) {
    process_.setProgram(QStringLiteral(LORIMET_SIM_PATH));
    process_.setArguments(QStringList{QStringLiteral("--pty")} + arguments);
    process_.start();
    if (!process_.waitForStarted(5000))
        return;
    if (waitFor([this] { return process_.canReadLine(); }, 5000))
        pty = QString::fromUtf8(process_.readLine()).trimmed();
}

Simulator::~Simulator() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.write("quit\n");
    if (!process_.waitForFinished(3000))
        process_.kill();
    process_.waitForFinished(3000);
}

void Simulator::say(const QByteArray& command) {
    process_.write(command + '\n');
    process_.waitForBytesWritten(1000);
}

const QString& Simulator::log() {
    log_ += QString::fromUtf8(process_.readAllStandardError());
    return log_;
}

bool Simulator::waitForLog(const QString& text, int timeoutMs, qsizetype from) {
    return waitFor([&] { return log().indexOf(text, from) >= 0; }, timeoutMs);
}

void Simulator::kill() {
    process_.kill();
    process_.waitForFinished(3000);
}

Answer PatientOperator::messageBox(BeepKind kind, const QString& caption, const QString& text,
                                   Buttons buttons) {
    pause(thinkMs);
    return ScriptedOperator::messageBox(kind, caption, text, buttons);
}

EngineRig::EngineRig() {
    config.load(dir.path());
    engine = std::make_unique<Engine>(config, display, op, link, clock, dir.path());
    engine->startUp();
    link.lineReceived = [this](const QByteArray& line) { engine->lineAvailable(line); };
    QObject::connect(&tick, &QTimer::timeout, [this] { engine->TimerTimer(); });
    tick.start(100);
}

void EngineRig::connectTo(const QString& device) {
    engine->setPort(device);
    engine->setTransportDelay(1);
    engine->PGoClick();
}

namespace {

// Calls `work` every 500 ms while the object lives.
class Every500ms {
  public:
    explicit Every500ms(const std::function<void()>& work) {
        if (!work)
            return;
        QObject::connect(&timer_, &QTimer::timeout, work);
        timer_.start(500);
    }

  private:
    QTimer timer_;
};

} // namespace

void EngineRig::calibrate(Simulator& sim, const std::function<void()>& whileRunning) {
    ASSERT_TRUE(waitFor([&] { return engine->protocolCount() >= 5; }, 5000));
    op.gso = [](Engine& e) {
        if (!e.isEnabled(Command::GsoOk))
            return false;
        QString certified = QString::number(kReferenceBod);
        e.GSO_NumberExit(certified);
        e.GsoOkButtonClick();
        return true;
    };
    const qsizetype from = sim.log().size();
    engine->OxyUpCalibrationClick();
    ASSERT_TRUE(sim.waitForLog(QStringLiteral("upper point stored"), 3000, from));
    ASSERT_TRUE(waitFor([&] { return engine->isEnabled(Command::Calibration); }, 3000));
    if (!engine->messageWindowVisible())
        engine->CalibrationsClick();
    ASSERT_TRUE(engine->messageWindowVisible());
    Every500ms noise(whileRunning);
    sim.say(injectCommand(kReferenceBod));
    sim.say("knob изм.");
    ASSERT_TRUE(waitFor([&] { return engine->results().rangeCoefficient != 0; }, 40000))
        << display.log.join(u'\n').toStdString();
    sim.say("knob под.");
    ASSERT_TRUE(waitFor([&] { return engine->isEnabled(Command::Measurement); }, 20000));
}

double EngineRig::analyse(Simulator& sim, Kind kind, const std::function<void()>& whileRunning) {
    op.sample = [kind](Engine& e) {
        e.NameProbeListChange(QStringLiteral("Проба на шумной линии"));
        e.setSmallAnalysis(kind == Kind::InitialRates);
        return true;
    };
    // After a run the analyser is ready again once the flushed cell brings the signal back up.
    const bool ready = waitFor(
        [&] { return engine->isEnabled(Command::Measurement) && !engine->messageWindowVisible(); }, 20000);
    EXPECT_TRUE(ready) << display.log.join(u'\n').toStdString();
    if (!ready)
        return 0;
    const int before = engine->acquisition().probeCounter;
    engine->MeasurementClick();
    EXPECT_TRUE(engine->messageWindowVisible());
    Every500ms noise(whileRunning);
    sim.say(injectCommand(kSampleBod));
    sim.say("knob изм.");
    const bool done = waitFor([&] { return engine->acquisition().probeCounter == before + 1; }, 40000);
    EXPECT_TRUE(done) << display.log.join(u'\n').toStdString();
    sim.say("knob под.");
    if (!done)
        return 0;
    const int column = kind == Kind::FinalRates ? 3 : 2;
    return engine->table().cell(before + 1, column).replace(u',', u'.').toDouble();
}

Robot::Robot() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { act(); });
    timer_.start(50);
}

void Robot::act() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        const QString seen = box->windowTitle() + QStringLiteral(" | ") + box->text();
        if (std::any_of(leaveOpen.cbegin(), leaveOpen.cend(),
                        [&](const QString& start) { return box->text().startsWith(start); })) {
            if (boxes.isEmpty() || boxes.constLast() != seen)
                boxes << seen;
            return;
        }
        boxes << seen;
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        (ok ? ok : box->button(QMessageBox::No))->click();
    } else if (auto* gso = qobject_cast<GsoDialog*>(modal)) {
        if (!gso->okButton()->isEnabled())
            return;
        gso->gsoNumber()->setEditText(QString::number(kReferenceBod));
        gso->okButton()->click();
    } else if (auto* sample = qobject_cast<SampleDialog*>(modal)) {
        if (!sample->okButton()->isEnabled())
            return;
        sample->nameProbeList()->setEditText(QStringLiteral("Проба после обрыва связи"));
        sample->fullAnalis()->setChecked(true);
        sample->okButton()->click();
    }
}

ProgramRig::ProgramRig(const QString& device, int frequencyHz) {
    QStringList lines = Configuration::defaultLines();
    lines[0] = QStringLiteral("Последовательный порт       :") + device;
    lines[4] = QStringLiteral("Частота прерываний          :") + QString::number(frequencyHz);
    lines[5] = QStringLiteral("Транспортное запаздывание   :1");
    QFile file(dir.filePath(Configuration::kFileName));
    if (file.open(QIODevice::WriteOnly))
        file.write(toCp1251(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    file.close();
    config.load(dir.path());
    Application::Options options;
    options.dataFolder = dir.path();
    program = std::make_unique<Application>(options, config);
    program->start();
}

ProgramRig::~ProgramRig() {
    program->window().ExitProgramClick();
}

Engine& ProgramRig::engine() {
    return program->engine();
}

void ProgramRig::trigger(Command command) {
    program->window().action(command)->trigger();
}

LoopProbe::LoopProbe() {
    sinceLast_.start();
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        longestGap_ = std::max(longestGap_, sinceLast_.restart());
        ++fires_;
    });
    timer_.start(50);
}

qint64 LoopProbe::longestGapMs() const {
    return std::max(longestGap_, sinceLast_.elapsed());
}

bool isWholeAnalyserLine(const QString& listed) {
    const qsizetype percent = listed.indexOf(u'%');
    return percent > 1 && QStringView(listed).mid(percent, 4) == u"%нас" && listed.size() == percent + 36;
}

} // namespace lorimet::faults
