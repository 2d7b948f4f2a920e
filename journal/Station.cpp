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

std::optional<ChainAnchor> readChainAnchor(const QString& dataFolder, const QString& journal) {
    QSettings ini(QDir(dataFolder).filePath(QStringLiteral("lorimet.ini")), QSettings::IniFormat);
    ChainAnchor a;
    a.journal = ini.value(QStringLiteral("chain/journal")).toString();
    a.station = ini.value(QStringLiteral("chain/station")).toString();
    a.seq = ini.value(QStringLiteral("chain/seq")).toLongLong();
    a.hash = ini.value(QStringLiteral("chain/hash")).toString();
    if (a.journal != journal || a.station.isEmpty() || a.seq < 1)
        return std::nullopt;
    return a;
}

void writeChainAnchor(const QString& dataFolder, const ChainAnchor& anchor) {
    QSettings ini(QDir(dataFolder).filePath(QStringLiteral("lorimet.ini")), QSettings::IniFormat);
    ini.setValue(QStringLiteral("chain/journal"), anchor.journal);
    ini.setValue(QStringLiteral("chain/station"), anchor.station);
    ini.setValue(QStringLiteral("chain/seq"), anchor.seq);
    ini.setValue(QStringLiteral("chain/hash"), anchor.hash);
    ini.sync();
}

void clearChainAnchor(const QString& dataFolder) {
    QSettings ini(QDir(dataFolder).filePath(QStringLiteral("lorimet.ini")), QSettings::IniFormat);
    ini.remove(QStringLiteral("chain"));
    ini.sync();
}

QString beginNewChain(const QString& dataFolder) {
    clearChainAnchor(dataFolder);
    QSettings ini(QDir(dataFolder).filePath(QStringLiteral("lorimet.ini")), QSettings::IniFormat);
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    ini.setValue(QStringLiteral("station/id"), id);
    ini.sync();
    return id;
}

int calibrationAgeLimitHours(const QString& dataFolder) {
    const QSettings ini(QDir(dataFolder).filePath(QStringLiteral("lorimet.ini")), QSettings::IniFormat);
    bool ok = false;
    const int hours = ini.value(QStringLiteral("calibration/max_age_hours")).toInt(&ok);
    return ok && hours > 0 ? hours : kDefaultCalibrationAgeLimitHours;
}

} // namespace lorimet::journal
