#pragma once

#include "practice/sqlstore.h"

#include <QString>

#include <memory>

namespace zelvar::service {

// Opens the store a database address names: "sqlite:FILE" (or a plain file name) or
// "postgresql://..." / "postgres://...". Throws std::invalid_argument for an address of
// another kind, std::runtime_error when the database cannot be opened.
std::unique_ptr<practice::SqlStore> openStore(const QString& address);

// Copies every row of one store into another that has no patients yet (the move from the
// SQLite file to PostgreSQL), reporting each table as it is copied. Throws when the target
// is not empty or a copy fails; the target is then left as it was.
void copyStore(practice::SqlStore& from, practice::SqlStore& to, const std::function<void(const QString&, qint64)>& progress);

} // namespace zelvar::service
