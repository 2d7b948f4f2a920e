#include "app/HelpFile.h"

#include <QDir>
#include <QFileInfo>

namespace lorimet {

QString findHelpFile(const QString& workingFolder, const QString& exeFolder) {
    QStringList candidates;
    for (const char* name : {"Vornel_HELP.HLP", "Vornel_HELP.chm"})
        candidates.append(QDir(workingFolder).filePath(QString::fromLatin1(name)));
    candidates.append(QDir(exeFolder).filePath(QStringLiteral("../share/doc/lorimet/manual/index.html")));
    for (const QString& candidate : candidates) {
        const QFileInfo file(candidate);
        if (file.isFile())
            return QDir::cleanPath(file.absoluteFilePath());
    }
    return {};
}

} // namespace lorimet
