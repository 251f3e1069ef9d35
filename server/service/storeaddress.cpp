#include "storeaddress.h"

#include "practice/postgresstore.h"
#include "practice/sqlitestore.h"
#include "servicetables.h"

#include <stdexcept>

namespace zelvar::service {

using practice::Statement;
using practice::Table;

std::unique_ptr<practice::SqlStore> openStore(const QString& address)
{
    if (address.startsWith(QLatin1String("postgresql://")) || address.startsWith(QLatin1String("postgres://")))
        return std::make_unique<practice::PostgresStore>(address);
    QString file = address;
    if (file.startsWith(QLatin1String("sqlite:")))
        file = file.mid(7);
    if (file.isEmpty() || file.contains(QLatin1String("://")))
        throw std::invalid_argument("The database is sqlite:FILE or postgresql://user@host/database");
    return std::make_unique<practice::SqliteStore>(file);
}

namespace {

// Copies a table's rows as text, through the target's bulk writer.
qint64 copyRows(practice::Database& from, practice::RowWriter& to, Table table)
{
    const QString columns = QString::fromLatin1(practice::tableColumns(table));
    const int count = int(columns.count(QLatin1Char(',')) + 1);
    Statement rows(from, QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM ")
                             + QLatin1String(practice::tableName(table)));
    qint64 copied = 0;
    while (rows.step()) {
        QStringList values;
        for (int c = 0; c < count; ++c)
            values.append(rows.text(c));
        to.write(table, values);
        ++copied;
    }
    return copied;
}

// Copies rows statement by statement (tables the bulk writer does not know, and blobs).
qint64 copyEach(practice::Database& from, practice::Database& to, const char* select, const char* insert, int columns,
                int blobColumn = -1)
{
    Statement rows(from, select);
    Statement add(to, insert);
    qint64 copied = 0;
    while (rows.step()) {
        for (int c = 0; c < columns; ++c) {
            if (c == blobColumn)
                add.bind(c + 1, rows.blob(c));
            else
                add.bind(c + 1, rows.text(c));
        }
        add.run();
        ++copied;
    }
    return copied;
}

} // namespace

void copyStore(practice::SqlStore& from, practice::SqlStore& to, const std::function<void(const QString&, qint64)>& progress)
{
    if (!to.isEmpty())
        throw std::runtime_error("the target database has patients already; copy into an empty one");
    practice::Database& source = from.database();
    practice::Database& target = to.database();
    ServiceTables sourceTables(source);
    ServiceTables targetTables(target);
    const auto report = [&](const QString& table, qint64 rows) {
        if (progress)
            progress(table, rows);
    };
    practice::inWriteTransaction(target, [&] {
        // The service's tables exist on both sides before they are copied.
        target.execute(QStringLiteral("DELETE FROM codes; DELETE FROM settings; DELETE FROM files; DELETE FROM recent;"
                                      "DELETE FROM desks; DELETE FROM access; DELETE FROM access_accounts;"));
        const std::unique_ptr<practice::RowWriter> writer = target.rowWriter();
        for (Table table : {Table::Patients, Table::NameKeys, Table::Phones, Table::Policies, Table::Encounters,
                            Table::Transactions, Table::Claims, Table::Accessions, Table::Codes, Table::Settings}) {
            const qint64 copied = copyRows(source, *writer, table);
            writer->flush();
            report(QString::fromLatin1(practice::tableName(table)), copied);
        }
        report(QStringLiteral("files"), copyEach(source, target, "SELECT folder, name, content FROM files",
                                                 "INSERT INTO files (folder, name, content) VALUES (?1, ?2, ?3)", 3, 2));
        report(QStringLiteral("recent"), copyEach(source, target, "SELECT \"user\", patient, chosen FROM recent",
                                                  "INSERT INTO recent (\"user\", patient, chosen) VALUES (?1, ?2, ?3)", 3));
        report(QStringLiteral("desks"), copyEach(source, target, "SELECT name, tokenhash, added FROM desks",
                                                 "INSERT INTO desks (name, tokenhash, added) VALUES (?1, ?2, ?3)", 3));
        report(QStringLiteral("access"),
               copyEach(source, target, "SELECT id, at, desk, kind, detail, clerk FROM access",
                        "INSERT INTO access (id, at, desk, kind, detail, clerk) VALUES (?1, ?2, ?3, ?4, ?5, ?6)", 6));
        report(QStringLiteral("access_accounts"),
               copyEach(source, target, "SELECT block, account, entry FROM access_accounts",
                        "INSERT INTO access_accounts (block, account, entry) VALUES (?1, ?2, ?3)", 3));
        target.continueNumbering(QStringLiteral("access"));
    });
    // Without statistics the planner guesses until the engine gathers them of itself.
    to.analyse();
}

} // namespace zelvar::service
