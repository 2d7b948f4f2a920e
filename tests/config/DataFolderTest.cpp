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

// A user of an earlier version has everything below the organisation's name: that folder goes on being used
// until the new one exists.
TEST(DataFolder, AnEarlierVersionsFolderGoesOnBeingUsed) {
    QTemporaryDir home;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    const QString appName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("lorimet"));
    const QString fresh = home.filePath(QStringLiteral("lorimet"));
    const QString earlier = home.filePath(QString::fromUtf8(kOrganisationName) + QStringLiteral("/lorimet"));
    EXPECT_EQ(perUserDataFolder(), fresh); // nobody has used it yet
    ASSERT_TRUE(QDir().mkpath(earlier));
    EXPECT_EQ(perUserDataFolder(), earlier);
    ASSERT_TRUE(QDir().mkpath(fresh));
    EXPECT_EQ(perUserDataFolder(), fresh);
    QCoreApplication::setApplicationName(appName);
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
}
