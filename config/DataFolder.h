#pragma once

#include <QString>

namespace lorimet {

// Where the configuration, Reports/ and Temp/ live: the executable's folder when it is writable, else the
// per-user application data folder. Needs the application object (its name picks the per-user folder).
QString defaultDataFolder();

} // namespace lorimet
