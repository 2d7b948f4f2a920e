// lorimet-journal [--data-dir DIR] [--journal URL] COMMAND [ARGS]: the results journal read, checked,
// exported and filled from old protocol files.
#include "Import.h"
#include "app/journal/RecordReport.h"
#include "ReevaluationText.h"
#include "config/DataFolder.h"
#include "journal/Annotation.h"
#include "journal/JournalUrl.h"
#include "journal/Outbox.h"
#include "journal/RecordExport.h"
#include "journal/RecordText.h"
#include "journal/Recorder.h"
#include "journal/Station.h"
#include "journal/Store.h"
#include "text/Cp1251.h"
#include "text/FileNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>
#include <QUuid>

#include <cstdio>
#include <cstring>
#include <memory>

using namespace lorimet;
using namespace lorimet::journal;

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;
constexpr int kChainBroken = 3;

const char* const kUsageText =
    "usage: lorimet-journal [--data-dir DIR] [--journal URL] COMMAND [ARGS]\n"
    "  init                          create or upgrade the schema\n"
    "  list  [FILTERS] [--format table|csv|json]\n"
    "  show  ID [--lines] [--format table|json]\n"
    "  export (--xlsx OUT | --csv OUT) [FILTERS]\n"
    "  import FILE...                protocol files (.txt) and day files (.tmp)\n"
    "  annotate ID --note TEXT [--invalid]\n"
    "  report ID... --pdf OUT        the client's report: one A4 page per record\n"
    "  reevaluate ID [--filter A,B,C] [--format table|json]\n"
    "                                an analysis evaluated again with other filter settings (A the\n"
    "                                slider position 1..91, B cycles 1..11, C window 1..11)\n"
    "  verify                        check every station's chain\n"
    "  status                        records, stations, records waiting for the server, the server\n"
    "  sync                          ship the data folder's waiting records to the server now\n"
    "FILTERS: --from YYYY-MM-DD  --to YYYY-MM-DD  --kind KIND  --search TEXT  --station NAME|ID  --limit N\n";

QTextStream& out() {
    static QTextStream s(stdout);
    s.setEncoding(QStringConverter::Utf8);
    return s;
}

QTextStream& err() {
    static QTextStream s(stderr);
    s.setEncoding(QStringConverter::Utf8);
    return s;
}

int usage(const QString& message) {
    err() << "lorimet-journal: " << message << "\n" << kUsageText;
    return kUsage;
}

int failure(const QString& message) {
    err() << "lorimet-journal: " << message << "\n";
    return kFailure;
}

struct Arguments {
    QString dataFolder;
    QString url;
    QString command;
    QStringList rest; // the command's own arguments
};

// The value after an option, taken out of `args`; false when the option is last.
bool takeValue(QStringList& args, qsizetype at, QString& value) {
    if (at + 1 >= args.size())
        return false;
    value = args[at + 1];
    args.remove(at, 2);
    return true;
}

struct Options {
    ListFilter filter;
    QString format;
    QString csvOut;
    QString xlsxOut;
    QString pdfOut;
    std::optional<QString> note;
    std::optional<QString> filterSettings; // reevaluate's --filter A,B,C
    bool invalid = false;
    bool lines = false;
    QStringList positional;
};

// The command's options; a message in `error` for one that is unknown or lacks its value.
std::optional<Options> readOptions(QStringList args, QString& error) {
    Options o;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& into) {
            if (i + 1 >= args.size()) {
                error = a + QStringLiteral(" needs a value");
                return false;
            }
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (a == u"--from")
            ok = value(o.filter.from);
        else if (a == u"--to")
            ok = value(o.filter.to);
        else if (a == u"--kind")
            ok = value(o.filter.kind);
        else if (a == u"--search")
            ok = value(o.filter.search);
        else if (a == u"--station")
            ok = value(o.filter.station);
        else if (a == u"--format")
            ok = value(o.format);
        else if (a == u"--csv")
            ok = value(o.csvOut);
        else if (a == u"--xlsx")
            ok = value(o.xlsxOut);
        else if (a == u"--pdf")
            ok = value(o.pdfOut);
        else if (a == u"--note")
            ok = value(o.note.emplace());
        else if (a == u"--filter")
            ok = value(o.filterSettings.emplace());
        else if (a == u"--invalid")
            o.invalid = true;
        else if (a == u"--lines")
            o.lines = true;
        else if (a == u"--limit") {
            QString n;
            ok = value(n);
            bool number = false;
            o.filter.limit = n.toInt(&number);
            if (ok && (!number || o.filter.limit < 0)) {
                error = QStringLiteral("--limit needs a whole number, not ") + n;
                return std::nullopt;
            }
        } else if (a.startsWith(u"--")) {
            error = QStringLiteral("unknown option ") + a;
            return std::nullopt;
        } else
            o.positional << a;
        if (!ok)
            return std::nullopt;
    }
    for (const QString* date : {&o.filter.from, &o.filter.to})
        if (!date->isEmpty() && !QDate::fromString(*date, Qt::ISODate).isValid()) {
            error = QStringLiteral("a date is written YYYY-MM-DD, not ") + *date;
            return std::nullopt;
        }
    return o;
}

// The journal: the URL's when given, else the data folder's.
std::optional<JournalUrl> journalUrl(const Arguments& a, QString& error) {
    return parseJournalUrl(a.url.isEmpty() ? kDefaultJournalUrl : a.url, a.dataFolder, error);
}

// The server the data folder's records go to: --journal's, else lorimet.ini's; empty when there is none.
QString serverOf(const Arguments& a) {
    QString error;
    for (const QString& url : {a.url, loadStation(a.dataFolder).url}) {
        const auto parsed = url.isEmpty() ? std::nullopt : parseJournalUrl(url, a.dataFolder, error);
        if (parsed && parsed->kind == JournalUrl::Kind::Postgresql)
            return parsed->connection;
    }
    return {};
}

QString localJournal(const Arguments& a) {
    QString error;
    return parseJournalUrl(kDefaultJournalUrl, a.dataFolder, error)->path;
}

// The columns of the table for people.
struct Column {
    const char* heading;
    const char* field;
};
const Column kColumns[] = {
    {"Окончание", "finished_at"},
    {"Вид", "kind"},
    {"Состояние", "status"},
    {"Описание", "description"},
    {"Разв.", "dilution"},
    {"БПК'", "bod_initial"},
    {"БПК", "bod_final"},
    {"t, °C", "mean_temperature"},
    {"Станция", "station_name"},
    {"№", "seq"},
    {"Запись", "id"},
};

QString tableText(const std::vector<Record>& records) {
    std::vector<QStringList> rows;
    QStringList heading;
    for (const Column& c : kColumns)
        heading << QString::fromUtf8(c.heading);
    rows.push_back(heading);
    for (const Record& r : records) {
        QStringList row;
        for (const Column& c : kColumns)
            row << displayValue(r, static_cast<size_t>(fieldIndex(QLatin1StringView(c.field).toString())));
        if (r.text(u"kind") == u"annotation") // its note where a run has its description
            row[3] = (r.value(u"invalidates").toBool() ? QStringLiteral("недействительна ") : QString()) +
                     QStringLiteral("запись ") + r.text(u"corrects").left(8) + QStringLiteral(": ") +
                     r.text(u"note");
        rows.push_back(row);
    }
    std::vector<qsizetype> widths(std::size(kColumns), 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[static_cast<size_t>(i)] = std::max(widths[static_cast<size_t>(i)], row[i].size());
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += row[i].leftJustified(widths[static_cast<size_t>(i)]) + QStringLiteral("  ");
        text += line.trimmed() + u'\n';
    }
    return text;
}

int list(Store& store, const Options& o) {
    const QString format = o.format.isEmpty() ? QStringLiteral("table") : o.format;
    if (format != u"table" && format != u"csv" && format != u"json")
        return usage(QStringLiteral("--format is table, csv or json"));
    QString error;
    const std::vector<Record> records = store.list(o.filter, error);
    if (!error.isEmpty())
        return failure(error);
    if (format == u"json") {
        for (const Record& r : records)
            out() << recordJson(r, false) << '\n';
    } else if (format == u"csv") {
        QString text = csvHeading();
        for (const Record& r : records)
            text += csvRow(r);
        out().flush();
        const QByteArray bytes = toCp1251(text);
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    } else {
        out() << tableText(records);
    }
    return 0;
}

int show(Store& store, const Options& o) {
    if (o.positional.size() != 1)
        return usage(QStringLiteral("show takes one record id"));
    const QString format = o.format.isEmpty() ? QStringLiteral("table") : o.format;
    if (format != u"table" && format != u"json")
        return usage(QStringLiteral("--format is table or json"));
    QString error;
    const auto r = store.find(o.positional[0], o.lines, error);
    if (!r)
        return failure(error.isEmpty() ? QStringLiteral("there is no record ") + o.positional[0] : error);
    if (format == u"json") {
        out() << recordJson(*r, o.lines) << '\n';
        return 0;
    }
    for (size_t i = 0; i < kFields.size(); ++i)
        out() << QLatin1StringView(kFields[i].name) << ": " << displayValue(*r, i) << '\n';
    if (o.lines) {
        out() << "мс\tсигнал\tсглаженный\tпроизводная\tt, °C\tстрока прибора\n";
        for (const RecordLine& l : r->lines)
            out() << l.elapsedMs << '\t' << canonicalNumber(l.signal).replace(u'.', u',') << '\t'
                  << canonicalNumber(l.smoothed).replace(u'.', u',') << '\t'
                  << canonicalNumber(l.derivative).replace(u'.', u',') << '\t'
                  << canonicalNumber(l.temperature).replace(u'.', u',') << '\t' << l.raw << '\n';
    }
    return 0;
}

int exportRecords(Store& store, const Options& o) {
    if (o.csvOut.isEmpty() == o.xlsxOut.isEmpty())
        return usage(QStringLiteral("export needs one of --xlsx OUT and --csv OUT"));
    QString error;
    const std::vector<Record> records = store.list(o.filter, error);
    if (!error.isEmpty())
        return failure(error);
    const bool xlsx = !o.xlsxOut.isEmpty();
    const QString path = xlsx ? withExtension(o.xlsxOut, QStringLiteral("xlsx"))
                              : withExtension(o.csvOut, QStringLiteral("csv"));
    QString reason;
    if (!(xlsx ? writeRecordsXlsx(path, records, &reason) : writeRecordsCsv(path, records, &reason)))
        return failure(QStringLiteral("cannot write ") + path + QStringLiteral(": ") + reason);
    out() << "export: " << records.size() << " records written to " << path << '\n';
    return 0;
}

// A note on a record, kept as a record of its own in the data folder's chain; the record it concerns is
// never changed. With a server, the note is shipped at once when it can be, else it waits in the outbox.
int annotate(Store& store, const Arguments& a, const Options& o) {
    if (o.positional.size() != 1)
        return usage(QStringLiteral("annotate takes one record id"));
    const QString note = o.note ? o.note->trimmed() : QString();
    if (note.isEmpty())
        return usage(QStringLiteral("annotate needs --note TEXT (say why, e.g. the reason a result is invalid)"));
    QString error;
    const auto target = store.find(o.positional[0], false, error);
    if (!target)
        return failure(error.isEmpty() ? QStringLiteral("there is no record ") + o.positional[0] : error);

    std::unique_ptr<Store> ownLocal;
    Store* local = &store;
    if (store.isServer()) {
        ownLocal = Store::openSqlite(localJournal(a), error);
        if (!ownLocal)
            return failure(QStringLiteral("cannot open the data folder's journal: ") + error);
        local = ownLocal.get();
    }
    const Station station = loadStation(a.dataFolder);
    Record r = makeAnnotation(station, *target, note, o.invalid, QStringLiteral(LORIMET_JOURNAL_APP_VERSION));
    if (local->append(r, error) == AppendResult::Failed)
        return failure(QStringLiteral("cannot write to the journal: ") + error);
    writeChainAnchor(a.dataFolder, {local->path(), station.id, r.value(u"seq").toLongLong(), r.text(u"hash")});
    out() << "annotate: record " << r.text(u"id") << (o.invalid ? " marks " : " notes ") << target->text(u"id")
          << (o.invalid ? " invalid" : "") << '\n';

    const QString server = serverOf(a);
    if (server.isEmpty())
        return 0;
    std::unique_ptr<Store> ownRemote;
    Store* remote = &store;
    if (!store.isServer()) {
        ownRemote = Store::openServer(server, false, error);
        remote = ownRemote.get();
    }
    const ShipOutcome outcome = remote ? shipWaiting(*local, *remote, server) : ShipOutcome{};
    if (!remote || !outcome.ok || outcome.waiting > 0)
        out() << "annotate: the note waits to be shipped to the server (lorimet-journal sync ships it)\n";
    return 0;
}

// One page per record named, in the order named, with its calibration, its notes and the lab of the data
// folder's lorimet.ini.
int report(Store& store, const Arguments& a, const Options& o) {
    if (o.positional.isEmpty())
        return usage(QStringLiteral("report needs one record id or more"));
    if (o.pdfOut.isEmpty())
        return usage(QStringLiteral("report needs --pdf OUT"));
    const recordreport::Lab lab = recordreport::readLab(a.dataFolder);
    const QDateTime now = QDateTime::currentDateTime();
    std::vector<recordreport::Input> pages;
    for (const QString& id : o.positional) {
        QString error;
        auto page = recordreport::readInput(store, id, error);
        if (!page)
            return failure(error);
        if (!recordreport::hasReport(page->record))
            return failure(QStringLiteral("record ") + id + QStringLiteral(" is a ") +
                           page->record.text(u"kind") +
                           QStringLiteral(" record; a report is made of analyses and calibrations"));
        page->lab = lab;
        page->madeAt = now;
        // Where the end points fell, found by the engine itself over the record's lines; a record it cannot
        // evaluate again (an imported one) is printed without the marks.
        QString unused;
        if (const auto ends = recordedFilter(page->record) ? endPoints(page->record, unused) : std::nullopt) {
            page->initialRateLine = ends->initialRateLine;
            page->finalRateLine = ends->finalRateLine;
        }
        pages.push_back(std::move(*page));
    }
    const QString path = withExtension(o.pdfOut, QStringLiteral("pdf"));
    QString reason;
    if (!recordreport::writePdf(path, pages, &reason))
        return failure(QStringLiteral("cannot write ") + path + QStringLiteral(": ") + reason);
    out() << "report: " << pages.size() << (pages.size() == 1 ? " page" : " pages") << " written to " << path
          << '\n';
    return 0;
}

int verify(Store& store, const Arguments& a) {
    QString error;
    const auto report = store.verify(error, readChainAnchor(a.dataFolder, store.path()));
    if (!report)
        return failure(error);
    if (report->finding) {
        const VerifyFinding& f = *report->finding;
        out() << "verify: " << report->records << " records of " << report->stations << " stations\n";
        err() << "lorimet-journal: station " << f.stationName << " (" << f.station << "), record " << f.seq;
        if (!f.recordId.isEmpty())
            err() << " " << f.recordId;
        err() << ": " << f.what << "\n";
        return kChainBroken;
    }
    out() << "verify: " << report->records << " records of " << report->stations
          << " stations, every chain intact\n";
    return 0;
}

int status(Store& store, const Arguments& a) {
    QString error;
    const auto c = store.counts(error);
    if (!c)
        return failure(error);
    out() << (store.isServer() ? "server: " : "journal: ") << store.path() << '\n'
          << "schema version: " << c->schemaVersion << '\n'
          << "records: " << c->records << '\n'
          << "stations: " << c->stations << '\n';
    const QString server = serverOf(a);
    if (server.isEmpty()) {
        out() << "waiting to be shipped: 0 (no server)\n";
        return 0;
    }
    std::unique_ptr<Store> local;
    if (!store.isServer())
        out() << "server: " << server << '\n';
    else if (QFileInfo::exists(localJournal(a)))
        local = Store::openExisting(localJournal(a), error);
    Store& outbox = local ? *local : store;
    if (!outbox.isServer()) {
        const auto waiting = outbox.waitingCount(server, error);
        if (!waiting)
            return failure(error);
        out() << "waiting to be shipped: " << *waiting << '\n';
    }
    if (!store.isServer()) {
        const auto reached = Store::openServer(server, false, error);
        out() << "server reachable: " << (reached ? "yes" : "no") << '\n';
        if (!reached)
            out() << "last error: " << error << '\n';
    }
    return 0;
}

// Ships the data folder's waiting records to the server now. Failure when the server cannot be reached or
// records are still waiting.
int sync(const Arguments& a) {
    const QString server = serverOf(a);
    if (server.isEmpty())
        return usage(QStringLiteral("sync needs a server: --journal postgresql://… or [journal] url= in "
                                    "lorimet.ini"));
    QString error;
    const auto local = Store::openExisting(localJournal(a), error);
    if (!local)
        return failure(error);
    const auto remote = Store::openServer(server, false, error);
    if (!remote) {
        const auto waiting = local->waitingCount(server, error);
        failure(error);
        if (waiting)
            err() << "lorimet-journal: " << *waiting << " records wait to be shipped\n";
        return kFailure;
    }
    const ShipOutcome outcome = shipWaiting(*local, *remote, server);
    out() << "sync: " << outcome.shipped << " records shipped, " << outcome.waiting << " waiting\n";
    if (!outcome.ok)
        return failure(outcome.error);
    return outcome.waiting == 0 ? 0 : kFailure;
}

// Files are stored a few at a time, each group in one transaction: every file whole or not at all, and one
// wait for the disk for the group instead of one for each file. A group ends at this many lines or files.
constexpr qsizetype kImportGroupLines = 60'000;
constexpr int kImportGroupFiles = 32;

int import(Store& store, const Arguments& a, const Options& o) {
    if (o.positional.isEmpty())
        return usage(QStringLiteral("import needs one file or more"));
    const Station station = loadStation(a.dataFolder);
    // The chain's anchor follows the import at most once a second and at its end: lorimet.ini written (and
    // synced) after each of a thousand files cost as much as the files themselves. Stopped in between, the
    // anchor is left behind the journal, which verify does not take for a finding.
    std::optional<ChainAnchor> anchor;
    QElapsedTimer sinceAnchor;
    sinceAnchor.start();
    auto writeAnchor = [&] {
        if (anchor)
            writeChainAnchor(a.dataFolder, *anchor);
        anchor.reset();
        sinceAnchor.restart();
    };
    struct Pending {
        QString path;
        ImportedFile file;
    };
    std::vector<Pending> group;
    qsizetype groupLines = 0;
    // Stores the group and tells what became of each of its files; false when the journal cannot be
    // written, and then none of the group's files is stored.
    auto storeGroup = [&] {
        std::vector<Record*> batch;
        for (Pending& p : group)
            for (Record& r : p.file.records)
                batch.push_back(&r);
        QString error;
        if (!batch.empty() && store.appendAll(batch, error) == AppendResult::Failed) {
            failure(
                QStringLiteral("cannot write to the journal: %1; nothing of %2 and the files after it was "
                               "stored")
                    .arg(error, group.front().path));
            return false;
        }
        for (const Pending& p : group) {
            int added = 0, known = 0;
            for (const Record& r : p.file.records) {
                if (r.value(u"seq").isNull()) {
                    ++known;
                    continue;
                }
                ++added;
                anchor = {store.path(), station.id, r.value(u"seq").toLongLong(), r.text(u"hash")};
            }
            out() << p.path << ": " << added << " added, " << known << " already in the journal";
            if (p.file.damaged)
                out() << ", damaged at line " << p.file.damageLine + 1 << " (the blocks before it were read)";
            out() << '\n';
        }
        group.clear();
        groupLines = 0;
        if (sinceAnchor.elapsed() >= 1000)
            writeAnchor();
        return true;
    };
    int result = 0;
    for (const QString& path : o.positional) {
        auto file = importProtocolFile(path);
        if (!file) {
            result = failure(QStringLiteral("cannot read ") + path);
            continue;
        }
        for (Record& r : file->records) {
            r.set(u"id", QUuid::createUuid().toString(QUuid::WithoutBraces));
            r.set(u"station", station.id);
            r.set(u"station_name", station.name);
            r.set(u"operator", systemAccount());
            r.set(u"app_version", QStringLiteral(LORIMET_JOURNAL_APP_VERSION));
            groupLines += static_cast<qsizetype>(r.lines.size());
        }
        group.push_back({path, std::move(*file)});
        if ((groupLines >= kImportGroupLines || group.size() >= kImportGroupFiles) && !storeGroup()) {
            writeAnchor();
            return kFailure;
        }
    }
    const bool stored = group.empty() || storeGroup();
    writeAnchor();
    return stored ? result : kFailure;
}

// The command word: the first argument that is neither a journal option nor its value.
bool isReportCommand(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data-dir") == 0 || std::strcmp(argv[i], "--journal") == 0) {
            ++i;
            continue;
        }
        return std::strcmp(argv[i], "report") == 0;
    }
    return false;
}

// What reevaluate is asked: the record and, unless the record's own, the filter as the settings dialog sets
// it.
struct ReevaluateRequest {
    QString id;
    std::optional<FilterParameters> filter;
};

std::optional<ReevaluateRequest> reevaluateRequest(const Options& o, QString& error) {
    if (o.positional.size() != 1) {
        error = QStringLiteral("reevaluate takes one record id");
        return std::nullopt;
    }
    ReevaluateRequest r{o.positional[0], std::nullopt};
    if (o.filterSettings) {
        r.filter = parseFilterPositions(*o.filterSettings, error);
        if (!r.filter)
            return std::nullopt;
    }
    return r;
}

// A recorded analysis (or calibration) evaluated again by the engine from its stored lines; the record is
// only read.
int reevaluateRecord(Store& store, const Options& o) {
    QString error;
    const auto request = reevaluateRequest(o, error);
    if (!request)
        return usage(error);
    const auto record = store.find(request->id, true, error);
    if (!record)
        return failure(error.isEmpty() ? QStringLiteral("there is no record ") + request->id : error);
    const QString kind = record->text(u"kind");
    if (kind != u"analysis" && kind != u"calibration")
        return failure(
            QStringLiteral("record %1 is not an analysis (its kind is %2)").arg(request->id, kind));
    if (record->lines.empty())
        return failure(QStringLiteral("record %1 holds no lines of its run").arg(request->id));
    const std::optional<FilterParameters> ownFilter = recordedFilter(*record);
    if (!request->filter && !ownFilter)
        return failure(
            QStringLiteral("record %1 holds no filter settings: give --filter A,B,C").arg(request->id));
    const auto again = reevaluate(*record, request->filter ? *request->filter : *ownFilter, error);
    if (!again)
        return failure(QStringLiteral("record %1: %2").arg(request->id, error));
    // Where the end points fell on the recorded curve; an imported record has no filter of its own.
    const auto recorded = ownFilter ? endPoints(*record, error) : std::nullopt;

    if (o.format == u"json") {
        out() << reevaluationJson(*record, *again, recorded) << '\n';
        for (const QString& note : reevaluationNotes(*again))
            err() << "lorimet-journal: note: " << note << '\n';
    } else {
        out() << reevaluationTable(*record, *again, recorded);
        for (const QString& note : reevaluationNotes(*again))
            out() << "note: " << note << '\n';
    }
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    // Only the report paints, and text is painted with the fonts of a GUI application; offscreen, it needs
    // no display.
    std::unique_ptr<QCoreApplication> app;
    if (isReportCommand(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("lorimet"));
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(u"--help") || args.contains(u"-h")) {
        out() << kUsageText;
        return 0;
    }
    Arguments a;
    for (const char* option : {"--data-dir", "--journal"}) {
        const qsizetype at = args.indexOf(QLatin1StringView(option));
        if (at < 0)
            continue;
        QString& into = QLatin1StringView(option) == "--data-dir" ? a.dataFolder : a.url;
        if (!takeValue(args, at, into))
            return usage(QLatin1StringView(option) + QStringLiteral(" needs a value"));
    }
    if (args.isEmpty())
        return usage(QStringLiteral("no command"));
    a.command = args.takeFirst();
    a.dataFolder = a.dataFolder.isEmpty() ? defaultDataFolder() : QDir(a.dataFolder).absolutePath();
    static const QStringList commands = {QStringLiteral("init"),   QStringLiteral("list"),
                                         QStringLiteral("show"),   QStringLiteral("export"),
                                         QStringLiteral("import"), QStringLiteral("verify"),
                                         QStringLiteral("status"), QStringLiteral("sync"),
                                         QStringLiteral("annotate"), QStringLiteral("report"),
                                         QStringLiteral("reevaluate")};
    if (!commands.contains(a.command))
        return usage(QStringLiteral("unknown command ") + a.command);
    QString error;
    const auto options = readOptions(args, error);
    if (!options)
        return usage(error);
    const QStringList formats = a.command == u"list"   ? QStringList{"table", "csv", "json"}
                                : a.command == u"show" || a.command == u"reevaluate"
                                    ? QStringList{"table", "json"}
                                    : QStringList{};
    if (!options->format.isEmpty() && !formats.contains(options->format))
        return usage(formats.isEmpty() ? QStringLiteral("--format is for list and show")
                                       : QStringLiteral("--format is ") + formats.join(QStringLiteral(", ")));
    if (a.command == u"sync")
        return options->positional.isEmpty() ? sync(a) : usage(QStringLiteral("sync takes no arguments"));
    // Wrong usage is told before any journal is looked for.
    if (a.command == u"reevaluate" && !reevaluateRequest(*options, error))
        return usage(error);
    const auto url = journalUrl(a, error);
    if (!url)
        return failure(error);

    std::unique_ptr<Store> store;
    if (url->kind == JournalUrl::Kind::Postgresql) {
        if (a.command == u"import")
            return usage(QStringLiteral("import fills the data folder's journal (without --journal "
                                        "postgresql://…); sync then ships its records to the server"));
        // Only init makes or upgrades the schema on a server.
        store = Store::openServer(url->connection, a.command == u"init", error);
    } else if (a.command == u"init" || a.command == u"import") {
        QDir().mkpath(QFileInfo(url->path).absolutePath());
        QString notice;
        store = Store::openSqlite(url->path, error, &notice);
        if (!notice.isEmpty()) {
            err() << "lorimet-journal: " << notice << "\n";
            beginNewChain(a.dataFolder);
        }
    } else {
        store = Store::openExisting(url->path, error);
    }
    if (!store)
        return failure(error);

    if (a.command == u"init") {
        out() << "init: " << store->path() << " is ready (schema version " << Store::kSchemaVersion << ")\n";
        return 0;
    }
    if (a.command == u"list")
        return list(*store, *options);
    if (a.command == u"show")
        return show(*store, *options);
    if (a.command == u"export")
        return exportRecords(*store, *options);
    if (a.command == u"annotate")
        return annotate(*store, a, *options);
    if (a.command == u"report")
        return report(*store, a, *options);
    if (a.command == u"import")
        return import(*store, a, *options);
    if (a.command == u"verify")
        return verify(*store, a);
    if (a.command == u"reevaluate")
        return reevaluateRecord(*store, *options);
    return status(*store, a);
}
