#include "text/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lorimet {
namespace {

// The reasons an operator meets, in the program's language; the system's own text for anything rarer.
QString reasonText(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Нет места на диске.");
    case EACCES:
    case EPERM:
        return QStringLiteral("Нет прав на запись в эту папку или в этот файл.");
    case EROFS:
        return QStringLiteral("Диск защищён от записи.");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("Папка не найдена.");
    case EISDIR:
        return QStringLiteral("На месте файла находится папка.");
    case EIO:
        return QStringLiteral("Ошибка ввода-вывода.");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

bool fail(QString* reason, int error) {
    if (reason)
        *reason = reasonText(error);
    return false;
}

// The letters QSaveFile used for its new files, so that a leftover of a killed program looks the same.
QByteArray randomSuffix() {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(".");
    for (int i = 0; i < 6; ++i)
        suffix += kLetters[QRandomGenerator::global()->bounded(static_cast<int>(sizeof kLetters - 1))];
    return suffix;
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// After the rename the folder entry itself must reach the disk, or a power cut may bring back the old
// file. A folder that cannot be synced (some file systems refuse) changes nothing of the outcome.
void syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* reason) {
    QFileInfo info(path);
    if (info.isSymLink())
        info = QFileInfo(info.symLinkTarget());
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    struct stat old {};
    const bool replacing = ::stat(target.constData(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode))
        return fail(reason, EISDIR);
    // A file made read-only is not replaced behind its owner's back, although the folder would allow it.
    if (replacing && ::access(target.constData(), W_OK) != 0)
        return fail(reason, errno);

    // The bytes go into a file without a name in the target's folder, named only once it is whole and
    // synced: a program killed while writing leaves nothing behind, and one killed before the rename leaves
    // a complete file. Where the file system has no such files, a named one takes its place from the start.
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    const bool unnamed = fd >= 0;
    if (!unnamed && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return fail(reason, errno);
    QByteArray scratch;
    bool named = false; // scratch is ours to remove again
    for (int attempt = 0; attempt < 100 && !unnamed && fd < 0; ++attempt) {
        scratch = target + randomSuffix();
        fd = ::open(scratch.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return fail(reason, errno);
    }
    if (fd < 0)
        return fail(reason, EEXIST);
    named = !unnamed;

    // Unbuffered writes, each checked, then the sync: a full disk shows at one of them, never after the
    // rename.
    bool ok =
        (!replacing || ::fchmod(fd, old.st_mode & 07777) == 0) && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (ok && unnamed) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        ok = false;
        for (int attempt = 0; attempt < 100 && !ok; ++attempt) {
            scratch = target + randomSuffix();
            ok = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, scratch.constData(), AT_SYMLINK_FOLLOW) == 0;
            if (!ok && errno != EEXIST)
                break;
        }
        error = errno;
        named = ok;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(scratch.constData(), target.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        if (named)
            ::unlink(scratch.constData());
        return fail(reason, error);
    }
    syncFolder(folder);
    return true;
}

bool keepCopyBeside(const QString& path, const QString& suffix, QString* keptAs, QString* reason) {
    const QByteArray source = QFile::encodeName(path);
    for (int n = 1; n <= 1000; ++n) {
        const QString name = path + suffix + (n == 1 ? QString() : QStringLiteral("-%1").arg(n));
        const QByteArray kept = QFile::encodeName(name);
        bool done = ::link(source.constData(), kept.constData()) == 0;
        if (!done && errno == EEXIST)
            continue;
        if (!done &&
            (errno == ENOENT || errno == ENOTDIR || errno == ENOSPC || errno == EDQUOT || errno == EROFS))
            return fail(reason, errno);
        if (!done) {
            // No second link here (another owner's file, a file system without them): a copy, which counts
            // only once it is whole on the disk.
            const FileRead read = readRegularFile(path);
            if (!read.bytes)
                return fail(reason, EACCES);
            const int fd = ::open(kept.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST)
                continue;
            if (fd < 0)
                return fail(reason, errno);
            bool ok = writeAll(fd, *read.bytes) && ::fsync(fd) == 0;
            int error = errno;
            if (::close(fd) != 0 && ok) {
                ok = false;
                error = errno;
            }
            if (!ok) {
                ::unlink(kept.constData());
                return fail(reason, error);
            }
        }
        syncFolder(QFile::encodeName(QFileInfo(path).absolutePath()));
        if (keptAs)
            *keptAs = name;
        return true;
    }
    return fail(reason, EEXIST);
}

FileRead readRegularFile(const QString& path, qint64 maxBytes) {
    FileRead result;
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    if (::stat(name.constData(), &before) != 0 || !S_ISREG(before.st_mode))
        return result;
    result.unreadFile = true;
    if (before.st_size > maxBytes)
        return result;
    // Non-blocking, so that a FIFO put there since the check cannot hold the program; it is refused below.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return result;
    struct stat opened {};
    const bool statted = ::fstat(fd, &opened) == 0;
    if (!statted || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        result.unreadFile = !statted;
        return result;
    }
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(opened.st_size));
    qsizetype got = 0;
    bool ok = true;
    // The file may grow while it is read: one byte more than the limit tells.
    while (ok) {
        if (got == bytes.size()) {
            if (got > maxBytes)
                break;
            bytes.resize(std::min<qint64>(maxBytes + 1, got + 65536));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        if (n == 0)
            break;
        got += n;
    }
    ::close(fd);
    if (!ok || got > maxBytes)
        return result;
    bytes.truncate(got);
    result.bytes = std::move(bytes);
    result.unreadFile = false;
    return result;
}

} // namespace lorimet
