// lorimet-sim (--pty | --port PATH) [--period SECONDS] [--dip SECONDS] [--seed N] [--script FILE]: a
// simulated analyser on a serial device. With --pty the path of the pseudo-terminal comes alone on the first
// line of standard output. Operator commands come one a line on standard input (and from the script, "SECONDS
// COMMAND"):
//   inject BOD, knob изм., knob под., fault unit|temperature|garbage|split|zeros|long, silence SECONDS,
//   flood SECONDS (noise as fast as the pseudo-terminal takes it), period SECONDS, signal PERCENT,
//   temperature CELSIUS, quit.
// Everything the analyser receives and does is logged on standard error.
#include "sim/AnalyserModel.h"
#include "sim/SimCommand.h"
#include "sim/SimDriver.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>

#include <unistd.h>

using namespace lorimet;

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void complain(const QString& text) {
    std::fputs(("lorimet-sim: " + text + "\n").toUtf8().constData(), stderr);
}

constexpr const char* kUsage = "usage: lorimet-sim (--pty | --port PATH) [--period SECONDS] [--dip SECONDS] "
                               "[--seed N] [--script FILE]\n";

// Reads operator commands from standard input as they come; a pipe, a terminal or a file all do.
class CommandReader {
  public:
    CommandReader(SimDriver& driver, bool quitAtEnd) : driver_(driver), quitAtEnd_(quitAtEnd) {
        notifier_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &driver);
        QObject::connect(notifier_, &QSocketNotifier::activated, &driver, [this] { read(); });
    }

  private:
    void read() {
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            notifier_->setEnabled(false);
            if (quitAtEnd_)
                QCoreApplication::quit();
            return;
        }
        pending_.append(buffer, n);
        qsizetype end;
        while ((end = pending_.indexOf('\n')) >= 0) {
            const QString text = QString::fromUtf8(pending_.left(end)).trimmed();
            pending_.remove(0, end + 1);
            if (!text.isEmpty())
                run(text);
        }
    }

    void run(const QString& text) {
        QString error;
        const std::optional<SimCommand> command = parseSimCommand(text, &error);
        if (!command)
            complain(error);
        else if (command->kind == SimCommand::Kind::Quit)
            QCoreApplication::quit();
        else
            driver_.execute(*command);
    }

    SimDriver& driver_;
    bool quitAtEnd_;
    QSocketNotifier* notifier_;
    QByteArray pending_;
};

// Fires the script's commands at their times, in file order even when the times coincide.
class ScriptRunner {
  public:
    ScriptRunner(SimDriver& driver, QList<ScriptEntry> entries)
        : driver_(driver), entries_(std::move(entries)) {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, &driver_, [this] { fire(); });
        armNext();
    }

  private:
    void armNext() {
        if (next_ < entries_.size())
            timer_.start(static_cast<int>(std::max<qint64>(0, entries_[next_].atMs - driver_.nowMs())));
    }
    void fire() {
        const SimCommand command = entries_[next_++].command;
        if (command.kind == SimCommand::Kind::Quit) {
            QCoreApplication::quit();
            return;
        }
        driver_.execute(command);
        armNext();
    }

    SimDriver& driver_;
    QList<ScriptEntry> entries_;
    qsizetype next_ = 0;
    QTimer timer_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool usePty = false;
    QString portPath, scriptPath;
    std::optional<double> periodSeconds;
    std::optional<double> dipSeconds;
    quint64 seed = 1251;
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (arg == u"--pty") {
            usePty = true;
        } else if (arg == u"--port" && hasValue) {
            portPath = args[++i];
        } else if (arg == u"--script" && hasValue) {
            scriptPath = args[++i];
        } else if (arg == u"--seed" && hasValue) {
            seed = args[++i].toULongLong(&ok);
        } else if (arg == u"--dip" && hasValue) {
            dipSeconds = args[++i].toDouble(&ok);
            ok = ok && *dipSeconds >= 0.5;
        } else if (arg == u"--period" && hasValue) {
            periodSeconds = args[++i].toDouble(&ok);
            ok = ok && *periodSeconds >= 0.01;
        } else if (arg == u"--help" || arg == u"-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            ok = false;
        }
        if (!ok) {
            complain(QStringLiteral("bad argument %1").arg(arg));
            std::fputs(kUsage, stderr);
            return 1;
        }
    }
    if (usePty == !portPath.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 1;
    }

    QList<ScriptEntry> script;
    if (!scriptPath.isEmpty()) {
        QFile file(scriptPath);
        if (!file.open(QIODevice::ReadOnly)) {
            complain(QStringLiteral("cannot read %1: %2").arg(scriptPath, file.errorString()));
            return 1;
        }
        int badLine = 0;
        QString error;
        const auto parsed = parseSimScript(QString::fromUtf8(file.readAll()), &badLine, &error);
        if (!parsed) {
            complain(QStringLiteral("%1:%2: %3").arg(scriptPath).arg(badLine).arg(error));
            return 2;
        }
        script = *parsed;
    }

    AnalyserModel model(seed);
    if (periodSeconds)
        model.setPeriodMs(std::llround(*periodSeconds * 1000.0));
    if (dipSeconds)
        model.setDipSeconds(*dipSeconds);
    SimDriver driver(model);
    QString error;
    if (usePty ? !driver.openPty(&error) : !driver.openPort(portPath, &error)) {
        complain(QStringLiteral("cannot open %1: %2")
                     .arg(usePty ? QStringLiteral("a pseudo-terminal") : portPath, error));
        return 1;
    }
    if (usePty) {
        std::fputs((driver.devicePath() + u'\n').toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
    }
    int exitCode = 0;
    driver.onFailure = [&exitCode](const QString& reason) {
        complain(reason);
        exitCode = 1;
        QCoreApplication::quit();
    };

    if (::pipe(signalPipe) == 0) {
        auto* signalNotifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(signalNotifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
        std::signal(SIGINT, onTerminationSignal);
        std::signal(SIGTERM, onTerminationSignal);
    }

    driver.start();
    CommandReader reader(driver, scriptPath.isEmpty());
    ScriptRunner scriptRunner(driver, script);
    const int loopCode = app.exec();
    return exitCode != 0 ? exitCode : loopCode;
}
