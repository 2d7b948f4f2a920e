// The journal on a real PostgreSQL server (a throwaway cluster per test): the outbox that waits while the
// server is away and ships every record once, two stations at once, the same hash as on SQLite, and a
// station role that may only insert and read.
#include "PgCluster.h"
#include "ReplayRunner.h"
#include "Scenario.h"
#include "fakes/ExampleDay.h"
#include "fakes/ToolRun.h"
#include "journal/Recorder.h"
#include "journal/Store.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <thread>

using namespace lorimet;
using namespace lorimet::journal;
using namespace std::chrono_literals;

namespace {

using Tool = lorimet::testing::ToolRun;

Tool tool(const QStringList& args) {
    return lorimet::testing::runTool(QStringLiteral(LORIMET_JOURNAL_TOOL), args);
}

// The example day replayed into `dataFolder` with the journal at `url`.
QStringList replayDay(const QString& dataFolder, const QString& url) {
    const lorimet::testing::ExampleDay day = lorimet::testing::replayExampleDay(dataFolder, url);
    EXPECT_EQ(day.exitCode, 0);
    return day.messages;
}

FinishedRun run(int n) {
    FinishedRun r;
    r.kind = RunKind::Analysis;
    r.startedAt = QDateTime(QDate(2026, 12, 6), QTime(9, 0)).addSecs(n * 60);
    r.finishedAt = r.startedAt.addSecs(30);
    r.description = QStringLiteral("Проба %1").arg(n);
    r.analysisKind = QStringLiteral("Small");
    r.dilution = 1;
    r.bodInitial = 4 + n / 10.0;
    r.rateCoefficient = 2;
    r.rangeCoefficient = 0.5;
    for (int k = 0; k < 20; ++k)
        r.lines.push_back(
            {k * 500, QStringLiteral("%1 %нас").arg(95 - k * 0.1), 95 - k * 0.1, 95 - k * 0.1, 0.1, 20.3});
    return r;
}

class JournalServer : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_CLUSTER(cluster);
        ASSERT_TRUE(cluster.start());
        const Tool init = tool({QStringLiteral("--journal"), cluster.url(), QStringLiteral("init")});
        ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
    }
    QString folder(const char* name) const { return dir.filePath(QLatin1StringView(name)); }
    std::unique_ptr<Store> server(const QString& user = QString()) {
        QString error;
        auto store = Store::openServer(cluster.url(user), false, error);
        EXPECT_TRUE(store) << error.toStdString();
        return store;
    }
    qint64 serverRecords() {
        QString error;
        const auto store = server();
        return store ? store->counts(error).value_or(Store::Counts{-1}).records : -1;
    }
    Tool journal(const QString& data, const QStringList& args) {
        return tool(
            QStringList{QStringLiteral("--data-dir"), data, QStringLiteral("--journal"), cluster.url()} +
            args);
    }

    PgCluster cluster;
    QTemporaryDir dir;
};

TEST_F(JournalServer, ADayWaitsInTheOutboxWhileTheServerIsStoppedAndSyncDeliversItOnce) {
    ASSERT_TRUE(cluster.stop());
    const QStringList messages = replayDay(folder("a"), cluster.url());
    ASSERT_EQ(messages.size(), 1) << messages.join(u'\n').toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("wait in the outbox"))) << messages[0].toStdString();
    const Tool waiting = journal(folder("a"), {QStringLiteral("sync")});
    EXPECT_EQ(waiting.exitCode, 1);
    EXPECT_TRUE(waiting.err.contains(QStringLiteral("4 records wait"))) << waiting.err.toStdString();

    ASSERT_TRUE(cluster.start());
    const Tool status = journal(folder("a"), {QStringLiteral("status")});
    EXPECT_TRUE(status.out.contains(QStringLiteral("waiting to be shipped: 4"))) << status.out.toStdString();
    const Tool sync = journal(folder("a"), {QStringLiteral("sync")});
    EXPECT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    EXPECT_TRUE(sync.out.contains(QStringLiteral("4 records shipped, 0 waiting"))) << sync.out.toStdString();
    const Tool again = journal(folder("a"), {QStringLiteral("sync")});
    EXPECT_TRUE(again.out.contains(QStringLiteral("0 records shipped, 0 waiting")))
        << again.out.toStdString();
    EXPECT_EQ(serverRecords(), 4);

    // A second station's day, the server up: shipped as it goes, the last record too before the replay
    // ends, so sync finds nothing left.
    EXPECT_TRUE(replayDay(folder("b"), cluster.url()).isEmpty());
    const Tool syncB = journal(folder("b"), {QStringLiteral("sync")});
    EXPECT_EQ(syncB.exitCode, 0);
    EXPECT_TRUE(syncB.out.contains(QStringLiteral("0 records shipped, 0 waiting")))
        << syncB.out.toStdString();
    EXPECT_EQ(serverRecords(), 8);
    const Tool verified = journal(folder("a"), {QStringLiteral("verify")});
    EXPECT_EQ(verified.exitCode, 0) << verified.err.toStdString();
    EXPECT_TRUE(verified.out.contains(QStringLiteral("8 records of 2 stations")))
        << verified.out.toStdString();
    const Tool listed =
        journal(folder("a"), {QStringLiteral("list"), QStringLiteral("--kind"), QStringLiteral("analysis"),
                              QStringLiteral("--search"), QStringLiteral("сток")});
    EXPECT_EQ(listed.out.count(QStringLiteral("Проба 2 (сток")), 2) << listed.out.toStdString();
}

TEST_F(JournalServer, TheServerStoppedDuringADayGetsEveryRecordOnce) {
    QStringList messages;
    std::mutex mutex;
    auto recorder = startRecorder(
        folder("a"), cluster.url(), QStringLiteral("live"), QStringLiteral("test"),
        [&](const QString& m) {
            std::lock_guard lock(mutex);
            messages << m;
        },
        20ms, 100ms);
    for (int n = 0; n < 3; ++n)
        recorder->runFinished(run(n));
    ASSERT_TRUE(recorder->waitShipped(10s));
    ASSERT_TRUE(cluster.stop());
    for (int n = 3; n < 6; ++n)
        recorder->runFinished(run(n));
    recorder->waitIdle();
    EXPECT_FALSE(recorder->waitShipped(300ms)); // the server is away: the records wait
    ASSERT_TRUE(cluster.start());
    EXPECT_TRUE(recorder->waitShipped(10s)); // retried until the server took them
    recorder.reset();
    EXPECT_EQ(serverRecords(), 6);
    QString error;
    const auto report = server()->verify(error);
    ASSERT_TRUE(report) << error.toStdString();
    EXPECT_FALSE(report->finding);
    EXPECT_EQ(report->records, 6);
    // Lost once and back once, not a message for every attempt.
    ASSERT_EQ(messages.size(), 2) << messages.join(u'\n').toStdString();
    EXPECT_TRUE(messages[1].contains(QStringLiteral("takes records again")));
}

TEST_F(JournalServer, TwoStationsWritingAtOnceBothCompleteAndBothChainsVerify) {
    constexpr int kRuns = 40;
    auto station = [this](const QString& data) {
        auto recorder = startRecorder(data, cluster.url(), QStringLiteral("live"), QStringLiteral("test"),
                                      [](const QString& m) { ADD_FAILURE() << m.toStdString(); });
        for (int n = 0; n < kRuns; ++n)
            recorder->runFinished(run(n));
        EXPECT_TRUE(recorder->waitShipped(20s));
    };
    std::thread a(station, folder("a"));
    std::thread b(station, folder("b"));
    a.join();
    b.join();
    QString error;
    const auto report = server()->verify(error);
    ASSERT_TRUE(report) << error.toStdString();
    EXPECT_FALSE(report->finding);
    EXPECT_EQ(report->records, 2 * kRuns);
    EXPECT_EQ(report->stations, 2);
}

// The local journal damaged and begun anew restarts its numbering: as a new chain of its own, the server
// takes it beside the old one instead of refusing its numbers for ever.
TEST_F(JournalServer, AJournalBegunAnewAfterDamageStillReachesTheServer) {
    EXPECT_TRUE(replayDay(folder("a"), cluster.url()).isEmpty());
    EXPECT_EQ(journal(folder("a"), {QStringLiteral("sync")}).exitCode, 0);
    QFile damaged(folder("a") + QStringLiteral("/lorimet.db"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(8192, '\x11'));
    damaged.close();
    const QStringList messages = replayDay(folder("a"), cluster.url());
    ASSERT_EQ(messages.size(), 1) << messages.join(u'\n').toStdString();
    const Tool sync = journal(folder("a"), {QStringLiteral("sync")});
    EXPECT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    const Tool verified = journal(folder("a"), {QStringLiteral("verify")});
    EXPECT_EQ(verified.exitCode, 0) << verified.err.toStdString();
    EXPECT_TRUE(verified.out.contains(QStringLiteral("8 records of 2 stations")))
        << verified.out.toStdString();
}

// What SQLite and PostgreSQL keep of a number or a text differs in type, never in value: the record
// read back from the server hashes as the station hashed it.
TEST_F(JournalServer, ARecordReadBackFromTheServerHasItsHash) {
    QString error;
    auto local = Store::openSqlite(folder("a") + QStringLiteral("/lorimet.db"), error);
    ASSERT_TRUE(local) << error.toStdString();
    Record r;
    r.set(u"id", QStringLiteral("00000000-0000-4000-8000-000000000001"));
    r.set(u"kind", QStringLiteral("analysis"));
    r.set(u"status", QStringLiteral("completed"));
    r.set(u"station", QStringLiteral("00000000-0000-4000-8000-0000000000aa"));
    r.set(u"description", QStringLiteral("Проба\t«1»\\n\nвторая строка"));
    r.set(u"bod_initial", 0.1 + 0.2);
    r.set(u"bod_final", 1e-5);
    r.set(u"signal_range", -0.0);
    r.set(u"max_derivative", 123456789.123456789);
    r.set(u"invalidates", true);
    r.lines = {{0, QStringLiteral("95,00 %нас"), 1.0 / 3, 2.0 / 3, -1e-300, 20.3}};
    ASSERT_EQ(local->append(r, error), AppendResult::Added) << error.toStdString();
    auto remote = server();
    ASSERT_EQ(shipWaiting(*local, *remote, cluster.url()).shipped, 1);
    const auto back = remote->find(r.text(u"id"), true, error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(chainHash(back->text(u"prev_hash"), *back), r.text(u"hash"));
    EXPECT_EQ(linesDigest(back->lines), r.text(u"lines_sha256"));
    EXPECT_EQ(back->text(u"description"), r.text(u"description"));
}

// Appended straight to the server (as `import --journal postgresql://` does), a run longer than the
// statements that carry its lines in groups keeps every line, in order, with the digest it was hashed with.
TEST_F(JournalServer, ALongRunAppendedStraightToTheServerKeepsEveryLine) {
    auto remote = server();
    ASSERT_TRUE(remote);
    QString error;
    for (const int count : {1, 64, 150}) {
        Record r;
        r.set(u"id", QStringLiteral("00000000-0000-4000-8000-%1").arg(count, 12, 10, QLatin1Char('0')));
        r.set(u"kind", QStringLiteral("analysis"));
        r.set(u"status", QStringLiteral("completed"));
        r.set(u"station", QStringLiteral("00000000-0000-4000-8000-0000000000bb"));
        for (int k = 0; k < count; ++k)
            r.lines.push_back(
                {k * 500LL, QStringLiteral("%1 %нас").arg(95 - k), 95.0 - k, 95.25 - k, -0.125 * k, 20.5});
        ASSERT_EQ(remote->append(r, error), AppendResult::Added) << count << ": " << error.toStdString();
        const auto back = remote->find(r.text(u"id"), true, error);
        ASSERT_TRUE(back) << error.toStdString();
        ASSERT_EQ(back->lines.size(), r.lines.size());
        EXPECT_EQ(back->lines.back().raw, r.lines.back().raw);
        EXPECT_EQ(back->lines.back().derivative, r.lines.back().derivative);
        EXPECT_EQ(linesDigest(back->lines), r.text(u"lines_sha256"));
    }
}

// --search takes its text literally on both stores, LIKE's own characters too, and finds the same records
// on the server whether or not it has the trigram index yet: a server of schema version 2 is still used
// (stations can be given this program before the server is upgraded) and init upgrades it.
TEST_F(JournalServer, SearchFindsTheSameRecordsLocallyAndOnTheServerBeforeAndAfterItsUpgrade) {
    QString error;
    auto local = Store::openSqlite(folder("a") + QStringLiteral("/lorimet.db"), error);
    ASSERT_TRUE(local) << error.toStdString();
    const char* const descriptions[] = {"Сток 50% (ГСО)", "Сток 5", "проба a_b", "проба a\\b", "ПРОБА ab"};
    int n = 0;
    for (const char* d : descriptions) {
        FinishedRun r = run(n++);
        r.description = QString::fromUtf8(d);
        RecorderOptions o;
        o.station = {QStringLiteral("00000000-0000-4000-8000-0000000000bb"), QStringLiteral("s"), {}};
        Record record = recordOf(r, o);
        ASSERT_EQ(local->append(record, error), AppendResult::Added) << error.toStdString();
    }
    auto remote = server();
    ASSERT_TRUE(remote);
    ASSERT_EQ(shipWaiting(*local, *remote, cluster.url()).shipped, 5);
    const struct {
        const char* search;
        size_t found;
    } searches[] = {{"50%", 1},  {"%", 1},     {"a_b", 1}, {"_", 1},        {"\\", 1},
                    {"сток", 2}, {"Проба", 3}, {"ab", 1},  {"нет такой", 0}};
    auto expectSearches = [&](Store& store, const char* which) {
        for (const auto& c : searches) {
            SCOPED_TRACE(std::string(which) + ": " + c.search);
            ListFilter filter;
            filter.search = QString::fromUtf8(c.search);
            EXPECT_EQ(store.list(filter, error).size(), c.found) << error.toStdString();
        }
    };
    expectSearches(*local, "local");
    expectSearches(*remote, "server");

    // The server as a station of the earlier program found it: version 2, without the trigram index.
    remote.reset();
    ASSERT_TRUE(
        cluster.sql(QStringLiteral("DROP INDEX records_search; ALTER TABLE schema_version DISABLE TRIGGER "
                                   "schema_version_no_change; DELETE FROM schema_version; INSERT INTO "
                                   "schema_version VALUES (2, 'earlier'); ALTER TABLE schema_version "
                                   "ENABLE TRIGGER schema_version_no_change"),
                    &error))
        << error.toStdString();
    remote = server();
    ASSERT_TRUE(remote);
    EXPECT_EQ(remote->counts(error)->schemaVersion, 2);
    expectSearches(*remote, "server of version 2");
    remote.reset();
    const Tool init = tool({QStringLiteral("--journal"), cluster.url(), QStringLiteral("init")});
    ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
    remote = server();
    ASSERT_TRUE(remote);
    EXPECT_EQ(remote->counts(error)->schemaVersion, Store::kSchemaVersion);
    expectSearches(*remote, "server upgraded");
    QString output;
    EXPECT_TRUE(cluster.sql(QStringLiteral("SELECT 'index: ' || indexname FROM pg_indexes WHERE indexname = "
                                           "'records_search'"),
                            &output));
    EXPECT_TRUE(output.contains(QStringLiteral("index: records_search"))) << output.toStdString();
}

// The GRANTs docs/journal.md gives a station's role: it records and lists, and can change nothing.
TEST_F(JournalServer, AStationRoleWithInsertAndSelectOnlyRecordsAndLists) {
    QString error;
    ASSERT_TRUE(cluster.sql(QStringLiteral("CREATE ROLE station LOGIN; GRANT SELECT, INSERT ON records, "
                                           "record_lines, schema_version TO station"),
                            &error))
        << error.toStdString();
    const QString url = cluster.url(QStringLiteral("station"));
    auto recorder = startRecorder(folder("a"), url, QStringLiteral("live"), QStringLiteral("test"),
                                  [](const QString& m) { ADD_FAILURE() << m.toStdString(); });
    for (int n = 0; n < 3; ++n)
        recorder->runFinished(run(n));
    EXPECT_TRUE(recorder->waitShipped(10s));
    recorder.reset();
    const Tool listed = tool({QStringLiteral("--journal"), url, QStringLiteral("list"),
                              QStringLiteral("--format"), QStringLiteral("json")});
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_EQ(listed.out.count(u'\n'), 3);
    EXPECT_EQ(tool({QStringLiteral("--journal"), url, QStringLiteral("verify")}).exitCode, 0);
    // Shipped again (its acknowledgement lost), a record is left as it is: the role needs no UPDATE.
    auto local = Store::openExisting(folder("a") + QStringLiteral("/lorimet.db"), error);
    auto remote = server(QStringLiteral("station"));
    ASSERT_TRUE(local && remote);
    const auto all = local->list({}, error);
    EXPECT_EQ(remote->ship(all, error), AppendResult::AlreadyThere) << error.toStdString();
    {
        QSqlDatabase s = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("station"));
        s.setHostName(cluster.socketFolder());
        s.setUserName(QStringLiteral("station"));
        s.setDatabaseName(QStringLiteral("postgres"));
        ASSERT_TRUE(s.open()) << s.lastError().text().toStdString();
        QSqlQuery change(s);
        EXPECT_FALSE(change.exec(QStringLiteral("UPDATE records SET bod_initial = 1")));
        EXPECT_TRUE(change.lastError().text().contains(QStringLiteral("permission denied")))
            << change.lastError().text().toStdString();
        EXPECT_FALSE(change.exec(QStringLiteral("DELETE FROM records")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("station"));
}

} // namespace

// A note on another station's record, made from the server's list: it joins this station's own chain
// and reaches the server at once; nothing of the record it concerns changes.
TEST_F(JournalServer, AnAnnotationOfAnotherStationsRecordIsShippedAtOnce) {
    EXPECT_TRUE(replayDay(folder("a"), cluster.url()).isEmpty());
    QString error;
    auto ofKind = [](const char* kind) {
        ListFilter f;
        f.kind = QLatin1StringView(kind).toString();
        return f;
    };
    const auto before = server()->list(ofKind("analysis"), error);
    ASSERT_EQ(before.size(), 2u) << error.toStdString();
    const Tool marked = journal(folder("b"), {QStringLiteral("annotate"), before[1].text(u"id"),
                                              QStringLiteral("--note"), QStringLiteral("повторить пробу")});
    ASSERT_EQ(marked.exitCode, 0) << marked.err.toStdString();
    EXPECT_FALSE(marked.out.contains(QStringLiteral("waits"))) << marked.out.toStdString();
    const auto notes = server()->list(ofKind("annotation"), error);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].text(u"corrects"), before[1].text(u"id"));
    EXPECT_NE(notes[0].text(u"station"), before[1].text(u"station"));
    EXPECT_EQ(notes[0].value(u"invalidates"), QVariant(false));
    EXPECT_EQ(server()->find(before[1].text(u"id"), false, error)->values, before[1].values);
    const Tool verified = journal(folder("b"), {QStringLiteral("verify")});
    EXPECT_EQ(verified.exitCode, 0) << verified.err.toStdString();
    EXPECT_TRUE(verified.out.contains(QStringLiteral("5 records of 2 stations")))
        << verified.out.toStdString();
}
