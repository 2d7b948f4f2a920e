#include "journal/Store.h"
#include "journal/JournalUrl.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <tuple>

namespace lorimet::journal {

namespace {

QString newConnectionName() {
    static QAtomicInteger<int> counter;
    return QStringLiteral("lorimet-journal-%1").arg(counter.fetchAndAddRelaxed(1));
}

// PostgreSQL's REAL is single precision and its INTEGER 32 bits: the server gets the types that keep a
// double and a 64-bit number as SQLite's REAL and INTEGER do.
QString columnType(FieldType type, bool server) {
    switch (type) {
    case FieldType::Text:
        return QStringLiteral("TEXT");
    case FieldType::Number:
        return server ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL");
    case FieldType::Integer:
    case FieldType::Boolean:
        return server ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER");
    }
    return {};
}

// The outbox's acknowledgements: a record shipped to a server gets a row here once the server has
// committed it. Only ever inserted, like the records themselves; `server` is the URL it went to, so a
// station given another server ships its records there too.
QStringList shippedStatements() {
    return {QStringLiteral("CREATE TABLE shipped (record_id TEXT NOT NULL, server TEXT NOT NULL, shipped_at "
                           "TEXT NOT NULL, PRIMARY KEY (record_id, server))"),
            QStringLiteral("CREATE TRIGGER shipped_no_update BEFORE UPDATE ON shipped BEGIN SELECT "
                           "RAISE(ABORT, 'the journal is append-only'); END"),
            QStringLiteral("CREATE TRIGGER shipped_no_delete BEFORE DELETE ON shipped BEGIN SELECT "
                           "RAISE(ABORT, 'the journal is append-only'); END")};
}

// What makes --search fast (version 3). SQLite: the listing order's index carries the search text, so a
// search reads that index, a tenth of the table, and fetches only the records that match (found in their
// order, a --limit stops early). PostgreSQL: a trigram index that LIKE '%text%' uses, where the server has
// pg_trgm (a part of PostgreSQL since long, trusted: the journal's owner may add it); without it the search
// reads the table as before and finds the same records.
QStringList searchIndexStatements(bool server) {
    if (server)
        return {QStringLiteral(
            "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_extension WHERE extname = 'pg_trgm') THEN CREATE "
            "EXTENSION pg_trgm; END IF; CREATE INDEX records_search ON records USING gin (search_text "
            "gin_trgm_ops); EXCEPTION WHEN OTHERS THEN RAISE NOTICE 'lorimet: --search goes without the "
            "trigram index (pg_trgm): %', SQLERRM; END $$")};
    return {QStringLiteral(
                "CREATE INDEX records_order_search ON records (finished_at, station, seq, search_text)"),
            QStringLiteral("DROP INDEX IF EXISTS records_order")};
}

// What the window asks of every record it shows: the notes made on it, the analyses measured against a
// calibration, the records of one kind (a station's calibrations for the control charts). Without these
// each of them read the whole table.
QStringList referenceIndexStatements() {
    return {
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS records_corrects ON records (corrects) WHERE corrects IS NOT NULL"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS records_calibration ON records (calibration_id) WHERE calibration_id "
            "IS NOT NULL"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS records_kind ON records (kind, finished_at, station, seq)")};
}

QStringList schemaStatements(bool server) {
    QStringList columns;
    for (const FieldInfo& f : kFields) {
        QString column = QLatin1StringView(f.name) + u' ' + columnType(f.type, server);
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
    if (server)
        s << QStringLiteral("CREATE INDEX records_order ON records (finished_at, station, seq)");
    const QString integer = columnType(FieldType::Integer, server);
    const QString real = columnType(FieldType::Number, server);
    s << QStringLiteral("CREATE TABLE record_lines (record_id TEXT NOT NULL, n %1 NOT NULL, elapsed_ms "
                        "%1 NOT NULL, raw TEXT NOT NULL, signal %2 NOT NULL, smoothed %2 NOT NULL, "
                        "derivative %2 NOT NULL, temperature %2 NOT NULL, PRIMARY KEY (record_id, n))")
                 .arg(integer, real) +
             (server ? QString() : QStringLiteral(" WITHOUT ROWID"));
    s << searchIndexStatements(server);
    s << referenceIndexStatements();
    // The program only ever inserts; a record is corrected by a new one that names it.
    if (server) {
        s << QStringLiteral("CREATE FUNCTION journal_append_only() RETURNS trigger LANGUAGE plpgsql AS $$ "
                            "BEGIN RAISE EXCEPTION 'the journal is append-only'; END $$");
        for (const char* table : {"records", "record_lines", "schema_version"})
            s << QStringLiteral("CREATE TRIGGER %1_no_change BEFORE UPDATE OR DELETE OR TRUNCATE ON %1 FOR "
                                "EACH STATEMENT EXECUTE FUNCTION journal_append_only()")
                     .arg(QLatin1StringView(table));
        return s;
    }
    s << shippedStatements();
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

// Only a file that SQLite finds corrupt or no database at all is damage. A full disk, a lock, missing
// rights or an I/O error say nothing about the file: moved aside for them, a good journal would be left
// behind and a new chain begun.
bool isDamage(const QSqlQuery& q) {
    bool ok = false;
    const int code = q.lastError().nativeErrorCode().toInt(&ok) & 0xFF;
    constexpr int kCorrupt = 11;      // SQLITE_CORRUPT
    constexpr int kNotADatabase = 26; // SQLITE_NOTADB
    return ok && (code == kCorrupt || code == kNotADatabase);
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

// A value as bound to a statement: booleans are kept as the integers 0 and 1 in both stores.
QVariant bindable(const QVariant& v) {
    if (v.typeId() == QMetaType::Bool)
        return static_cast<qint64>(v.toBool() ? 1 : 0);
    return v;
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

// A value in libpq's key=value form: quoted, with its quotes and backslashes escaped.
QString conninfoValue(const QString& value) {
    QString v = value;
    v.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + v + u'\'';
}

// libpq's connection URI in the parts Qt SQL takes: host, port, user and database, the other parameters as
// connect options. A connection that hangs would keep the outbox's thread (and the program's exit) waiting:
// without a connect_timeout of the URL's own, 5 seconds.
void configureServer(QSqlDatabase& db, const QString& url) {
    const QUrl u(url);
    if (!u.host().isEmpty())
        db.setHostName(u.host());
    if (u.port() > 0)
        db.setPort(u.port());
    if (!u.userName().isEmpty())
        db.setUserName(u.userName());
    const QString path = u.path();
    if (path.size() > 1)
        db.setDatabaseName(path.mid(1));
    QStringList options;
    bool timeout = false;
    for (const auto& [key, value] : QUrlQuery(u).queryItems(QUrl::FullyDecoded)) {
        if (key == u"host")
            db.setHostName(value);
        else if (key == u"port")
            db.setPort(value.toInt());
        else if (key == u"user")
            db.setUserName(value);
        else if (key == u"dbname")
            db.setDatabaseName(value);
        else
            options << key + u'=' + conninfoValue(value);
        timeout = timeout || key == u"connect_timeout";
    }
    if (!timeout)
        options << QStringLiteral("connect_timeout=5");
    db.setConnectOptions(options.join(u';'));
}

// An element of a PostgreSQL array's text: quoted, its quotes and backslashes escaped.
QString arrayText(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        out += c;
    }
    return out + u'"';
}

} // namespace

std::unique_ptr<Store> Store::openServer(const QString& url, bool create, QString& error) {
    const QString name = newConnectionName();
    std::unique_ptr<Store> store(new Store(url, name));
    store->server_ = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        if (!db.isValid()) {
            error = QStringLiteral("the PostgreSQL driver of Qt SQL is not installed (libqt6sql6-psql)");
            return nullptr;
        }
        configureServer(db, url);
        if (!db.open()) {
            error = QStringLiteral("cannot reach the journal's server %1: %2")
                        .arg(url, db.lastError().text().trimmed());
            return nullptr;
        }
    }
    QString why;
    if (!store->prepareServerSchema(why, create)) {
        error = QStringLiteral("the journal on the server %1 cannot be used: %2").arg(url, why);
        return nullptr;
    }
    return store;
}

bool Store::prepareServerSchema(QString& error, bool create) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    // The catalog itself, not information_schema: its views cost a new connection (each lorimet-journal
    // command) tens of milliseconds.
    if (!q.exec(QStringLiteral("SELECT relname FROM pg_catalog.pg_class WHERE relnamespace = "
                               "current_schema()::regnamespace AND relname IN ('schema_version', 'records', "
                               "'record_lines')"))) {
        error = sqlError(q);
        return false;
    }
    QStringList tables;
    while (q.next())
        tables << q.value(0).toString();
    q.finish();
    if (!tables.contains(QStringLiteral("schema_version"))) {
        // The program never makes a server's schema: its administrator does, with lorimet-journal init.
        if (!create) {
            error = QStringLiteral("it holds no journal (its administrator makes one with lorimet-journal "
                                   "init)");
            return false;
        }
        if (tables.contains(QStringLiteral("records")) || tables.contains(QStringLiteral("record_lines"))) {
            error = QStringLiteral("it holds other tables named as the journal's");
            return false;
        }
        return applySchema(schemaStatements(true), error);
    }
    bool foreign = false;
    if (!checkVersion(error, foreign, create))
        return false;
    if (version_ < kOldestServerVersion) {
        error = QStringLiteral("its schema version %1 is older than this program's (%2): its administrator "
                               "upgrades it with lorimet-journal init")
                    .arg(version_)
                    .arg(kSchemaVersion);
        return false;
    }
    return true;
}

QString Store::beginStatement() const {
    // SQLite takes its write lock at once, so two writers never meet halfway through.
    return server_ ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE");
}

std::unique_ptr<Store> Store::openSqlite(const QString& path, QString& error, QString* notice,
                                         QString* keptAs) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    return open(path, true, error, notice, keptAs);
}

std::unique_ptr<Store> Store::openExisting(const QString& path, QString& error) {
    if (!QFileInfo(path).isFile()) {
        error = QStringLiteral("there is no journal %1").arg(path);
        return nullptr;
    }
    return open(path, false, error, nullptr, nullptr);
}

std::unique_ptr<Store> Store::open(const QString& path, bool recover, QString& error, QString* notice,
                                   QString* keptAs) {
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
        if (keptAs)
            *keptAs = aside;
        if (notice)
            *notice =
                QStringLiteral("the journal %1 is damaged or no journal of lorimet (%2); it is kept as %3 "
                               "and a new journal is begun")
                    .arg(path, why, aside);
    }
    return nullptr;
}

Store::Store(QString path, QString connection) : path_(std::move(path)), connection_(std::move(connection)) {}

Store::~Store() {
    inserts_.reset(); // its statements before their connection
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
        foreign = isDamage(q);
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
        foreign = isDamage(q);
        return false;
    }
    if (tables.isEmpty())
        return applySchema(schemaStatements(false), error);
    return checkVersion(error, foreign, create);
}

// The statements in one transaction, then the version they make.
bool Store::applySchema(const QStringList& statements, QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    if (!q.exec(beginStatement())) {
        error = sqlError(q);
        return false;
    }
    for (const QString& statement : statements)
        if (!q.exec(statement)) {
            error = sqlError(q);
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            return false;
        }
    q.prepare(QStringLiteral("INSERT INTO schema_version (version, applied_at) VALUES (?, ?)"));
    q.addBindValue(kSchemaVersion);
    q.addBindValue(isoTime(QDateTime::currentDateTime()));
    if (!q.exec() || !q.exec(QStringLiteral("COMMIT"))) {
        error = sqlError(q);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    version_ = kSchemaVersion;
    return true;
}

bool Store::checkVersion(QString& error, bool& foreign, bool upgrade) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !q.next()) {
        error = sqlError(q);
        foreign = q.lastError().isValid() ? isDamage(q) : true;
        return false;
    }
    const int version = q.value(0).toInt();
    q.finish();
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
    version_ = version;
    if (version == kSchemaVersion || !upgrade)
        return true;
    // Version 2 added the outbox's acknowledgements (a local journal only: the server's schema began at
    // version 2), version 3 the indexes that make --search fast, version 4 those of a record's references.
    QStringList steps;
    if (version < 2 && !server_)
        steps << shippedStatements();
    if (version < 3)
        steps << searchIndexStatements(server_);
    if (version < 4)
        steps << referenceIndexStatements();
    return applySchema(steps, error);
}

AppendResult Store::append(Record& record, QString& error) {
    std::vector<Record*> one{&record};
    return appendAll(one, error);
}

// The statements of an append, prepared once for all the records the store appends: preparing them again for
// each record and binding a run's lines one statement at a time cost an import of thousands of runs more
// than the writing itself.
struct Store::Inserts {
    // Lines go in statements of this many rows; the rest of a run one row at a time.
    static constexpr int kChunk = 64;

    explicit Inserts(const QSqlDatabase& db)
        : importKnown(db), last(db), calibration(db), record(db), line(db), lineChunk(db) {}

    bool prepare(bool server, QString& error) {
        QStringList marks;
        for (size_t i = 0; i < kFields.size(); ++i)
            marks << QStringLiteral("?");
        const QString lines =
            QStringLiteral("INSERT INTO record_lines (record_id, n, elapsed_ms, raw, signal, "
                           "smoothed, derivative, temperature) ");
        // A chunk binds the record and its first line's number once, each line's own six values after them.
        // PostgreSQL types the parameters of a VALUES list as text unless told; SQLite needs no casts.
        const QString row = server
                                ? QStringLiteral("(%1, ?::bigint, ?::text, ?::float8, ?::float8, ?::float8, "
                                                 "?::float8)")
                                : QStringLiteral("(%1, ?, ?, ?, ?, ?, ?)");
        QStringList chunkRows;
        for (int i = 0; i < kChunk; ++i)
            chunkRows << row.arg(i);
        const QString chunk =
            lines +
            (server ? QStringLiteral("SELECT ?::text, ?::bigint + column1, ")
                    : QStringLiteral("SELECT ?, ? + column1, ")) +
            QStringLiteral("column2, column3, column4, column5, column6, column7 FROM (VALUES ") +
            chunkRows.join(u',') + QStringLiteral(") AS chunk");
        for (QSqlQuery* q : {&importKnown, &last, &calibration})
            q->setForwardOnly(true);
        const std::pair<QSqlQuery*, QString> statements[] = {
            {&importKnown, QStringLiteral("SELECT 1 FROM records WHERE import_key = ?")},
            {&last,
             QStringLiteral("SELECT seq, hash FROM records WHERE station = ? ORDER BY seq DESC LIMIT 1")},
            // The calibration an analysis was measured against: this station's latest one that yielded the
            // coefficients the analysis used.
            {&calibration,
             QStringLiteral("SELECT id FROM records WHERE station = ? AND kind = 'calibration' AND "
                            "rate_coefficient = ? AND range_coefficient = ? ORDER BY seq DESC "
                            "LIMIT 1")},
            {&record, QStringLiteral("INSERT INTO records (") + selectColumns() +
                          QStringLiteral(", search_text) VALUES (") + marks.join(u',') +
                          QStringLiteral(", ?)")},
            {&line, lines + QStringLiteral("VALUES (?, ?, ?, ?, ?, ?, ?, ?)")},
            {&lineChunk, chunk},
        };
        for (const auto& [q, sql] : statements)
            if (!q->prepare(sql)) {
                error = sqlError(*q);
                return false;
            }
        return true;
    }

    QSqlQuery importKnown, last, calibration, record, line, lineChunk;
};

AppendResult Store::appendAll(const std::vector<Record*>& records, QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    if (!q.exec(beginStatement())) {
        error = sqlError(q);
        return AppendResult::Failed;
    }
    if (!inserts_) {
        // A store that writes gets a page cache that holds a long run's or an import group's new pages
        // until the commit: with SQLite's 2 MB they spilled into the WAL halfway and were written again,
        // three times the writing in all. Only a writer: a reader's scan through a large cache costs it
        // fresh memory, page by page, for pages it reads once.
        if (!server_)
            QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = -32768"));
        auto inserts = std::make_unique<Inserts>(db);
        if (!inserts->prepare(server_, error)) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            return AppendResult::Failed;
        }
        inserts_ = std::move(inserts);
    }
    bool added = false;
    for (Record* record : records) {
        const AppendResult r = insert(*record, *inserts_, error);
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

AppendResult Store::insert(Record& record, Inserts& s, QString& error) {
    auto fail = [&](const QSqlQuery& failed) {
        error = sqlError(failed);
        return AppendResult::Failed;
    };
    const QVariant importKey = record.value(u"import_key");
    if (!importKey.isNull()) {
        s.importKnown.bindValue(0, importKey);
        if (!s.importKnown.exec())
            return fail(s.importKnown);
        const bool known = s.importKnown.next();
        s.importKnown.finish();
        if (known) {
            record.set(u"seq", QVariant()); // not numbered: it is not stored
            return AppendResult::AlreadyThere;
        }
    }
    const QString station = record.text(u"station");
    s.last.bindValue(0, station);
    if (!s.last.exec())
        return fail(s.last);
    qint64 seq = 1;
    QString prevHash = kChainStart;
    if (s.last.next()) {
        seq = s.last.value(0).toLongLong() + 1;
        prevHash = s.last.value(1).toString();
    }
    s.last.finish();
    if (record.text(u"kind") == u"analysis" && record.value(u"calibration_id").isNull() &&
        !record.value(u"rate_coefficient").isNull()) {
        s.calibration.bindValue(0, station);
        s.calibration.bindValue(1, record.value(u"rate_coefficient"));
        s.calibration.bindValue(2, record.value(u"range_coefficient"));
        if (!s.calibration.exec())
            return fail(s.calibration);
        if (s.calibration.next())
            record.set(u"calibration_id", s.calibration.value(0).toString());
        s.calibration.finish();
    }
    record.set(u"seq", seq);
    record.set(u"line_count", static_cast<qint64>(record.lines.size()));
    record.set(u"lines_sha256", linesDigest(record.lines));
    record.set(u"prev_hash", prevHash);
    record.set(u"hash", chainHash(prevHash, record));

    for (size_t i = 0; i < record.values.size(); ++i)
        s.record.bindValue(static_cast<int>(i), bindable(record.values[i]));
    s.record.bindValue(static_cast<int>(record.values.size()), searchText(record));
    if (!s.record.exec())
        return fail(s.record);

    const QVariant id = record.text(u"id");
    const size_t count = record.lines.size();
    size_t n = 0;
    auto bindValues = [&](QSqlQuery& q, int at) {
        const RecordLine& l = record.lines[n++];
        q.bindValue(at, l.elapsedMs);
        q.bindValue(at + 1, l.raw);
        q.bindValue(at + 2, l.signal);
        q.bindValue(at + 3, l.smoothed);
        q.bindValue(at + 4, l.derivative);
        q.bindValue(at + 5, l.temperature);
    };
    while (count - n >= static_cast<size_t>(Inserts::kChunk)) {
        s.lineChunk.bindValue(0, id);
        s.lineChunk.bindValue(1, static_cast<qint64>(n));
        for (int row = 0; row < Inserts::kChunk; ++row)
            bindValues(s.lineChunk, 2 + row * 6);
        if (!s.lineChunk.exec())
            return fail(s.lineChunk);
    }
    while (n < count) {
        s.line.bindValue(0, id);
        s.line.bindValue(1, static_cast<qint64>(n));
        bindValues(s.line, 2);
        if (!s.line.exec())
            return fail(s.line);
    }
    return AppendResult::Added;
}

std::vector<Record> Store::list(const ListFilter& filter, QString& error) {
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
        const QString folded = filter.search.toCaseFolded();
        if (server_) {
            // LIKE, which the trigram index serves, with its own characters taken literally (backslash is
            // its escape by default).
            QString pattern = folded;
            pattern.replace(u'\\', QStringLiteral("\\\\"))
                .replace(u'%', QStringLiteral("\\%"))
                .replace(u'_', QStringLiteral("\\_"));
            where << QStringLiteral("search_text LIKE ?");
            binds << u'%' + pattern + u'%';
        } else {
            where << QStringLiteral("instr(search_text, ?) > 0");
            binds << folded;
        }
    }
    if (filter.after) {
        where << QStringLiteral("(finished_at, station, seq) > (?, ?, ?)");
        binds << filter.after->finishedAt << filter.after->station << filter.after->seq;
    }
    return select(where, binds, filter.limit, error);
}

std::vector<Record> Store::select(const QStringList& where, const QVariantList& binds, int limit,
                                  QString& error) {
    QString sql = QStringLiteral("SELECT ") + selectColumns() + QStringLiteral(" FROM records");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY finished_at, station, seq");
    if (limit > 0)
        sql += QStringLiteral(" LIMIT ") + QString::number(limit);
    QSqlQuery q(QSqlDatabase::database(connection_, false));
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
    // The lines are read while the records are walked: Qt's PostgreSQL driver streams a forward-only
    // result row by row and loses it when another query runs on the connection, so there the records
    // come whole.
    q.setForwardOnly(!server_);
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

AppendResult Store::ship(const std::vector<Record>& records, QString& error) {
    if (!server_) {
        error = QStringLiteral("records are shipped to a server only");
        return AppendResult::Failed;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    if (!q.exec(beginStatement())) {
        error = sqlError(q);
        return AppendResult::Failed;
    }
    auto fail = [&](const QSqlQuery& failed) {
        error = sqlError(failed);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return AppendResult::Failed;
    };
    QStringList marks;
    for (size_t i = 0; i < kFields.size(); ++i)
        marks << QStringLiteral("?");
    // The id is the key: a record shipped again (its acknowledgement lost) is stored once. Another record
    // under a station's number that is taken is an error, never skipped.
    const QString sql = QStringLiteral("INSERT INTO records (") + selectColumns() +
                        QStringLiteral(", search_text) VALUES (") + marks.join(u',') +
                        QStringLiteral(", ?) ON CONFLICT (id) DO NOTHING");
    bool added = false;
    for (const Record& record : records) {
        q.prepare(sql);
        for (const QVariant& v : record.values)
            q.addBindValue(bindable(v));
        q.addBindValue(searchText(record));
        if (!q.exec())
            return fail(q);
        if (q.numRowsAffected() != 1)
            continue; // there already, with its lines
        added = true;
        // A run's lines in one statement, each column an array: one round trip and one short statement
        // for the server to read, not one for each line.
        QStringList n, elapsed, raw, signal, smoothed, derivative, temperature;
        for (size_t k = 0; k < record.lines.size(); ++k) {
            const RecordLine& l = record.lines[k];
            n << QString::number(k);
            elapsed << QString::number(l.elapsedMs);
            raw << arrayText(l.raw);
            signal << canonicalNumber(l.signal);
            smoothed << canonicalNumber(l.smoothed);
            derivative << canonicalNumber(l.derivative);
            temperature << canonicalNumber(l.temperature);
        }
        QSqlQuery lines(db);
        lines.prepare(QStringLiteral(
            "INSERT INTO record_lines (record_id, n, elapsed_ms, raw, signal, smoothed, derivative, "
            "temperature) SELECT ?, t.* FROM unnest(?::bigint[], ?::bigint[], ?::text[], ?::float8[], "
            "?::float8[], ?::float8[], ?::float8[]) AS t"));
        lines.addBindValue(record.text(u"id"));
        for (const QStringList* column : {&n, &elapsed, &raw, &signal, &smoothed, &derivative, &temperature})
            lines.addBindValue(u'{' + column->join(u',') + u'}');
        if (!lines.exec())
            return fail(lines);
    }
    if (!q.exec(QStringLiteral("COMMIT"))) {
        error = sqlError(q);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return AppendResult::Failed;
    }
    return added ? AppendResult::Added : AppendResult::AlreadyThere;
}

std::vector<Record> Store::waiting(const QString& server, int limit, QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QString sql = QStringLiteral("SELECT ") + selectColumns() + QStringLiteral(" FROM records");
    if (version_ >= 2)
        sql += QStringLiteral(" WHERE NOT EXISTS (SELECT 1 FROM shipped WHERE shipped.record_id = records.id "
                              "AND shipped.server = ?)");
    sql += QStringLiteral(" ORDER BY station, seq LIMIT ") + QString::number(limit);
    q.prepare(sql);
    if (version_ >= 2)
        q.addBindValue(server);
    std::vector<Record> out;
    if (!q.exec()) {
        error = sqlError(q);
        return out;
    }
    while (q.next())
        out.push_back(readRecord(q));
    q.finish();
    for (Record& r : out)
        if (!readLines(db, r.text(u"id"), r.lines, error))
            return {};
    return out;
}

std::optional<qint64> Store::waitingCount(const QString& server, QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    if (version_ >= 2) {
        q.prepare(QStringLiteral("SELECT count(*) FROM records WHERE NOT EXISTS (SELECT 1 FROM shipped WHERE "
                                 "shipped.record_id = records.id AND shipped.server = ?)"));
        q.addBindValue(server);
    } else {
        q.prepare(QStringLiteral("SELECT count(*) FROM records"));
    }
    if (!q.exec() || !q.next()) {
        error = sqlError(q);
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

bool Store::markShipped(const QStringList& ids, const QString& server, QString& error) {
    if (version_ < 2) {
        error = QStringLiteral("the journal %1 is of schema version %2: the program upgrades it when it "
                               "next records (or lorimet-journal init)")
                    .arg(path_)
                    .arg(version_);
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    if (!q.exec(beginStatement())) {
        error = sqlError(q);
        return false;
    }
    q.prepare(
        QStringLiteral("INSERT OR IGNORE INTO shipped (record_id, server, shipped_at) VALUES (?, ?, ?)"));
    const QString now = isoTime(QDateTime::currentDateTime());
    for (const QString& id : ids) {
        q.bindValue(0, id);
        q.bindValue(1, server);
        q.bindValue(2, now);
        if (!q.exec()) {
            error = sqlError(q);
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    if (!QSqlQuery(db).exec(QStringLiteral("COMMIT"))) {
        error = db.lastError().text();
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return true;
}

namespace {

// The kind is looked at here rather than in the query: given both, a planner without statistics may read
// the kind's index (most of the table) instead of the reference's (a few rows).
std::vector<Record> ofKind(std::vector<Record> records, QStringView kind) {
    std::erase_if(records, [kind](const Record& r) { return r.text(u"kind") != kind; });
    return records;
}

} // namespace

std::vector<Record> Store::annotationsOf(const QString& id, QString& error) {
    return ofKind(select({QStringLiteral("corrects = ?")}, {id}, 0, error), u"annotation");
}

std::map<QString, AnnotationMarks> Store::marksOf(const QStringList& ids, QString& error) {
    std::map<QString, AnnotationMarks> out;
    if (ids.isEmpty())
        return out;
    QStringList marks;
    for (qsizetype i = 0; i < ids.size(); ++i)
        marks << QStringLiteral("?");
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT corrects, invalidates, kind FROM records WHERE corrects IN (") +
              marks.join(u',') + u')');
    for (const QString& id : ids)
        q.addBindValue(id);
    if (!q.exec()) {
        error = sqlError(q);
        return out;
    }
    while (q.next()) {
        if (q.value(2).toString() != u"annotation")
            continue;
        AnnotationMarks& m = out[q.value(0).toString()];
        ++m.count;
        m.invalid = m.invalid || q.value(1).toLongLong() != 0;
    }
    return out;
}

std::vector<Record> Store::measuredAgainst(const QString& id, QString& error) {
    return ofKind(select({QStringLiteral("calibration_id = ?")}, {id}, 0, error), u"analysis");
}

std::vector<StationName> Store::stations(QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    // From one station to the next along the (station, seq) key, a step each: a lab has a few stations
    // and a hundred thousand records.
    QSqlQuery next(db), latest(db);
    next.setForwardOnly(true);
    latest.setForwardOnly(true);
    std::vector<StationName> out;
    if (!next.prepare(
            QStringLiteral("SELECT station FROM records WHERE station > ? ORDER BY station LIMIT 1")) ||
        !latest.prepare(
            QStringLiteral("SELECT station_name FROM records WHERE station = ? ORDER BY seq DESC LIMIT 1"))) {
        error = sqlError(next.lastError().isValid() ? next : latest);
        return out;
    }
    QString after = QStringLiteral(""); // not null: Qt SQL binds a null string as NULL
    for (;;) {
        next.bindValue(0, after);
        if (!next.exec()) {
            error = sqlError(next);
            return out;
        }
        if (!next.next())
            break;
        after = next.value(0).toString();
        next.finish();
        latest.bindValue(0, after);
        if (!latest.exec()) {
            error = sqlError(latest);
            return out;
        }
        // A station renamed keeps its id: its latest name is the one shown.
        out.push_back({after, latest.next() ? latest.value(0).toString() : QString()});
        latest.finish();
    }
    std::sort(out.begin(), out.end(), [](const StationName& a, const StationName& b) {
        return std::tie(a.name, a.id) < std::tie(b.name, b.id);
    });
    return out;
}

} // namespace lorimet::journal
