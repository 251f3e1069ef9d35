#pragma once

#include "sqlstore.h"

namespace zelvar::practice {

// The practice database on a PostgreSQL server: for a practice whose desks outgrow one file.
// Text columns compare byte by byte (collation "C"), as SQLite's do, so that both engines page
// through a search in the same order.
class PostgresStore : public SqlStore
{
public:
    // conninfo: "postgresql://user@host/db" or libpq's key=value words. Brings the database
    // to the newest layout (a new one gets its tables).
    explicit PostgresStore(const QString& conninfo);

protected:
    QList<Index> secondaryIndexes() override;
    void clearTables() override;
    void analyse() override;
};

} // namespace zelvar::practice
