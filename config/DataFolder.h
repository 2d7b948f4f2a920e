#pragma once

#include <QString>

namespace lorimet {

// Where the configuration, Reports/ and Temp/ live: the executable's folder when it is writable, else the
// per-user application data folder. Needs the application object (its name picks the per-user folder).
QString defaultDataFolder();

// The same choice for an executable kept in exeFolder. A folder the system installs programs into
// (/usr/bin and the like) is never chosen, even when it is writable: root may write there, and the
// configuration and the day's files do not belong among the system's programs.
QString dataFolderFor(const QString& exeFolder);

// The per-user folder: $XDG_DATA_HOME/<application name> (~/.local/share/lorimet). The program and its
// tools meet there whatever organisation each one names.
// A folder of an earlier version (below kOrganisationName) is used while the new one does not exist.
QString perUserDataFolder();

// The organisation the program names (its version window shows it).
inline constexpr char kOrganisationName[] = "Лаборатория ЛОРИМЕТ";

} // namespace lorimet
