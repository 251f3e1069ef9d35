#pragma once

#include "sqlstore.h"

struct sqlite3;

namespace zelvar::practice {

// The practice database in one SQLite file: the embedded default (the demo's, the benchmarks'
// and a one-desk practice's).
class SqliteStore : public SqlStore
{
public:
    // Opens (or creates, empty) the database file; a file from before the matching keys gets
    // them.
    explicit SqliteStore(const QString& path);

    // The query plans of the searches, for the test that no search scans a table.
    QStringList searchPlans();
    sqlite3* handle() const;

protected:
    void createTables() override;
    void dropTables() override;
    void analyse() override;

private:
    void run(const char* sql);
    bool hasColumn(const char* table, const char* column);
    void addMatchingKeys();
    void keepBeforeUpgrade();

    QString m_path;
};

} // namespace zelvar::practice
