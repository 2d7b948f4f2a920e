#pragma once

#include "engine/RunSink.h"
#include "journal/Notice.h"
#include "journal/Outbox.h"
#include "journal/Record.h"
#include "journal/Station.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace lorimet::journal {

struct RecorderOptions {
    QString path;       // the SQLite journal
    QString dataFolder; // where the chain's anchor is kept; empty: none
    Station station;
    QString source = QStringLiteral("live");
    QString operatorName; // the system account
    QString appVersion;
    QString server; // the lab server's URL; empty: the local journal only
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds longestRetry{60000};
};

// A finished run as its record, before the store numbers it in the chain.
Record recordOf(const FinishedRun& run, const RecorderOptions& options);
// The account the program runs under.
QString systemAccount();

// Records each finished run in the journal. The engine's thread only queues the run; a writer thread with
// its own connection makes the record and commits it, so a long run costs the window nothing. With a
// server, the outbox's worker then ships it. Messages (a journal kept aside, a record that could not be
// written, the server lost) go to `report`, called on one of those threads, one message at a time.
class Recorder : public RunSink {
  public:
    Recorder(RecorderOptions options, NoticeSink report);
    // The same, each notice as its log message.
    Recorder(RecorderOptions options, const std::function<void(const QString&)>& report);
    // Writes what is queued, gives the outbox up to 2 s to ship it (none while the server is away), then
    // stops.
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void runFinished(FinishedRun run) override;
    // Appends a record made elsewhere (an annotation) to this station's chain, after the runs queued so
    // far, and ships it like them. `done` is called on the writer's thread: committed, or why not.
    void append(Record record, std::function<void(bool committed, const QString& error)> done);
    // Returns once every run queued so far is committed (or failed), but after 2 s at most: a result then
    // goes into the day file only after its record is in the journal, and a journal that hangs (a stalled
    // disk, a lock held elsewhere) holds the day file back no longer than that.
    void waitKept() override;
    // Returns once every run queued so far is written (or failed).
    void waitIdle();
    // Returns true once every run queued so far is written and, with a server, acknowledged by it; false
    // when `timeout` passes first.
    bool waitShipped(std::chrono::milliseconds timeout);
    // Told, on the outbox's thread, how many records wait for the server after each attempt to ship them
    // (a window shows it). Set it empty before whatever it calls is gone.
    void setWaitingObserver(std::function<void(qint64)> observer);

  private:
    void work();
    void report(const JournalNotice& notice);

    RecorderOptions options_;
    NoticeSink report_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    // A finished run to make a record of, or a record made elsewhere (an annotation) with whom to tell.
    struct Entry {
        std::optional<FinishedRun> run;
        std::optional<Record> record;
        std::function<void(bool, const QString&)> done;
    };
    std::deque<Entry> queue_;
    std::unique_ptr<Outbox> outbox_; // made by the writer once the local journal is open
    std::mutex reportMutex_;
    std::function<void(qint64)> observer_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

// The recorder of a data folder's journal: the station from its lorimet.ini, the local journal
// (sqlite:lorimet.db unless `url` names another SQLite file), and with a postgresql:// URL (`url`, else
// lorimet.ini's) the outbox that ships the local journal's records to that server. A URL that does not
// read is reported and the local journal records alone.
std::unique_ptr<Recorder> startRecorder(const QString& dataFolder, const QString& url, const QString& source,
                                        const QString& appVersion,
                                        const std::function<void(const QString&)>& report,
                                        std::chrono::milliseconds firstRetry = std::chrono::seconds(1),
                                        std::chrono::milliseconds longestRetry = std::chrono::minutes(1));
// The same, each notice as its log message.
std::unique_ptr<Recorder> startRecorder(const QString& dataFolder, const QString& url, const QString& source,
                                        const QString& appVersion, const NoticeSink& report,
                                        std::chrono::milliseconds firstRetry = std::chrono::seconds(1),
                                        std::chrono::milliseconds longestRetry = std::chrono::minutes(1));

} // namespace lorimet::journal
