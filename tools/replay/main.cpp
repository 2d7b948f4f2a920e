// lorimet-replay [SCENARIO] [--data-dir DIR] [--journal URL | --no-journal]: the measurement system headless,
// in virtual time; its runs are recorded in the data folder's journal with source "replay". Without
// --data-dir it runs in a new folder of its own, never in the program's: a replayed day must not put its
// analyses into a lab's real day file, report table or journal. Without SCENARIO it replays the example
// day installed beside it.
#include "ReplayRunner.h"
#include "Scenario.h"
#include "cli/CommandLine.h"
#include "journal/Recorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <memory>

using namespace lorimet::replay;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lorimet"));
    QTextStream err(stderr);

    lorimet::cli::CommandLine command(
        QStringLiteral("lorimet-replay"),
        QStringLiteral("The measurement system without a window or a serial port, in virtual time."));
    QCommandLineParser& parser = command.parser();
    const QCommandLineOption dataDirOption(
        QStringLiteral("data-dir"),
        QStringLiteral("The data folder (default: a new folder in the temporary folder, named on stderr; "
                       "never the program's own)."),
        QStringLiteral("DIR"));
    const QCommandLineOption journalOption(
        QStringLiteral("journal"),
        QStringLiteral("Record the runs in this journal (sqlite:PATH or postgresql://…)."),
        QStringLiteral("URL"));
    const QCommandLineOption noJournalOption(QStringLiteral("no-journal"), QStringLiteral("Record nothing."));
    parser.addOptions({dataDirOption, journalOption, noJournalOption});
    // The example day of an installed program: PREFIX/share/lorimet/examples beside PREFIX/bin.
    const QString example = QDir(QCoreApplication::applicationDirPath())
                                .absoluteFilePath(QStringLiteral("../share/lorimet/examples/day.scenario"));
    parser.addPositionalArgument(
        QStringLiteral("SCENARIO"),
        QStringLiteral("The scenario file (default: the example day installed with the program)."),
        QStringLiteral("[SCENARIO]"));
    command.setEpilogue(
        QStringLiteral("Exit status: 0 the scenario ran to its end, 1 a failure, 2 wrong usage or a "
                       "malformed scenario file."));
    if (const auto done = command.parse(app.arguments()))
        return *done;
    const QStringList given = parser.positionalArguments();
    if (given.size() > 1)
        return command.usageError(QStringLiteral("one scenario file at a time"));
    if (given.isEmpty() && !QFileInfo::exists(example))
        return command.usageError(QStringLiteral("no scenario file"));
    const QString scenarioPath = given.isEmpty() ? QFileInfo(example).canonicalFilePath() : given.first();
    if (given.isEmpty())
        err << "lorimet-replay: the example day " << scenarioPath << "\n";
    QString dataFolder = parser.value(dataDirOption);
    const QString journalUrl = parser.value(journalOption);
    const bool journal = !parser.isSet(noJournalOption);
    if (dataFolder.isEmpty()) {
        // Kept after the run, so that its day file, report folder and journal can be looked at.
        QTemporaryDir scratch(QDir::temp().filePath(QStringLiteral("lorimet-replay-XXXXXX")));
        if (!scratch.isValid()) {
            err << "lorimet-replay: cannot make a data folder in " << QDir::tempPath() << ": "
                << scratch.errorString() << "\n";
            return 1;
        }
        scratch.setAutoRemove(false);
        dataFolder = scratch.path();
        err << "lorimet-replay: data folder " << dataFolder << "\n";
    }
    err.flush();

    QFile file(scenarioPath);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "lorimet-replay: cannot read " << scenarioPath << ": " << file.errorString() << "\n";
        return 1;
    }
    ScenarioFile scenario(file);
    ParseError error;
    if (!scenario.check(error)) {
        err << scenarioPath << ":" << error.lineNumber << ": " << error.reason << "\n";
        return 2;
    }
    QDir().mkpath(dataFolder);
    std::unique_ptr<lorimet::journal::Recorder> recorder;
    if (journal)
        recorder = lorimet::journal::startRecorder(
            dataFolder, journalUrl, QStringLiteral("replay"), QStringLiteral(LORIMET_JOURNAL_APP_VERSION),
            [](const QString& message) {
                // Journal messages stay off the transcript, which is the same with and without a journal.
                std::fprintf(stderr, "lorimet-replay: %s\n", message.toLocal8Bit().constData());
            });
    QTextStream out(stdout);
    out.setEncoding(QStringConverter::Utf8);
    const RunResult result =
        runScenario(scenario, scenario.date, scenario.time, dataFolder, out, recorder.get());
    out.flush();
    recorder.reset(); // every run written before the exit
    if (result.exitCode != 0)
        err << "lorimet-replay: " << result.error << "\n";
    return result.exitCode;
}
