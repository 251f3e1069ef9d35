#pragma once

#include "database.h"

struct sqlite3;

namespace zelvar::practice {

// The whole of one SQLite database into another (both open), in one step: one consistent
// moment of the source, which other connections go on writing meanwhile, and no new start
// when they do (as a copy in pieces would make). Throws DatabaseError saying `what` failed.
void copySqliteDatabase(sqlite3* from, sqlite3* to, const QString& what);

// A copy of the connection's database in a new file beside it (NAME.KIND-DATE), for going
// back to; returns the file's name.
QString keepCopyBeside(sqlite3* db, const QString& path, const QString& kind);

// The practice database in one SQLite file (write-ahead log, so that readers on other
// connections never wait for a writer).
class SqliteDatabase : public Database
{
public:
    explicit SqliteDatabase(const QString& path);
    ~SqliteDatabase() override;

    std::unique_ptr<Query> prepare(const QString& sql, int parameters) override;
    void execute(const QString& sql) override;
    void beginWrite() override;
    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    std::unique_ptr<RowWriter> rowWriter() override;
    Engine engine() const override { return Engine::Sqlite; }
    bool hasRelation(const QString& name) override;
    bool hasColumn(const QString& table, const QString& column) override;
    void deferHousekeeping() override;
    void tidyUp() override;

    QString keepBeforeUpgrade() override;

    sqlite3* handle() const { return m_db; }

private:
    static constexpr int kBusyTimeoutMs = 5000;
    qint64 pageSize();

    QString m_path;
    sqlite3* m_db = nullptr;
    qint64 m_pageSize = 0;
    int m_logFramesBefore = -1;     // the log's frames at the last tidy-up
};

} // namespace zelvar::practice
