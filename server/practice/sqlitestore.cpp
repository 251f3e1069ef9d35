#include "sqlitestore.h"

#include "schema.h"
#include "sqlitedatabase.h"

#include <sqlite3.h>

#include <cstdio>

namespace zelvar::practice {

SqliteStore::SqliteStore(const QString& path)
    : SqlStore(std::make_unique<SqliteDatabase>(path))
{
    // What the database was is kept beside it, so that going back to the program before is
    // going back to that file.
    upgradeSchema(*m_db, [&](const QString& kept) {
        std::fprintf(stderr, "The practice database %s is upgraded; what it was is kept in %s\n", qPrintable(path),
                     qPrintable(kept));
    });
}

sqlite3* SqliteStore::handle() const
{
    return static_cast<SqliteDatabase&>(*m_db).handle();
}

QList<SqlStore::Index> SqliteStore::secondaryIndexes()
{
    Statement s = Statement::named(*m_db, u"secondary_indexes");
    s.bind("tables", QStringLiteral("[\"") + practiceTables().join(QStringLiteral("\",\"")) + QStringLiteral("\"]"));
    QList<Index> indexes;
    while (s.step())
        indexes.append({s.text(0), s.text(1)});
    return indexes;
}

void SqliteStore::clearTables()
{
    // Without a condition SQLite drops a table's pages at once, as it would the table.
    for (const QString& table : practiceTables())
        m_db->execute(QStringLiteral("DELETE FROM ") + table);
}

void SqliteStore::analyse()
{
    m_db->execute(QStringLiteral("ANALYZE"));
}

QStringList SqliteStore::searchPlans()
{
    QStringList plans;
    const QList<SearchKey> keys = {SearchKey::PatientName, SearchKey::Guarantor, SearchKey::DateOfBirth,
                                   SearchKey::SocialSecurity, SearchKey::MedicalRecord, SearchKey::Phone,
                                   SearchKey::Policy, SearchKey::Accession, SearchKey::Account,
                                   SearchKey::Transaction, SearchKey::Claim, SearchKey::Encounter,
                                   SearchKey::PatientName, SearchKey::PatientName, SearchKey::SocialSecurity,
                                   SearchKey::Phone};
    // The statements the searches run, caught as they run and explained with their values.
    const QStringList samples = {QStringLiteral("SMITH,JO"), QStringLiteral("SMITH"), QStringLiteral("01/02/1980"),
                                 QStringLiteral("123456789"), QStringLiteral("MR1"), QStringLiteral("5551234"),
                                 QStringLiteral("BPH1"), QStringLiteral("A1"), QStringLiteral("1001"),
                                 QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1"),
                                 QStringLiteral("SMYTHX, BOB"), QStringLiteral("john smith"), QStringLiteral("1234"),
                                 QStringLiteral("4349")};
    struct Capture { QStringList* sql; };
    QStringList statements;
    Capture capture{&statements};
    const auto traceStatement = [](unsigned, void* context, void* statement, void*) -> int {
        auto* c = static_cast<Capture*>(context);
        char* sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(statement));
        if (sql) {
            c->sql->append(QString::fromUtf8(sql));
            sqlite3_free(sql);
        }
        return 0;
    };
    sqlite3_trace_v2(handle(), SQLITE_TRACE_STMT, traceStatement, &capture);
    for (int i = 0; i < keys.size(); ++i) {
        statements.clear();
        search({keys[i], samples[i], {}, 50, QStringLiteral("user")});
        sqlite3_trace_v2(handle(), 0, nullptr, nullptr);
        const QStringList captured = statements;
        for (const QString& sql : captured) {
            Statement explain(*m_db, (QStringLiteral("EXPLAIN QUERY PLAN ") + sql).toUtf8().constData());
            QStringList steps;
            while (explain.step())
                steps.append(explain.text(3));
            plans.append(steps.join(QStringLiteral(" | ")));
        }
        sqlite3_trace_v2(handle(), SQLITE_TRACE_STMT, traceStatement, &capture);
    }
    sqlite3_trace_v2(handle(), 0, nullptr, nullptr);
    return plans;
}


} // namespace zelvar::practice
