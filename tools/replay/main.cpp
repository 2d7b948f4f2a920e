// lorimet-replay SCENARIO [--data-dir DIR] [--journal URL | --no-journal]: the measurement system headless,
// in virtual time; its runs are recorded in the data folder's journal with source "replay".
#include "ReplayRunner.h"
#include "Scenario.h"
#include "config/DataFolder.h"
#include "journal/Recorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

#include <cstdio>
#include <memory>

using namespace lorimet::replay;
using lorimet::defaultDataFolder;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lorimet"));
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    QString scenarioPath;
    QString dataFolder;
    QString journalUrl;
    bool journal = true;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--data-dir" && i + 1 < args.size())
            dataFolder = args[++i];
        else if (args[i] == u"--journal" && i + 1 < args.size())
            journalUrl = args[++i];
        else if (args[i] == u"--no-journal")
            journal = false;
        else if (args[i] == u"--help" || args[i] == u"-h") {
            QTextStream(stdout)
                << "usage: lorimet-replay SCENARIO [--data-dir DIR] [--journal URL | --no-journal]\n";
            return 0;
        } else if (scenarioPath.isEmpty() && !args[i].startsWith(u"--"))
            scenarioPath = args[i];
        else {
            err << "lorimet-replay: unexpected argument " << args[i] << "\n";
            return 1;
        }
    }
    if (scenarioPath.isEmpty()) {
        err << "usage: lorimet-replay SCENARIO [--data-dir DIR] [--journal URL | --no-journal]\n";
        return 1;
    }
    if (dataFolder.isEmpty())
        dataFolder = defaultDataFolder();

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
