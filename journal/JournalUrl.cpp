#include "journal/JournalUrl.h"

#include <QDir>
#include <QUrl>
#include <QUrlQuery>

namespace lorimet::journal {

std::optional<JournalUrl> parseJournalUrl(const QString& url, const QString& dataFolder, QString& error) {
    if (url.startsWith(QStringLiteral("sqlite:"))) {
        const QString path = url.mid(7);
        if (path.isEmpty()) {
            error = QStringLiteral("the journal URL \"%1\" names no file (sqlite:PATH)").arg(url);
            return std::nullopt;
        }
        JournalUrl j;
        j.kind = JournalUrl::Kind::Sqlite;
        j.path = QDir::cleanPath(QDir(dataFolder).absoluteFilePath(path));
        return j;
    }
    if (url.startsWith(QStringLiteral("postgresql://")) || url.startsWith(QStringLiteral("postgres://"))) {
        const QUrl parsed(url, QUrl::StrictMode);
        if (!parsed.isValid()) {
            error = QStringLiteral("the journal URL \"%1\" does not read: %2").arg(url, parsed.errorString());
            return std::nullopt;
        }
        // Passwords belong in the places libpq reads them from, never in lorimet's settings or command
        // line (which other users of the machine can see).
        if (!parsed.password().isEmpty() || QUrlQuery(parsed).hasQueryItem(QStringLiteral("password"))) {
            error = QStringLiteral("the journal URL carries a password; lorimet never stores one: put it in "
                                   "~/.pgpass, in the file PGPASSFILE names, or in a service file "
                                   "(?service=NAME)");
            return std::nullopt;
        }
        JournalUrl j;
        j.kind = JournalUrl::Kind::Postgresql;
        j.connection = url;
        return j;
    }
    error = QStringLiteral("the journal URL \"%1\" is neither sqlite:PATH nor postgresql://…").arg(url);
    return std::nullopt;
}

} // namespace lorimet::journal
