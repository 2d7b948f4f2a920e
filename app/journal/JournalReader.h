#pragma once

#include "journal/Store.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

namespace lorimet::journalwindow {

// Which journal the window reads and how it is described to the people using it.
struct JournalSource {
    QString description; // «Журнал лаборатории (сервер …)» or «Журнал этого компьютера (…)»
    bool server = false;
    bool open = false; // false: nothing to read (no journal yet, or it cannot be opened)
    QString problem;   // why the server or the file could not be used, when one could not
};

// The journal read on a thread of its own: a server far away, or a long search, never holds up the
// windows. Jobs run one after the other on that thread with the store; whatever they hand back reaches
// the window through a queued call on its own object (see post). The store is used on that thread only.
class JournalReader {
  public:
    // Opens the server named by `url` (else lorimet.ini's) when there is one and it answers, else the data
    // folder's own journal; `opened` is called on the window's thread with what was opened.
    JournalReader(QString dataFolder, QString url, QObject* receiver,
                  std::function<void(const JournalSource&)> opened);
    ~JournalReader(); // stop()
    // Runs the jobs asked for so far, closes the store and ends the thread; later jobs are not run. The
    // jobs may still post meanwhile, so the reader must stay reachable by them until this returns.
    void stop();
    JournalReader(const JournalReader&) = delete;
    JournalReader& operator=(const JournalReader&) = delete;

    // Runs `job` on the reader's thread; the store is null when no journal could be opened.
    void run(std::function<void(journal::Store* store)> job);
    // From a job: calls `then` on the receiver's thread.
    void post(std::function<void()> then);

    const QString& dataFolder() const { return dataFolder_; }
    // The server records go to (the URL given, else lorimet.ini's); empty without one.
    const QString& server() const { return server_; }

  private:
    QString dataFolder_;
    QString server_;
    QObject* receiver_;
    QThread thread_;
    QObject* context_ = nullptr; // lives on thread_
    std::unique_ptr<journal::Store> store_;
};

} // namespace lorimet::journalwindow
