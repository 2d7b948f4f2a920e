// lorimet-replay SCENARIO [--data-dir DIR]: the measurement system headless, in virtual time.
#include "ReplayRunner.h"
#include "Scenario.h"
#include "config/DataFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

using namespace lorimet::replay;
using lorimet::defaultDataFolder;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lorimet"));
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    QString scenarioPath;
    QString dataFolder;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--data-dir" && i + 1 < args.size())
            dataFolder = args[++i];
        else if (args[i] == u"--help" || args[i] == u"-h") {
            QTextStream(stdout) << "usage: lorimet-replay SCENARIO [--data-dir DIR]\n";
            return 0;
        } else if (scenarioPath.isEmpty() && !args[i].startsWith(u"--"))
            scenarioPath = args[i];
        else {
            err << "lorimet-replay: unexpected argument " << args[i] << "\n";
            return 1;
        }
    }
    if (scenarioPath.isEmpty()) {
        err << "usage: lorimet-replay SCENARIO [--data-dir DIR]\n";
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
    QTextStream out(stdout);
    out.setEncoding(QStringConverter::Utf8);
    const RunResult result = runScenario(scenario, scenario.date, scenario.time, dataFolder, out);
    out.flush();
    if (result.exitCode != 0)
        err << "lorimet-replay: " << result.error << "\n";
    return result.exitCode;
}
