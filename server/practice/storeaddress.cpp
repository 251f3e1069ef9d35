#include "storeaddress.h"

#include "postgresstore.h"
#include "sqlitestore.h"

#include <stdexcept>

namespace zelvar::practice {


bool isPostgresAddress(const QString& address)
{
    return address.startsWith(QLatin1String("postgresql://")) || address.startsWith(QLatin1String("postgres://"));
}

QString sqliteFileOf(const QString& address)
{
    return address.startsWith(QLatin1String("sqlite:")) ? address.mid(7) : address;
}

std::unique_ptr<SqlStore> openStore(const QString& address)
{
    if (isPostgresAddress(address))
        return std::make_unique<PostgresStore>(address);
    const QString file = sqliteFileOf(address);
    if (file.isEmpty() || file.contains(QLatin1String("://")))
        throw std::invalid_argument("The database is sqlite:FILE or postgresql://user@host/database");
    return std::make_unique<SqliteStore>(file);
}

namespace {

// A progress line for every so many rows of a large table.
constexpr qint64 kProgressRows = 250'000;

// Copies a table's rows as text, through the target's bulk writer (COPY on PostgreSQL; on
// SQLite one prepared insert, in the copy's one transaction).
qint64 copyRows(Database& from, RowWriter& to, Table table, const std::function<void(const QString&, qint64)>& report)
{
    const QString name = QString::fromLatin1(tableName(table));
    const QString columns = QString::fromLatin1(tableColumns(table));
    const int count = int(columns.count(QLatin1Char(',')) + 1);
    Statement rows(from, QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM ") + name);
    qint64 copied = 0;
    QStringList values;
    while (rows.step()) {
        values.clear();
        for (int c = 0; c < count; ++c)
            values.append(rows.text(c));
        to.write(table, values);
        if (++copied % kProgressRows == 0)
            report(name + QStringLiteral(" (so far)"), copied);
    }
    to.flush();
    report(name, copied);
    return copied;
}

// The stored files, whose contents are bytes, not text: statement by statement (a practice has
// a handful).
void copyFiles(Database& from, Database& to, const std::function<void(const QString&, qint64)>& report)
{
    Statement rows(from, "SELECT folder, name, content FROM files");
    Statement add(to, "INSERT INTO files (folder, name, content) VALUES (:folder, :name, :content)");
    qint64 copied = 0;
    while (rows.step()) {
        add.bind("folder", rows.text(0)).bind("name", rows.text(1)).bind("content", rows.blob(2));
        add.run();
        ++copied;
    }
    report(QStringLiteral("files"), copied);
}

} // namespace

void copyStore(SqlStore& from, SqlStore& to, const std::function<void(const QString&, qint64)>& progress)
{
    if (!to.isEmpty())
        throw std::runtime_error("the target database has patients already; copy into an empty one");
    Database& source = from.database();
    Database& target = to.database();
    const auto report = [&](const QString& table, qint64 rows) {
        if (progress)
            progress(table, rows);
    };
    inWriteTransaction(target, [&] {
        // Both are at the newest layout (opening them saw to it): the service's tables exist on
        // both sides, and what a new database was given is replaced.
        target.execute(QStringLiteral("DELETE FROM codes; DELETE FROM settings; DELETE FROM files; DELETE FROM recent;"
                                      "DELETE FROM desks; DELETE FROM access; DELETE FROM access_accounts;"));
        const std::unique_ptr<RowWriter> writer = target.rowWriter();
        for (std::size_t t = 0; t < kBulkTables; ++t)
            copyRows(source, *writer, Table(t), report);
        copyFiles(source, target, report);
        target.continueNumbering(QStringLiteral("access"));
    });
    // Without statistics the planner guesses until the engine gathers them of itself.
    to.analyse();
}

} // namespace zelvar::practice
