#pragma once

#include "sqlstore.h"

#include <QString>

#include <memory>

namespace zelvar::practice {

// Whether an address names a PostgreSQL database ("postgresql://..." or "postgres://...").
bool isPostgresAddress(const QString& address);
// The file an SQLite address names ("sqlite:FILE", or the file name alone).
QString sqliteFileOf(const QString& address);

// Opens the store a database address names: "sqlite:FILE" (or a plain file name) or
// "postgresql://..." / "postgres://...". Throws std::invalid_argument for an address of
// another kind, std::runtime_error when the database cannot be opened.
std::unique_ptr<SqlStore> openStore(const QString& address);

// Copies every row of one store into another that has no patients yet (the move from the
// SQLite file to PostgreSQL), reporting each table as it is copied. Throws when the target
// is not empty or a copy fails; the target is then left as it was. A large table is reported
// every 250,000 rows as well, as "TABLE (so far)".
void copyStore(SqlStore& from, SqlStore& to, const std::function<void(const QString&, qint64)>& progress);

} // namespace zelvar::practice
