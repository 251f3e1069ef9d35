#include "sqlitestore.h"

#include "sqlitedatabase.h"

#include <sqlite3.h>

#include <cstdio>

namespace zelvar::practice {

SqliteStore::SqliteStore(const QString& path)
    : SqlStore(std::make_unique<SqliteDatabase>(path))
    , m_path(path)
{
    if (hasColumn("patients", "sdx"))
        addMatchingKeys();
    createTables();
    // Looked at again inside the transaction: another process may have just done it.
    if (!hasColumn("patients", "visitorder")) {
        keepBeforeUpgrade();
        inWriteTransaction(*m_db, [this] {
            if (!hasColumn("patients", "visitorder"))
                addVisitOrders();
        });
    }
    createIndexes();
}

// An upgrade changes the patients' rows: what the database was is kept beside it first, so
// that going back to the program before is going back to that file. (Outside the upgrade's
// transaction, which a copy cannot read through: two programs that open an old database at
// once may each keep one.)
void SqliteStore::keepBeforeUpgrade()
{
    if (!hasColumn("patients", "id"))
        return;     // a new database: nothing to keep
    const QString kept = m_db->keepBeforeUpgrade();
    std::fprintf(stderr, "The practice database %s is upgraded; what it was is kept in %s\n", qPrintable(m_path), qPrintable(kept));
}

sqlite3* SqliteStore::handle() const
{
    return static_cast<SqliteDatabase&>(*m_db).handle();
}

void SqliteStore::run(const char* sql)
{
    m_db->execute(QString::fromUtf8(sql));
}

void SqliteStore::dropTables()
{
    run("DROP TABLE IF EXISTS patients; DROP TABLE IF EXISTS namekeys; DROP TABLE IF EXISTS phones;"
        "DROP TABLE IF EXISTS policies; DROP TABLE IF EXISTS transactions; DROP TABLE IF EXISTS claims;"
        "DROP TABLE IF EXISTS encounters; DROP TABLE IF EXISTS accessions; DROP TABLE IF EXISTS codes;"
        "DROP TABLE IF EXISTS settings; DROP TABLE IF EXISTS files; DROP TABLE IF EXISTS recent;");
}

void SqliteStore::analyse()
{
    run("ANALYZE");
}

bool SqliteStore::hasColumn(const char* table, const char* column)
{
    Statement s(*m_db, (QStringLiteral("SELECT 1 FROM pragma_table_info('") + QString::fromLatin1(table)
                       + QStringLiteral("') WHERE name = ?1")).toUtf8().constData());
    s.bind(1, QString::fromLatin1(column));
    return s.step();
}

void SqliteStore::addMatchingKeys()
{
    // A database from before the matching keys: the keys are computed here, as a write does, in
    // one transaction.
    keepBeforeUpgrade();
    m_db->beginWrite();
    try {
        run("DROP INDEX IF EXISTS patients_sdx; DROP INDEX IF EXISTS patients_name;"
                "DROP INDEX IF EXISTS patients_dob; DROP INDEX IF EXISTS policies_number;"
                "ALTER TABLE patients DROP COLUMN sdx;"
                "ALTER TABLE patients ADD COLUMN lastkey TEXT NOT NULL DEFAULT '';"
                "ALTER TABLE patients ADD COLUMN firstkey TEXT NOT NULL DEFAULT '';"
                "ALTER TABLE patients ADD COLUMN firstformal TEXT NOT NULL DEFAULT '';"
                "ALTER TABLE patients ADD COLUMN lastsound TEXT NOT NULL DEFAULT '';"
                "ALTER TABLE patients ADD COLUMN ssn4 TEXT NOT NULL DEFAULT '';"
                "ALTER TABLE patients ADD COLUMN mrnkey TEXT NOT NULL DEFAULT '';"
                "ALTER TABLE phones ADD COLUMN last7 TEXT NOT NULL DEFAULT '';"
                "ALTER TABLE phones ADD COLUMN last4 TEXT NOT NULL DEFAULT '';"
                "ALTER TABLE policies ADD COLUMN numkey TEXT NOT NULL DEFAULT '';"
                "CREATE TABLE IF NOT EXISTS namekeys (key TEXT NOT NULL, first TEXT NOT NULL, patient INTEGER NOT NULL);"
                "UPDATE phones SET last7 = substr(digits, -7), last4 = substr(digits, -4);");
        Statement patients(*m_db, "SELECT id, last, first, ssn, mrn FROM patients");
        Statement update(*m_db, "UPDATE patients SET lastkey = ?2, firstkey = ?3, firstformal = ?4, lastsound = ?5,"
                               " ssn4 = ?6, mrnkey = ?7 WHERE id = ?1");
        const std::unique_ptr<RowWriter> alternate = m_db->rowWriter();
        while (patients.step()) {
            const PatientKeys k = patientKeys(patients.text(1), patients.text(2), patients.text(3), patients.text(4));
            update.bind(1, patients.integer(0)).bind(2, k.lastkey).bind(3, k.firstkey).bind(4, k.firstformal)
                .bind(5, k.lastsound).bind(6, k.ssn4).bind(7, k.mrnkey);
            update.run();
            writeAlternateKeys(*alternate, k, patients.integer(0));
        }
        Statement policies(*m_db, "SELECT id, number FROM policies");
        Statement number(*m_db, "UPDATE policies SET numkey = ?2 WHERE id = ?1");
        while (policies.step()) {
            number.bind(1, policies.integer(0)).bind(2, identifierKey(policies.text(1)));
            number.run();
        }
        m_db->commit();
    } catch (...) {
        m_db->rollback();
        throw;
    }
}

void SqliteStore::createTables()
{
    run(R"(
        CREATE TABLE IF NOT EXISTS patients (
            id INTEGER PRIMARY KEY, last TEXT NOT NULL, first TEXT NOT NULL, middle TEXT NOT NULL,
            dob TEXT NOT NULL, sex TEXT NOT NULL, ssn TEXT NOT NULL, mrn TEXT NOT NULL,
            phone TEXT NOT NULL, mobile TEXT NOT NULL, street TEXT NOT NULL, city TEXT NOT NULL,
            state TEXT NOT NULL, zip TEXT NOT NULL, active INTEGER NOT NULL, guarantor INTEGER NOT NULL,
            relation TEXT NOT NULL,
            lastkey TEXT NOT NULL, firstkey TEXT NOT NULL, firstformal TEXT NOT NULL, lastsound TEXT NOT NULL,
            ssn4 TEXT NOT NULL, mrnkey TEXT NOT NULL, visitorder INTEGER NOT NULL);
        CREATE TABLE IF NOT EXISTS namekeys (key TEXT NOT NULL, first TEXT NOT NULL, patient INTEGER NOT NULL);
        CREATE TABLE IF NOT EXISTS phones (digits TEXT NOT NULL, patient INTEGER NOT NULL, last7 TEXT NOT NULL,
            last4 TEXT NOT NULL);
        CREATE TABLE IF NOT EXISTS policies (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, rank INTEGER NOT NULL,
            payor TEXT NOT NULL, number TEXT NOT NULL, grp TEXT NOT NULL, subscriber INTEGER NOT NULL,
            relation TEXT NOT NULL, effective TEXT NOT NULL, numkey TEXT NOT NULL);
        CREATE TABLE IF NOT EXISTS transactions (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, posted TEXT NOT NULL,
            code TEXT NOT NULL, amount REAL NOT NULL);
        CREATE TABLE IF NOT EXISTS claims (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, filed TEXT NOT NULL,
            payor TEXT NOT NULL, amount REAL NOT NULL);
        CREATE TABLE IF NOT EXISTS encounters (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, seen TEXT NOT NULL,
            provider TEXT NOT NULL, reason TEXT NOT NULL, charges REAL NOT NULL, payments REAL NOT NULL);
        CREATE TABLE IF NOT EXISTS accessions (number TEXT PRIMARY KEY, patient INTEGER NOT NULL, taken TEXT NOT NULL,
            test TEXT NOT NULL) WITHOUT ROWID;
        CREATE TABLE IF NOT EXISTS codes (tbl TEXT NOT NULL, code TEXT NOT NULL, description TEXT NOT NULL,
            grp TEXT NOT NULL, extra TEXT NOT NULL, sort INTEGER NOT NULL, PRIMARY KEY (tbl, code)) WITHOUT ROWID;
        CREATE TABLE IF NOT EXISTS settings (name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
        CREATE TABLE IF NOT EXISTS files (folder TEXT NOT NULL, name TEXT NOT NULL, content BLOB NOT NULL,
            PRIMARY KEY (folder, name)) WITHOUT ROWID;
        CREATE TABLE IF NOT EXISTS recent (user TEXT NOT NULL, patient INTEGER NOT NULL, chosen INTEGER NOT NULL,
            PRIMARY KEY (user, patient)) WITHOUT ROWID;
    )");
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
