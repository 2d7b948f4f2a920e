#include "app/HelpFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace lorimet {
namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

// A working folder and an installed layout (prefix/bin beside prefix/share/doc/lorimet/manual).
TEST(HelpFile, WorkingFolderFirstThenTheInstalledManual) {
    struct Case {
        const char* name;
        QStringList files; // relative to the temporary folder
        QString expected;  // relative to it too; empty: no help
    };
    const QString manual = QStringLiteral("usr/share/doc/lorimet/manual/index.html");
    const Case cases[] = {
        {"hlp before chm", {"work/Vornel_HELP.HLP", "work/Vornel_HELP.chm", manual}, "work/Vornel_HELP.HLP"},
        {"chm before the manual", {"work/Vornel_HELP.chm", manual}, "work/Vornel_HELP.chm"},
        {"installed manual", {manual}, manual},
        {"manual folder without its page", {"usr/share/doc/lorimet/manual/images/a.png"}, {}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) {
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkpath(QStringLiteral("work"));
        QDir(root.path()).mkpath(QStringLiteral("usr/bin"));
        for (const QString& file : c.files)
            touch(root.filePath(file));
        const QString found =
            findHelpFile(root.filePath(QStringLiteral("work")), root.filePath(QStringLiteral("usr/bin")));
        EXPECT_EQ(found, c.expected.isEmpty() ? QString() : root.filePath(c.expected)) << c.name;
    }
}

} // namespace
} // namespace lorimet
