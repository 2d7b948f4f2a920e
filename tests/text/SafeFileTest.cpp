#include "text/SafeFile.h"

#include "fakes/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lorimet;
using lorimet::testing::SmallDisk;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray pattern(qsizetype size, char seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i % 61);
    return bytes;
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

TEST(SafeFile, AFullDiskLeavesTheOldFileAsItWas) {
    SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    const QString target = disk.filePath(QStringLiteral("Vornel_config.ini"));
    const QByteArray old = pattern(10000, 'a');
    ASSERT_TRUE(writeFileAtomically(target, old));

    // Small writes stay in a buffered writer until its last flush, large ones do not: both must fail
    // before anything is renamed, on a disk with no room and on one with too little.
    struct Case {
        int freeBlocks;
        qsizetype size;
    };
    for (const Case& c : {Case{0, 100}, Case{0, 20000}, Case{2, 20000}, Case{2, 8193}}) {
        disk.empty();
        disk.fill(c.freeBlocks);
        QString reason;
        EXPECT_FALSE(writeFileAtomically(target, pattern(c.size, 'A'), &reason)) << c.size;
        EXPECT_EQ(reason, QStringLiteral("Нет места на диске.")) << c.size;
        EXPECT_EQ(fileBytes(target), old) << c.size;
        // The new file beside the target is gone again.
        EXPECT_EQ(entries(disk.path()), QStringList({".filler", "Vornel_config.ini"})) << c.size;
    }

    // With room enough the new content arrives whole.
    disk.empty();
    disk.fill(8);
    const QByteArray replacement = pattern(20000, 'A');
    EXPECT_TRUE(writeFileAtomically(target, replacement));
    EXPECT_EQ(fileBytes(target), replacement);
    EXPECT_EQ(entries(disk.path()), QStringList({".filler", "Vornel_config.ini"}));
}

TEST(SafeFile, ReadOnlyDiskAndFolderInTheWay) {
    SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    const QString target = disk.filePath(QStringLiteral("day.tmp"));
    ASSERT_TRUE(writeFileAtomically(target, "old"));
    ASSERT_TRUE(QDir().mkpath(disk.filePath(QStringLiteral("folder"))));

    QString reason;
    EXPECT_FALSE(writeFileAtomically(disk.filePath(QStringLiteral("folder")), "new", &reason));
    EXPECT_EQ(reason, QStringLiteral("На месте файла находится папка."));
    EXPECT_TRUE(QFileInfo(disk.filePath(QStringLiteral("folder"))).isDir());

    EXPECT_FALSE(writeFileAtomically(disk.filePath(QStringLiteral("no/such/x.txt")), "new", &reason));
    EXPECT_EQ(reason, QStringLiteral("Папка не найдена."));

    ASSERT_EQ(::mount(nullptr, QFile::encodeName(disk.path()).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                      nullptr),
              0);
    EXPECT_FALSE(writeFileAtomically(target, "new", &reason));
    EXPECT_EQ(reason, QStringLiteral("Диск защищён от записи."));
    EXPECT_EQ(fileBytes(target), QByteArray("old"));
}

TEST(SafeFile, PermissionsAndLinksAreKept) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("report.csv"));
    ASSERT_TRUE(writeFileAtomically(target, "one"));
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    ASSERT_TRUE(writeFileAtomically(target, "two"));
    struct stat s {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &s), 0);
    EXPECT_EQ(s.st_mode & 07777, 0640u);
    EXPECT_EQ(fileBytes(target), QByteArray("two"));

    // A link is written through: it stays a link, and the file it names gets the content.
    const QString link = dir.filePath(QStringLiteral("latest.csv"));
    ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(writeFileAtomically(link, "three"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(fileBytes(target), QByteArray("three"));
    EXPECT_EQ(entries(dir.path()), QStringList({"latest.csv", "report.csv"}));
}

TEST(SafeFile, KeptCopiesNeverReplaceAnEarlierOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString day = dir.filePath(QStringLiteral("Протокол от 06.12.26 г.tmp"));
    ASSERT_TRUE(writeFileAtomically(day, QByteArray("first\0rest", 10)));
    QString kept;
    ASSERT_TRUE(keepCopyBeside(day, QStringLiteral(".damaged"), &kept));
    EXPECT_EQ(kept, day + QStringLiteral(".damaged"));
    ASSERT_TRUE(writeFileAtomically(day, QByteArray("second\0rest", 11)));
    ASSERT_TRUE(keepCopyBeside(day, QStringLiteral(".damaged"), &kept));
    EXPECT_EQ(kept, day + QStringLiteral(".damaged-2"));

    // Each kept file still holds what the day file held when it was kept, although the day file was
    // replaced since.
    ASSERT_TRUE(writeFileAtomically(day, "third"));
    EXPECT_EQ(fileBytes(day + QStringLiteral(".damaged")), QByteArray("first\0rest", 10));
    EXPECT_EQ(fileBytes(day + QStringLiteral(".damaged-2")), QByteArray("second\0rest", 11));
    EXPECT_EQ(fileBytes(day), QByteArray("third"));
    EXPECT_FALSE(keepCopyBeside(dir.filePath(QStringLiteral("missing")), QStringLiteral(".damaged")));
}

TEST(SafeFile, AReadOnlyFileIsNotReplaced) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0); // the folder allows it
    const QString target = dir.filePath(QStringLiteral("day.tmp"));
    ASSERT_TRUE(writeFileAtomically(target, "old"));
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0444), 0);
    // Root may write anything: the check runs as an ordinary user in a child process.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        QString reason;
        const bool written = writeFileAtomically(target, "new", &reason);
        ::_exit(!written && reason == QStringLiteral("Нет прав на запись в эту папку или в этот файл.") ? 0
                                                                                                        : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(fileBytes(target), QByteArray("old"));
    EXPECT_EQ(entries(dir.path()), QStringList{"day.tmp"});
}
