#pragma once

// A small disk of its own for one test: a tmpfs mounted on a temporary folder, to see what a full disk does
// to a save. Mounting takes root, as the test machines and the CI run; a test skips where it is refused:
//
//     SmallDisk disk;
//     if (!disk.mounted())
//         GTEST_SKIP() << disk.why();
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace lorimet::testing {

class SmallDisk {
  public:
    static constexpr qint64 kBlock = 4096; // tmpfs hands out whole pages

    explicit SmallDisk(qint64 bytes = 64 * 1024) {
        if (!dir_.isValid()) {
            why_ = "no temporary folder";
            return;
        }
        const QByteArray options = "size=" + QByteArray::number(bytes);
        mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0,
                           options.constData()) == 0;
        if (!mounted_)
            why_ = QByteArray("cannot mount a tmpfs here: ") + std::strerror(errno);
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const char* why() const { return why_.constData(); }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return QDir(dir_.path()).filePath(name); }

    // Fills the disk with a file of its own until nothing more fits, then gives back `freeBlocks` blocks:
    // a save that needs more than that meets a full disk part-way.
    void fill(int freeBlocks = 0) {
        const QByteArray filler = QFile::encodeName(filePath(QStringLiteral(".filler")));
        const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (fd < 0)
            return;
        const QByteArray chunk(kBlock, 'x');
        while (::write(fd, chunk.constData(), static_cast<size_t>(chunk.size())) > 0) {
        }
        const off_t size = ::lseek(fd, 0, SEEK_END);
        const off_t keep = size - static_cast<off_t>(freeBlocks) * kBlock;
        if (::ftruncate(fd, keep > 0 ? keep : 0) != 0) {
        }
        ::close(fd);
    }

    // Makes room again: the filler goes.
    void empty() { QFile::remove(filePath(QStringLiteral(".filler"))); }

    qint64 freeBytes() const {
        struct statvfs s {};
        if (::statvfs(QFile::encodeName(dir_.path()).constData(), &s) != 0)
            return -1;
        return static_cast<qint64>(s.f_bavail) * static_cast<qint64>(s.f_frsize);
    }

  private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    QByteArray why_;
};

} // namespace lorimet::testing
