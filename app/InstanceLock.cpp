#include "app/InstanceLock.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lorimet {

InstanceLock::~InstanceLock() {
    release();
}

void InstanceLock::release() {
    if (fd_ >= 0)
        ::close(fd_); // lets go of the lock; the file stays for the next one
    fd_ = -1;
}

InstanceLock::Result InstanceLock::acquire(const QString& path, QString& why) {
    const QByteArray name = QFile::encodeName(path);
    // An existing file is opened without O_CREAT: in a sticky folder the system refuses O_CREAT on another
    // user's file (protected_regular) even where its mode lets everyone write.
    int fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            ::fchmod(fd, 0666); // past the umask: every user's program locks the same file
        else if (errno == EEXIST)
            fd = ::open(name.constData(), O_RDWR | O_CLOEXEC); // another one made it meanwhile
    }
    if (fd < 0 && (errno == EACCES || errno == EPERM))
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC); // flock needs no write access
    if (fd < 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return Result::HeldElsewhere;
        why = QString::fromLocal8Bit(std::strerror(error));
        return Result::Failed;
    }
    fd_ = fd;
    return Result::Acquired;
}

} // namespace lorimet
