#include "journal/Recorder.h"
#include "journal/JournalUrl.h"
#include "journal/Store.h"

#include <QUuid>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#endif

namespace lorimet::journal {

namespace {

QString kindText(RunKind kind) {
    switch (kind) {
    case RunKind::UpperPoint:
        return QStringLiteral("upper-point");
    case RunKind::Calibration:
        return QStringLiteral("calibration");
    case RunKind::Analysis:
        return QStringLiteral("analysis");
    }
    return {};
}

QString statusText(RunStatus status) {
    switch (status) {
    case RunStatus::Completed:
        return QStringLiteral("completed");
    case RunStatus::Stopped:
        return QStringLiteral("stopped");
    case RunStatus::Abandoned:
        return QStringLiteral("abandoned");
    }
    return {};
}

QVariant number(const std::optional<double>& v) {
    return v ? QVariant(*v) : QVariant();
}

QVariant text(const QString& s) {
    return s.isEmpty() ? QVariant() : QVariant(s);
}

} // namespace

QString systemAccount() {
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty())
        name = qEnvironmentVariable("USERNAME");
    if (name.isEmpty())
        name = qEnvironmentVariable("LOGNAME");
#ifdef Q_OS_UNIX
    if (name.isEmpty())
        if (const passwd* entry = getpwuid(geteuid()))
            name = QString::fromLocal8Bit(entry->pw_name);
#endif
    return name;
}

Record recordOf(const FinishedRun& run, const RecorderOptions& o) {
    Record r;
    r.set(u"id", QUuid::createUuid().toString(QUuid::WithoutBraces));
    r.set(u"kind", kindText(run.kind));
    r.set(u"status", statusText(run.status));
    r.set(u"station", o.station.id);
    r.set(u"station_name", text(o.station.name));
    r.set(u"operator", text(o.operatorName));
    r.set(u"source", o.source);
    if (run.startedAt.isValid())
        r.set(u"started_at", isoTime(run.startedAt));
    if (run.finishedAt.isValid())
        r.set(u"finished_at", isoTime(run.finishedAt));
    if (run.kind == RunKind::Analysis)
        r.set(u"description", run.description);
    if (run.kind != RunKind::UpperPoint) {
        r.set(u"analysis_kind", text(run.analysisKind));
        r.set(u"dilution", number(run.dilution));
    }
    r.set(u"certified_value", number(run.certifiedValue));
    // A reference dilution of 0 is one the operator did not give.
    if (run.referenceDilution && *run.referenceDilution != 0)
        r.set(u"reference_dilution", *run.referenceDilution);
    r.set(u"bod_initial", number(run.bodInitial));
    r.set(u"bod_final", number(run.bodFinal));
    r.set(u"mean_temperature", number(run.meanTemperature));
    r.set(u"signal_range", number(run.signalRange));
    r.set(u"max_derivative", number(run.maxDerivative));
    r.set(u"rate_coefficient", run.rateCoefficient);
    r.set(u"range_coefficient", run.rangeCoefficient);
    r.set(u"filter_a", run.filter.a);
    r.set(u"filter_b", static_cast<double>(run.filter.cycles));
    r.set(u"filter_c", static_cast<double>(run.filter.window));
    r.set(u"frequency", static_cast<double>(run.frequency));
    r.set(u"delay", static_cast<double>(run.delay));
    r.set(u"app_version", text(o.appVersion));
    r.lines.reserve(run.lines.size());
    for (const RunLine& l : run.lines)
        r.lines.push_back({l.elapsedMs, l.text, l.raw, l.smoothed, l.derivative, l.temperature});
    return r;
}

Recorder::Recorder(RecorderOptions options, NoticeSink report)
    : options_(std::move(options)), report_(std::move(report)) {
    busy_ = true; // opening the journal
    thread_ = std::thread([this] { work(); });
}

Recorder::~Recorder() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (outbox_) {
        // The runs that ended last get a moment to reach a server that is there.
        outbox_->finish(std::chrono::seconds(2));
        outbox_.reset();
    }
}

Recorder::Recorder(RecorderOptions options, const std::function<void(const QString&)>& report)
    : Recorder(std::move(options), NoticeSink([report](const JournalNotice& n) { report(n.message); })) {}

void Recorder::report(const JournalNotice& notice) {
    std::lock_guard lock(reportMutex_);
    report_(notice);
}

bool Recorder::waitShipped(std::chrono::milliseconds timeout) {
    waitIdle();
    return !outbox_ || outbox_->waitEmpty(timeout);
}

void Recorder::setWaitingObserver(std::function<void(qint64)> observer) {
    std::lock_guard lock(reportMutex_);
    observer_ = std::move(observer);
}

void Recorder::runFinished(FinishedRun run) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(run), std::nullopt, {}});
    }
    wake_.notify_one();
}

void Recorder::append(Record record, std::function<void(bool, const QString&)> done) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::nullopt, std::move(record), std::move(done)});
    }
    wake_.notify_one();
}

void Recorder::waitKept() {
    std::unique_lock lock(mutex_);
    idle_.wait_for(lock, std::chrono::seconds(2), [this] { return queue_.empty() && !busy_; });
}

void Recorder::waitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void Recorder::work() {
#ifdef Q_OS_LINUX
    // Below the window's thread: a record waits a moment rather than the window.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
    QString error, notice, keptAs;
    std::unique_ptr<Store> store = Store::openSqlite(options_.path, error, &notice, &keptAs);
    if (!notice.isEmpty()) {
        report({JournalNotice::Kind::KeptAside, notice, keptAs});
        if (!options_.dataFolder.isEmpty())
            options_.station.id = beginNewChain(options_.dataFolder);
    }
    if (!store)
        report({JournalNotice::Kind::Unavailable,
                error + QStringLiteral("; runs are not recorded in the journal"), error});
    else if (!options_.server.isEmpty())
        outbox_ = std::make_unique<Outbox>(
            OutboxOptions{options_.path, options_.server, options_.firstRetry, options_.longestRetry},
            [this](const JournalNotice& notice) { report(notice); },
            [this](qint64 waiting) {
                std::lock_guard lock(reportMutex_);
                if (observer_)
                    observer_(waiting);
            });
    std::unique_lock lock(mutex_);
    for (;;) {
        busy_ = false;
        idle_.notify_all();
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stopping, with everything written
        Entry entry = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        bool committed = false;
        if (store) {
            Record record = entry.run ? recordOf(*entry.run, options_) : std::move(*entry.record);
            if (!entry.run) { // this station's chain, whatever id it had when the record was made
                record.set(u"station", options_.station.id);
                record.set(u"station_name", options_.station.name);
            }
            if (store->append(record, error) == AppendResult::Failed) {
                if (entry.run) // an annotation's failure goes to whoever made it
                    report({JournalNotice::Kind::NotWritten,
                            QStringLiteral("the %1 record could not be written to the journal %2: %3")
                                .arg(record.text(u"kind"), options_.path, error),
                            error});
            } else {
                if (!options_.dataFolder.isEmpty())
                    writeChainAnchor(options_.dataFolder,
                                     {options_.path, record.text(u"station"),
                                      record.value(u"seq").toLongLong(), record.text(u"hash")});
                if (outbox_)
                    outbox_->recordCommitted();
                committed = true;
            }
        }
        if (entry.done)
            entry.done(committed, committed ? QString()
                                  : store   ? error
                                            : QStringLiteral("the journal is not open"));
        lock.lock();
    }
}

std::unique_ptr<Recorder> startRecorder(const QString& dataFolder, const QString& url, const QString& source,
                                        const QString& appVersion,
                                        const std::function<void(const QString&)>& report,
                                        std::chrono::milliseconds firstRetry,
                                        std::chrono::milliseconds longestRetry) {
    return startRecorder(dataFolder, url, source, appVersion,
                         NoticeSink([report](const JournalNotice& n) { report(n.message); }), firstRetry,
                         longestRetry);
}

std::unique_ptr<Recorder> startRecorder(const QString& dataFolder, const QString& url, const QString& source,
                                        const QString& appVersion, const NoticeSink& report,
                                        std::chrono::milliseconds firstRetry,
                                        std::chrono::milliseconds longestRetry) {
    RecorderOptions o;
    o.station = loadStation(dataFolder);
    o.source = source;
    o.operatorName = systemAccount();
    o.appVersion = appVersion;
    const QString wanted = url.isEmpty() ? o.station.url : url;
    QString error;
    std::optional<JournalUrl> parsed = parseJournalUrl(kDefaultJournalUrl, dataFolder, error);
    if (!wanted.isEmpty()) {
        const auto given = parseJournalUrl(wanted, dataFolder, error);
        if (!given)
            report({JournalNotice::Kind::UrlRefused,
                    error + QStringLiteral("; recording to the local journal"), error});
        else if (given->kind == JournalUrl::Kind::Postgresql)
            o.server = given->connection; // the local journal first, then the server
        else
            parsed = given;
    }
    o.firstRetry = firstRetry;
    o.longestRetry = longestRetry;
    o.path = parsed->path;
    o.dataFolder = dataFolder;
    return std::make_unique<Recorder>(std::move(o), report);
}

} // namespace lorimet::journal
