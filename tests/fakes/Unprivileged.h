#pragma once

// A device the test's account may not open, and a child process that tries it without root's rights: tests
// run as root in CI, and root opens any device whatever its permissions.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lorimet::testing {

// A pseudo-terminal whose device an unprivileged account may not open: nobody may (mode 000), or only its
// group may (mode 0660 and that group, which the unprivileged child is not in). It lasts as long as the
// object.
class LockedPty {
  public:
    explicit LockedPty(const char* group = nullptr) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        const char* name = ::ptsname(master_);
        if (!name)
            return;
        if (group) {
            const struct group* g = ::getgrnam(group);
            if (!g || ::chown(name, ::geteuid(), g->gr_gid) != 0 || ::chmod(name, 0660) != 0)
                return;
        } else if (::chmod(name, 0) != 0) {
            return;
        }
        path_ = QString::fromLocal8Bit(name);
        // A lock file that a killed program left for an earlier pseudo-terminal of this number is the test's
        // own business: one of root's would make QSerialPort refuse the child for it, not for the mode.
        const QByteArray lockName = "LCK.." + QByteArray(name + 5).replace('/', '_'); // past "/dev/"
        for (const char* folder : {"/var/lock", "/run/lock", "/tmp", "/var/tmp", "/etc/locks",
                                   "/var/spool/locks", "/var/spool/uucp", "/var/lock/lockdev"})
            ::unlink((QByteArray(folder) + '/' + lockName).constData());
        if (const char* tmp = std::getenv("TMPDIR"))
            ::unlink((QByteArray(tmp) + '/' + lockName).constData());
    }
    ~LockedPty() {
        if (master_ >= 0)
            ::close(master_);
    }
    LockedPty(const LockedPty&) = delete;
    LockedPty& operator=(const LockedPty&) = delete;
    bool ok() const { return !path_.isEmpty(); }
    const QString& path() const { return path_; }

  private:
    int master_ = -1;
    QString path_;
};

// Runs `body` in a child process under an account without root's rights: root's child becomes nobody
// (65534, no supplementary groups), anyone else's stays who it is. Returns what the body returned; empty,
// with the reason in `why`, when the child could not run it to its end.
inline std::optional<QByteArray> runUnprivileged(const std::function<QByteArray()>& body, QString* why) {
    int fds[2];
    if (::pipe(fds) != 0) {
        *why = QStringLiteral("no pipe");
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        *why = QStringLiteral("no fork");
        return std::nullopt;
    }
    if (child == 0) {
        ::close(fds[0]);
        constexpr uid_t kNobody = 65534;
        const bool dropped = ::geteuid() != 0 || (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 &&
                                                  ::setuid(kNobody) == 0 && ::geteuid() == kNobody);
        const QByteArray result = dropped ? body() : QByteArray("could not leave root's rights");
        for (qsizetype done = 0; done < result.size();) {
            const ssize_t n =
                ::write(fds[1], result.constData() + done, static_cast<size_t>(result.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        ::close(fds[1]);
        ::_exit(dropped ? 0 : 3); // no destructors of the parent's objects, no exit handlers
    }
    ::close(fds[1]);
    QByteArray result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        result.append(buffer, n);
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *why =
            QStringLiteral("the child ended with status %1: %2").arg(status).arg(QString::fromUtf8(result));
        return std::nullopt;
    }
    return result;
}

} // namespace lorimet::testing
