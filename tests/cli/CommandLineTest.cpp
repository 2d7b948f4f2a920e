// Each program run as its users run it: help, version and wrong usage, with their exit statuses.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the program without a display: help, version and wrong usage must not need one.
Outcome run(const QString& program, const QStringList& arguments, bool offscreen) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (offscreen)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(program, arguments);
    Outcome o;
    if (!p.waitForStarted(30000) || !p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(10000);
        return o;
    }
    o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

struct Tool {
    const char* name;
    const char* path;
};

const Tool kTools[] = {
    {"lorimet", LORIMET_APP_PATH},
    {"lorimet-replay", LORIMET_REPLAY_PATH},
    {"lorimet-report", LORIMET_REPORT_PATH},
    {"lorimet-sim", LORIMET_SIM_PATH},
    {"lorimet-journal", LORIMET_JOURNAL_PATH},
};

TEST(CommandLine, EveryToolAnswersHelpAndVersionAndRefusesAnUnknownOption) {
    for (const Tool& tool : kTools) {
        SCOPED_TRACE(tool.name);
        const QString name = QString::fromLatin1(tool.name);
        for (const char* help : {"--help", "-h"}) {
            const Outcome o = run(QString::fromLatin1(tool.path), {QString::fromLatin1(help)}, false);
            EXPECT_EQ(o.exitCode, 0) << help << o.err.toStdString();
            EXPECT_TRUE(o.out.startsWith(QStringLiteral("Usage: ") + name + u' ')) << o.out.toStdString();
        }
        for (const char* version : {"--version", "-v"}) {
            const Outcome o = run(QString::fromLatin1(tool.path), {QString::fromLatin1(version)}, false);
            EXPECT_EQ(o.exitCode, 0) << version << o.err.toStdString();
            EXPECT_EQ(o.out, name + u' ' + QStringLiteral(LORIMET_PROJECT_VERSION) + u'\n');
        }
        // The program itself starts its windowing system before it can read Qt's options off the line.
        const Outcome o = run(QString::fromLatin1(tool.path), {QStringLiteral("--no-such-option")}, true);
        EXPECT_EQ(o.exitCode, 2) << o.err.toStdString();
        EXPECT_TRUE(o.out.isEmpty()) << o.out.toStdString();
        // Qt may say something of its own about the platform first.
        const QStringList lines = o.err.split(u'\n');
        EXPECT_TRUE(lines.contains(name + QStringLiteral(": Unknown option 'no-such-option'.")))
            << o.err.toStdString();
        EXPECT_TRUE(o.err.contains(QStringLiteral("\nUsage: ") + name + u' ')) << o.err.toStdString();
    }
}

TEST(CommandLine, WrongUsageEndsWithTwoAndNothingDone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString scenario = dir.filePath(QStringLiteral("day.scenario"));
    // The tools that keep files are given a data folder of their own.
    const QStringList data{QStringLiteral("--data-dir"), dir.path()};
    const struct {
        const char* path;
        QStringList arguments;
        const char* reason;
    } cases[] = {
        {LORIMET_APP_PATH, data + QStringList{QStringLiteral("--data-dir")},
         "Missing value after '--data-dir'."},
        {LORIMET_APP_PATH, data + QStringList{QStringLiteral("--demo"), QStringLiteral("extra")},
         "unexpected argument extra"},
        {LORIMET_REPLAY_PATH, data, "no scenario file"},
        {LORIMET_REPLAY_PATH, data + QStringList{scenario, scenario}, "one scenario file at a time"},
        {LORIMET_REPLAY_PATH, data + QStringList{scenario, QStringLiteral("--journal")},
         "Missing value after '--journal'."},
        {LORIMET_REPORT_PATH, {}, "no protocol file"},
        {LORIMET_SIM_PATH,
         {QStringLiteral("--pty"), QStringLiteral("--period"), QStringLiteral("0")},
         "bad argument --period 0"},
        {LORIMET_SIM_PATH,
         {QStringLiteral("--pty"), QStringLiteral("--seed"), QStringLiteral("x")},
         "bad argument --seed x"},
        {LORIMET_SIM_PATH, {}, "give one of --pty and --port PATH"},
        {LORIMET_SIM_PATH, {QStringLiteral("--pty"), QStringLiteral("extra")}, "unexpected argument extra"},
        {LORIMET_JOURNAL_PATH, data, "no command"},
        {LORIMET_JOURNAL_PATH, data + QStringList{QStringLiteral("frobnicate")},
         "unknown command frobnicate"},
        {LORIMET_JOURNAL_PATH, data + QStringList{QStringLiteral("verify"), QStringLiteral("extra")},
         "verify takes no arguments"},
        {LORIMET_JOURNAL_PATH,
         data + QStringList{QStringLiteral("list"), QStringLiteral("--limit"), QStringLiteral("x")},
         "--limit needs a whole number, not x"},
        {LORIMET_JOURNAL_PATH,
         data + QStringList{QStringLiteral("list"), QStringLiteral("--note"), QStringLiteral("x")},
         "Unknown option 'note'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QString::fromLatin1(c.path).section(u'/', -1).toStdString() + " " +
                     c.arguments.join(u' ').toStdString());
        const Outcome o = run(QString::fromLatin1(c.path), c.arguments, true);
        EXPECT_EQ(o.exitCode, 2) << o.err.toStdString();
        EXPECT_TRUE(o.err.contains(QStringLiteral(": ") + QString::fromUtf8(c.reason) + u'\n'))
            << o.err.toStdString();
    }
    // Nothing was made in the data folder: no configuration, no journal, no day folders.
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST(CommandLine, EachJournalCommandHasItsOwnHelp) {
    for (const char* command : {"init", "list", "show", "export", "import", "annotate", "report",
                                "reevaluate", "verify", "status", "sync"}) {
        SCOPED_TRACE(command);
        const Outcome o = run(QStringLiteral(LORIMET_JOURNAL_PATH),
                              {QString::fromLatin1(command), QStringLiteral("--help")}, false);
        EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
        EXPECT_TRUE(o.out.startsWith(QStringLiteral("Usage: lorimet-journal [options] ") +
                                     QString::fromLatin1(command)))
            << o.out.toStdString();
    }
    // A command's option is told in its own help only.
    EXPECT_TRUE(run(QStringLiteral(LORIMET_JOURNAL_PATH),
                    {QStringLiteral("annotate"), QStringLiteral("--help")}, false)
                    .out.contains(QStringLiteral("--note <TEXT>")));
    EXPECT_FALSE(
        run(QStringLiteral(LORIMET_JOURNAL_PATH), {QStringLiteral("list"), QStringLiteral("--help")}, false)
            .out.contains(QStringLiteral("--note")));
}

} // namespace

namespace {

// A replayed day given no data folder runs in a new one of its own in the temporary folder and names it:
// never in the program's per-user folder, where its analyses would join a lab's real day and journal.
TEST(CommandLine, AReplayWithoutADataFolderKeepsClearOfTheProgramsData) {
    QTemporaryDir tmp, home;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmp.path());
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LORIMET_REPLAY_PATH), {QStringLiteral(LORIMET_DAY_SCENARIO)});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    const QString prefix = QStringLiteral("lorimet-replay: data folder ");
    const qsizetype at = err.indexOf(prefix);
    ASSERT_GE(at, 0) << err.toStdString();
    const QString folder = err.mid(at + prefix.size()).section(u'\n', 0, 0);
    EXPECT_TRUE(folder.startsWith(tmp.path() + u'/')) << folder.toStdString();
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/Vornel_config.ini")));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/lorimet.db")));
    EXPECT_FALSE(QDir(home.filePath(QStringLiteral("data"))).exists());
}

} // namespace
