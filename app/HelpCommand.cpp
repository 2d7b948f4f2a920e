#include "app/HelpCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace lorimet {

HelpPlaces HelpPlaces::standard() {
    HelpPlaces places;
    places.helpFolder = QDir::currentPath();
    // An installed program finds the manual its package put beside it (/usr/bin → /usr/share/doc/…); a run
    // from the build tree finds the source tree's; a program copied elsewhere still finds the package's.
    places.manuals << QDir(QCoreApplication::applicationDirPath())
                          .filePath(QStringLiteral("../share/doc/lorimet/manual/index.html"));
#ifdef LORIMET_SOURCE_MANUAL
    places.manuals << QStringLiteral(LORIMET_SOURCE_MANUAL);
#endif
    places.manuals << QStringLiteral("/usr/share/doc/lorimet/manual/index.html");
    return places;
}

bool openHelp(const HelpPlaces& places, const std::function<bool(const QUrl&)>& open) {
    QStringList candidates;
    // The older help format takes precedence, as it always has.
    for (const char* name : {"Vornel_HELP.HLP", "Vornel_HELP.chm"})
        candidates << QDir(places.helpFolder).filePath(QString::fromLatin1(name));
    candidates << places.manuals;
    for (const QString& path : candidates) {
        const QFileInfo file(path);
        if (!path.isEmpty() && file.isFile() && open &&
            open(QUrl::fromLocalFile(QDir::cleanPath(file.absoluteFilePath()))))
            return true;
    }
    return false;
}

} // namespace lorimet
