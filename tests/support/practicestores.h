#pragma once

// The practice stores a store test runs against: the SQLite file and, when the run was given a
// PostgreSQL server (ZELVAR_TEST_POSTGRES, set by the test command's throw-away cluster), a
// fresh database on it.

#include "practice/postgresdatabase.h"
#include "practice/postgresstore.h"
#include "practice/sqlitestore.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace zelvar::test {

enum class Backend { Sqlite, Postgres };

inline std::string backendName(const ::testing::TestParamInfo<Backend>& info)
{
    return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
}

// The server's address for the tests, or empty when there is none.
inline QString testPostgres()
{
    return qEnvironmentVariable("ZELVAR_TEST_POSTGRES");
}

// A database of its own on the test server, for one store: its name.
inline QString freshPostgresName()
{
    static int made = 0;
    const QString name = QStringLiteral("zelvar_%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
    practice::PostgresDatabase server(testPostgres());
    server.execute(QStringLiteral("DROP DATABASE IF EXISTS ") + name);
    server.execute(QStringLiteral("CREATE DATABASE ") + name + QStringLiteral(" ENCODING 'UTF8' TEMPLATE template0"));
    return name;
}

inline QString freshPostgresDatabase()
{
    return testPostgres() + QStringLiteral(" dbname=") + freshPostgresName();
}

// The address another process opens it by (host, port and user from libpq's PG* variables).
inline QString freshPostgresAddress()
{
    return QStringLiteral("postgresql:///") + freshPostgresName();
}

// The store of the backend at an address (a file, or a PostgreSQL connection string).
inline std::unique_ptr<practice::SqlStore> storeAt(Backend backend, const QString& address)
{
    if (backend == Backend::Sqlite)
        return std::make_unique<practice::SqliteStore>(address);
    return std::make_unique<practice::PostgresStore>(address);
}

// An empty store of the backend; null when the run has no PostgreSQL server (the caller skips).
inline std::shared_ptr<practice::SqlStore> freshStore(Backend backend, const QTemporaryDir& folder)
{
    if (backend == Backend::Postgres && testPostgres().isEmpty())
        return nullptr;
    return storeAt(backend, backend == Backend::Sqlite ? folder.filePath(QStringLiteral("practice.db")) : freshPostgresDatabase());
}

} // namespace zelvar::test
