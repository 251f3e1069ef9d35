#pragma once

#include "database.h"
#include "namedparameters.h"

#include <QHash>
#include <QString>

#include <memory>

namespace zelvar::practice {

// One of the store's statements, as its engine is given it.
struct NamedStatement
{
    std::shared_ptr<const NumberedStatement> sql;
    bool planOnce = false;      // written "-- name: NAME (plan once)": see Database::prepareOnce
};

// The statements of an engine's files (statements/*.sql: those both engines take, then the
// engine's own), by name. Each statement follows a line "-- name: NAME" and ends with the
// first line that ends in a semicolon; comments and blank lines may come between statements.
// Throws DatabaseError when a file breaks that form or names a statement twice.
QHash<QString, NamedStatement> readStatements(const QStringList& files, Database::Engine engine);

// The statement of an engine by its name, read from the files compiled into the program.
// Throws DatabaseError when there is none of the name.
const NamedStatement& namedStatement(Database::Engine engine, QStringView name);
QStringList statementNames(Database::Engine engine);

} // namespace zelvar::practice
