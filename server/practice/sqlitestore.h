#pragma once

#include "sqlstore.h"

struct sqlite3;

namespace zelvar::practice {

// The practice database in one SQLite file: the embedded default (the demo's, the benchmarks'
// and a one-desk practice's).
class SqliteStore : public SqlStore
{
public:
    // Opens (or creates, empty) the database file and brings it to the newest layout.
    explicit SqliteStore(const QString& path);

    // The query plans of the searches, for the test that no search scans a table.
    QStringList searchPlans();
    sqlite3* handle() const;

protected:
    QList<Index> secondaryIndexes() override;
    void clearTables() override;
    void analyse() override;
};

} // namespace zelvar::practice
