#pragma once

#include <QString>

#include <functional>

namespace zelvar::practice {

// Copies the database into a file while it is served: on SQLite, the library's online backup
// of one consistent moment (a read transaction, which the server's writers do not wait for),
// written beside the file and renamed into place once whole, so that a backup that fails
// leaves the previous one; on PostgreSQL, pg_dump in its custom format. Throws
// std::runtime_error with the reason.
void backupDatabase(const QString& address, const QString& file);

// Puts a backup's contents in place of the database's, which no server may be serving (the
// caller holds the serving lock alone). The backup is checked first (a practice database,
// whole); on SQLite what it replaces is kept beside the database first, and its name
// returned. Throws std::runtime_error with the reason.
QString restoreDatabase(const QString& address, const QString& file);

} // namespace zelvar::practice
