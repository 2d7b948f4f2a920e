#pragma once

#include <QString>

namespace lorimet {

// One running program for the whole machine, whoever runs it. An advisory lock (flock) on a file that is
// never removed: the system lets go of it when the process ends, however it ends, so no lock is ever left
// stale, and the file is open to every user (a lock file left by root in the sticky /tmp, which nobody
// else could take over, would keep everyone else's program from starting).
class InstanceLock {
  public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Result { Acquired, HeldElsewhere, Failed };
    // `why` is set when Failed: the lock file could not be opened (no other instance is known to run).
    Result acquire(const QString& path, QString& why);
    // Lets go before the process ends (it ends with the process anyway).
    void release();

  private:
    int fd_ = -1;
};

} // namespace lorimet
