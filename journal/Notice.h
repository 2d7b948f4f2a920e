#pragma once

#include <QString>

#include <functional>

namespace lorimet::journal {

// What the journal has to tell the people at the station. `message` is for the log: English, with the
// paths and the database's own words. The rest lets a window say it in the operator's words.
struct JournalNotice {
    enum class Kind {
        KeptAside,   // the journal file was damaged or foreign: kept under `detail`, a new journal begun
        Unavailable, // the journal cannot be opened or made: runs are not recorded this session
        NotWritten,  // one run's record could not be committed
        ServerAway,  // the lab server cannot be reached: records wait in the outbox
        ServerBack,  // the lab server takes records again
        UrlRefused,  // the journal's URL does not read: the local journal records alone
    };
    Kind kind;
    QString message;
    QString detail; // KeptAside: the name the old file got; otherwise the reason
};

using NoticeSink = std::function<void(const JournalNotice&)>;

} // namespace lorimet::journal

namespace lorimet::journal {

// The notice as the window's line says it to the operator; empty for what the window shows otherwise
// (the server away or back: the count of records waiting tells it).
QString operatorText(const JournalNotice& notice);

} // namespace lorimet::journal
