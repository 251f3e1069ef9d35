#pragma once

#include "database.h"

#include <QHash>

struct pg_conn;

namespace zelvar::practice {

// The practice database on a PostgreSQL server, through one connection (a connection serves
// one thread at a time). Statements are prepared on the server once per connection.
class PostgresDatabase : public Database
{
public:
    // conninfo: a "postgresql://" address or "key=value" words, as libpq takes them.
    explicit PostgresDatabase(const QString& conninfo);
    ~PostgresDatabase() override;

    std::unique_ptr<Query> prepare(const QString& sql, int parameters) override;
    std::unique_ptr<Query> prepareOnce(const QString& sql, int parameters) override;
    void execute(const QString& sql) override;
    void beginWrite() override;
    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    std::unique_ptr<RowWriter> rowWriter() override;
    Engine engine() const override { return Engine::Postgres; }
    bool hasRelation(const QString& name) override;
    bool hasColumn(const QString& table, const QString& column) override;
    bool isBroken() const override;
    bool writesTwoTablesInOneStatement() const override { return true; }
    void continueNumbering(const QString& table) override;
    QString keepBeforeUpgrade() override;

    pg_conn* connection() const { return m_conn; }

private:
    std::unique_ptr<Query> prepareStatement(const QString& sql, int parameters, bool planOnce);

    QString m_conninfo;
    pg_conn* m_conn = nullptr;
    QHash<QString, QByteArray> m_prepared;      // statement text -> its name on the server
};

} // namespace zelvar::practice
