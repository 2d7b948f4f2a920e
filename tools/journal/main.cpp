// lorimet-journal [--data-dir DIR] [--journal URL] COMMAND [ARGS]: the results journal read, checked,
// exported and filled from old protocol files.
#include "Import.h"
#include "ReevaluationText.h"
#include "app/journal/RecordReport.h"
#include "cli/CommandLine.h"
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
#include <string_view>

using namespace lorimet;
using namespace lorimet::journal;

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;
constexpr int kChainBroken = 3;

const char* const kCommandsText =
    "Commands (lorimet-journal COMMAND --help tells one):\n"
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
    "FILTERS: --from YYYY-MM-DD  --to YYYY-MM-DD  --kind KIND  --search TEXT  --station NAME|ID  --limit N\n"
    "Exit status: 0 success, 1 failure, 2 wrong usage, 3 verify found a record not as written.\n";

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

// The command line of the command being run; its help goes with every message on wrong usage.
cli::CommandLine* commandLine = nullptr;

int usage(const QString& message) {
    out().flush();
    err().flush();
    if (commandLine)
        return commandLine->usageError(message);
    err() << "lorimet-journal: " << message << "\n";
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

// The options each command takes, with the syntax of its arguments and what it does.
struct CommandSpec {
    const char* name;
    const char* arguments; // the help's syntax of the command's own arguments
    const char* description;
    QStringList options;
};

const QStringList kFilterOptions = {"from", "to", "kind", "search", "station", "limit"};

const std::vector<CommandSpec>& commandSpecs() {
    static const std::vector<CommandSpec> specs = {
        {"init", "", "Create or upgrade the journal's schema.", {}},
        {"list", "", "List the records the filters select.", kFilterOptions + QStringList{"format"}},
        {"show", "ID", "Show one record, with its lines when asked.", {"lines", "format"}},
        {"export", "", "Write the records the filters select as CSV or as a workbook.",
         kFilterOptions + QStringList{"xlsx", "csv"}},
        {"import",
         "FILE...",
         "Fill the data folder's journal from protocol files (.txt) and day files (.tmp).",
         {}},
        {"annotate",
         "ID",
         "Add a note on a record (the record itself is never changed).",
         {"note", "invalid"}},
        {"report", "ID...", "The client's report: one A4 page per record.", {"pdf"}},
        {"reevaluate",
         "ID",
         "Evaluate an analysis again from its stored lines with other filter settings.",
         {"filter", "format"}},
        {"verify", "", "Check every station's chain.", {}},
        {"status", "", "Records, stations, records waiting for the server, the server.", {}},
        {"sync", "", "Ship the data folder's waiting records to the server now.", {}},
    };
    return specs;
}

const CommandSpec* findCommand(const QString& name) {
    for (const CommandSpec& spec : commandSpecs())
        if (name == QLatin1StringView(spec.name))
            return &spec;
    return nullptr;
}

const std::vector<QCommandLineOption>& commandOptions() {
    static const std::vector<QCommandLineOption> options = {
        {QStringLiteral("from"), QStringLiteral("Records finished on or after this day."),
         QStringLiteral("YYYY-MM-DD")},
        {QStringLiteral("to"), QStringLiteral("Records finished on or before this day."),
         QStringLiteral("YYYY-MM-DD")},
        {QStringLiteral("kind"), QStringLiteral("Records of this kind (analysis, calibration, annotation…)."),
         QStringLiteral("KIND")},
        {QStringLiteral("search"), QStringLiteral("Records whose description or note holds this text."),
         QStringLiteral("TEXT")},
        {QStringLiteral("station"), QStringLiteral("Records of this station."), QStringLiteral("NAME|ID")},
        {QStringLiteral("limit"), QStringLiteral("At most this many records."), QStringLiteral("N")},
        {QStringLiteral("format"), QStringLiteral("table, csv or json (show and reevaluate: table or json)."),
         QStringLiteral("FORMAT")},
        {QStringLiteral("xlsx"), QStringLiteral("Write a workbook."), QStringLiteral("OUT")},
        {QStringLiteral("csv"), QStringLiteral("Write a CSV file."), QStringLiteral("OUT")},
        {QStringLiteral("pdf"), QStringLiteral("Write the report here."), QStringLiteral("OUT")},
        {QStringLiteral("note"), QStringLiteral("The note: say why (e.g. the reason a result is invalid)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("invalid"), QStringLiteral("The note marks the record invalid.")},
        {QStringLiteral("lines"), QStringLiteral("With the record's lines.")},
        {QStringLiteral("filter"),
         QStringLiteral(
             "Filter settings A,B,C: A the slider position 1..91, B cycles 1..11, C window 1..11."),
         QStringLiteral("A,B,C")},
    };
    return options;
}

const QCommandLineOption& commandOption(const char* name) {
    for (const QCommandLineOption& o : commandOptions())
        if (o.names().first() == QLatin1StringView(name))
            return o;
    Q_UNREACHABLE();
}

// The command's options as parsed; a message in `error` for a value that is not one.
std::optional<Options> readOptions(const QCommandLineParser& parser, const CommandSpec& spec,
                                   QString& error) {
    Options o;
    auto value = [&](const char* name) {
        return spec.options.contains(QLatin1StringView(name)) ? parser.value(commandOption(name)) : QString();
    };
    auto isSet = [&](const char* name) {
        return spec.options.contains(QLatin1StringView(name)) && parser.isSet(commandOption(name));
    };
    o.filter.from = value("from");
    o.filter.to = value("to");
    o.filter.kind = value("kind");
    o.filter.search = value("search");
    o.filter.station = value("station");
    o.format = value("format");
    o.csvOut = value("csv");
    o.xlsxOut = value("xlsx");
    o.pdfOut = value("pdf");
    if (isSet("note"))
        o.note = value("note");
    if (isSet("filter"))
        o.filterSettings = value("filter");
    o.invalid = isSet("invalid");
    o.lines = isSet("lines");
    o.positional = parser.positionalArguments().mid(1); // after the command's name
    if (isSet("limit")) {
        const QString n = value("limit");
        bool number = false;
        o.filter.limit = n.toInt(&number);
        if (!number || o.filter.limit < 0) {
            error = QStringLiteral("--limit needs a whole number, not ") + n;
            return std::nullopt;
        }
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
        return usage(
            QStringLiteral("annotate needs --note TEXT (say why, e.g. the reason a result is invalid)"));
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
    writeChainAnchor(a.dataFolder,
                     {local->path(), station.id, r.value(u"seq").toLongLong(), r.text(u"hash")});
    out() << "annotate: record " << r.text(u"id") << (o.invalid ? " marks " : " notes ")
          << target->text(u"id") << (o.invalid ? " invalid" : "") << '\n';

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

// Where the command word stands: the first argument that is neither an option nor the value of a journal
// option; 0 when there is none.
int commandIndex(const QStringList& args) {
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--data-dir" || args[i] == u"--journal") {
            ++i;
            continue;
        }
        if (args[i] == u"--")
            return i + 1 < args.size() ? i + 1 : 0;
        if (!args[i].startsWith(u'-'))
            return i;
    }
    return 0;
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
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const int commandAt = commandIndex(raw);
    const CommandSpec* spec = commandAt > 0 ? findCommand(raw[commandAt]) : nullptr;
    // Only the report paints, and text is painted with the fonts of a GUI application; offscreen, it needs
    // no display.
    std::unique_ptr<QCoreApplication> app;
    if (spec && spec->name == std::string_view("report")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("lorimet"));

    // Each command has its own help and options; the journal's options go anywhere on the line.
    cli::CommandLine command(
        QStringLiteral("lorimet-journal"),
        spec ? QString::fromUtf8(spec->description)
             : QStringLiteral("The results journal read, checked, exported and filled from old "
                              "protocol files."));
    commandLine = &command;
    QCommandLineParser& parser = command.parser();
    const QCommandLineOption dataDirOption(QStringLiteral("data-dir"),
                                           QStringLiteral("The data folder (default: the program's)."),
                                           QStringLiteral("DIR"));
    const QCommandLineOption journalOption(
        QStringLiteral("journal"),
        QStringLiteral("The journal: sqlite:PATH or postgresql://… (default: the data folder's)."),
        QStringLiteral("URL"));
    parser.addOptions({dataDirOption, journalOption});
    if (spec) {
        for (const QString& name : spec->options)
            parser.addOption(commandOption(name.toLatin1().constData()));
        parser.addPositionalArgument(QString::fromLatin1(spec->name), QStringLiteral("The command."));
        const QString arguments = QString::fromLatin1(spec->arguments);
        if (!arguments.isEmpty())
            parser.addPositionalArgument(arguments,
                                         arguments.startsWith(u"FILE") ? QStringLiteral("The files.")
                                         : arguments.endsWith(u"...")  ? QStringLiteral("Record ids.")
                                                                       : QStringLiteral("A record id."));
        command.setEpilogue(
            QStringLiteral("Exit status: 0 success, 1 failure, 2 wrong usage, 3 verify found a "
                           "record not as written."));
        command.setHelpCall(QStringLiteral("lorimet-journal ") + QString::fromLatin1(spec->name));
    } else {
        parser.addPositionalArgument(QStringLiteral("COMMAND"), QStringLiteral("What to do (below)."),
                                     QStringLiteral("COMMAND [ARGS]"));
        command.setEpilogue(QString::fromUtf8(kCommandsText));
    }
    if (const auto done = command.parse(QCoreApplication::arguments()))
        return *done;
    if (!spec)
        return commandAt > 0 ? usage(QStringLiteral("unknown command ") + raw[commandAt])
                             : usage(QStringLiteral("no command"));
    Arguments a;
    a.dataFolder = parser.value(dataDirOption);
    a.url = parser.value(journalOption);
    a.command = QString::fromLatin1(spec->name);
    a.dataFolder = a.dataFolder.isEmpty() ? defaultDataFolder() : QDir(a.dataFolder).absolutePath();
    QString error;
    const auto options = readOptions(parser, *spec, error);
    if (!options)
        return usage(error);
    if (!*spec->arguments && !options->positional.isEmpty())
        return usage(a.command + QStringLiteral(" takes no arguments"));
    const QStringList formats = a.command == u"list" ? QStringList{"table", "csv", "json"}
                                : a.command == u"show" || a.command == u"reevaluate"
                                    ? QStringList{"table", "json"}
                                    : QStringList{};
    if (!options->format.isEmpty() && !formats.contains(options->format))
        return usage(QStringLiteral("--format is ") + formats.join(QStringLiteral(", ")));
    if (a.command == u"sync")
        return sync(a);
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
