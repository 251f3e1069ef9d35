#include "earlierlayouts.h"

#include "names.h"
#include "sqlstore.h"

namespace zelvar::practice {
namespace {

// The first layout on SQLite kept one sound key (sdx) and no other: every key is computed here,
// as a write does.
void addMatchingKeys(Database& db)
{
    db.execute(QStringLiteral(
        "DROP INDEX IF EXISTS patients_sdx; DROP INDEX IF EXISTS patients_name; DROP INDEX IF EXISTS patients_mrn;"
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
        "UPDATE phones SET last7 = substr(digits, -7), last4 = substr(digits, -4);"));
    Statement patients(db, "SELECT id, last, first, ssn, mrn FROM patients");
    Statement update(db, "UPDATE patients SET lastkey = :lastkey, firstkey = :firstkey, firstformal = :firstformal,"
                         " lastsound = :lastsound, ssn4 = :ssn4, mrnkey = :mrnkey WHERE id = :id");
    const std::unique_ptr<RowWriter> alternates = db.rowWriter();
    while (patients.step()) {
        const PatientKeys k = patientKeys(patients.text(1), patients.text(2), patients.text(3), patients.text(4));
        update.bind("id", patients.integer(0)).bind("lastkey", k.lastkey).bind("firstkey", k.firstkey)
            .bind("firstformal", k.firstformal).bind("lastsound", k.lastsound).bind("ssn4", k.ssn4).bind("mrnkey", k.mrnkey);
        update.run();
        writeAlternateKeys(*alternates, k, patients.integer(0));
    }
    alternates->flush();
    Statement policies(db, "SELECT id, number FROM policies");
    Statement number(db, "UPDATE policies SET numkey = :numkey WHERE id = :id");
    while (policies.step()) {
        number.bind("id", policies.integer(0)).bind("numkey", identifierKey(policies.text(1)));
        number.run();
    }
}

// Before the visit order, patients who share a key were listed by account: each patient's order
// is computed from the visits, as a write does. The indexes that go by it replace these.
void addVisitOrders(Database& db)
{
    db.execute(QStringLiteral(
        "DROP INDEX IF EXISTS patients_namekey; DROP INDEX IF EXISTS patients_sound;"
        "DROP INDEX IF EXISTS patients_dob; DROP INDEX IF EXISTS patients_ssn4; DROP INDEX IF EXISTS patients_ssn;"
        "DROP INDEX IF EXISTS patients_mrnkey;"
        "ALTER TABLE patients ADD COLUMN visitorder INTEGER NOT NULL DEFAULT %1").arg(visitOrder({})));
    Statement visits(db, "SELECT patient, max(seen) FROM encounters GROUP BY patient");
    Statement update(db, "UPDATE patients SET visitorder = :visitorder WHERE id = :id");
    while (visits.step()) {
        update.bind("id", visits.integer(0)).bind("visitorder", visitOrder(QDate::fromString(visits.text(1), Qt::ISODate)));
        update.run();
    }
}

} // namespace

void upgradeEarlierLayout(Database& db)
{
    if (db.hasColumn(QStringLiteral("patients"), QStringLiteral("sdx")))
        addMatchingKeys(db);
    if (db.hasRelation(QStringLiteral("patients")) && !db.hasColumn(QStringLiteral("patients"), QStringLiteral("visitorder")))
        addVisitOrders(db);
    // Entries from before the clerk was kept name none.
    if (db.hasRelation(QStringLiteral("access")) && !db.hasColumn(QStringLiteral("access"), QStringLiteral("clerk")))
        db.execute(QStringLiteral("ALTER TABLE access ADD COLUMN clerk TEXT NOT NULL DEFAULT ''"));
}

void moveEarlierAccessLog(Database& db)
{
    if (!db.hasRelation(QStringLiteral("accessed")))
        return;
    // 256 entries to a block, as the service writes them.
    db.execute(QStringLiteral("INSERT INTO access_accounts (block, account, entry) "
                              "SELECT entry / 256, account, entry FROM accessed; DROP TABLE accessed"));
}

} // namespace zelvar::practice
