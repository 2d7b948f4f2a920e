#include "journal/Station.h"

#include <QDir>
#include <QSettings>
#include <QSysInfo>
#include <QUuid>

namespace lorimet::journal {

Station loadStation(const QString& dataFolder) {
    QSettings ini(QDir(dataFolder).filePath(QStringLiteral("lorimet.ini")), QSettings::IniFormat);
    Station s;
    s.id = ini.value(QStringLiteral("station/id")).toString();
    s.name = ini.value(QStringLiteral("station/name")).toString();
    s.url = ini.value(QStringLiteral("journal/url")).toString();
    if (QUuid::fromString(s.id).isNull()) {
        s.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        ini.setValue(QStringLiteral("station/id"), s.id);
    }
    if (s.name.isEmpty()) {
        s.name = QSysInfo::machineHostName();
        ini.setValue(QStringLiteral("station/name"), s.name);
    }
    ini.sync();
    return s;
}

} // namespace lorimet::journal
