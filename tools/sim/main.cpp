// lorimet-sim (--pty | --port PATH) [--period SECONDS] [--dip SECONDS] [--seed N] [--script FILE]: a
// simulated analyser on a serial device. With --pty the path of the pseudo-terminal comes alone on the first
// line of standard output. Operator commands come one a line on standard input (and from the script, "SECONDS
// COMMAND"):
//   inject BOD, knob изм., knob под., fault unit|temperature|garbage|split|zeros|long, silence SECONDS,
//   flood SECONDS (noise as fast as the pseudo-terminal takes it), period SECONDS, signal PERCENT,
//   temperature CELSIUS, quit.
// Everything the analyser receives and does is logged on standard error.
#include "cli/CommandLine.h"
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
    cli::CommandLine command(QStringLiteral("lorimet-sim"),
                             QStringLiteral("A simulated analyser on a serial device."));
    QCommandLineParser& parser = command.parser();
    const QCommandLineOption ptyOption(
        QStringLiteral("pty"), QStringLiteral("Open a pseudo-terminal; its path comes alone on the first "
                                              "line of standard output."));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Use this serial device."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption periodOption(QStringLiteral("period"),
                                          QStringLiteral("Seconds between lines (0.01 or more)."),
                                          QStringLiteral("SECONDS"));
    const QCommandLineOption dipOption(
        QStringLiteral("dip"),
        QStringLiteral("Seconds the signal takes to fall after an injection (0.5 or "
                       "more)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the noise."),
                                        QStringLiteral("N"));
    const QCommandLineOption scriptOption(
        QStringLiteral("script"), QStringLiteral("Commands at their times, \"SECONDS COMMAND\" a line."),
        QStringLiteral("FILE"));
    parser.addOptions({ptyOption, portOption, periodOption, dipOption, seedOption, scriptOption});
    command.setEpilogue(QStringLiteral(
        "Operator commands come one a line on standard input (and from the script):\n"
        "  inject BOD, knob изм., knob под., fault unit|temperature|garbage|split|zeros|long,\n"
        "  silence SECONDS, flood SECONDS, period SECONDS, signal PERCENT, temperature CELSIUS, quit.\n"
        "Everything the analyser receives and does is logged on standard error.\n"
        "Exit status: 0 ended by quit or a signal, 1 a device or file that failed, 2 wrong usage or a "
        "malformed "
        "script."));
    if (const auto done = command.parse(app.arguments()))
        return *done;
    if (!parser.positionalArguments().isEmpty())
        return command.usageError(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));
    const bool usePty = parser.isSet(ptyOption);
    const QString portPath = parser.value(portOption);
    const QString scriptPath = parser.value(scriptOption);
    if (usePty == parser.isSet(portOption) || (parser.isSet(portOption) && portPath.isEmpty()))
        return command.usageError(QStringLiteral("give one of --pty and --port PATH"));
    // A number that is not one, or out of its range, is wrong usage.
    auto number = [&](const QCommandLineOption& option, double least) -> std::optional<double> {
        bool ok = false;
        const double value = parser.value(option).toDouble(&ok);
        if (!ok || !(value >= least))
            return std::nullopt;
        return value;
    };
    std::optional<double> periodSeconds;
    std::optional<double> dipSeconds;
    quint64 seed = 1251;
    if (parser.isSet(periodOption) && !(periodSeconds = number(periodOption, 0.01)))
        return command.usageError(QStringLiteral("bad argument --period %1").arg(parser.value(periodOption)));
    if (parser.isSet(dipOption) && !(dipSeconds = number(dipOption, 0.5)))
        return command.usageError(QStringLiteral("bad argument --dip %1").arg(parser.value(dipOption)));
    if (parser.isSet(seedOption)) {
        bool ok = false;
        seed = parser.value(seedOption).toULongLong(&ok);
        if (!ok)
            return command.usageError(QStringLiteral("bad argument --seed %1").arg(parser.value(seedOption)));
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
