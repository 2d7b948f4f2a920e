#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace lorimet {

// Where the «Помощь» command looks for help, in its order: the help files of old in their folder, then the
// user's manual (docs/manual/index.html) wherever it may lie; the first that exists wins.
struct HelpPlaces {
    QString helpFolder; // holds "Vornel_HELP.HLP" or "Vornel_HELP.chm" when there is such a help
    QStringList
        manuals; // the manual's index.html: beside an installed program, the source tree's, the package's
    // The places of this run: the working folder, and the manual as the package installs it and as the source
    // tree the program was built from holds it.
    static HelpPlaces standard();
};

// Opens the first help there is with `open` (the system's viewer or browser). False when there is none, or
// none that `open` could show: the caller then tells the operator.
bool openHelp(const HelpPlaces& places, const std::function<bool(const QUrl&)>& open);

} // namespace lorimet
