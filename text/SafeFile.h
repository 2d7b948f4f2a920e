#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace lorimet {

// Files that hold results or settings are read and written through here, and nowhere else.

// The largest file read whole. A day of the longest runs is a few megabytes; anything near this is not a
// protocol, and reading it would only exhaust the memory.
constexpr qint64 kMaxReadBytes = 64 * 1024 * 1024;

// Replaces the file at path by bytes, or leaves it exactly as it was. The bytes go to a new file in the
// target's folder, every write checked and synced to the disk; the file gets a name beside the target (the
// target's name and a dot and six letters) only once it is whole, and is then renamed over the target; on
// any failure the new file is removed again. A full disk, a file or
// folder we may not write, a folder in the way: false, with the reason in the operator's words in *reason.
// The new file takes the old one's permissions, or those of any new file. A symbolic link is written
// through.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* reason = nullptr);

// Keeps the file at path under a free name beside it, path + suffix, else path + suffix + "-2", "-3" ...:
// an earlier file of such a name is never replaced. The original stays where it is; the kept one is a
// second link to it, or a whole copy where the file system takes no second link. The name used goes to
// *keptAs. False, with the reason, when nothing could be kept.
bool keepCopyBeside(const QString& path, const QString& suffix, QString* keptAs = nullptr,
                    QString* reason = nullptr);

struct FileRead {
    std::optional<QByteArray>
        bytes; // the whole file; nullopt when it is not there, not read or not read whole
    // True when something stands at the path that was not read whole: a file that could not be read or is
    // larger than the limit. Not for a FIFO, a device or a folder: they hold nothing of ours.
    bool unreadFile = false;
};

// Reads a regular file of at most maxBytes whole. Anything else at the path (a FIFO, a device, a socket, a
// folder) is refused without being opened for reading: a FIFO would wait for a writer for ever, a device
// may never end.
FileRead readRegularFile(const QString& path, qint64 maxBytes = kMaxReadBytes);

} // namespace lorimet
