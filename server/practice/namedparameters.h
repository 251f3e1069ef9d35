#pragma once

#include "database.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

namespace zelvar::practice {

// A statement as an engine takes it: its named parameters (:last, :after_id) numbered in the
// engine's own spelling (?1 for SQLite, $1 for PostgreSQL), and the names by their number.
struct NumberedStatement
{
    QString text;
    QList<QByteArray> parameters;   // parameters[n - 1] is the name of number n
};

// Numbers the named parameters of sql. Text in quotes and comments is left alone, as is a
// PostgreSQL cast (::json). A parameter already numbered (?1, $1) is refused: the statements
// are written with names only, so that no reader has to count. Throws DatabaseError.
NumberedStatement numberParameters(QStringView sql, Database::Engine engine);

} // namespace zelvar::practice
