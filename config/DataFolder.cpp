#include "config/DataFolder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

namespace lorimet {

QString defaultDataFolder() {
    const QString exeFolder = QCoreApplication::applicationDirPath();
    if (QFileInfo(exeFolder).isWritable())
        return exeFolder;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

} // namespace lorimet
