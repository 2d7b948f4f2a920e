#include "journal/Station.h"

#include <QDir>
#include <QLockFile>
#include <QSettings>
#include <QSysInfo>
#include <QUuid>

namespace lorimet::journal {

namespace {

QString iniPath(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral("lorimet.ini"));
}

// QSettings guards each write with lorimet.ini.lock and takes that file over only when the process it names
// is gone, or else once it is 30 s old. A program killed between making the lock file and writing its
// process id into it leaves it empty, and the next write (the anchor after a record, on the journal's
// writer thread) would wait those 30 s while the runs queue up behind it. A write holds the lock for
// milliseconds: one 2 s old is left over.
void clearLeftOverLock(const QString& ini) {
    QLockFile lock(ini + QStringLiteral(".lock"));
    lock.setStaleLockTime(std::chrono::seconds(2));
    if (lock.tryLock(std::chrono::seconds(3)))
        lock.unlock();
}

} // namespace

Station loadStation(const QString& dataFolder) {
    QSettings ini(iniPath(dataFolder), QSettings::IniFormat);
    Station s;
    s.id = ini.value(QStringLiteral("station/id")).toString();
    s.name = ini.value(QStringLiteral("station/name")).toString();
    s.url = ini.value(QStringLiteral("journal/url")).toString();
    if (QUuid::fromString(s.id).isNull() || s.name.isEmpty())
        clearLeftOverLock(ini.fileName());
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
    QSettings ini(iniPath(dataFolder), QSettings::IniFormat);
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
    QSettings ini(iniPath(dataFolder), QSettings::IniFormat);
    clearLeftOverLock(ini.fileName());
    ini.setValue(QStringLiteral("chain/journal"), anchor.journal);
    ini.setValue(QStringLiteral("chain/station"), anchor.station);
    ini.setValue(QStringLiteral("chain/seq"), anchor.seq);
    ini.setValue(QStringLiteral("chain/hash"), anchor.hash);
    ini.sync();
}

void clearChainAnchor(const QString& dataFolder) {
    QSettings ini(iniPath(dataFolder), QSettings::IniFormat);
    clearLeftOverLock(ini.fileName());
    ini.remove(QStringLiteral("chain"));
    ini.sync();
}

QString beginNewChain(const QString& dataFolder) {
    clearChainAnchor(dataFolder);
    QSettings ini(iniPath(dataFolder), QSettings::IniFormat);
    clearLeftOverLock(ini.fileName());
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
