#include "postgresstore.h"

#include "postgresdatabase.h"
#include "schema.h"

#include <cstdio>

namespace zelvar::practice {

PostgresStore::PostgresStore(const QString& conninfo)
    : SqlStore(std::make_unique<PostgresDatabase>(conninfo))
{
    upgradeSchema(*m_db, [](const QString& kept) {
        std::fprintf(stderr, "The practice database is upgraded; what it was is kept in %s\n", qPrintable(kept));
    });
}

QList<SqlStore::Index> PostgresStore::secondaryIndexes()
{
    Statement s = Statement::named(*m_db, u"secondary_indexes");
    s.bind("tables", practiceTables().join(QLatin1Char(',')));
    QList<Index> indexes;
    while (s.step())
        indexes.append({s.text(0), s.text(1)});
    return indexes;
}

void PostgresStore::clearTables()
{
    // The indexes made again after the rows are made with more memory than a write is given.
    m_db->execute(QStringLiteral("SET LOCAL maintenance_work_mem = '256MB'; TRUNCATE ")
                  + practiceTables().join(QStringLiteral(", ")));
}

void PostgresStore::analyse()
{
    // Vacuumed as well: rows just copied in are not yet marked visible to all, so every look
    // into an index would read the table's page too until autovacuum came round. Only the
    // practice's own tables: the whole database would have the server warn about each
    // catalog a database owner who is not a superuser may not vacuum.
    Statement owned = Statement::named(*m_db, u"owned_tables");
    QStringList tables;
    while (owned.step())
        tables.append(owned.text(0));
    if (!tables.isEmpty())
        m_db->execute(QStringLiteral("VACUUM (ANALYZE) ") + tables.join(QStringLiteral(", ")));
}

} // namespace zelvar::practice
