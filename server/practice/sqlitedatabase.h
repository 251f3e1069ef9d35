#pragma once

#include "database.h"

struct sqlite3;

namespace zelvar::practice {

// The practice database in one SQLite file (write-ahead log, so that readers on other
// connections never wait for a writer).
class SqliteDatabase : public Database
{
public:
    explicit SqliteDatabase(const QString& path);
    ~SqliteDatabase() override;

    std::unique_ptr<Query> prepare(const QString& sql) override;
    void execute(const QString& sql) override;
    void beginWrite() override;
    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    std::unique_ptr<RowWriter> rowWriter() override;
    bool hasRelation(const QString& name) override;
    QString numberedKey() const override;
    QString keyOnlyTable() const override { return QStringLiteral(" WITHOUT ROWID"); }
    void deferHousekeeping() override;
    void tidyUp() override;

    sqlite3* handle() const { return m_db; }

private:
    static constexpr int kBusyTimeoutMs = 5000;
    qint64 pageSize();

    sqlite3* m_db = nullptr;
    qint64 m_pageSize = 0;
    int m_logFramesBefore = -1;     // the log's frames at the last tidy-up
};

} // namespace zelvar::practice
