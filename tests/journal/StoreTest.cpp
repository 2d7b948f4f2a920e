// The SQLite store: records numbered in their station's chain, append-only, verify finding what was
// changed, removed or inserted behind the program's back, and files that are no journal kept aside; and
// the station's lorimet.ini after a kill.
#include "journal/Store.h"

#include "fakes/SmallDisk.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

#include <functional>
#include <future>

using namespace lorimet::journal;
using lorimet::testing::SmallDisk;

namespace {

Record analysis(const QString& station, double bod, const QString& description = QStringLiteral("Проба")) {
    Record r;
    r.set(u"id", QUuid::createUuid().toString(QUuid::WithoutBraces));
    r.set(u"kind", QStringLiteral("analysis"));
    r.set(u"status", QStringLiteral("completed"));
    r.set(u"station", station);
    r.set(u"station_name", QStringLiteral("станция ") + station.left(4));
    r.set(u"finished_at", QStringLiteral("2026-12-06T12:00:00.000+03:00"));
    r.set(u"description", description);
    r.set(u"bod_initial", bod);
    r.set(u"rate_coefficient", 2.0);
    r.set(u"range_coefficient", 0.5);
    r.lines = {{0, QStringLiteral("95.00 %нас 20.3"), 95, 95, 0, 20.3},
               {500, QStringLiteral("94.00"), 94, 94.5, 1, 20.3}};
    return r;
}

// SQL behind the program's back, on a connection of its own.
void tamper(const QString& path, const QStringList& statements) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const QString& s : statements)
            ASSERT_TRUE(q.exec(s)) << s.toStdString() << ": " << q.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
}

class Stores : public ::testing::Test {
  protected:
    QString path() const { return dir.filePath(QStringLiteral("lorimet.db")); }
    std::unique_ptr<Store> open() {
        QString error;
        auto store = Store::openSqlite(path(), error);
        EXPECT_TRUE(store) << error.toStdString();
        return store;
    }
    // Two stations, three records each, interleaved; the ids in order of station A then B.
    std::vector<QString> fill(Store& store) {
        std::vector<QString> ids;
        for (int k = 0; k < 3; ++k)
            for (const QString& station : {stationA, stationB}) {
                Record r = analysis(station, 10 + k);
                QString error;
                EXPECT_EQ(store.append(r, error), AppendResult::Added) << error.toStdString();
                ids.push_back(r.text(u"id"));
            }
        return ids;
    }
    QTemporaryDir dir;
    const QString stationA = QStringLiteral("aaaaaaaa-0000-4000-8000-000000000000");
    const QString stationB = QStringLiteral("bbbbbbbb-0000-4000-8000-000000000000");
};

TEST_F(Stores, NumberEachStationsChainAndReadRecordsBackAsWritten) {
    auto store = open();
    Record first = analysis(stationA, 12.5, QStringLiteral("р. Исеть; створ \"2\""));
    first.set(u"invalidates", true);
    QString error;
    ASSERT_EQ(store->append(first, error), AppendResult::Added);
    fill(*store);
    const auto back = store->find(first.text(u"id"), true, error);
    ASSERT_TRUE(back);
    for (size_t i = 0; i < kFields.size(); ++i)
        EXPECT_EQ(back->values[i], first.values[i]) << kFields[i].name;
    ASSERT_EQ(back->lines.size(), 2u);
    EXPECT_EQ(back->lines[1].raw, QStringLiteral("94.00"));
    EXPECT_EQ(back->lines[1].smoothed, 94.5);
    EXPECT_EQ(back->value(u"seq").toLongLong(), 1);
    EXPECT_EQ(back->text(u"prev_hash"), kChainStart);
    EXPECT_EQ(back->value(u"line_count").toLongLong(), 2);

    ListFilter ofA;
    ofA.station = stationA;
    const auto a = store->list(ofA, error);
    ASSERT_EQ(a.size(), 4u);
    for (size_t k = 0; k < a.size(); ++k)
        EXPECT_EQ(a[k].value(u"seq").toLongLong(), static_cast<qint64>(k + 1));
    EXPECT_EQ(a[1].text(u"prev_hash"), a[0].text(u"hash"));
    ListFilter search;
    search.search = QStringLiteral("ИСЕТЬ");
    EXPECT_EQ(store->list(search, error).size(), 1u);
    ListFilter limited;
    limited.limit = 2;
    EXPECT_EQ(store->list(limited, error).size(), 2u);
    const auto report = store->verify(error);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->records, 7);
    EXPECT_EQ(report->stations, 2);
    EXPECT_FALSE(report->finding);
}

TEST_F(Stores, RefuseUpdatesAndDeletes) {
    auto store = open();
    fill(*store);
    store.reset();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
    db.setDatabaseName(path());
    ASSERT_TRUE(db.open());
    for (const char* sql :
         {"UPDATE records SET bod_initial = 1", "DELETE FROM records", "DELETE FROM record_lines",
          "UPDATE record_lines SET signal = 0", "DELETE FROM schema_version"}) {
        QSqlQuery q(db);
        EXPECT_FALSE(q.exec(QString::fromUtf8(sql))) << sql;
        EXPECT_TRUE(q.lastError().text().contains(QStringLiteral("append-only"))) << sql;
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));
}

struct Tampering {
    const char* name;
    QStringList sql; // %1: station A's second record's id
    qint64 seq;      // the record named
    bool named;      // the finding carries the record's id
    const char* what;
};

TEST_F(Stores, VerifyNamesTheFirstRecordChangedRemovedOrInserted) {
    const Tampering cases[] = {
        {"a result changed",
         {"DROP TRIGGER records_no_update", "UPDATE records SET bod_initial = 99 WHERE id = '%1'"},
         2,
         true,
         "changed"},
        {"a line changed",
         {"DROP TRIGGER record_lines_no_update",
          "UPDATE record_lines SET signal = 1 WHERE record_id = '%1' AND n = 1"},
         2,
         true,
         "lines changed"},
        {"a record removed",
         {"DROP TRIGGER records_no_delete", "DELETE FROM records WHERE id = '%1'"},
         2,
         false,
         "missing"},
        {"a record removed and the rest renumbered",
         {"DROP TRIGGER records_no_delete", "DROP TRIGGER records_no_update",
          "DELETE FROM records WHERE id = '%1'",
          "UPDATE records SET seq = seq - 1 WHERE station = 'aaaaaaaa-0000-4000-8000-000000000000' AND seq > "
          "2"},
         2,
         true,
         "missing before"},
    };
    for (const Tampering& t : cases) {
        SCOPED_TRACE(t.name);
        QFile::remove(path());
        QFile::remove(path() + QStringLiteral("-wal"));
        QFile::remove(path() + QStringLiteral("-shm"));
        auto store = open();
        const auto ids = fill(*store);
        store.reset();
        QStringList sql;
        for (const QString& s : t.sql)
            sql << QString(s).replace(QStringLiteral("%1"), ids[2]);
        tamper(path(), sql);
        QString error;
        store = Store::openExisting(path(), error);
        ASSERT_TRUE(store) << error.toStdString();
        const auto report = store->verify(error);
        ASSERT_TRUE(report) << error.toStdString();
        ASSERT_TRUE(report->finding);
        const VerifyFinding& f = *report->finding;
        EXPECT_EQ(f.station, stationA);
        EXPECT_EQ(f.seq, t.seq);
        EXPECT_EQ(f.what, QString::fromUtf8(t.what));
        if (t.named) // the record itself, or the one the removed record came before
            EXPECT_EQ(f.recordId, QString::fromUtf8(t.what) == u"missing before" ? ids[4] : ids[2]);
        else
            EXPECT_TRUE(f.recordId.isEmpty());
    }
}

// A forger who knows the canonical form can seal a record of his own, but not put it between two records
// without breaking the link to the next one.
TEST_F(Stores, VerifyNamesARecordInsertedIntoAChain) {
    auto store = open();
    const auto ids = fill(*store);
    QString error;
    const auto first = store->find(ids[0], false, error);
    ASSERT_TRUE(first);
    store.reset();
    Record forged;
    forged.set(u"id", QStringLiteral("forged"));
    forged.set(u"kind", QStringLiteral("analysis"));
    forged.set(u"status", QStringLiteral("completed"));
    forged.set(u"station", stationA);
    forged.set(u"seq", qint64(2));
    forged.set(u"line_count", qint64(0));
    forged.set(u"lines_sha256", linesDigest({}));
    const QString hash = chainHash(first->text(u"hash"), forged);
    tamper(
        path(),
        {QStringLiteral("DROP TRIGGER records_no_update"),
         QStringLiteral("UPDATE records SET seq = seq + 10 WHERE station = '%1' AND seq >= 2").arg(stationA),
         QStringLiteral("UPDATE records SET seq = seq - 9 WHERE station = '%1' AND seq >= 12").arg(stationA),
         QStringLiteral("INSERT INTO records (id, kind, status, station, seq, line_count, lines_sha256, "
                        "prev_hash, hash) VALUES ('forged', 'analysis', 'completed', '%1', 2, 0, '%2', "
                        "'%3', '%4')")
             .arg(stationA, linesDigest({}), first->text(u"hash"), hash)});
    store = Store::openExisting(path(), error);
    ASSERT_TRUE(store);
    const auto report = store->verify(error);
    ASSERT_TRUE(report && report->finding);
    EXPECT_EQ(report->finding->recordId, QStringLiteral("forged"));
    EXPECT_EQ(report->finding->seq, 2);
    EXPECT_EQ(report->finding->what, QStringLiteral("inserted"));
}

TEST_F(Stores, AFileThatIsNoJournalIsKeptAsideAndANewOneBegun) {
    struct Case {
        const char* name;
        std::function<void(const QString&)> make;
    };
    const Case cases[] = {
        {"not SQLite",
         [](const QString& p) {
             QFile f(p);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(QByteArray("SQLite format 3\0 but torn off here", 34) + QByteArray(4000, '\x5a'));
         }},
        {"another program's database",
         [](const QString& p) {
             tamper(p, {QStringLiteral("CREATE TABLE orders (n INTEGER)"),
                        QStringLiteral("INSERT INTO orders VALUES (1)")});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        c.make(path());
        const QByteArray before = [&] {
            QFile f(path());
            EXPECT_TRUE(f.open(QIODevice::ReadOnly));
            return f.readAll();
        }();

        // Reading and checking a file changes nothing in it.
        QString error;
        EXPECT_FALSE(Store::openExisting(path(), error));
        EXPECT_FALSE(error.isEmpty());

        QString notice;
        auto store = Store::openSqlite(path(), error, &notice);
        ASSERT_TRUE(store) << error.toStdString();
        EXPECT_TRUE(notice.contains(QStringLiteral("kept as"))) << notice.toStdString();
        const QStringList aside =
            QDir(dir.path()).entryList({QStringLiteral("lorimet.db.damaged-*")}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        QFile kept(dir.filePath(aside[0]));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), before);
        EXPECT_TRUE(notice.contains(aside[0]));
        fill(*store);
        const auto report = store->verify(error);
        ASSERT_TRUE(report);
        EXPECT_EQ(report->records, 6);
    }
}

TEST_F(Stores, AJournalInAFolderNotYetMadeIsMade) {
    QString error;
    const QString deeper = dir.filePath(QStringLiteral("lab/journals/station.db"));
    auto store = Store::openSqlite(deeper, error);
    ASSERT_TRUE(store) << error.toStdString();
    fill(*store);
    EXPECT_TRUE(QFile::exists(deeper));
}

TEST_F(Stores, AJournalOfANewerSchemaIsLeftAlone) {
    { auto store = open(); }
    tamper(path(), {QStringLiteral("INSERT INTO schema_version VALUES (99, 'later')")});
    QString error, notice;
    EXPECT_FALSE(Store::openSqlite(path(), error, &notice));
    EXPECT_TRUE(error.contains(QStringLiteral("newer"))) << error.toStdString();
    EXPECT_TRUE(notice.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.damaged-*")}).isEmpty());
}

// A journal of version 2 is read as it is and upgraded when it is opened to record: the listing index then
// carries the search text, and the searches find what they found before.
TEST_F(Stores, AJournalOfVersionTwoIsReadAsItIsAndUpgradedToRecord) {
    {
        auto store = open();
        fill(*store);
    }
    tamper(path(), {QStringLiteral("DROP INDEX records_order_search"),
                    QStringLiteral("CREATE INDEX records_order ON records (finished_at, station, seq)"),
                    QStringLiteral("DROP TRIGGER schema_version_no_delete"),
                    QStringLiteral("DELETE FROM schema_version"),
                    QStringLiteral("INSERT INTO schema_version VALUES (2, 'earlier')")});
    auto indexes = [this] {
        QStringList names;
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
        db.setDatabaseName(path());
        if (db.open()) {
            QSqlQuery q(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND name LIKE "
                                       "'records_order%'"),
                        db);
            while (q.next())
                names << q.value(0).toString();
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("look"));
        return names;
    };
    ListFilter search;
    search.search = QStringLiteral("ПРОБА");
    QString error;
    {
        auto read = Store::openExisting(path(), error);
        ASSERT_TRUE(read) << error.toStdString();
        EXPECT_EQ(read->counts(error)->schemaVersion, 2);
        EXPECT_EQ(read->list(search, error).size(), 6u);
    }
    EXPECT_EQ(indexes(), QStringList{QStringLiteral("records_order")});
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->counts(error)->schemaVersion, Store::kSchemaVersion);
    EXPECT_EQ(indexes(), QStringList{QStringLiteral("records_order_search")});
    EXPECT_EQ(store->list(search, error).size(), 6u);
    search.limit = 2;
    EXPECT_EQ(store->list(search, error).size(), 2u);
    Record r = analysis(stationA, 20, QStringLiteral("после обновления"));
    EXPECT_EQ(store->append(r, error), AppendResult::Added) << error.toStdString();
    EXPECT_FALSE(store->verify(error)->finding);
}

} // namespace

TEST_F(Stores, AFullDiskIsNoDamageAndMovesNothingAside) {
    SmallDisk disk(1024 * 1024); // room for a journal with its WAL
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    const QString kept = disk.filePath(QStringLiteral("lorimet.db"));
    QString error, notice;
    {
        auto store = Store::openSqlite(kept, error);
        ASSERT_TRUE(store) << error.toStdString();
        Record r = analysis(stationA, 10);
        ASSERT_EQ(store->append(r, error), AppendResult::Added) << error.toStdString();
    }
    disk.fill();
    // The journal of the day and a journal begun on the full disk: neither is taken for damage.
    for (const QString& path : {kept, disk.filePath(QStringLiteral("fresh.db"))}) {
        SCOPED_TRACE(path.toStdString());
        auto store = Store::openSqlite(path, error, &notice);
        if (store) {
            Record r = analysis(stationA, 11);
            EXPECT_EQ(store->append(r, error), AppendResult::Failed);
        }
        EXPECT_TRUE(notice.isEmpty()) << notice.toStdString();
    }
    EXPECT_TRUE(QDir(disk.path()).entryList({QStringLiteral("*.damaged-*")}, QDir::Files).isEmpty());

    // Room again: the journal goes on with its record.
    disk.empty();
    auto store = Store::openSqlite(kept, error, &notice);
    ASSERT_TRUE(store) << error.toStdString();
    EXPECT_TRUE(notice.isEmpty()) << notice.toStdString();
    const auto report = store->verify(error);
    ASSERT_TRUE(report) << error.toStdString();
    EXPECT_EQ(report->records, 1);
}

// A program killed between making lorimet.ini.lock and writing its process id into it leaves the file
// empty; Qt takes such a lock over only once it is 30 s old. The station's writes must not wait for that:
// the anchor is written after every record, and the runs queue up behind it.
TEST(Station, AnEmptyLockFileLeftByAKillHoldsUpNoWriteOfLorimetIni) {
    QTemporaryDir dir;
    const QString lockFile = dir.filePath(QStringLiteral("lorimet.ini.lock"));
    auto leaveEmptyLock = [&] {
        QFile lock(lockFile);
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        ASSERT_TRUE(
            lock.setFileTime(QDateTime::currentDateTime().addSecs(-5), QFileDevice::FileModificationTime));
    };
    // Far below Qt's 30 s, far above what a write takes.
    auto withinTenSeconds = [](const std::function<void()>& write) {
        auto done = std::async(std::launch::async, write);
        return done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    };
    leaveEmptyLock();
    Station station;
    EXPECT_TRUE(withinTenSeconds([&] { station = loadStation(dir.path()); }));
    leaveEmptyLock();
    const ChainAnchor anchor{dir.filePath(QStringLiteral("lorimet.db")), station.id, 7, QString(64, u'7')};
    EXPECT_TRUE(withinTenSeconds([&] { writeChainAnchor(dir.path(), anchor); }));
    const auto back = readChainAnchor(dir.path(), anchor.journal);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->seq, 7);
    EXPECT_EQ(loadStation(dir.path()).id, station.id);
    EXPECT_FALSE(QFile::exists(lockFile));
}
