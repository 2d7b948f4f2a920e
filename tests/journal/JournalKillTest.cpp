// lorimet-replay killed (SIGKILL) at random moments of a day with many analyses and started again on the
// same data folder, round after round; every other round is killed at a moment watched for instead, if it
// comes first: in the middle of a SQLite write transaction, or between the server's commit of a batch and
// the station's acknowledgement of it. After the last start the journal opens and verifies and every result
// of the day file is in it exactly once; with a server, after lorimet-journal sync, every record is on the
// server once and the server's chains verify.
#include "PgCluster.h"
#include "fakes/ToolRun.h"
#include "journal/Store.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <random>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace lorimet;
using namespace lorimet::journal;

namespace {

// Rounds killed before the last one runs to its end, and analyses a round: enough for the kills to land
// in every phase of writing, few enough for a sanitizer build on two cores.
constexpr int kKilledRounds = 12;
constexpr int kAnalyses = 6;
// Watched rounds added while the moment watched for has not come yet. On a loaded machine about one watched
// kill in four lands in the moment between the server's commit and the station's; eight extra rounds missed
// it now and then, twenty-four make that a chance in thousands (and cost nothing once it has come).
constexpr int kExtraRounds = 24;

// The seed of the kill moments: LORIMET_KILL_SEED repeats a run's delays, otherwise a fresh one.
quint32 killSeed() {
    static const quint32 seed = [] {
        bool ok = false;
        const quint32 fromEnvironment = qEnvironmentVariable("LORIMET_KILL_SEED").toUInt(&ok);
        return ok ? fromEnvironment : std::random_device{}();
    }();
    return seed;
}

std::string seedNote() {
    return "seed " + std::to_string(killSeed()) + " (LORIMET_KILL_SEED repeats it)";
}

using Tool = lorimet::testing::ToolRun;

Tool journalTool(const QStringList& args) {
    return lorimet::testing::runTool(QStringLiteral(LORIMET_JOURNAL_TOOL), args);
}

// A day of many analyses from the example day: its start (connect, upper point, GSO calibration), then its
// Small and its Full analysis over and over (two Small to a Full), each described by the round and its number
// so that every result of the day file names the one run it came from.
class ManyAnalyses {
  public:
    ManyAnalyses() {
        QFile file(QStringLiteral(LORIMET_DAY_SCENARIO));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        QTextStream in(&file);
        in.setEncoding(QStringConverter::Utf8);
        QStringList* part = nullptr;
        while (!in.atEnd()) {
            const QString line = in.readLine();
            if (line.startsWith(u"date ") || line.startsWith(u"time "))
                header_ << line;
            if (line.isEmpty() || !line.front().isDigit())
                continue;
            const QString verb = line.section(u' ', 1, 1);
            if (verb == u"exit")
                break;
            if (verb == u"analyse") {
                cycles_.emplace_back();
                part = &cycles_.back();
            }
            (part ? *part : start_) << line;
        }
        EXPECT_EQ(cycles_.size(), 2u);
    }

    QString text(int round) const {
        QStringList out = header_ + start_;
        double shift = 0;
        for (int n = 0; n < kAnalyses; ++n) {
            // Mostly Small: a Full analysis measures longer, and the engine's time is not what is tested.
            const QStringList& cycle = cycles_[n % 3 == 2 ? 1 : 0];
            const double first = time(cycle.front());
            for (const QString& line : cycle) {
                QString rest = line.section(u' ', 1);
                if (rest.startsWith(u"analyse "))
                    rest = rest.section(u' ', 0, 2) + u' ' + description(round, n);
                out << QString::number(time(line) - first + begin() + shift, 'f', 3) + u' ' + rest;
            }
            shift += time(cycle.back()) - first + 1;
        }
        out << QString::number(begin() + shift + 1, 'f', 3) + QStringLiteral(" exit");
        return out.join(u'\n') + u'\n';
    }

    static QString description(int round, int n) {
        return QStringLiteral("Раунд %1, проба %2").arg(round).arg(n + 1);
    }

  private:
    static double time(const QString& line) { return line.section(u' ', 0, 0).toDouble(); }
    double begin() const { return time(cycles_.front().front()); }

    QStringList header_, start_;
    std::vector<QStringList> cycles_;
};

// Whether a program holds the write lock of the SQLite journal `path`, that is, is in the middle of a write
// transaction (or of the recovery after a kill). Asked without taking the lock: in WAL mode SQLite's writer
// holds a POSIX lock on byte 120 of the -shm file (the first lock byte of the WAL index, see SQLite's
// walformat.html) from BEGIN IMMEDIATE to the end of COMMIT, and F_GETLK tells another process so.
bool inWriteTransaction(const QString& path) {
    const int fd = ::open(QFile::encodeName(path + QStringLiteral("-shm")).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 120;
    lock.l_len = 1;
    const bool held = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

struct Round {
    qint64 killAfterMs = -1; // -1: left to its end
    bool watched = false;
    bool killed = false;
    qint64 killedAtMs = -1;
    qint64 tookMs = 0;
    QString err;
};

// Rounds of lorimet-replay on one data folder, kKilledRounds killed after a random delay, the last one left
// to finish. `watch`, when given, is asked again and again during every other round, which is killed the
// moment it says so (at its random moment at the latest); `afterKill` looks at the folder while no program
// runs; while `moreWanted` says so, up to kExtraRounds watched rounds follow the others.
class Day {
  public:
    Day(const QString& folder, const QString& scratch, const QStringList& journalArgs)
        : folder_(folder), scratch_(scratch), journalArgs_(journalArgs) {}

    void run(const std::function<bool()>& watch = {}, const std::function<void()>& afterKill = {},
             const std::function<bool()>& moreWanted = {}) {
        // The delays spread over the time a whole round takes on this machine and build, measured on the
        // local journal alone so that no other station's records reach a server.
        QElapsedTimer clock;
        clock.start();
        const Round measured = replay(scratch_ + QStringLiteral("/measure"), 0, -1, {}, {});
        const qint64 whole = clock.elapsed();
        EXPECT_FALSE(measured.killed) << measured.err.toStdString();
        std::mt19937 random(killSeed());
        std::uniform_int_distribution<qint64> moment(0, whole);
        int r = 1;
        for (; r <= kKilledRounds || (moreWanted && r <= kKilledRounds + kExtraRounds && moreWanted()); ++r) {
            rounds_.push_back(replay(folder_, r, moment(random), journalArgs_,
                                     r % 2 == 0 || r > kKilledRounds ? watch : nullptr));
            if (afterKill && rounds_.back().killed)
                afterKill();
        }
        rounds_.push_back(replay(folder_, r, -1, journalArgs_, {}));
        EXPECT_FALSE(rounds_.back().killed);
        const auto longest =
            std::max_element(rounds_.begin(), rounds_.end(),
                             [](const Round& a, const Round& b) { return a.tookMs < b.tookMs; });
        std::cout << "[ kill     ] a whole round " << whole << " ms, the longest " << longest->tookMs
                  << " ms; " << killed() << " of " << rounds_.size() - 1 << " rounds killed; " << seedNote()
                  << "\n";
    }

    // Rounds killed at the moment watched for.
    int killedWhenWatched() const {
        return static_cast<int>(std::count_if(rounds_.begin(), rounds_.end(), [](const Round& r) {
            return r.killed && r.watched && r.killedAtMs < r.killAfterMs;
        }));
    }

    int killed() const {
        return static_cast<int>(
            std::count_if(rounds_.begin(), rounds_.end(), [](const Round& r) { return r.killed; }));
    }

    // The delays and what each round said, for a failure message.
    std::string story() const {
        std::string s = seedNote() + "\n";
        for (size_t k = 0; k < rounds_.size(); ++k) {
            const Round& r = rounds_[k];
            s += "round " + std::to_string(k + 1) + ": ";
            if (!r.killed)
                s += "ran to its end in " + std::to_string(r.tookMs) + " ms";
            else
                s += "killed after " + std::to_string(r.killedAtMs) + " ms" +
                     (r.watched && r.killedAtMs < r.killAfterMs ? " (the moment watched for)" : "");
            if (!r.err.isEmpty())
                s += ", said: " + r.err.toStdString();
            s += "\n";
        }
        return s;
    }

    // Every round's warnings: a journal kept aside as damaged, a record not written, the server lost.
    QStringList messages() const {
        QStringList all;
        for (const Round& r : rounds_)
            if (!r.err.isEmpty())
                all << r.err;
        return all;
    }

  private:
    Round replay(const QString& folder, int round, qint64 killAfterMs, const QStringList& journalArgs,
                 const std::function<bool()>& watch) {
        const QString scenario = scratch_ + QStringLiteral("/round.scenario");
        {
            QFile file(scenario);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(day_.text(round).toUtf8());
        }
        QProcess p;
        p.setProgram(QStringLiteral(LORIMET_REPLAY_TOOL));
        p.setArguments(QStringList{scenario, QStringLiteral("--data-dir"), folder} + journalArgs);
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        QElapsedTimer clock;
        p.start();
        clock.start();
        EXPECT_TRUE(p.waitForStarted(10000));
        Round result;
        result.killAfterMs = killAfterMs;
        result.watched = static_cast<bool>(watch);
        if (killAfterMs >= 0) {
            for (;;) {
                const qint64 left = killAfterMs - clock.elapsed();
                if (left <= 0 || (watch && watch())) {
                    p.kill(); // SIGKILL
                    result.killedAtMs = clock.elapsed();
                    result.killed = true;
                    break;
                }
                // Watched every 2 ms: often enough for moments of a few milliseconds (a commit's fsync, the
                // outbox waiting for the journal's lock), seldom enough to leave the machine to the program.
                if (p.waitForFinished(watch ? 2 : static_cast<int>(left)))
                    break;
            }
        }
        if (p.state() != QProcess::NotRunning) {
            EXPECT_TRUE(p.waitForFinished(60000));
        }
        if (!result.killed) {
            EXPECT_EQ(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, 0);
        }
        result.err = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        result.tookMs = clock.elapsed();
        return result;
    }

    QString folder_, scratch_;
    QStringList journalArgs_;
    ManyAnalyses day_;
    std::vector<Round> rounds_;
};

QString dayFile(const QString& folder) {
    return folder + QStringLiteral("/Temp/") + dayFileName(QStringLiteral("06.12.26 г"));
}

std::vector<Record> analyses(Store& store) {
    QString error;
    ListFilter only;
    only.kind = QStringLiteral("analysis");
    std::vector<Record> all = store.list(only, error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    return all;
}

// Every result of the day file is among `records` exactly once, a completed analysis with the file's BOD.
// Returns how many completed analyses the journal holds that the day file does not.
int expectEveryDayResultOnce(const QString& folder, const std::vector<Record>& records) {
    const auto lines = readProtocolFile(dayFile(folder));
    EXPECT_TRUE(lines) << "no day file";
    if (!lines)
        return 0;
    const ProtocolFileContent day = parseProtocolFile(*lines);
    EXPECT_FALSE(day.damaged) << "the day file is damaged at line " << day.damageLine;
    // The last round ran to its end: its results are there whatever the kills did before.
    EXPECT_GE(day.blocks.size(), static_cast<size_t>(kAnalyses));
    QMap<QString, std::vector<const Record*>> byDescription;
    for (const Record& r : records)
        if (r.text(u"status") == u"completed")
            byDescription[r.text(u"description")].push_back(&r);
    QSet<QString> inDay;
    for (const ProtocolBlock& b : day.blocks) {
        EXPECT_FALSE(inDay.contains(b.description))
            << b.description.toStdString() << " twice in the day file";
        inDay << b.description;
        const auto& found = byDescription[b.description];
        EXPECT_EQ(found.size(), 1u) << b.description.toStdString() << " is in the day file and "
                                    << found.size() << " times in the journal";
        if (found.size() != 1)
            continue;
        // The file writes two decimals, the record keeps what the table shows.
        EXPECT_NEAR(found[0]->value(u"bod_initial").toDouble(), b.rateResult, 0.051)
            << b.description.toStdString();
        EXPECT_EQ(found[0]->text(u"analysis_kind"),
                  b.rangeResult ? QStringLiteral("Full") : QStringLiteral("Small"))
            << b.description.toStdString();
    }
    int journalOnly = 0;
    for (auto it = byDescription.cbegin(); it != byDescription.cend(); ++it)
        if (!it.value().empty() && !inDay.contains(it.key()))
            ++journalOnly;
    return journalOnly;
}

TEST(JournalKill, AKillWhileRecordingLeavesAJournalThatVerifiesWithEveryDayFileResultOnce) {
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    Day day(data, dir.path(), {});
    // Every other round is killed the moment the program is in the middle of a write transaction, if the
    // round gives such a moment before its random one.
    const QString journal = data + QStringLiteral("/lorimet.db");
    day.run([&] { return inWriteTransaction(journal); }, {}, [&] { return day.killedWhenWatched() == 0; });
    SCOPED_TRACE(day.story());
    EXPECT_TRUE(day.messages().isEmpty()) << day.messages().join(u'\n').toStdString();
    EXPECT_TRUE(QDir(data).entryList({QStringLiteral("lorimet.db.damaged-*")}, QDir::Files).isEmpty());

    const Tool verified = journalTool({QStringLiteral("--data-dir"), data, QStringLiteral("verify")});
    EXPECT_EQ(verified.exitCode, 0) << verified.err.toStdString();
    QString error;
    auto store = Store::openExisting(data + QStringLiteral("/lorimet.db"), error);
    ASSERT_TRUE(store) << error.toStdString();
    const int journalOnly = expectEveryDayResultOnce(data, analyses(*store));
    // A kill after a record's commit and before its result reached the day file leaves it in the journal
    // alone; nothing else may.
    EXPECT_LE(journalOnly, day.killed());
    EXPECT_GE(day.killedWhenWatched(), 1) << "no kill landed in the middle of a write transaction";
    std::cout << "[ kill     ] " << day.killedWhenWatched() << " kills in the middle of a write transaction, "
              << journalOnly << " results in the journal alone (killed before the day file)\n";
}

class JournalKillServer : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_CLUSTER(cluster);
        ASSERT_TRUE(cluster.start());
        const Tool init = journalTool({QStringLiteral("--journal"), cluster.url(), QStringLiteral("init")});
        ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
    }
    std::unique_ptr<Store> server() {
        QString error;
        auto store = Store::openServer(cluster.url(), false, error);
        EXPECT_TRUE(store) << error.toStdString();
        return store;
    }

    PgCluster cluster;
    QTemporaryDir dir;
};

TEST_F(JournalKillServer, AKillWhileShippingDeliversEveryRecordOnceAfterRestart) {
    const QString data = dir.filePath(QStringLiteral("data"));
    const QString url = cluster.url();
    Day day(data, dir.path(), {QStringLiteral("--journal"), url});
    // Every other round is killed the moment the server holds a record the station has not marked shipped
    // yet (the server's count read first: both only grow), if the round gives such a moment before its
    // random one.
    auto remote = server();
    ASSERT_TRUE(remote);
    const QString connection = QStringLiteral("kill-watch");
    const QString journal = data + QStringLiteral("/lorimet.db");
    auto serverAhead = [&] {
        QString error;
        const auto onServer = remote->counts(error);
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        if (!db.isValid()) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(journal);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        }
        if (!onServer || !QFileInfo::exists(db.databaseName()) || (!db.isOpen() && !db.open()))
            return false;
        QSqlQuery q(db);
        return q.exec(QStringLiteral("SELECT count(*) FROM shipped")) && q.next() &&
               onServer->records > q.value(0).toLongLong();
    };
    // After each kill: did it land between the server's commit and the station's? The next start ships
    // those records again.
    int betweenCommits = 0;
    day.run(
        serverAhead,
        [&] {
            QSqlDatabase::removeDatabase(connection); // the watcher's view ends with the round
            QString error;
            auto local = Store::openExisting(data + QStringLiteral("/lorimet.db"), error);
            if (!local)
                return;
            for (const Record& r : local->waiting(url, 1'000'000, error))
                if (remote->find(r.text(u"id"), false, error)) {
                    ++betweenCommits;
                    break;
                }
        },
        [&] { return betweenCommits == 0; });
    QSqlDatabase::removeDatabase(connection);
    SCOPED_TRACE(day.story());
    EXPECT_TRUE(day.messages().isEmpty()) << day.messages().join(u'\n').toStdString();

    const QStringList both = {QStringLiteral("--data-dir"), data, QStringLiteral("--journal"), url};
    const Tool sync = journalTool(both + QStringList{QStringLiteral("sync")});
    EXPECT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    EXPECT_TRUE(sync.out.contains(QStringLiteral(" 0 waiting"))) << sync.out.toStdString();
    const Tool localVerified = journalTool({QStringLiteral("--data-dir"), data, QStringLiteral("verify")});
    EXPECT_EQ(localVerified.exitCode, 0) << localVerified.err.toStdString();
    const Tool serverVerified = journalTool({QStringLiteral("--journal"), url, QStringLiteral("verify")});
    EXPECT_EQ(serverVerified.exitCode, 0) << serverVerified.err.toStdString();

    QString error;
    auto local = Store::openExisting(data + QStringLiteral("/lorimet.db"), error);
    ASSERT_TRUE(local) << error.toStdString();
    const std::vector<Record> here = local->list({}, error);
    const std::vector<Record> there = remote->list({}, error);
    QMap<QString, int> onServer;
    for (const Record& r : there)
        ++onServer[r.text(u"id")];
    for (const Record& r : here) {
        EXPECT_EQ(onServer.value(r.text(u"id")), 1) << r.text(u"id").toStdString() << " on the server";
        onServer.remove(r.text(u"id"));
    }
    EXPECT_TRUE(onServer.isEmpty()) << onServer.size() << " records on the server the station does not have";
    EXPECT_EQ(there.size(), here.size());
    expectEveryDayResultOnce(data, analyses(*local));
    expectEveryDayResultOnce(data, analyses(*remote));
    EXPECT_GE(betweenCommits, 1) << "no kill landed between the server's commit and the station's";
    std::cout << "[ kill     ] " << betweenCommits
              << " kills between the server's commit and the station's\n";
}

} // namespace
