// The store's statements: named parameters numbered for each engine, the statement files read
// by name, and every statement one both engines can prepare on today's layout.
#include "practice/namedparameters.h"
#include "practice/sqlitedatabase.h"
#include "practice/statements.h"
#include "practicestores.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelvar::practice;
using namespace zelvar::test;

namespace {

using Engine = Database::Engine;

// Catches a name numbered twice, a "name" inside quotes or a comment taken for a parameter,
// a PostgreSQL cast read as one, and a statement that still numbers its parameters by hand.
TEST(NamedParametersTest, shouldNumberEachNameOnceAndNothingElse)
{
    struct Case
    {
        const char* sql;
        Engine engine;
        const char* text;
        QList<QByteArray> names;
    };
    const Case cases[] = {
        {"SELECT :a, :b_2, :a", Engine::Sqlite, "SELECT ?1, ?2, ?1", {"a", "b_2"}},
        {"SELECT :a, :b_2, :a", Engine::Postgres, "SELECT $1, $2, $1", {"a", "b_2"}},
        {"CAST(:list AS json)::text", Engine::Postgres, "CAST($1 AS json)::text", {"list"}},
        {"x = ':no' AND \"col:umn\" = 'O''B:x' -- :none\nAND /* :c */ y = :yes", Engine::Sqlite,
         "x = ':no' AND \"col:umn\" = 'O''B:x' -- :none\nAND /* :c */ y = ?1", {"yes"}},
        {"LIKE :p ESCAPE '\\' AND z = :q", Engine::Sqlite, "LIKE ?1 ESCAPE '\\' AND z = ?2", {"p", "q"}},
        {"a = : b", Engine::Sqlite, "a = : b", {}},
    };
    for (const Case& c : cases) {
        const NumberedStatement n = numberParameters(QString::fromUtf8(c.sql), c.engine);
        EXPECT_EQ(n.text.toStdString(), c.text) << c.sql;
        EXPECT_EQ(n.parameters, c.names) << c.sql;
    }
    for (const char* refused : {"WHERE id = ?1", "WHERE id = ?", "WHERE id = $1", "WHERE a = 'open", "/* open"})
        EXPECT_THROW(numberParameters(QString::fromUtf8(refused), Engine::Postgres), DatabaseError) << refused;
}

// Catches a parameter left out (it would run as NULL and quietly find nothing) and a value
// given to a name the statement does not have.
TEST(NamedParametersTest, shouldRefuseToRunAStatementWithAParameterLeftOut)
{
    QTemporaryDir folder;
    SqliteDatabase db(folder.filePath(QStringLiteral("t.db")));
    Statement s(db, "SELECT :a + :b");
    s.bind("a", qint64(1));
    try {
        s.step();
        ADD_FAILURE() << "ran without :b";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find(":b has no value"), std::string::npos) << e.what();
    }
    EXPECT_THROW(s.bind("c", qint64(3)), DatabaseError);
    s.bind("b", qint64(2));
    ASSERT_TRUE(s.step());
    EXPECT_EQ(s.integer(0), 3);
    // A reset forgets the values, on both engines alike.
    s.reset();
    EXPECT_THROW(s.step(), DatabaseError);
}

// Catches a statement file whose form the reader misreads: a statement run together with the
// next, a name given twice (the second would win unseen), SQL outside any statement.
TEST(StatementFileTest, shouldRefuseAFileItCannotReadByName)
{
    QTemporaryDir folder;
    const auto file = [&](const char* name, const char* text) {
        QFile f(folder.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    };
    const QString good = file("good.sql", "-- about\n\n-- name: one (plan once)\nSELECT\n  :a;\n-- between\n-- name: two\nSELECT 2;\n");
    const QHash<QString, NamedStatement> read = readStatements({good}, Engine::Sqlite);
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read[QStringLiteral("one")].sql->text.toStdString(), "SELECT\n  ?1");
    EXPECT_TRUE(read[QStringLiteral("one")].planOnce);
    EXPECT_FALSE(read[QStringLiteral("two")].planOnce);

    for (const char* bad : {"-- name: one\nSELECT 1\n-- name: two\nSELECT 2;\n", "-- name: one\nSELECT 1\n",
                            "SELECT 1;\n-- name: one\nSELECT 1;\n", "-- name: one\nSELECT 1;\nSELECT 2;\n"}) {
        EXPECT_THROW(readStatements({file("bad.sql", bad)}, Engine::Sqlite), DatabaseError) << bad;
    }
    EXPECT_THROW(readStatements({good, good}, Engine::Sqlite), DatabaseError);
}

// The statements only one engine has: PostgreSQL writes an access entry and its accounts in
// one statement, and vacuums the tables it owns.
const QStringList kSqliteOnly = {QStringLiteral("log_access"), QStringLiteral("log_access_accounts")};
const QStringList kPostgresOnly = {QStringLiteral("log_access_entry"), QStringLiteral("owned_tables")};

// Catches a statement one engine's file lacks, or spells with another parameter's name (the
// store binds by name and one engine would then fail at run time).
TEST(StatementFileTest, shouldGiveBothEnginesTheSameStatementsWithTheSameParameters)
{
    QStringList sqlite = statementNames(Engine::Sqlite);
    QStringList postgres = statementNames(Engine::Postgres);
    for (const QString& name : kSqliteOnly)
        EXPECT_TRUE(sqlite.removeOne(name)) << name.toStdString();
    for (const QString& name : kPostgresOnly)
        EXPECT_TRUE(postgres.removeOne(name)) << name.toStdString();
    ASSERT_EQ(sqlite, postgres);
    for (const QString& name : std::as_const(sqlite)) {
        QList<QByteArray> a = namedStatement(Engine::Sqlite, name).sql->parameters;
        QList<QByteArray> b = namedStatement(Engine::Postgres, name).sql->parameters;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b) << name.toStdString();
    }
}

class StatementCatalogTest : public ::testing::TestWithParam<Backend>
{
};

// Catches a statement that names a column, table or index the layout does not have, or SQL
// its engine refuses: most run only on a rare search path, and would fail at a desk.
TEST_P(StatementCatalogTest, shouldPrepareEveryStatementOnTodaysLayout)
{
    QTemporaryDir folder;
    const std::shared_ptr<SqlStore> store = freshStore(GetParam(), folder);
    if (!store)
        GTEST_SKIP() << "no PostgreSQL server for this run (ZELVAR_TEST_POSTGRES)";
    Database& db = store->database();
    const QStringList names = statementNames(db.engine());
    EXPECT_GT(names.size(), 50);
    for (const QString& name : names) {
        try {
            Statement::named(db, name);
        } catch (const DatabaseError& e) {
            ADD_FAILURE() << name.toStdString() << ": " << e.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, StatementCatalogTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

} // namespace
