#pragma once

#include <QString>

#include <optional>

namespace lorimet::journal {

// The station's identity and journal setting, kept in lorimet.ini in the data folder (never in the
// configuration file). The id is made on first start and names the station's chain: it changes only when
// the journal is begun anew (beginNewChain). The name defaults to the host name.
struct Station {
    QString id;
    QString name;
    QString url; // [journal] url=; empty: the local journal only
};

// The last record this station wrote, kept outside the journal so that records removed from the end of the
// chain are found: the chain alone cannot tell a short chain from a shortened one.
struct ChainAnchor {
    QString journal; // the journal's file
    QString station;
    qint64 seq = 0;
    QString hash;
};

// lorimet.ini's [chain], when it names this journal; written after each record is committed (a crash
// in between leaves it one record behind, which is no finding).
std::optional<ChainAnchor> readChainAnchor(const QString& dataFolder, const QString& journal);
void writeChainAnchor(const QString& dataFolder, const ChainAnchor& anchor);
// A journal begun anew (the old file kept aside) starts without an anchor.
void clearChainAnchor(const QString& dataFolder);
// A journal begun anew starts a new chain: no anchor, and a new station id (the name stays), so that a
// server holding the old chain takes the new one beside it instead of refusing its numbers. Returns the
// new id.
QString beginNewChain(const QString& dataFolder);

// Reads lorimet.ini, writing the id and name it lacks. A data folder that cannot be written still gets a
// station for this run (a new id, not kept).
Station loadStation(const QString& dataFolder);

// After how many hours a GSO calibration is old enough to be pointed out: lorimet.ini's
// [calibration] max_age_hours=, 24 when unset or not a positive whole number.
constexpr int kDefaultCalibrationAgeLimitHours = 24;
int calibrationAgeLimitHours(const QString& dataFolder);

} // namespace lorimet::journal
