// The program killed (SIGKILL) at random moments of a day and started again: every analysis it had
// completed is still in the day file and in the report table, every file it leaves parses completely, and
// the configuration is the one written. The program runs in a child process (this executable started
// again, see CrashChild.h) with its real windows and serial port against the simulated analyser.
#include "crash/CrashChild.h"

#include "config/Configuration.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolFile.h"
#include "reports/ReportTable.h"
#include "text/Cp1251.h"

#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <random>

#include <signal.h>
#include <sys/prctl.h>

using namespace lorimet;

namespace {

// The seed of the random moments: LORIMET_CRASH_SEED repeats a run, otherwise a fresh one.
quint32 crashSeed() {
    static const quint32 seed = [] {
        bool ok = false;
        const quint32 fromEnvironment = qEnvironmentVariable("LORIMET_CRASH_SEED").toUInt(&ok);
        return ok ? fromEnvironment : std::random_device{}();
    }();
    return seed;
}

std::string seedNote() {
    return "seed " + std::to_string(crashSeed()) + " (LORIMET_CRASH_SEED repeats it)";
}

// A copy of this executable in one of its child modes, read line by line.
class Child {
  public:
    explicit Child(const QStringList& arguments) {
        process_.setProgram(QCoreApplication::applicationFilePath());
        process_.setArguments(QStringList{QString::fromLatin1(crash::kChildSwitch)} + arguments);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start();
    }
    ~Child() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }

    // Waits for the next line that starts with prefix and returns the rest of it; nullopt when the child
    // failed, ended or took too long.
    std::optional<QString> waitLine(const QString& prefix, int timeoutMs) {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            while (next_ < lines_.size()) {
                const QString& line = lines_[next_++];
                if (line.startsWith(u"FAIL "))
                    return std::nullopt;
                if (line.startsWith(prefix))
                    return line.mid(prefix.size());
            }
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
                return std::nullopt;
            process_.waitForReadyRead(50);
            collect();
        }
    }
    void kill() {
        process_.kill();
        process_.waitForFinished(10000);
        collect();
    }
    bool finish(int timeoutMs) {
        const bool ended = process_.waitForFinished(timeoutMs);
        collect();
        return ended && process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }
    // The rests of every line with the prefix, read so far.
    QStringList all(const QString& prefix) const {
        QStringList found;
        for (const QString& line : lines_)
            if (line.startsWith(prefix))
                found << line.mid(prefix.size());
        return found;
    }
    QString transcript() const { return lines_.join(u'\n'); }

  private:
    void collect() {
        pending_ += process_.readAllStandardOutput();
        qsizetype end;
        while ((end = pending_.indexOf('\n')) >= 0) {
            lines_ << QString::fromUtf8(pending_.left(end));
            pending_.remove(0, end + 1);
        }
    }
    QProcess process_;
    QByteArray pending_;
    QStringList lines_;
    qsizetype next_ = 0;
};

QByteArray cp1251Text(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += toCp1251(line) + "\r\n";
    return bytes;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What QSaveFile leaves when it is killed between linking its finished file into the folder and renaming
// it over the target: the target's name and six characters.
bool isSaveLeftoverOf(const QString& name, const QString& target) {
    return name.size() == target.size() + 7 && name.startsWith(target + u'.');
}

// Every file below the folder, relative to it.
QStringList filesBelow(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

struct ProtocolCheck {
    bool complete = false;
    QStringList descriptions;
};

// A protocol file read with the program's own readers: the file reader and the table rebuild of start-up.
ProtocolCheck checkProtocol(const QString& path) {
    ProtocolCheck check;
    const auto lines = readProtocolFile(path);
    if (!lines)
        return check;
    const ProtocolFileContent content = parseProtocolFile(*lines);
    ReportTable table;
    const RebuildResult rebuilt = rebuildTable(*lines, table);
    for (const ProtocolBlock& block : content.blocks)
        check.descriptions << block.description;
    check.complete = !content.damaged && rebuilt.complete && rebuilt.descriptions == check.descriptions &&
                     !lines->isEmpty();
    return check;
}

// ----------------------------------------------------------------------------------------------------
// A day killed again and again.

enum class KillAt {
    AfterResult, // right after a completed analysis, while the program saves and the knob goes back
    DuringRun,   // somewhere in the measured run of an analysis
    AtQuestion,  // while the exit asks about an unsaved day file of another day
    DuringClose, // somewhere in the close sequence
    Anytime,     // anywhere from start-up through the connection and the calibration
};

struct Life {
    const char* name;
    KillAt at;
    int analyses;
    bool close;
    int maxDelayMs; // the kill comes a random 0..maxDelayMs after the moment
};

class CrashDay : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // Transport delay 1 s, and every panel switched on: a configuration that differs from the default,
        // so one replaced by the defaults is noticed.
        QStringList lines = Configuration::defaultLines();
        lines[Configuration::DelayLine] = QStringLiteral("Транспортное запаздывание   :1");
        for (int k = Configuration::ScreenLine; k <= Configuration::ProtocolLine; ++k)
            lines[k].replace(QStringLiteral("Выкл"), QStringLiteral("Вкл"));
        configBytes = cp1251Text(lines);
        ASSERT_TRUE(writeBytes(dir.filePath(Configuration::kFileName), configBytes));
    }

    // An unsaved day file of an earlier day whose name sorts after today's: the exit sweep reaches it after
    // it has passed today's day file, and asks about it.
    void plantEarlierDayFile(const QString& todayName) {
        const QDate today = QDate::currentDate();
        plantedName.clear();
        for (int back = 1; back <= 800 && plantedName.isEmpty(); ++back) {
            const QString name =
                dayFileName(today.addDays(-back).toString(QStringLiteral("dd.MM.yy")) + QStringLiteral(" г"));
            if (name > todayName)
                plantedName = name;
        }
        if (plantedName.isEmpty()) // the 31st of December: no earlier date sorts after it
            plantedName = dayFileName(QStringLiteral("99.99.99 г"));
        plantedBytes = cp1251Text({QStringLiteral("1"), QStringLiteral("S=+090,000 dS=+000,000 T=000,0"),
                                   QStringLiteral("Проба вчерашняя"), QStringLiteral("БПК*=004,20 "),
                                   QStringLiteral("t=020,3 °C T=00:12"),
                                   QStringLiteral("Время: 11:00:00 Дата: 01.01.20 г")});
        ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("Temp"))));
        ASSERT_TRUE(writeBytes(dir.filePath(QStringLiteral("Temp/") + plantedName), plantedBytes));
    }

    // Everything in the data folder after a kill.
    void checkFolder(const QString& dayFile) {
        const QString dayName = QFileInfo(dayFile).fileName();
        EXPECT_EQ(fileBytes(dir.filePath(Configuration::kFileName)), configBytes)
            << "the configuration changed";
        for (const QString& file : filesBelow(dir.path())) {
            const QString path = dir.filePath(file);
            const QString name = QFileInfo(file).fileName();
            if (file == Configuration::kFileName) {
                Configuration config;
                EXPECT_EQ(config.load(dir.path()), Configuration::LoadResult::Loaded);
            } else if (isSaveLeftoverOf(file, Configuration::kFileName)) {
                EXPECT_EQ(fileBytes(path), configBytes) << file.toStdString();
            } else if (file == QStringLiteral("Temp/") + plantedName) {
                EXPECT_EQ(fileBytes(path), plantedBytes) << file.toStdString();
            } else if (file == QStringLiteral("Temp/") + dayName || isSaveLeftoverOf(name, dayName)) {
                const ProtocolCheck check = checkProtocol(path);
                EXPECT_TRUE(check.complete) << file.toStdString() << " is damaged";
                if (file == QStringLiteral("Temp/") + dayName) {
                    for (const QString& result : reported) {
                        EXPECT_TRUE(check.descriptions.contains(result))
                            << result.toStdString() << " is missing from the day file";
                    }
                }
            } else {
                ADD_FAILURE() << "unexpected file " << file.toStdString();
            }
        }
        if (!reported.isEmpty()) {
            EXPECT_TRUE(QFile::exists(dayFile)) << "the day file is gone";
        }
    }

    QTemporaryDir dir;
    QByteArray configBytes;
    QString plantedName;
    QByteArray plantedBytes;
    QStringList reported; // every analysis a child said was complete
};

TEST_F(CrashDay, KilledAtRandomMomentsTheProgramLosesNoCompletedAnalysis) {
    SCOPED_TRACE(seedNote());
    std::mt19937 random(crashSeed());
    std::vector<Life> lives{
        {"after a result", KillAt::AfterResult, 2, false, 150},
        {"in a run", KillAt::DuringRun, 1, false, 1500},
        {"at the exit's question", KillAt::AtQuestion, 1, true, 100},
        {"in the close sequence", KillAt::DuringClose, 1, true, 15},
        {"at any moment", KillAt::Anytime, 1, false, 5000},
    };
    std::shuffle(lives.begin(), lives.end(), random);

    int lifeNumber = 0;
    QString dayFile;
    for (const Life& life : lives) {
        ++lifeNumber;
        SCOPED_TRACE(std::string("life ") + std::to_string(lifeNumber) + ", killed " + life.name);
        QStringList arguments{QStringLiteral("day"), dir.path(), QString::number(lifeNumber),
                              QString::number(life.analyses)};
        if (life.close)
            arguments << QStringLiteral("close");
        if (life.at == KillAt::AtQuestion) {
            // The name the program gives today's day file.
            const QString today =
                dayFileName(QDate::currentDate().toString(QStringLiteral("dd.MM.yy")) + QStringLiteral(" г"));
            ASSERT_NO_FATAL_FAILURE(plantEarlierDayFile(today));
        }
        Child child(arguments);
        const auto up = child.waitLine(QStringLiteral("UP "), 60000);
        ASSERT_TRUE(up) << child.transcript().toStdString();
        dayFile = *up;
        // What the last life completed is back in the table.
        const QStringList rows = child.all(QStringLiteral("ROW "));
        for (const QString& result : reported) {
            EXPECT_TRUE(rows.contains(result)) << result.toStdString() << " is missing from the table";
        }

        std::optional<QString> moment;
        switch (life.at) {
        case KillAt::AfterResult:
            moment = child.waitLine(QStringLiteral("RESULT "), 120000);
            break;
        case KillAt::DuringRun:
            moment = child.waitLine(QStringLiteral("RUN "), 120000);
            break;
        case KillAt::AtQuestion:
            moment = child.waitLine(QStringLiteral("QUESTION "), 120000);
            break;
        case KillAt::DuringClose:
            moment = child.waitLine(QStringLiteral("CLOSING"), 120000);
            break;
        case KillAt::Anytime:
            moment = *up;
            break;
        }
        ASSERT_TRUE(moment) << child.transcript().toStdString();
        QThread::msleep(std::uniform_int_distribution<int>(0, life.maxDelayMs)(random));
        child.kill();
        reported << child.all(QStringLiteral("RESULT "));
        ASSERT_NO_FATAL_FAILURE(checkFolder(dayFile));
        if (HasFailure())
            FAIL() << child.transcript().toStdString();
    }

    // A last start: the table holds everything, and a clean exit settles the folder.
    Child check({QStringLiteral("check"), dir.path()});
    ASSERT_TRUE(check.finish(60000)) << check.transcript().toStdString();
    const QStringList rows = check.all(QStringLiteral("ROW "));
    for (const QString& result : reported) {
        EXPECT_TRUE(rows.contains(result)) << result.toStdString() << " is missing from the table";
    }
    // The only question is about the earlier day's file, if it is still there; no leftover of an
    // interrupted save passes for a day file.
    for (const QString& box : check.all(QStringLiteral("BOX "))) {
        if (box.contains(QStringLiteral("не был сохранён"))) {
            EXPECT_TRUE(box.contains(plantedName + QStringLiteral(" не был сохранён"))) << box.toStdString();
        }
    }
    EXPECT_EQ(filesBelow(dir.filePath(QStringLiteral("Temp"))), QStringList{QFileInfo(dayFile).fileName()});
    const ProtocolCheck day = checkProtocol(dayFile);
    EXPECT_TRUE(day.complete);
    EXPECT_EQ(day.descriptions, rows);
    EXPECT_EQ(fileBytes(dir.filePath(Configuration::kFileName)), configBytes);
    if (HasFailure())
        std::cerr << check.transcript().toStdString() << '\n';
}

// ----------------------------------------------------------------------------------------------------
// Saves killed half-way.

TEST(CrashSaves, KilledWhileSavingEachFileIsTheOldVersionOrTheNew) {
    SCOPED_TRACE(seedNote());
    std::mt19937 random(crashSeed() ^ 0x5A5Eu);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList base = Configuration::defaultLines();
    ASSERT_TRUE(writeBytes(dir.filePath(Configuration::kFileName), cp1251Text(base)));
    static const QRegularExpression leftoverName(QStringLiteral("\\.(tmp|txt|ini)\\.[A-Za-z0-9]{6}$"));

    // The version each file holds; of the configuration only the parity tells, and it starts as odd
    // (the switch line off, as in the default).
    QMap<QString, int> onDisk{{Configuration::kFileName, 1}};
    auto versionOf = [&](const QString& file) -> int {
        const QString path = dir.filePath(file);
        if (file.startsWith(Configuration::kFileName)) {
            const QByteArray bytes = fileBytes(path);
            for (const int v : {0, 1}) {
                if (bytes == cp1251Text(crash::versionConfiguration(base, v)))
                    return v;
            }
            return -1;
        }
        const ProtocolCheck check = checkProtocol(path);
        return check.complete ? crash::protocolVersion(check.descriptions) : -1;
    };

    int first = 2;
    int leftovers = 0;
    qsizetype versions = 0;
    for (int round = 1; round <= 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Child child({QStringLiteral("saves"), dir.path(), QString::number(first)});
        ASSERT_TRUE(child.waitLine(QStringLiteral("SAVING"), 30000)) << child.transcript().toStdString();
        QThread::msleep(std::uniform_int_distribution<int>(0, 250)(random));
        child.kill();
        const QStringList saved = child.all(QStringLiteral("SAVED "));
        const int last = saved.isEmpty() ? -1 : saved.last().toInt();
        versions += saved.size();

        Configuration config;
        EXPECT_EQ(config.load(dir.path()), Configuration::LoadResult::Loaded);
        for (const QString& file : filesBelow(dir.path())) {
            const int version = versionOf(file);
            ASSERT_GE(version, 0) << file.toStdString() << " is damaged or no version at all";
            if (leftoverName.match(file).hasMatch()) {
                ++leftovers; // complete, and nobody reads it in place of the file itself
                continue;
            }
            // Each file holds the last version saved completely or the one being saved; before the first
            // complete version of this round, the one it held before or this round's first.
            const int modulus = file == Configuration::kFileName ? 2 : INT_MAX;
            const int older = saved.isEmpty() ? onDisk.value(file, -1) : last % modulus;
            const int newer = (saved.isEmpty() ? first : last + 1) % modulus;
            EXPECT_TRUE(version == older || version == newer)
                << file.toStdString() << " holds version " << version << ", not " << older << " or " << newer;
            onDisk[file] = version;
        }
        first = std::max(first, last + 2);
    }
    std::cout << versions << " versions saved completely, " << leftovers
              << " leftovers of interrupted saves\n";

    // A start and a clean exit: no leftover passes for a day file of another day.
    Child check({QStringLiteral("check"), dir.path()});
    ASSERT_TRUE(check.finish(60000)) << check.transcript().toStdString();
    EXPECT_TRUE(check.all(QStringLiteral("BOX ")).isEmpty()) << check.transcript().toStdString();
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], crash::kChildSwitch) == 0)
            return crash::runChild(argc, argv);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
