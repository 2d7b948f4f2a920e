#pragma once

#include "engine/RunSink.h"
#include "journal/Record.h"
#include "journal/Station.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace lorimet::journal {

struct RecorderOptions {
    QString path;       // the SQLite journal
    QString dataFolder; // where the chain's anchor is kept; empty: none
    Station station;
    QString source = QStringLiteral("live");
    QString operatorName; // the system account
    QString appVersion;
};

// A finished run as its record, before the store numbers it in the chain.
Record recordOf(const FinishedRun& run, const RecorderOptions& options);
// The account the program runs under.
QString systemAccount();

// Records each finished run in the journal. The engine's thread only queues the run; a writer thread with
// its own connection makes the record and commits it, so a long run costs the window nothing. Messages
// (a journal kept aside, a record that could not be written) go to `report`, called on the writer thread.
class Recorder : public RunSink {
  public:
    Recorder(RecorderOptions options, std::function<void(const QString&)> report);
    ~Recorder() override; // writes what is queued, then stops
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void runFinished(FinishedRun run) override;
    // Returns once every run queued so far is written (or failed).
    void waitIdle();

  private:
    void work();

    RecorderOptions options_;
    std::function<void(const QString&)> report_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<FinishedRun> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

// The recorder of a data folder's journal: the station from its lorimet.ini, the local journal
// (sqlite:lorimet.db unless `url` names another SQLite file). A URL that does not read is reported and the
// default local journal is used; a server URL is reported as not supported by this build, and the local
// journal records alone.
std::unique_ptr<Recorder> startRecorder(const QString& dataFolder, const QString& url, const QString& source,
                                        const QString& appVersion,
                                        const std::function<void(const QString&)>& report);

} // namespace lorimet::journal
