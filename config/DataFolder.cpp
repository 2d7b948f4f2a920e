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
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QCoreApplication::applicationName());
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
