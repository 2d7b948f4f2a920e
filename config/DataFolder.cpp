#include "config/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace lorimet {

namespace {

bool isSystemProgramFolder(const QString& folder) {
    // canonical, so that /bin (a link to /usr/bin on a merged /usr) and a trailing slash compare alike
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    QStringList system = {QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin"),
                          QStringLiteral("/bin")};
#ifdef LORIMET_INSTALL_BINDIR
    system.append(QStringLiteral(LORIMET_INSTALL_BINDIR));
#endif
    for (const QString& s : system) {
        if (QFileInfo(s).canonicalFilePath() == canonical)
            return true;
    }
    return false;
}

} // namespace

QString perUserDataFolder() {
    // Not AppDataLocation itself: that adds the organisation's name, which the program sets (its version
    // window shows it) and the tools do not, so each would look in a folder of its own.
    const QDir shared(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    const QString folder = shared.filePath(QCoreApplication::applicationName());
    // Earlier versions kept it below the organisation's name: a folder already there goes on being used,
    // so that nobody's configuration, day files and journal seem to vanish with an upgrade.
    const QString earlier =
        shared.filePath(QString::fromUtf8(kOrganisationName) + u'/' + QCoreApplication::applicationName());
    if (!QFileInfo::exists(folder) && QFileInfo(earlier).isDir())
        return earlier;
    return folder;
}

QString dataFolderFor(const QString& exeFolder) {
    if (QFileInfo(exeFolder).isWritable() && !isSystemProgramFolder(exeFolder))
        return exeFolder;
    return perUserDataFolder();
}

QString defaultDataFolder() {
    return dataFolderFor(QCoreApplication::applicationDirPath());
}

} // namespace lorimet
