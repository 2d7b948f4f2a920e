#pragma once

#include "journal/Notice.h"
#include "journal/Store.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace lorimet::journal {

// What one shipment did: the records the server took, those still waiting, and why it stopped early.
struct ShipOutcome {
    qint64 shipped = 0;
    qint64 waiting = 0;
    bool ok = true;
    QString error;
};

// Ships the local journal's records that the server `url` has not acknowledged, a batch to a transaction,
// oldest first, until none waits, the server fails, or `stop` is set. The acknowledgement is written
// after the server's commit: a crash in between ships the batch again, and the server keeps it once.
ShipOutcome shipWaiting(Store& local, Store& server, const QString& url,
                        const std::atomic<bool>* stop = nullptr);

struct OutboxOptions {
    QString journal; // the local journal's file
    QString server;  // the server's URL
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds longestRetry{60000};
};

// The outbox's worker: a thread with its own connections to the local journal and to the server, which
// ships whatever waits when told a record was committed, and while the server is away tries again after
// a pause that doubles up to `longestRetry`. Messages go to `report` (once when the server is lost, once
// when it is back) and the count of records waiting to `waitingChanged`, both on the worker's thread.
class Outbox {
  public:
    Outbox(OutboxOptions options, NoticeSink report, std::function<void(qint64)> waitingChanged);
    ~Outbox(); // ends the batch in flight, then stops; what waits is shipped by the next start or sync
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    void recordCommitted();
    // True once every record committed so far is acknowledged; false when `timeout` passes first.
    bool waitEmpty(std::chrono::milliseconds timeout);
    // At the program's end: waits at most `timeout` for the records just committed, but not at all while
    // the server is away (they wait for the next start or sync).
    void finish(std::chrono::milliseconds timeout);

  private:
    void work();

    OutboxOptions options_;
    NoticeSink report_;
    std::function<void(qint64)> waitingChanged_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    qint64 told_ = 1; // records committed (the first attempt ships what waits from before)
    qint64 handled_ = 0;
    qint64 waiting_ = -1;
    bool lost_ = false; // the last attempt failed
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace lorimet::journal
