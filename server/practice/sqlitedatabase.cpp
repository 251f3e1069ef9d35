#include "sqlitedatabase.h"

#include <QDateTime>

#include <QFile>

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>

namespace zelvar::practice {
namespace {

[[noreturn]] void fail(sqlite3* db)
{
    throw DatabaseError(std::string("practice database: ") + sqlite3_errmsg(db));
}

class SqliteQuery : public Query
{
public:
    SqliteQuery(sqlite3* db, const QString& sql)
        : m_db(db)
    {
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_statement, nullptr) != SQLITE_OK)
            fail(db);
    }
    ~SqliteQuery() override { sqlite3_finalize(m_statement); }

    void bindText(int index, const QString& text) override
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bindInteger(int index, qint64 value) override { sqlite3_bind_int64(m_statement, index, value); }
    void bindReal(int index, double value) override { sqlite3_bind_double(m_statement, index, value); }
    void bindBlob(int index, const QByteArray& blob) override
    {
        sqlite3_bind_blob(m_statement, index, blob.constData(), int(blob.size()), SQLITE_TRANSIENT);
    }

    bool step() override
    {
        const int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail(m_db);
        return false;
    }
    void reset() override
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }

    QString text(int column) const override
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        return QString::fromUtf8(data, sqlite3_column_bytes(m_statement, column));
    }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_statement, column); }
    double real(int column) const override { return sqlite3_column_double(m_statement, column); }
    QByteArray blob(int column) const override
    {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
        return QByteArray(data, sqlite3_column_bytes(m_statement, column));
    }
    bool isNull(int column) const override { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

// Rows go in as they come, through one prepared insert per table (the caller's transaction
// makes them one write).
class SqliteRowWriter : public RowWriter
{
public:
    explicit SqliteRowWriter(SqliteDatabase& db) : m_db(db) {}

    void write(Table table, const QStringList& values) override
    {
        auto& insert = m_inserts[size_t(table)];
        if (!insert) {
            QString sql = QStringLiteral("INSERT INTO ") + QLatin1String(tableName(table)) + QStringLiteral(" (")
                + QLatin1String(tableColumns(table)) + QStringLiteral(") VALUES (");
            for (int i = 1; i <= values.size(); ++i)
                sql += (i > 1 ? QStringLiteral(", ?") : QStringLiteral("?")) + QString::number(i);
            insert = m_db.prepare(sql + QLatin1Char(')'), int(values.size()));
        }
        // Text in columns of integer or real affinity is stored as the number it spells.
        for (int i = 0; i < values.size(); ++i)
            insert->bindText(i + 1, values[i]);
        insert->step();
        insert->reset();
    }
    void flush() override {}

private:
    SqliteDatabase& m_db;
    std::array<std::unique_ptr<Query>, kBulkTables> m_inserts;
};

} // namespace

void copySqliteDatabase(sqlite3* from, sqlite3* to, const QString& what)
{
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup)
        throw DatabaseError(QString(what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(to))).toStdString());
    int rc = SQLITE_OK;
    for (int attempt = 0; attempt < 100; ++attempt) {
        rc = sqlite3_backup_step(backup, -1);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            break;
        sqlite3_sleep(100);
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw DatabaseError(QString(what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errstr(rc))).toStdString());
}

QString keepCopyBeside(sqlite3* db, const QString& path, const QString& kind)
{
    const QString file = reserveNewFile(path + QLatin1Char('.') + kind + QLatin1Char('-')
                                        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    sqlite3* copy = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    try {
        if (rc != SQLITE_OK)
            throw DatabaseError(QString(QStringLiteral("cannot make ") + file).toStdString());
        copySqliteDatabase(db, copy, QStringLiteral("the copy in ") + file + QStringLiteral(" failed"));
    } catch (...) {
        sqlite3_close_v2(copy);
        QFile::remove(file);
        throw;
    }
    sqlite3_close_v2(copy);
    return file;
}

SqliteDatabase::SqliteDatabase(const QString& path)
    : m_path(path)
{
    // Connections serve one thread each: the library's count of its memory (a lock every
    // allocation takes, in every thread) is not wanted.
    static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    Q_UNUSED(configured);
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw DatabaseError("cannot open the practice database: " + message);
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    try {
        // The connection keeps a cache of its own.
        execute(QStringLiteral("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = OFF;"
                               "PRAGMA cache_size = -16000;"));
    } catch (...) {
        sqlite3_close_v2(m_db);
        throw;
    }
}

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close_v2(m_db);
}

QString SqliteDatabase::keepBeforeUpgrade()
{
    return keepCopyBeside(m_db, m_path, QStringLiteral("before-upgrade"));
}

std::unique_ptr<Query> SqliteDatabase::prepare(const QString& sql, int parameters)
{
    Q_UNUSED(parameters);
    return std::make_unique<SqliteQuery>(m_db, sql);
}

void SqliteDatabase::execute(const QString& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw DatabaseError("practice database: " + message);
    }
}

void SqliteDatabase::beginWrite()
{
    execute(QStringLiteral("BEGIN IMMEDIATE"));
}

void SqliteDatabase::begin()
{
    execute(QStringLiteral("BEGIN IMMEDIATE"));
}

bool SqliteDatabase::hasRelation(const QString& name)
{
    const std::unique_ptr<Query> q = prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = ?1"), 1);
    q->bindText(1, name);
    return q->step();
}

namespace {
// The most the write-ahead log keeps between checkpoints.
constexpr qint64 kLogLimit = 16 * 1024 * 1024;
}

void SqliteDatabase::deferHousekeeping()
{
    execute(QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
    // The log is cut back to this size when it starts over after a checkpoint: a burst of
    // writes does not leave its peak size on the disk.
    execute(QStringLiteral("PRAGMA journal_size_limit = %1").arg(kLogLimit));
}

void SqliteDatabase::tidyUp()
{
    // Copies the log into the database as far as no reader needs it; never waits for readers.
    int logFrames = 0;
    int copied = 0;
    if (sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames, &copied) != SQLITE_OK)
        return;
    const bool quiet = logFrames > 0 && logFrames == m_logFramesBefore;     // nothing written since the last tidy-up
    m_logFramesBefore = logFrames;
    if (!quiet && qint64(logFrames) * pageSize() <= kLogLimit)
        return;
    // While desks search without pause, some reader always holds a page of the log, so the
    // log never starts over and grows by every write (a gigabyte in half a minute). Past its
    // limit, the next write starts it over (and cuts it back to the limit): writers are held
    // back until the searches reading the log are done, a few milliseconds, looking every
    // millisecond (SQLite's own waits grow to 100 ms), at most a fifth of a second; when they
    // are not done by then, the next tidy-up tries again. All was copied by the checkpoint
    // above, so nothing is copied or synced while writers wait. Once the writes have stopped
    // (a quiet log), the file itself is emptied, whatever its size: no write would come to cut
    // it back, and no writer waits.
    sqlite3_busy_handler(m_db, [](void*, int tries) {
        if (tries >= 200)
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 1;
    }, nullptr);
    sqlite3_wal_checkpoint_v2(m_db, nullptr, quiet ? SQLITE_CHECKPOINT_TRUNCATE : SQLITE_CHECKPOINT_RESTART, nullptr, nullptr);
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
}

qint64 SqliteDatabase::pageSize()
{
    if (m_pageSize == 0) {
        const std::unique_ptr<Query> q = prepare(QStringLiteral("PRAGMA page_size"), 0);
        m_pageSize = q->step() ? q->integer(0) : 4096;
    }
    return m_pageSize;
}

bool SqliteDatabase::hasColumn(const QString& table, const QString& column)
{
    const std::unique_ptr<Query> q = prepare(QStringLiteral("SELECT 1 FROM pragma_table_info(?1) WHERE name = ?2"), 2);
    q->bindText(1, table);
    q->bindText(2, column);
    return q->step();
}

void SqliteDatabase::commit()
{
    execute(QStringLiteral("COMMIT"));
}

void SqliteDatabase::rollback() noexcept
{
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::unique_ptr<RowWriter> SqliteDatabase::rowWriter()
{
    return std::make_unique<SqliteRowWriter>(*this);
}

} // namespace zelvar::practice
