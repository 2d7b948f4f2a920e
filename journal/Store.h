#pragma once

#include "journal/Record.h"
#include "journal/Station.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace lorimet::journal {

struct ListFilter {
    QString from, to; // YYYY-MM-DD, both included; empty: open
    QString kind;
    QString search;  // in the description, the note and the analysis kind
    QString station; // name or id
    int limit = 0;   // 0: all
    // Only the records listed after this one (finished_at, station, seq): the next page of a long list.
    struct After {
        QString finishedAt;
        QString station;
        qint64 seq = 0;
    };
    std::optional<After> after;
};

// What the annotations made on a record say of it.
struct AnnotationMarks {
    int count = 0;
    bool invalid = false; // an annotation marks it invalid
};

struct StationName {
    QString id;
    QString name;
};

// What verify found: nothing, or the first record of a chain that is not as the program wrote it.
struct VerifyFinding {
    QString station; // id
    QString stationName;
    qint64 seq = 0;
    QString recordId; // empty when the record itself is missing
    QString what;     // "changed", "missing", "inserted", "lines changed"
};

struct VerifyReport {
    qint64 records = 0;
    qint64 stations = 0;
    std::optional<VerifyFinding> finding;
};

enum class AppendResult { Added, AlreadyThere, Failed };

// The journal in a SQLite file (or on a PostgreSQL server, see openServer): WAL, synchronous=FULL, one
// transaction per record, the schema made and upgraded here. Records are only ever inserted; triggers refuse
// UPDATE and DELETE on its tables. A Store is used only on the thread that opened it.
class Store {
  public:
    static constexpr int kSchemaVersion = 4;
    // A server's schema this program still records into and reads: version 3 only added indexes, so stations
    // can be given this program before the server's administrator upgrades its schema (lorimet-journal init).
    static constexpr int kOldestServerVersion = 2;

    // Opens the journal at `path`, creating it when it does not exist. A file that is no journal of this
    // program (damaged, foreign, not SQLite) is renamed aside — never overwritten — and a new journal is
    // begun; `notice` then tells where the old file went. Nothing is opened when the file cannot be made
    // (a message in `error`).
    static std::unique_ptr<Store> openSqlite(const QString& path, QString& error, QString* notice = nullptr,
                                             QString* keptAs = nullptr);
    // Opens a journal that exists, changing nothing when it is not one (for reading and checking it).
    static std::unique_ptr<Store> openExisting(const QString& path, QString& error);
    // Opens the journal on a PostgreSQL server (a libpq connection URI, its password not in it). Only
    // `create` (lorimet-journal init, run by the server's administrator) makes or upgrades its schema;
    // otherwise a server without the journal's schema, or with an older one, is refused with a message.
    static std::unique_ptr<Store> openServer(const QString& url, bool create, QString& error);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const QString& path() const { return path_; } // the file, or the server's URL
    bool isServer() const { return server_; }

    // Numbers the record in its station's chain (seq, prev_hash, hash), links an analysis to the
    // calibration whose coefficients it used, and stores it with its lines in one transaction. A record
    // whose import_key is stored already is not added again.
    AppendResult append(Record& record, QString& error);
    // Several records in one transaction (a file's blocks): all stored, or none. Added when at least one was
    // added (those already there have no seq), AlreadyThere when none was.
    AppendResult appendAll(const std::vector<Record*>& records, QString& error);

    std::vector<Record> list(const ListFilter& filter, QString& error);
    std::optional<Record> find(const QString& id, bool withLines, QString& error);
    // Every station's chain, record by record, with the digest of its lines; with an anchor, its station's
    // chain must reach the anchored record unchanged.
    std::optional<VerifyReport> verify(QString& error,
                                       const std::optional<ChainAnchor>& anchor = std::nullopt);

    // The outbox. Records of the local journal that `server` has not acknowledged, oldest of each station
    // first, with their lines; how many; and the acknowledgement once the server has committed them.
    std::vector<Record> waiting(const QString& server, int limit, QString& error);
    std::optional<qint64> waitingCount(const QString& server, QString& error);
    bool markShipped(const QStringList& ids, const QString& server, QString& error);
    // Stores records as they are, numbered and hashed by the station that made them, in one transaction;
    // a record whose id is stored already is left as it is. Added when at least one was new.
    AppendResult ship(const std::vector<Record>& records, QString& error);

    // The annotations made on the record `id`, oldest first.
    std::vector<Record> annotationsOf(const QString& id, QString& error);
    // What the annotations say of each of `ids` (those without annotations are left out).
    std::map<QString, AnnotationMarks> marksOf(const QStringList& ids, QString& error);
    // The analyses measured against the calibration `id`, oldest first.
    std::vector<Record> measuredAgainst(const QString& id, QString& error);
    // Every station that has records, by name.
    std::vector<StationName> stations(QString& error);

    struct Counts {
        qint64 records = 0;
        qint64 stations = 0;
        int schemaVersion = 0;
    };
    std::optional<Counts> counts(QString& error);

  private:
    Store(QString path, QString connection);
    static std::unique_ptr<Store> open(const QString& path, bool recover, QString& error, QString* notice,
                                       QString* keptAs);
    bool prepareSchema(QString& error, bool& foreign, bool create);
    bool prepareServerSchema(QString& error, bool create);
    bool applySchema(const QStringList& statements, QString& error);
    bool checkVersion(QString& error, bool& foreign, bool upgrade);
    QString beginStatement() const;
    struct Inserts;
    AppendResult insert(Record& record, Inserts& statements, QString& error); // inside a transaction
    // The records `where` selects (all without it), in the journal's order, at most `limit` (0: all).
    std::vector<Record> select(const QStringList& where, const QVariantList& binds, int limit,
                               QString& error);

    QString path_;
    QString connection_;
    bool server_ = false;
    int version_ = 0;
    std::unique_ptr<Inserts> inserts_; // prepared on the first append, kept for the next ones
};

} // namespace lorimet::journal
