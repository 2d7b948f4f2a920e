#include "journal/Store.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace lorimet::journal {

namespace {

QString newConnectionName() {
    static QAtomicInteger<int> counter;
    return QStringLiteral("lorimet-journal-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString columnType(FieldType type) {
    switch (type) {
    case FieldType::Text:
        return QStringLiteral("TEXT");
    case FieldType::Number:
        return QStringLiteral("REAL");
    case FieldType::Integer:
    case FieldType::Boolean:
        return QStringLiteral("INTEGER");
    }
    return {};
}

QStringList schemaStatements() {
    QStringList columns;
    for (const FieldInfo& f : kFields) {
        QString column = QLatin1StringView(f.name) + u' ' + columnType(f.type);
        const QLatin1StringView name(f.name);
        if (name == "id")
            column += QStringLiteral(" PRIMARY KEY");
        else if (name == "kind" || name == "status" || name == "station" || name == "seq" ||
                 name == "prev_hash" || name == "hash")
            column += QStringLiteral(" NOT NULL");
        columns << column;
    }
    QStringList s;
    s << QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL, applied_at TEXT NOT NULL)");
    // search_text: the description and the note case-folded by Qt (SQLite folds ASCII only), for --search.
    s << QStringLiteral("CREATE TABLE records (") + columns.join(QStringLiteral(", ")) +
             QStringLiteral(", search_text TEXT, UNIQUE (station, seq))");
    s << QStringLiteral("CREATE UNIQUE INDEX records_import_key ON records (import_key) WHERE import_key IS "
                        "NOT NULL");
    s << QStringLiteral("CREATE INDEX records_order ON records (finished_at, station, seq)");
    s << QStringLiteral("CREATE TABLE record_lines (record_id TEXT NOT NULL, n INTEGER NOT NULL, elapsed_ms "
                        "INTEGER NOT NULL, raw TEXT NOT NULL, signal REAL NOT NULL, smoothed REAL NOT NULL, "
                        "derivative REAL NOT NULL, temperature REAL NOT NULL, PRIMARY KEY (record_id, n)) "
                        "WITHOUT ROWID");
    // The program only ever inserts; a record is corrected by a new one that names it.
    for (const char* table : {"records", "record_lines", "schema_version"})
        for (const char* verb : {"UPDATE", "DELETE"})
            s << QStringLiteral("CREATE TRIGGER %1_no_%2 BEFORE %3 ON %1 BEGIN SELECT RAISE(ABORT, 'the "
                                "journal is append-only'); END")
                     .arg(QLatin1StringView(table), QLatin1StringView(verb).toString().toLower(),
                          QLatin1StringView(verb));
    return s;
}

QString sqlError(const QSqlQuery& q) {
    return q.lastError().text();
}

// The file is moved out of the way under a name that says why and when, with its WAL beside it.
QString keepAside(const QString& path, QString& error) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString target = path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = path + QStringLiteral(".damaged-") + stamp + u'-' + QString::number(n);
    if (!QFile::rename(path, target)) {
        error = QStringLiteral("cannot move %1 aside").arg(path);
        return {};
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        const QString side = path + QLatin1StringView(suffix);
        if (QFileInfo::exists(side))
            QFile::rename(side, target + QLatin1StringView(suffix));
    }
    return target;
}

QVariant readValue(FieldType type, const QVariant& v) {
    if (v.isNull())
        return {};
    switch (type) {
    case FieldType::Text:
        return v.toString().isEmpty() ? QVariant() : QVariant(v.toString());
    case FieldType::Number:
        return v.toDouble();
    case FieldType::Integer:
        return v.toLongLong();
    case FieldType::Boolean:
        return v.toLongLong() != 0;
    }
    return {};
}

QString searchText(const Record& r) {
    return (r.text(u"description") + u'\n' + r.text(u"note")).toCaseFolded();
}

QString selectColumns() {
    QStringList names;
    for (const FieldInfo& f : kFields)
        names << QLatin1StringView(f.name).toString();
    return names.join(QStringLiteral(", "));
}

Record readRecord(const QSqlQuery& q) {
    Record r;
    for (size_t i = 0; i < kFields.size(); ++i)
        r.values[i] = readValue(kFields[i].type, q.value(static_cast<int>(i)));
    return r;
}

bool readLines(QSqlDatabase& db, const QString& id, std::vector<RecordLine>& lines, QString& error) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT elapsed_ms, raw, signal, smoothed, derivative, temperature FROM "
                             "record_lines WHERE record_id = ? ORDER BY n"));
    q.addBindValue(id);
    if (!q.exec()) {
        error = sqlError(q);
        return false;
    }
    lines.clear();
    while (q.next())
        lines.push_back({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toDouble(),
                         q.value(3).toDouble(), q.value(4).toDouble(), q.value(5).toDouble()});
    return true;
}

} // namespace

std::unique_ptr<Store> Store::openSqlite(const QString& path, QString& error, QString* notice) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    return open(path, true, error, notice);
}

std::unique_ptr<Store> Store::openExisting(const QString& path, QString& error) {
    if (!QFileInfo(path).isFile()) {
        error = QStringLiteral("there is no journal %1").arg(path);
        return nullptr;
    }
    return open(path, false, error, nullptr);
}

std::unique_ptr<Store> Store::open(const QString& path, bool recover, QString& error, QString* notice) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QString name = newConnectionName();
        std::unique_ptr<Store> store(new Store(path, name));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            if (!db.isValid()) {
                error = QStringLiteral("the SQLite driver of Qt SQL is not installed (libqt6sql6-sqlite)");
                return nullptr;
            }
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
            if (!db.open()) {
                error = QStringLiteral("cannot open the journal %1: %2").arg(path, db.lastError().text());
                return nullptr;
            }
        }
        bool foreign = false;
        QString why;
        if (store->prepareSchema(why, foreign, recover))
            return store;
        store.reset(); // closes the connection before the file is moved
        if (!foreign || !recover || attempt > 0) {
            error = QStringLiteral("the journal %1 cannot be used: %2").arg(path, why);
            return nullptr;
        }
        const QString aside = keepAside(path, error);
        if (aside.isEmpty())
            return nullptr;
        if (notice)
            *notice =
                QStringLiteral("the journal %1 is damaged or no journal of lorimet (%2); it is kept as %3 "
                               "and a new journal is begun")
                    .arg(path, why, aside);
    }
    return nullptr;
}

Store::~Store() {
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

bool Store::prepareSchema(QString& error, bool& foreign, bool create) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    // The first statement reads the file's header: a file that is not SQLite fails here.
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))) {
        error = sqlError(q);
        foreign = true;
        return false;
    }
    QStringList tables;
    while (q.next())
        tables << q.value(0).toString();
    q.finish();
    if (!tables.isEmpty() && !tables.contains(QStringLiteral("schema_version"))) {
        error = QStringLiteral("it holds other tables (%1)").arg(tables.join(QStringLiteral(", ")));
        foreign = true;
        return false;
    }
    if (tables.isEmpty() && !create) {
        error = QStringLiteral("it holds no journal");
        foreign = true;
        return false;
    }
    if (!q.exec(QStringLiteral("PRAGMA journal_mode = WAL")) ||
        !q.exec(QStringLiteral("PRAGMA synchronous = FULL"))) {
        error = sqlError(q);
        foreign = true;
        return false;
    }
    if (tables.isEmpty()) {
        if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            error = sqlError(q);
            return false;
        }
        for (const QString& statement : schemaStatements())
            if (!q.exec(statement)) {
                error = sqlError(q);
                q.exec(QStringLiteral("ROLLBACK"));
                return false;
            }
        q.prepare(QStringLiteral("INSERT INTO schema_version (version, applied_at) VALUES (?, ?)"));
        q.addBindValue(kSchemaVersion);
        q.addBindValue(isoTime(QDateTime::currentDateTime()));
        if (!q.exec() || !q.exec(QStringLiteral("COMMIT"))) {
            error = sqlError(q);
            q.exec(QStringLiteral("ROLLBACK"));
            return false;
        }
        return true;
    }
    if (!q.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !q.next()) {
        error = sqlError(q);
        foreign = true;
        return false;
    }
    const int version = q.value(0).toInt();
    if (version > kSchemaVersion) {
        // A newer program's journal: left as it is, never moved aside.
        error = QStringLiteral("its schema version %1 is newer than this program's (%2)")
                    .arg(version)
                    .arg(kSchemaVersion);
        return false;
    }
    if (version < 1) {
        error = QStringLiteral("its schema version table is empty");
        foreign = true;
        return false;
    }
    // Later schema versions add their upgrade steps here, from `version` up to kSchemaVersion.
    return true;
}

AppendResult Store::append(Record& record, QString& error) {
    std::vector<Record*> one{&record};
    return appendAll(one, error);
}

AppendResult Store::appendAll(const std::vector<Record*>& records, QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        error = sqlError(q);
        return AppendResult::Failed;
    }
    bool added = false;
    for (Record* record : records) {
        const AppendResult r = insert(*record, error);
        if (r == AppendResult::Failed) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            return r;
        }
        added = added || r == AppendResult::Added;
    }
    if (!added) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return AppendResult::AlreadyThere;
    }
    if (!q.exec(QStringLiteral("COMMIT"))) {
        error = sqlError(q);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return AppendResult::Failed;
    }
    return AppendResult::Added;
}

AppendResult Store::insert(Record& record, QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    auto fail = [&](const QSqlQuery& failed) {
        error = sqlError(failed);
        return AppendResult::Failed;
    };
    const QVariant importKey = record.value(u"import_key");
    if (!importKey.isNull()) {
        q.prepare(QStringLiteral("SELECT 1 FROM records WHERE import_key = ?"));
        q.addBindValue(importKey);
        if (!q.exec())
            return fail(q);
        if (q.next()) {
            record.set(u"seq", QVariant()); // not numbered: it is not stored
            return AppendResult::AlreadyThere;
        }
    }
    const QString station = record.text(u"station");
    q.prepare(QStringLiteral("SELECT seq, hash FROM records WHERE station = ? ORDER BY seq DESC LIMIT 1"));
    q.addBindValue(station);
    if (!q.exec())
        return fail(q);
    qint64 seq = 1;
    QString prevHash = kChainStart;
    if (q.next()) {
        seq = q.value(0).toLongLong() + 1;
        prevHash = q.value(1).toString();
    }
    q.finish();
    if (record.text(u"kind") == u"analysis" && record.value(u"calibration_id").isNull() &&
        !record.value(u"rate_coefficient").isNull()) {
        // The calibration an analysis was measured against: this station's latest one that yielded the
        // coefficients the analysis used.
        q.prepare(QStringLiteral("SELECT id FROM records WHERE station = ? AND kind = 'calibration' AND "
                                 "rate_coefficient = ? AND range_coefficient = ? ORDER BY seq DESC LIMIT 1"));
        q.addBindValue(station);
        q.addBindValue(record.value(u"rate_coefficient"));
        q.addBindValue(record.value(u"range_coefficient"));
        if (!q.exec())
            return fail(q);
        if (q.next())
            record.set(u"calibration_id", q.value(0).toString());
        q.finish();
    }
    record.set(u"seq", seq);
    record.set(u"line_count", static_cast<qint64>(record.lines.size()));
    record.set(u"lines_sha256", linesDigest(record.lines));
    record.set(u"prev_hash", prevHash);
    record.set(u"hash", chainHash(prevHash, record));

    QStringList marks;
    for (size_t i = 0; i < kFields.size(); ++i)
        marks << QStringLiteral("?");
    q.prepare(QStringLiteral("INSERT INTO records (") + selectColumns() +
              QStringLiteral(", search_text) VALUES (") + marks.join(u',') + QStringLiteral(", ?)"));
    for (const QVariant& v : record.values)
        q.addBindValue(v);
    q.addBindValue(searchText(record));
    if (!q.exec())
        return fail(q);

    QSqlQuery lines(db);
    lines.prepare(QStringLiteral("INSERT INTO record_lines (record_id, n, elapsed_ms, raw, signal, smoothed, "
                                 "derivative, temperature) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    const QString id = record.text(u"id");
    qint64 n = 0;
    for (const RecordLine& l : record.lines) {
        lines.bindValue(0, id);
        lines.bindValue(1, n++);
        lines.bindValue(2, l.elapsedMs);
        lines.bindValue(3, l.raw);
        lines.bindValue(4, l.signal);
        lines.bindValue(5, l.smoothed);
        lines.bindValue(6, l.derivative);
        lines.bindValue(7, l.temperature);
        if (!lines.exec())
            return fail(lines);
    }
    return AppendResult::Added;
}

std::vector<Record> Store::list(const ListFilter& filter, QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QStringList where;
    QVariantList binds;
    if (!filter.from.isEmpty()) {
        where << QStringLiteral("substr(finished_at, 1, 10) >= ?");
        binds << filter.from;
    }
    if (!filter.to.isEmpty()) {
        where << QStringLiteral("substr(finished_at, 1, 10) <= ?");
        binds << filter.to;
    }
    if (!filter.kind.isEmpty()) {
        where << QStringLiteral("kind = ?");
        binds << filter.kind;
    }
    if (!filter.station.isEmpty()) {
        where << QStringLiteral("(station = ? OR station_name = ?)");
        binds << filter.station << filter.station;
    }
    if (!filter.search.isEmpty()) {
        where << QStringLiteral("instr(search_text, ?) > 0");
        binds << filter.search.toCaseFolded();
    }
    QString sql = QStringLiteral("SELECT ") + selectColumns() + QStringLiteral(" FROM records");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY finished_at, station, seq");
    if (filter.limit > 0)
        sql += QStringLiteral(" LIMIT ") + QString::number(filter.limit);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& b : binds)
        q.addBindValue(b);
    std::vector<Record> out;
    if (!q.exec()) {
        error = sqlError(q);
        return out;
    }
    while (q.next())
        out.push_back(readRecord(q));
    return out;
}

std::optional<Record> Store::find(const QString& id, bool withLines, QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT ") + selectColumns() + QStringLiteral(" FROM records WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec()) {
        error = sqlError(q);
        return std::nullopt;
    }
    if (!q.next())
        return std::nullopt;
    Record r = readRecord(q);
    if (withLines && !readLines(db, id, r.lines, error))
        return std::nullopt;
    return r;
}

std::optional<VerifyReport> Store::verify(QString& error, const std::optional<ChainAnchor>& anchor) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT ") + selectColumns() +
                QStringLiteral(" FROM records ORDER BY station, seq"))) {
        error = sqlError(q);
        return std::nullopt;
    }
    VerifyReport report;
    QString station;
    qint64 expectedSeq = 1;
    QString prevHash, prevPrevHash;
    VerifyFinding previous; // the record before, should it turn out to be the one inserted
    qint64 anchorStationLast = 0;
    QString anchorStationName, anchoredHash, anchoredId;
    while (q.next()) {
        Record r = readRecord(q);
        ++report.records;
        if (anchor && r.text(u"station") == anchor->station) {
            anchorStationLast = r.value(u"seq").toLongLong();
            anchorStationName = r.text(u"station_name");
            if (anchorStationLast == anchor->seq) {
                anchoredHash = r.text(u"hash");
                anchoredId = r.text(u"id");
            }
        }
        if (r.text(u"station") != station) {
            station = r.text(u"station");
            ++report.stations;
            expectedSeq = 1;
            prevHash = kChainStart;
            prevPrevHash.clear();
        }
        if (report.finding)
            continue; // counted, the first finding stays
        VerifyFinding f;
        f.station = station;
        f.stationName = r.text(u"station_name");
        f.seq = r.value(u"seq").toLongLong();
        f.recordId = r.text(u"id");
        const QString storedHash = r.text(u"hash");
        if (f.seq > expectedSeq) {
            f.seq = expectedSeq;
            f.recordId.clear();
            f.what = QStringLiteral("missing");
        } else if (r.text(u"prev_hash") != prevHash) {
            if (!prevPrevHash.isEmpty() && r.text(u"prev_hash") == prevPrevHash) {
                // It follows the record before the previous one: the previous one was put in between.
                f = previous;
                f.what = QStringLiteral("inserted");
            } else {
                // It follows a record that is no longer there; the records after were renumbered.
                f.what = QStringLiteral("missing before");
            }
        } else if (chainHash(prevHash, r) != storedHash) {
            f.what = QStringLiteral("changed");
        } else {
            QString linesError;
            if (!readLines(db, f.recordId, r.lines, linesError)) {
                error = linesError;
                return std::nullopt;
            }
            if (linesDigest(r.lines) != r.text(u"lines_sha256") ||
                static_cast<qint64>(r.lines.size()) != r.value(u"line_count").toLongLong())
                f.what = QStringLiteral("lines changed");
        }
        if (!f.what.isEmpty())
            report.finding = f;
        previous = f;
        expectedSeq = r.value(u"seq").toLongLong() + 1;
        prevPrevHash = prevHash;
        prevHash = storedHash;
    }
    if (anchor && !report.finding) {
        VerifyFinding f;
        f.station = anchor->station;
        f.stationName = anchorStationName;
        if (anchorStationLast < anchor->seq) {
            // The chain ends before the last record the station wrote: records were removed from its end.
            f.seq = anchorStationLast + 1;
            f.what = QStringLiteral("missing");
            report.finding = f;
        } else if (anchoredHash != anchor->hash) {
            f.seq = anchor->seq;
            f.recordId = anchoredId;
            f.what = QStringLiteral("changed");
            report.finding = f;
        }
    }
    return report;
}

std::optional<Store::Counts> Store::counts(QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    Counts c;
    if (!q.exec(QStringLiteral("SELECT count(*), count(DISTINCT station) FROM records")) || !q.next()) {
        error = sqlError(q);
        return std::nullopt;
    }
    c.records = q.value(0).toLongLong();
    c.stations = q.value(1).toLongLong();
    if (!q.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !q.next()) {
        error = sqlError(q);
        return std::nullopt;
    }
    c.schemaVersion = q.value(0).toInt();
    return c;
}

} // namespace lorimet::journal
