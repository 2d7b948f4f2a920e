#include "config/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace lorimet;

namespace {

// The per-user folder of a test process, whatever XDG_DATA_HOME says on this machine.
QString expectedPerUserFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QCoreApplication::applicationName());
}

} // namespace

TEST(DataFolder, WritableFolderOfABuildIsItsOwnDataFolder) {
    QTemporaryDir exeFolder;
    ASSERT_TRUE(exeFolder.isValid());
    EXPECT_EQ(dataFolderFor(exeFolder.path()), exeFolder.path());
}

// Root may write into /usr/bin; an installed program must keep its files out of it all the same.
TEST(DataFolder, SystemProgramFoldersGiveThePerUserFolder) {
    for (const char* folder : {"/usr/bin", "/usr/bin/", "/bin", "/usr/local/bin"}) {
        if (!QDir(QString::fromLatin1(folder)).exists())
            continue;
        EXPECT_EQ(dataFolderFor(QString::fromLatin1(folder)), expectedPerUserFolder()) << folder;
    }
}

TEST(DataFolder, MissingFolderGivesThePerUserFolder) {
    EXPECT_EQ(dataFolderFor(QStringLiteral("/nonexistent/lorimet/bin")), expectedPerUserFolder());
}

// The program names an organisation and its tools do not: they must still share one folder.
TEST(DataFolder, PerUserFolderIgnoresTheOrganisation) {
    const QString appName = QCoreApplication::applicationName();
    const QString orgName = QCoreApplication::organizationName();
    QCoreApplication::setApplicationName(QStringLiteral("lorimet"));
    const QString withoutOrganisation = perUserDataFolder();
    QCoreApplication::setOrganizationName(QStringLiteral("Лаборатория ЛОРИМЕТ"));
    const QString withOrganisation = perUserDataFolder();
    QCoreApplication::setOrganizationName(orgName);
    QCoreApplication::setApplicationName(appName);
    EXPECT_EQ(withOrganisation, withoutOrganisation);
    EXPECT_TRUE(withoutOrganisation.endsWith(QStringLiteral("/lorimet")))
        << withoutOrganisation.toStdString();
}
