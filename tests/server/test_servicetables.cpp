// What the service keeps beside the practice's data, on both stores: desks known only by the
// hash of their token, the access log, and the copy from the SQLite file to PostgreSQL.
#include "practicestores.h"
#include "service/deskdirectory.h"
#include "practice/servicetables.h"
#include "practice/storeaddress.h"

#include "practice/practicehostlink.h"
#include "practice/sqlitedatabase.h"
#include "practice/sqlitestore.h"

#include <QRegularExpression>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace zelvar;
using namespace zelvar::test;
using practice::ServiceTables;

namespace {

class ServiceTablesTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override
    {
        store = freshStore(GetParam(), folder);
        if (!store)
            GTEST_SKIP() << "no PostgreSQL server for this run (ZELVAR_TEST_POSTGRES)";
        tables = std::make_unique<ServiceTables>(store->database());
    }

    // The desk as a server that has just read the desks table knows it.
    std::optional<QString> deskOf(const QString& token)
    {
        service::DeskDirectory directory;
        directory.renew(tables->deskTokens());
        return directory.deskOf(token.toUtf8());
    }

    QTemporaryDir folder;
    std::shared_ptr<practice::SqlStore> store;
    std::unique_ptr<ServiceTables> tables;
};

// Catches a token kept in the clear, one that still works after its desk is removed, and a
// desk name that lets one desk pass for another.
TEST_P(ServiceTablesTest, shouldKnowDesksOnlyByTheirTokensHash)
{
    const QString token = tables->addDesk(QStringLiteral(" FRONT 1 "));
    EXPECT_GE(token.size(), 40);
    EXPECT_EQ(deskOf(token), QStringLiteral("FRONT 1"));
    EXPECT_NE(tables->addDesk(QStringLiteral("FRONT 2")), token);
    EXPECT_EQ(tables->desks(), (QStringList{QStringLiteral("FRONT 1"), QStringLiteral("FRONT 2")}));
    practice::Statement stored(store->database(), "SELECT tokenhash FROM desks WHERE name = 'FRONT 1'");
    ASSERT_TRUE(stored.step());
    EXPECT_NE(stored.text(0), token);
    EXPECT_FALSE(stored.text(0).contains(token.mid(3, 20)));

    for (const QString& unknown : QStringList{QString(), token.chopped(1), token + QLatin1Char('x'), stored.text(0)})
        EXPECT_FALSE(deskOf(unknown)) << unknown.toStdString();
    for (const char* bad : {"", "   ", "FRONT 1", "a\tb", "-leading", "x'; DROP TABLE desks; --"})
        EXPECT_THROW(tables->addDesk(QString::fromUtf8(bad)), std::invalid_argument) << bad;
    EXPECT_TRUE(tables->removeDesk(QStringLiteral("FRONT 1")));
    EXPECT_FALSE(deskOf(token));
    EXPECT_FALSE(tables->removeDesk(QStringLiteral("FRONT 1")));
}

// Catches an access that is not found again by the account it showed.
TEST_P(ServiceTablesTest, shouldSayWhoWasShownWhichAccount)
{
    tables->logAccess(QStringLiteral("FRONT 1"), QStringLiteral("SEARCH"), {100001, 100002});
    tables->logAccess(QStringLiteral("FRONT 2"), QStringLiteral("RECORD"), {100002});
    tables->logAccess(QStringLiteral("-"), QStringLiteral("REFUSED"), {}, QStringLiteral("127.0.0.1:5 sent no token"));
    const QList<practice::AccessEntry> second = tables->accessLog(100002);
    ASSERT_EQ(second.size(), 2);
    EXPECT_EQ(second[0].desk, QStringLiteral("FRONT 1"));
    EXPECT_EQ(second[0].accounts, (QList<qint64>{100001, 100002}));
    EXPECT_EQ(second[1].kind, QStringLiteral("RECORD"));
    EXPECT_TRUE(second[0].at.isValid() && second[0].at <= second[1].at);
    EXPECT_EQ(tables->accessLog(100001).size(), 1);
    EXPECT_TRUE(tables->accessLog(999).isEmpty());
    EXPECT_EQ(tables->recentOfKind(QStringLiteral("REFUSED"), 10).value(0).detail, QStringLiteral("127.0.0.1:5 sent no token"));

    // Accesses are kept by block of entries: one many blocks later is found as well.
    QList<practice::AccessEntry> busyDay;
    for (int i = 0; i < 700; ++i)
        busyDay.append({QDateTime::currentDateTimeUtc(), QStringLiteral("FRONT 3"), QStringLiteral("SEARCH"), {200000 + i}, {}, {}});
    busyDay.last().accounts.append(100002);
    tables->logAccesses(busyDay);
    EXPECT_EQ(tables->accessLog(100002).size(), 3);
    EXPECT_EQ(tables->accessLog(100002).value(2).accounts, (QList<qint64>{100002, 200699}));
    EXPECT_EQ(tables->accessLog(200300).size(), 1);
}

// Catches a write-ahead log that only grows while desks search: a search was always reading
// the log when the next write came, so the log never started over (a gigabyte in half a
// minute), and once the writes stopped it kept its peak size. Here a desk's search is under
// way when the server tidies up and ends a moment later.
TEST(SqliteHousekeepingTest, shouldStartTheLogOverOnceItOutgrowsItsLimit)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("practice.db"));
    practice::SqliteStore store(path);
    practice::Database& db = store.database();
    db.deferHousekeeping();
    db.execute(QStringLiteral("CREATE TABLE filler (x BLOB)"));
    const auto write = [&] { db.execute(QStringLiteral("INSERT INTO filler VALUES (randomblob(1048576))")); };
    for (int i = 0; i < 24; ++i)
        write();
    const QString log = path + QStringLiteral("-wal");
    ASSERT_GT(QFileInfo(log).size(), 16 * 1024 * 1024);
    // Once the writes stop, the next tidy-ups leave no log on the disk at all.
    db.tidyUp();
    db.tidyUp();
    EXPECT_EQ(QFileInfo(log).size(), 0);
    for (int i = 0; i < 24; ++i)
        write();
    ASSERT_GT(QFileInfo(log).size(), 16 * 1024 * 1024);

    practice::SqliteDatabase desk(path);
    desk.execute(QStringLiteral("BEGIN"));
    practice::Statement(desk, "SELECT count(*) FROM filler").step();
    db.execute(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));     // the log copied: only the search holds it
    std::thread searchEnds([&desk] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        desk.execute(QStringLiteral("COMMIT"));
    });
    db.tidyUp(); fprintf(stderr, "after tidy %lld\n", QFileInfo(path + QStringLiteral("-wal")).size());
    write(); fprintf(stderr, "after write %lld\n", QFileInfo(path + QStringLiteral("-wal")).size());
    searchEnds.join();
    EXPECT_LE(QFileInfo(log).size(), 16 * 1024 * 1024);
    practice::Statement rows(desk, "SELECT count(*) FROM filler");
    ASSERT_TRUE(rows.step());
    EXPECT_EQ(rows.integer(0), 49);
}

INSTANTIATE_TEST_SUITE_P(Stores, ServiceTablesTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

// Catches a move to PostgreSQL that loses or renumbers anything a desk finds patients by, or
// the desks and the access log, one left without statistics, and one that writes over a
// database in use.
TEST(MigrateTest, shouldCopyTheSqliteFileIntoPostgresWhole)
{
    if (testPostgres().isEmpty())
        GTEST_SKIP() << "no PostgreSQL server for this run (ZELVAR_TEST_POSTGRES)";
    QTemporaryDir folder;
    practice::SqliteStore sqlite(folder.filePath(QStringLiteral("practice.db")));
    sqlite.generate(1500, 3);
    sqlite.rememberChoice(QStringLiteral("CLERK"), 100007);
    ServiceTables sqliteTables(sqlite.database());
    const QString token = sqliteTables.addDesk(QStringLiteral("FRONT"));
    sqliteTables.logAccess(QStringLiteral("FRONT"), QStringLiteral("RECORD"), {100007});
    // What a bulk copy's text format gives a meaning to, in a value it must carry as it is.
    const QString awkward = QStringLiteral("tab\there, back\\slash\\N, line\nend");
    sqliteTables.logAccess(QStringLiteral("FRONT"), QStringLiteral("SEARCH"), {100008}, awkward);

    practice::PostgresStore postgres(freshPostgresDatabase());
    QStringList copied;
    practice::copyStore(sqlite, postgres, [&](const QString& table, qint64) { copied.append(table); });
    EXPECT_TRUE(copied.contains(QStringLiteral("access_accounts")));
    EXPECT_EQ(postgres.patientCount(), 1500);
    {
        // Statistics gathered: the planner does not guess the first searches' plans.
        practice::Statement analysed(postgres.database(), "SELECT count(*) FROM pg_stat_user_tables "
                                                          "WHERE relname = 'patients' AND last_analyze IS NOT NULL");
        ASSERT_TRUE(analysed.step());
        EXPECT_EQ(analysed.integer(0), 1);
    }
    const char* const requests[] = {"|GET|KEY|S|&PAT NAME|", "|GET|KEY||&PAT NAME|", "|GET|KEY|5|&TRANS#|", "|GET|KEY|9|&CLAIM#|",
                                    "|GET|DEMOXML|100007|", "|GET|FILE|PR.xsl|FORMS|", "|GET|DUPPAT|\t\tSMITH,JOHN\t\t\t|"};
    practice::PracticeHostLink from(std::shared_ptr<practice::PracticeStore>(&sqlite, [](auto*) {}), QStringLiteral("CLERK"));
    practice::PracticeHostLink to(std::shared_ptr<practice::PracticeStore>(&postgres, [](auto*) {}), QStringLiteral("CLERK"));
    for (const char* request : requests) {
        QStringList expected = from.answer(QString::fromUtf8(request));
        QStringList actual = to.answer(QString::fromUtf8(request));
        // The record says when it was made.
        expected.replaceInStrings(QRegularExpression(QStringLiteral("generated=\"[^\"]*\"")), QString());
        actual.replaceInStrings(QRegularExpression(QStringLiteral("generated=\"[^\"]*\"")), QString());
        EXPECT_EQ(actual, expected) << request;
    }
    ServiceTables postgresTables(postgres.database());
    EXPECT_EQ(postgresTables.deskTokens().value(ServiceTables::tokenHash(token)), QStringLiteral("FRONT"));
    EXPECT_EQ(postgresTables.accessLog(100007).size(), 1);
    EXPECT_EQ(postgresTables.accessLog(100008).value(0).detail, awkward);
    postgresTables.logAccess(QStringLiteral("FRONT"), QStringLiteral("SEARCH"), {100007});
    EXPECT_EQ(postgresTables.accessLog(100007).size(), 2);

    EXPECT_THROW(practice::copyStore(sqlite, postgres, {}), std::runtime_error);
    EXPECT_EQ(postgres.patientCount(), 1500);
}

} // namespace
