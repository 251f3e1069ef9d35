#pragma once

#include "database.h"

#include <functional>

namespace zelvar::practice {

// The practice database's layout is numbered: a database says which step it was last brought
// to (the table schema_version), and a program brings it through the steps it lacks, in order.
// The steps' statements are the files in schema/ (NNNN_name.sql, or NNNN_name.ENGINE.sql where
// the engines differ).

// The newest layout this program knows.
int newestSchemaVersion();

// The layout the database is at: 0 before layouts were numbered (and for a new database).
int schemaVersion(Database& db);

// Brings the database to the newest layout, a step at a time, each in a write transaction of
// its own: another program that opens the database at once waits, then finds the step done.
// A database with patients is kept first (Database::keepBeforeUpgrade), and `kept` is told
// where. Throws DatabaseError, having changed nothing, for a database newer than this program
// or one no copy of could be kept.
void upgradeSchema(Database& db, const std::function<void(const QString& kept)>& kept);

// A statement file of the schema, as the connection's engine spells it.
QString schemaScript(Database& db, const QString& name);

} // namespace zelvar::practice
