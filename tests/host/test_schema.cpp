// The practice database's numbered layout: every earlier layout brought to the newest, a newer
// one refused, and a rebuild that keeps what the layout made.
#include "practice/names.h"
#include "practice/postgresdatabase.h"
#include "practice/schema.h"
#include "practice/sqlitedatabase.h"
#include "practice/sqlstore.h"
#include "practicestores.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

using namespace zelvar::practice;
using namespace zelvar::test;

namespace {

qint64 countOf(Database& db, const char* sql)
{
    Statement s(db, sql);
    return s.step() ? s.integer(0) : -1;
}

QList<qint64> accounts(SqlStore& store, SearchKey key, const QString& text)
{
    QList<qint64> out;
    for (const PatientRow& row : store.search({key, text, {}, 50, QStringLiteral("FRONT")}).rows)
        out.append(row.account);
    return out;
}

// A database in a layout the program once left, and what it is called in the test's name.
struct EarlierLayout
{
    Backend backend;
    const char* fixture;        // tests/host/layouts/NAME.sql; null: today's, before its number
};

std::string layoutName(const ::testing::TestParamInfo<EarlierLayout>& info)
{
    const std::string engine = info.param.backend == Backend::Sqlite ? "Sqlite" : "Postgres";
    if (!info.param.fixture)
        return engine + "_unnumbered";
    std::string name = info.param.fixture;
    name = name.substr(0, name.find('.'));
    std::replace(name.begin(), name.end(), '-', '_');
    return engine + "_" + name;
}

class SchemaUpgradeTest : public ::testing::TestWithParam<EarlierLayout>
{
protected:
    void SetUp() override
    {
        if (GetParam().backend == Backend::Postgres && testPostgres().isEmpty())
            GTEST_SKIP() << "no PostgreSQL server for this run (ZELVAR_TEST_POSTGRES)";
        address = GetParam().backend == Backend::Sqlite ? folder.filePath(QStringLiteral("practice.db"))
                                                       : freshPostgresDatabase();
        // On PostgreSQL the copy kept is pg_dump's, in the service's state folder.
        qputenv("STATE_DIRECTORY", QFile::encodeName(folder.path()));
    }
    void TearDown() override { qunsetenv("STATE_DIRECTORY"); }

    std::unique_ptr<Database> connection()
    {
        if (GetParam().backend == Backend::Sqlite)
            return std::make_unique<SqliteDatabase>(address);
        return std::make_unique<PostgresDatabase>(address);
    }

    // The database as the program before left it.
    void makeEarlierDatabase()
    {
        if (!GetParam().fixture) {
            storeAt(GetParam().backend, address)->generate(300, 5);
            connection()->execute(QStringLiteral("DROP TABLE schema_version"));
            return;
        }
        QFile fixture(QStringLiteral(ZELVAR_LAYOUTS_DIR "/") + QString::fromLatin1(GetParam().fixture));
        ASSERT_TRUE(fixture.open(QIODevice::ReadOnly)) << GetParam().fixture;
        connection()->execute(QString::fromUtf8(fixture.readAll()));
    }

    QStringList keptCopies() const
    {
        const QString pattern = GetParam().backend == Backend::Sqlite ? QStringLiteral("practice.db.before-upgrade-*")
                                                                      : QStringLiteral("practice-before-upgrade-*.dump");
        return QDir(folder.path()).entryList({pattern}, QDir::Files);
    }

    QTemporaryDir folder;
    QString address;
};

// Catches an earlier database opened without its keys, visit orders, sound keys or access log
// carried over, or upgraded without a copy to go back to: searches would miss its patients,
// the duplicate check would not put a WAIT beside its WHITE, and who was shown whom would be lost.
TEST_P(SchemaUpgradeTest, shouldBringAnEarlierDatabaseToTheNewestLayoutKeepingWhatItHeld)
{
    makeEarlierDatabase();
    const qint64 patients = countOf(*connection(), "SELECT count(*) FROM patients");
    ASSERT_GT(patients, 0);

    std::unique_ptr<SqlStore> store = storeAt(GetParam().backend, address);
    Database& db = store->database();
    EXPECT_EQ(schemaVersion(db), newestSchemaVersion());
    EXPECT_EQ(store->patientCount(), patients);
    EXPECT_EQ(keptCopies().size(), 1) << keptCopies().join(QLatin1Char(' ')).toStdString();

    // Every patient's keys and visit order are what a write of today makes.
    Statement rows(db, "SELECT p.id, p.last, p.first, p.ssn, p.mrn, p.lastkey, p.firstkey, p.lastsound, p.ssn4, p.mrnkey, "
                       "p.visitorder, (SELECT max(seen) FROM encounters e WHERE e.patient = p.id) FROM patients p");
    while (rows.step()) {
        const PatientKeys k = patientKeys(rows.text(1), rows.text(2), rows.text(3), rows.text(4));
        EXPECT_EQ(QStringList({rows.text(5), rows.text(6), rows.text(7), rows.text(8), rows.text(9)}),
                  QStringList({k.lastkey, k.firstkey, k.lastsound, k.ssn4, k.mrnkey})) << rows.integer(0);
        EXPECT_EQ(rows.integer(10), visitOrder(QDate::fromString(rows.text(11), Qt::ISODate))) << rows.integer(0);
    }
    if (!GetParam().fixture)
        return;     // generated: the rest is about the fixtures' own patients

    // The recently seen first among equals; found by a phone's tail, a policy, another surname.
    EXPECT_EQ(accounts(*store, SearchKey::PatientName, QStringLiteral("WHITE")), QList<qint64>({100001, 100002}));
    EXPECT_EQ(accounts(*store, SearchKey::Phone, QStringLiteral("1234567")), QList<qint64>({100001, 100002}));
    EXPECT_EQ(accounts(*store, SearchKey::Policy, QStringLiteral("BPH12345")), QList<qint64>({100001}));
    EXPECT_EQ(accounts(*store, SearchKey::PatientName, QStringLiteral("LOPEZ")), QList<qint64>({100004}));
    QList<qint64> candidates;
    for (const Candidate& c : store->duplicateCandidates({{}, {}, QStringLiteral("WAIT, JOHN"), {}, {}, {}}, 10))
        candidates.append(c.patient.account);
    EXPECT_TRUE(candidates.contains(100001)) << "WAIT, JOHN is not put beside WHITE, JOHN";

    if (QString::fromLatin1(GetParam().fixture).startsWith(QLatin1String("before-visit-order"))) {
        EXPECT_FALSE(db.hasRelation(QStringLiteral("accessed")));
        EXPECT_EQ(countOf(db, "SELECT count(*) FROM access_accounts WHERE account = 100002"), 2);
        EXPECT_EQ(countOf(db, "SELECT count(*) FROM access_accounts WHERE block = entry / 256"), 4);
        EXPECT_EQ(countOf(db, "SELECT count(*) FROM access WHERE clerk = ''"), 3);
        EXPECT_EQ(countOf(db, "SELECT count(*) FROM desks"), 1);
    }

    // Opened again: nothing left to do, and no second copy.
    store.reset();
    store = storeAt(GetParam().backend, address);
    EXPECT_EQ(keptCopies().size(), 1);
}

// Catches an upgrade that two programs opening the same earlier database at once both take (a
// column added twice fails the second, a step recorded twice or half done): the second waits
// for the first's step and finds it done.
class SchemaConcurrencyTest : public SchemaUpgradeTest
{
};

TEST_P(SchemaConcurrencyTest, shouldUpgradeOnceWhenOpenedByManyAtOnce)
{
    makeEarlierDatabase();
    std::atomic<int> opened = 0;
    std::vector<std::string> failures(4);
    std::vector<std::thread> programs;
    for (size_t i = 0; i < failures.size(); ++i) {
        programs.emplace_back([&, i] {
            try {
                storeAt(GetParam().backend, address);
                ++opened;
            } catch (const std::exception& e) {
                failures[i] = e.what();
            }
        });
    }
    for (std::thread& t : programs)
        t.join();
    for (const std::string& failure : failures)
        EXPECT_EQ(failure, "");
    EXPECT_EQ(opened, int(failures.size()));
    const std::unique_ptr<Database> db = connection();
    EXPECT_EQ(schemaVersion(*db), newestSchemaVersion());
    EXPECT_EQ(countOf(*db, "SELECT count(*) FROM schema_version"), newestSchemaVersion());
    EXPECT_EQ(countOf(*db, "SELECT count(*) FROM access_accounts"), 4);
}

// One earlier layout per engine is enough.
INSTANTIATE_TEST_SUITE_P(Layouts, SchemaConcurrencyTest,
                         ::testing::Values(EarlierLayout{Backend::Sqlite, "before-visit-order.sqlite.sql"},
                                           EarlierLayout{Backend::Postgres, "before-visit-order.postgres.sql"}),
                         layoutName);

INSTANTIATE_TEST_SUITE_P(Layouts, SchemaUpgradeTest,
                         ::testing::Values(EarlierLayout{Backend::Sqlite, "first.sqlite.sql"},
                                           EarlierLayout{Backend::Sqlite, "before-visit-order.sqlite.sql"},
                                           EarlierLayout{Backend::Postgres, "before-visit-order.postgres.sql"},
                                           EarlierLayout{Backend::Sqlite, nullptr},
                                           EarlierLayout{Backend::Postgres, nullptr}),
                         layoutName);

class SchemaTest : public ::testing::TestWithParam<Backend>
{
};

// Catches a program that opens a database a newer one upgraded: it would write rows in a
// layout it does not know, or take the database apart upgrading it again.
TEST_P(SchemaTest, shouldRefuseADatabaseNewerThanTheProgramAndChangeNothing)
{
    QTemporaryDir folder;
    const std::shared_ptr<SqlStore> made = freshStore(GetParam(), folder);
    if (!made)
        GTEST_SKIP() << "no PostgreSQL server for this run (ZELVAR_TEST_POSTGRES)";
    Statement newer(made->database(), "INSERT INTO schema_version (version, applied) VALUES (:version, '2031-01-01')");
    newer.bind("version", qint64(newestSchemaVersion() + 1)).run();

    try {
        upgradeSchema(made->database(), {});
        FAIL() << "a newer database was opened";
    } catch (const DatabaseError& e) {
        EXPECT_STREQ(e.what(), qPrintable(QStringLiteral(
            "the practice database has layout %1, newer than this program knows (layout %2); open it with the "
            "program that upgraded it, or a newer one").arg(newestSchemaVersion() + 1).arg(newestSchemaVersion())));
    }
    EXPECT_EQ(schemaVersion(made->database()), newestSchemaVersion() + 1);
}

// Catches a rebuild that makes the tables or indexes of a layout other than the database's:
// searches would scan, or a later step's index would be lost with the old rows.
TEST_P(SchemaTest, shouldRebuildDemoDataInTheLayoutTheDatabaseHas)
{
    QTemporaryDir folder;
    const std::shared_ptr<SqlStore> store = freshStore(GetParam(), folder);
    if (!store)
        GTEST_SKIP() << "no PostgreSQL server for this run (ZELVAR_TEST_POSTGRES)";
    Database& db = store->database();
    db.execute(QStringLiteral("CREATE INDEX patients_bycity ON patients (city)"));
    store->generate(200, 1);
    store->generate(300, 2);
    EXPECT_EQ(store->patientCount(), 300);
    EXPECT_TRUE(db.hasRelation(QStringLiteral("patients_bycity")));
    EXPECT_TRUE(db.hasRelation(QStringLiteral("patients_byname")));
    EXPECT_EQ(schemaVersion(db), newestSchemaVersion());
    EXPECT_EQ(countOf(db, "SELECT count(*) FROM schema_version"), newestSchemaVersion());
}

INSTANTIATE_TEST_SUITE_P(Stores, SchemaTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

} // namespace
