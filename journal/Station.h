#pragma once

#include <QString>

namespace lorimet::journal {

// The station's identity and journal setting, kept in lorimet.ini in the data folder (never in the
// configuration file). The id is made on first start and never changes; the name defaults to the host
// name.
struct Station {
    QString id;
    QString name;
    QString url; // [journal] url=; empty: the local journal only
};

// Reads lorimet.ini, writing the id and name it lacks. A data folder that cannot be written still gets a
// station for this run (a new id, not kept).
Station loadStation(const QString& dataFolder);

} // namespace lorimet::journal
