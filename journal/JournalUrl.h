#pragma once

#include <QString>

#include <optional>

namespace lorimet::journal {

// Where a journal is kept, read from its URL.
struct JournalUrl {
    enum class Kind { Sqlite, Postgresql };
    Kind kind = Kind::Sqlite;
    QString path;       // SQLite: the file, absolute
    QString connection; // PostgreSQL: the URL as given, for libpq
};

inline const QString kDefaultJournalUrl = QStringLiteral("sqlite:lorimet.db");

// "sqlite:PATH" (a relative PATH is taken from the data folder) or "postgresql://…" / "postgres://…".
// A URL that does not read, or one that carries a password, gives nothing and a message in `error`.
std::optional<JournalUrl> parseJournalUrl(const QString& url, const QString& dataFolder, QString& error);

} // namespace lorimet::journal
