#pragma once

#include <QString>

namespace lorimet {

// The help the «Помощь» command opens: the help file in the working folder (Vornel_HELP.HLP, then
// Vornel_HELP.chm), else the HTML manual where the package installs it, ../share/doc/lorimet/manual beside
// the executable's folder (/usr/bin → /usr/share/doc/lorimet/manual/index.html). Empty when there is none.
QString findHelpFile(const QString& workingFolder, const QString& exeFolder);

} // namespace lorimet
