#include "postgresstore.h"

#include "postgresdatabase.h"

#include <cstdio>

namespace zelvar::practice {

PostgresStore::PostgresStore(const QString& conninfo)
    : SqlStore(std::make_unique<PostgresDatabase>(conninfo))
{
    // Made once: by the first connection, while the others wait for it and then find it. A
    // database from before the visit order is brought up to date the same way.
    if (m_db->hasRelation(QStringLiteral("patients_byname")))
        return;
    if (m_db->hasRelation(QStringLiteral("recent_user"))) {
        const QString kept = m_db->keepBeforeUpgrade();
        std::fprintf(stderr, "The practice database is upgraded; what it was is kept in %s\n", qPrintable(kept));
    }
    inWriteTransaction(*m_db, [this] {
        if (m_db->hasRelation(QStringLiteral("patients_byname")))
            return;
        if (m_db->hasRelation(QStringLiteral("recent_user"))) {
            addVisitOrders();
            return;
        }
        createTables();
        createIndexes();
    });
}

void PostgresStore::createTables()
{
    m_db->execute(QStringLiteral(R"(
        CREATE TABLE IF NOT EXISTS patients (
            id bigint PRIMARY KEY, last text COLLATE "C" NOT NULL, first text COLLATE "C" NOT NULL,
            middle text COLLATE "C" NOT NULL, dob text COLLATE "C" NOT NULL, sex text NOT NULL,
            ssn text COLLATE "C" NOT NULL, mrn text NOT NULL, phone text NOT NULL, mobile text NOT NULL,
            street text NOT NULL, city text NOT NULL, state text NOT NULL, zip text NOT NULL,
            active integer NOT NULL, guarantor bigint NOT NULL, relation text NOT NULL,
            lastkey text COLLATE "C" NOT NULL, firstkey text COLLATE "C" NOT NULL,
            firstformal text COLLATE "C" NOT NULL, lastsound text COLLATE "C" NOT NULL,
            ssn4 text COLLATE "C" NOT NULL, mrnkey text COLLATE "C" NOT NULL, visitorder integer NOT NULL);
        CREATE TABLE IF NOT EXISTS namekeys (key text COLLATE "C" NOT NULL, first text COLLATE "C" NOT NULL,
            patient bigint NOT NULL);
        CREATE TABLE IF NOT EXISTS phones (digits text COLLATE "C" NOT NULL, patient bigint NOT NULL,
            last7 text COLLATE "C" NOT NULL, last4 text COLLATE "C" NOT NULL);
        CREATE TABLE IF NOT EXISTS policies (id bigint PRIMARY KEY,
            patient bigint NOT NULL, rank integer NOT NULL, payor text NOT NULL, number text NOT NULL,
            grp text NOT NULL, subscriber bigint NOT NULL, relation text NOT NULL, effective text NOT NULL,
            numkey text COLLATE "C" NOT NULL);
        CREATE TABLE IF NOT EXISTS transactions (id bigint PRIMARY KEY,
            patient bigint NOT NULL, posted text NOT NULL, code text NOT NULL, amount double precision NOT NULL);
        CREATE TABLE IF NOT EXISTS claims (id bigint PRIMARY KEY,
            patient bigint NOT NULL, filed text NOT NULL, payor text NOT NULL, amount double precision NOT NULL);
        CREATE TABLE IF NOT EXISTS encounters (id bigint PRIMARY KEY,
            patient bigint NOT NULL, seen text COLLATE "C" NOT NULL, provider text NOT NULL, reason text NOT NULL,
            charges double precision NOT NULL, payments double precision NOT NULL);
        CREATE TABLE IF NOT EXISTS accessions (number text COLLATE "C" PRIMARY KEY, patient bigint NOT NULL,
            taken text NOT NULL, test text NOT NULL);
        CREATE TABLE IF NOT EXISTS codes (tbl text COLLATE "C" NOT NULL, code text COLLATE "C" NOT NULL,
            description text NOT NULL, grp text NOT NULL, extra text NOT NULL, sort integer NOT NULL,
            PRIMARY KEY (tbl, code));
        CREATE TABLE IF NOT EXISTS settings (name text COLLATE "C" PRIMARY KEY, value text NOT NULL);
        CREATE TABLE IF NOT EXISTS files (folder text COLLATE "C" NOT NULL, name text COLLATE "C" NOT NULL,
            content bytea NOT NULL, PRIMARY KEY (folder, name));
        CREATE TABLE IF NOT EXISTS recent ("user" text COLLATE "C" NOT NULL, patient bigint NOT NULL,
            chosen bigint NOT NULL, PRIMARY KEY ("user", patient));
        -- The day number of an ISO date, as SQLite's function of the name gives it.
        CREATE OR REPLACE FUNCTION julianday(text) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
            AS $$ SELECT extract(julian FROM $1::date)::double precision $$;
    )"));
}

void PostgresStore::dropTables()
{
    // Indexes are built after the rows, faster than row by row.
    m_db->execute(QStringLiteral(
        "SET LOCAL maintenance_work_mem = '256MB';"
        "DROP TABLE IF EXISTS patients, namekeys, phones, policies, transactions, claims, encounters, accessions,"
        " codes, settings, files, recent"));
}

void PostgresStore::analyse()
{
    // Vacuumed as well: rows just copied in are not yet marked visible to all, so every look
    // into an index would read the table's page too until autovacuum came round. Only the
    // practice's own tables: the whole database would have the server warn about each
    // catalog a database owner who is not a superuser may not vacuum.
    Statement owned(*m_db, "SELECT quote_ident(tablename) FROM pg_tables WHERE schemaname = current_schema() "
                           "AND tableowner = current_user");
    QStringList tables;
    while (owned.step())
        tables.append(owned.text(0));
    if (!tables.isEmpty())
        m_db->execute(QStringLiteral("VACUUM (ANALYZE) ") + tables.join(QStringLiteral(", ")));
}

} // namespace zelvar::practice
