#include "journal/Outbox.h"

#include <optional>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace lorimet::journal {

namespace {

// Records to a server transaction: few enough that a lost connection costs little, enough that a backlog
// goes in few round trips.
constexpr int kBatch = 100;

} // namespace

ShipOutcome shipWaiting(Store& local, Store& server, const QString& url, const std::atomic<bool>* stop) {
    ShipOutcome outcome;
    for (;;) {
        if (stop && stop->load())
            break;
        QString error;
        const std::vector<Record> batch = local.waiting(url, kBatch, error);
        if (!error.isEmpty()) {
            outcome.ok = false;
            outcome.error = error;
            break;
        }
        if (batch.empty())
            break;
        if (server.ship(batch, error) == AppendResult::Failed) {
            outcome.ok = false;
            outcome.error = error;
            break;
        }
        QStringList ids;
        for (const Record& r : batch)
            ids << r.text(u"id");
        if (!local.markShipped(ids, url, error)) {
            outcome.ok = false;
            outcome.error = error;
            break;
        }
        outcome.shipped += static_cast<qint64>(batch.size());
    }
    QString error;
    outcome.waiting = local.waitingCount(url, error).value_or(-1);
    return outcome;
}

Outbox::Outbox(OutboxOptions options, NoticeSink report, std::function<void(qint64)> waitingChanged)
    : options_(std::move(options)), report_(std::move(report)), waitingChanged_(std::move(waitingChanged)) {
    thread_ = std::thread([this] { work(); });
}

Outbox::~Outbox() {
    stopping_ = true;
    wake_.notify_all();
    thread_.join();
}

void Outbox::recordCommitted() {
    {
        std::lock_guard lock(mutex_);
        ++told_;
    }
    wake_.notify_one();
}

bool Outbox::waitEmpty(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return done_.wait_for(lock, timeout, [this] { return handled_ == told_ && waiting_ == 0; });
}

void Outbox::finish(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    done_.wait_for(lock, timeout, [this] { return lost_ || (handled_ == told_ && waiting_ == 0); });
}

void Outbox::work() {
#ifdef Q_OS_LINUX
    // Below the window's thread, like the journal's writer.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
    std::unique_ptr<Store> local, server;
    auto pause = options_.firstRetry;
    bool lost = false; // the server's loss is told once, not at each attempt
    std::optional<std::chrono::steady_clock::time_point> retryAt;
    for (;;) {
        qint64 told = 0;
        {
            std::unique_lock lock(mutex_);
            auto due = [this] { return stopping_.load() || handled_ != told_; };
            if (retryAt)
                wake_.wait_until(lock, *retryAt, due);
            else
                wake_.wait(lock, due);
            if (stopping_)
                return;
            told = told_;
        }
        QString error;
        ShipOutcome outcome;
        if (!local)
            local = Store::openExisting(options_.journal, error);
        if (local && !server)
            server = Store::openServer(options_.server, false, error);
        if (local && server) {
            outcome = shipWaiting(*local, *server, options_.server, &stopping_);
        } else {
            outcome.ok = false;
            outcome.error = error;
            if (local)
                outcome.waiting = local->waitingCount(options_.server, error).value_or(-1);
        }
        if (outcome.ok || stopping_) {
            pause = options_.firstRetry;
            retryAt.reset();
            if (lost && outcome.ok)
                report_({JournalNotice::Kind::ServerBack,
                         QStringLiteral("the journal's server %1 takes records again").arg(options_.server),
                         QString()});
            lost = !outcome.ok && lost;
        } else {
            server.reset(); // a connection that failed is made anew
            retryAt = std::chrono::steady_clock::now() + pause;
            pause = std::min(pause * 2, options_.longestRetry);
            if (!lost)
                report_({JournalNotice::Kind::ServerAway,
                         QStringLiteral("%1; the records wait in the outbox and are shipped when the server "
                                        "is back (%2 waiting)")
                             .arg(outcome.error)
                             .arg(outcome.waiting),
                         outcome.error});
            lost = true;
        }
        waitingChanged_(outcome.waiting);
        {
            std::lock_guard lock(mutex_);
            waiting_ = outcome.waiting;
            // Records committed during the attempt are handled by the next one, at once.
            handled_ = told;
            lost_ = !outcome.ok;
        }
        done_.notify_all();
    }
}

} // namespace lorimet::journal
