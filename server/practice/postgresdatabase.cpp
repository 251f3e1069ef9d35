#include "postgresdatabase.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>

#include <libpq-fe.h>

#include <array>
#include <string>
#include <vector>

namespace zelvar::practice {
namespace {

// The statement, prepared on every connection, that asks for generic plans until the
// transaction ends.
constexpr const char* kGenericPlanSetting = "zgeneric";

[[noreturn]] void fail(const char* message)
{
    QByteArray text(message ? message : "unknown error");
    throw DatabaseError("practice database: " + text.trimmed().toStdString());
}

// A result that is cleared with its owner.
struct Result
{
    PGresult* result = nullptr;
    explicit Result(PGresult* r = nullptr) : result(r) {}
    ~Result() { PQclear(result); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    void reset(PGresult* r)
    {
        PQclear(result);
        result = r;
    }
};

void check(PGconn* conn, const Result& r)
{
    const ExecStatusType status = PQresultStatus(r.result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(r.result ? PQresultErrorMessage(r.result) : PQerrorMessage(conn));
}

// Runs a prepared statement on the plan the server makes for any values (its generic plan)
// instead of one made for these: the setting that asks for it and the statement go in one
// round trip, and the setting lasts until the sync that ends them. The server otherwise plans
// a statement anew on every run whose plan for its values looks cheaper than the generic one,
// which for a lookup by key is most of its time.
PGresult* execWithGenericPlan(PGconn* conn, const char* name, int n, const char* const* values, const int* lengths,
                              const int* formats)
{
    if (PQenterPipelineMode(conn) != 1)
        fail(PQerrorMessage(conn));
    const bool sent = PQsendQueryPrepared(conn, kGenericPlanSetting, 0, nullptr, nullptr, nullptr, 0) == 1
        && PQsendQueryPrepared(conn, name, n, values, lengths, formats, 0) == 1 && PQpipelineSync(conn) == 1;
    // Every result up to the sync is read, whatever failed, so that the connection leaves the
    // pipeline ready for the next statement. A result ends with a null; more nulls than the
    // two statements end with mean the connection is gone.
    std::vector<PGresult*> results;
    int ends = 0;
    while (sent && ends <= 2) {
        PGresult* r = PQgetResult(conn);
        if (!r) {
            ++ends;
            continue;
        }
        if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
            PQclear(r);
            break;
        }
        results.push_back(r);
    }
    const bool left = PQexitPipelineMode(conn) == 1;
    const auto clearAll = [&] {
        for (PGresult* r : results)
            PQclear(r);
    };
    if (!sent || !left || results.size() != 2) {
        clearAll();
        fail(PQerrorMessage(conn));
    }
    // The statement's own error says more than "pipeline aborted" after a failed setting.
    for (PGresult* r : {results[1], results[0]}) {
        const ExecStatusType status = PQresultStatus(r);
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && status != PGRES_PIPELINE_ABORTED) {
            const std::string message = PQresultErrorMessage(r);
            clearAll();
            fail(message.c_str());
        }
    }
    PQclear(results[0]);
    return results[1];
}

class PostgresQuery : public Query
{
public:
    PostgresQuery(PGconn* conn, QByteArray name, int parameters, bool planOnce)
        : m_conn(conn), m_name(std::move(name)), m_values(size_t(parameters)), m_set(size_t(parameters)),
          m_binary(size_t(parameters)), m_planOnce(planOnce)
    {
    }

    void bindText(int index, const QString& text) override { set(index, text.toUtf8(), false); }
    void bindInteger(int index, qint64 value) override { set(index, QByteArray::number(value), false); }
    void bindReal(int index, double value) override { set(index, QByteArray::number(value, 'g', 17), false); }
    void bindBlob(int index, const QByteArray& blob) override { set(index, blob, true); }

    bool step() override
    {
        if (!m_result.result) {
            const size_t n = m_values.size();
            std::vector<const char*> values(n);
            std::vector<int> lengths(n);
            std::vector<int> formats(n);
            for (size_t i = 0; i < n; ++i) {
                values[i] = m_set[i] ? m_values[i].constData() : nullptr;
                lengths[i] = int(m_values[i].size());
                formats[i] = m_binary[i] ? 1 : 0;
            }
            // Inside a transaction the setting would outlast the statement: planned as usual.
            if (m_planOnce && PQtransactionStatus(m_conn) == PQTRANS_IDLE) {
                m_result.reset(execWithGenericPlan(m_conn, m_name.constData(), int(n), values.data(), lengths.data(),
                                                   formats.data()));
            } else {
                m_result.reset(PQexecPrepared(m_conn, m_name.constData(), int(n), values.data(), lengths.data(),
                                              formats.data(), 0));
            }
            check(m_conn, m_result);
            m_row = -1;
        }
        ++m_row;
        return m_row < PQntuples(m_result.result);
    }
    void reset() override
    {
        m_result.reset(nullptr);
        std::fill(m_set.begin(), m_set.end(), false);
        std::fill(m_binary.begin(), m_binary.end(), false);
    }

    QString text(int column) const override
    {
        return QString::fromUtf8(value(column), PQgetlength(m_result.result, m_row, column));
    }
    qint64 integer(int column) const override
    {
        const char* v = value(column);
        if (v[0] == 't' && v[1] == 0)       // a truth value
            return 1;
        return QByteArray::fromRawData(v, PQgetlength(m_result.result, m_row, column)).toLongLong();
    }
    double real(int column) const override
    {
        return QByteArray::fromRawData(value(column), PQgetlength(m_result.result, m_row, column)).toDouble();
    }
    QByteArray blob(int column) const override
    {
        size_t length = 0;
        unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(value(column)), &length);
        if (!bytes)
            throw DatabaseError("practice database: out of memory");
        QByteArray out(reinterpret_cast<const char*>(bytes), qsizetype(length));
        PQfreemem(bytes);
        return out;
    }
    bool isNull(int column) const override { return PQgetisnull(m_result.result, m_row, column) != 0; }

private:
    void set(int index, QByteArray value, bool binary)
    {
        if (index < 1 || size_t(index) > m_values.size())
            return;     // a parameter the statement does not use
        m_values[size_t(index - 1)] = std::move(value);
        m_set[size_t(index - 1)] = true;
        m_binary[size_t(index - 1)] = binary;
    }
    const char* value(int column) const
    {
        if (!m_result.result || m_row < 0 || m_row >= PQntuples(m_result.result) || column >= PQnfields(m_result.result))
            throw DatabaseError("practice database: no such column");
        return PQgetvalue(m_result.result, m_row, column);
    }

    PGconn* m_conn;
    QByteArray m_name;
    std::vector<QByteArray> m_values;
    std::vector<bool> m_set;
    std::vector<bool> m_binary;
    Result m_result;
    int m_row = -1;
    bool m_planOnce = false;
};

// COPY's text format: tab between values, a line per row, backslash escapes.
void appendCopyValue(QByteArray& out, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    for (char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c; break;
        }
    }
}

// Rows are held per table and sent with COPY, a table at a time, when enough have gathered.
class PostgresRowWriter : public RowWriter
{
public:
    explicit PostgresRowWriter(PGconn* conn) : m_conn(conn) {}

    void write(Table table, const QStringList& values) override
    {
        QByteArray& buffer = m_buffers[size_t(table)];
        for (int i = 0; i < values.size(); ++i) {
            if (i > 0)
                buffer += '\t';
            appendCopyValue(buffer, values[i]);
        }
        buffer += '\n';
        m_held += values.size() * 8;
        if (m_held > kFlushBytes)
            flush();
    }

    void flush() override
    {
        for (size_t t = 0; t < m_buffers.size(); ++t) {
            QByteArray& buffer = m_buffers[t];
            if (buffer.isEmpty())
                continue;
            const std::string sql = std::string("COPY ") + tableName(Table(t)) + " (" + tableColumns(Table(t))
                + ") FROM STDIN";
            Result start(PQexec(m_conn, sql.c_str()));
            if (PQresultStatus(start.result) != PGRES_COPY_IN)
                fail(PQresultErrorMessage(start.result));
            if (PQputCopyData(m_conn, buffer.constData(), int(buffer.size())) != 1 || PQputCopyEnd(m_conn, nullptr) != 1)
                fail(PQerrorMessage(m_conn));
            Result end(PQgetResult(m_conn));
            check(m_conn, end);
            while (PGresult* more = PQgetResult(m_conn))
                PQclear(more);
            buffer.clear();
        }
        m_held = 0;
    }

private:
    static constexpr qsizetype kFlushBytes = 64 * 1024 * 1024;
    PGconn* m_conn;
    std::array<QByteArray, kBulkTables> m_buffers;
    qsizetype m_held = 0;
};

} // namespace

PostgresDatabase::PostgresDatabase(const QString& conninfo)
    : m_conninfo(conninfo)
{
    m_conn = PQconnectdb(conninfo.toUtf8().constData());
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        const std::string message = m_conn ? QByteArray(PQerrorMessage(m_conn)).trimmed().toStdString() : "out of memory";
        PQfinish(m_conn);
        m_conn = nullptr;
        throw DatabaseError("cannot open the practice database: " + message);
    }
    PQsetClientEncoding(m_conn, "UTF8");
    try {
        execute(QStringLiteral("SET client_min_messages = warning"));
        Result r(PQprepare(m_conn, kGenericPlanSetting,
                           "SELECT set_config('plan_cache_mode', 'force_generic_plan', true)", 0, nullptr));
        check(m_conn, r);
    } catch (...) {
        PQfinish(m_conn);
        throw;
    }
}

PostgresDatabase::~PostgresDatabase()
{
    PQfinish(m_conn);
}

std::unique_ptr<Query> PostgresDatabase::prepare(const QString& sql, int parameters)
{
    return prepareStatement(sql, parameters, false);
}

std::unique_ptr<Query> PostgresDatabase::prepareOnce(const QString& sql, int parameters)
{
    return prepareStatement(sql, parameters, true);
}

// Each text is prepared once per connection, under a name of its own; the server infers the
// parameters' types from the text.
std::unique_ptr<Query> PostgresDatabase::prepareStatement(const QString& sql, int parameters, bool planOnce)
{
    auto known = m_prepared.constFind(sql);
    if (known == m_prepared.constEnd()) {
        const QByteArray name = "z" + QByteArray::number(m_prepared.size() + 1);
        Result r(PQprepare(m_conn, name.constData(), sql.toUtf8().constData(), parameters, nullptr));
        check(m_conn, r);
        known = m_prepared.insert(sql, name);
    }
    return std::make_unique<PostgresQuery>(m_conn, *known, parameters, planOnce);
}

void PostgresDatabase::execute(const QString& sql)
{
    Result r(PQexec(m_conn, sql.toUtf8().constData()));
    check(m_conn, r);
}

void PostgresDatabase::beginWrite()
{
    // The lock orders writers among themselves for the transaction; readers never wait for it.
    execute(QStringLiteral("BEGIN; SELECT pg_advisory_xact_lock(70710)"));
}

void PostgresDatabase::begin()
{
    execute(QStringLiteral("BEGIN"));
}

bool PostgresDatabase::hasRelation(const QString& name)
{
    const std::unique_ptr<Query> q = prepare(QStringLiteral("SELECT 1 WHERE to_regclass($1) IS NOT NULL"), 1);
    q->bindText(1, name);
    return q->step();
}

bool PostgresDatabase::hasColumn(const QString& table, const QString& column)
{
    const std::unique_ptr<Query> q = prepare(QStringLiteral(
        "SELECT 1 FROM information_schema.columns WHERE table_schema = current_schema() AND table_name = $1 "
        "AND column_name = $2"), 2);
    q->bindText(1, table);
    q->bindText(2, column);
    return q->step();
}

bool PostgresDatabase::isBroken() const
{
    return PQstatus(m_conn) != CONNECTION_OK;
}

void PostgresDatabase::continueNumbering(const QString& table)
{
    execute(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), coalesce(max(id), 0) + 1, false) FROM %1")
                .arg(table));
}

void PostgresDatabase::commit()
{
    execute(QStringLiteral("COMMIT"));
}

void PostgresDatabase::rollback() noexcept
{
    PQclear(PQexec(m_conn, "ROLLBACK"));
}

std::unique_ptr<RowWriter> PostgresDatabase::rowWriter()
{
    return std::make_unique<PostgresRowWriter>(m_conn);
}

// A database server has no "beside": the copy is pg_dump's, in the service's state folder
// (systemd's StateDirectory=), else its user's home (the service user's is that folder).
QString PostgresDatabase::keepBeforeUpgrade()
{
    const QString states = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    const QString folder = states.isEmpty() ? QDir::homePath() : states;
    QString file;
    try {
        file = reserveNewFile(QDir(folder).filePath(QStringLiteral("practice-before-upgrade-")
                                                    + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))),
                              QStringLiteral(".dump"));
    } catch (const DatabaseError& e) {
        throw DatabaseError(std::string("the practice database needs an upgrade, and no copy of it could be kept first (")
                            + e.what() + "); nothing was changed");
    }
    QProcess dump;
    dump.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    dump.start(QStringLiteral("pg_dump"), {QStringLiteral("--format=custom"), QStringLiteral("--file=") + file, m_conninfo});
    const bool dumped = dump.waitForFinished(-1) && dump.exitStatus() == QProcess::NormalExit && dump.exitCode() == 0;
    if (!dumped) {
        QFile::remove(file);
        throw DatabaseError(QString(QStringLiteral("the practice database needs an upgrade, and no copy of it could be kept "
                                                   "first in ") + folder + QStringLiteral(" (pg_dump: ")
                                    + (dump.error() == QProcess::FailedToStart ? QStringLiteral("not installed")
                                                                               : QString::fromLocal8Bit(dump.readAllStandardError()).trimmed())
                                    + QStringLiteral("); nothing was changed")).toStdString());
    }
    return file;
}

} // namespace zelvar::practice
