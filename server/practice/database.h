#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <string_view>
#include <stdexcept>

namespace zelvar::practice {

// A database error, in the words the server reports.
class DatabaseError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One prepared statement: parameters bound by number, rows read column by column.
class Query
{
public:
    virtual ~Query() = default;

    virtual void bindText(int index, const QString& text) = 0;
    virtual void bindInteger(int index, qint64 value) = 0;
    virtual void bindReal(int index, double value) = 0;
    virtual void bindBlob(int index, const QByteArray& blob) = 0;

    // True while there is a row; the statement runs at the first step after its bindings.
    virtual bool step() = 0;
    // Ready for new bindings.
    virtual void reset() = 0;

    virtual QString text(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual QByteArray blob(int column) const = 0;
    virtual bool isNull(int column) const = 0;
};

// The tables rows are written to in bulk (demo data, new patients, a copy into another
// database), in their column order.
enum class Table {
    Patients, NameKeys, Phones, Policies, Encounters, Transactions, Claims, Accessions, Codes, Settings,
    Recent, Desks, Access, AccessAccounts,
};
constexpr std::size_t kBulkTables = std::size_t(Table::AccessAccounts) + 1;

// Rows written in bulk (a store may hold them back until flush or its end); values as text.
class RowWriter
{
public:
    virtual ~RowWriter() = default;
    virtual void write(Table table, const QStringList& values) = 0;
    virtual void flush() = 0;
};

// A new, empty file for the caller alone: STEM + EXTENSION, or STEM-2 + EXTENSION, ... when
// that is taken (two programs that keep a copy in the same second must not write one file).
// Throws DatabaseError when none can be made.
QString reserveNewFile(const QString& stem, const QString& extension = {});

// The columns of each bulk table, as the generator and registration fill them.
const char* tableColumns(Table table);
const char* tableName(Table table);

// A connection to the practice database. Each engine is given SQL in its own spelling; the
// store's statements are in statements/, the layout in schema/ (schema.h).
class Database
{
public:
    virtual ~Database() = default;

    // sql with `parameters` numbered parameters, in the engine's spelling (numberParameters()).
    virtual std::unique_ptr<Query> prepare(const QString& sql, int parameters) = 0;
    // A statement whose best plan is the same whatever its values (a key compared for
    // equality, or walked in its index's order): an engine that plans each run for the values
    // given may plan it once instead.
    virtual std::unique_ptr<Query> prepareOnce(const QString& sql, int parameters) { return prepare(sql, parameters); }
    // Runs statements without parameters or rows.
    virtual void execute(const QString& sql) = 0;
    // A transaction that writes: taken before its first read, so that two writers cannot both
    // read the same next account number.
    virtual void beginWrite() = 0;
    // A transaction whose writes need no order among writers (new rows with their own ids).
    virtual void begin() = 0;
    virtual void commit() = 0;
    // Never throws: called while another error is on its way out.
    virtual void rollback() noexcept = 0;
    virtual std::unique_ptr<RowWriter> rowWriter() = 0;
    enum class Engine { Sqlite, Postgres };
    virtual Engine engine() const = 0;
    // Whether a table or index of the name exists, and whether a table has a column: what a
    // database from before layouts were numbered is recognised by.
    virtual bool hasRelation(const QString& name) = 0;
    virtual bool hasColumn(const QString& table, const QString& column) = 0;
    // After rows were copied in with their own numbers: new rows are numbered after them.
    virtual void continueNumbering(const QString& table) { Q_UNUSED(table); }
    // For a server's connections: the engine's housekeeping after a commit (SQLite's
    // checkpoint, which waits for the disk) is left to tidyUp(), called on a connection
    // nobody waits for.
    virtual void deferHousekeeping() {}
    virtual void tidyUp() {}
    // Before an upgrade changes the database: a copy of what it is, from which going back to
    // the program before is possible. Returns where it was written; throws DatabaseError when
    // no copy could be made (and then nothing may be changed).
    virtual QString keepBeforeUpgrade() = 0;
    // True when the connection is gone (the server restarted): a new one is needed.
    virtual bool isBroken() const { return false; }
    // Whether one statement may write two tables (an INSERT inside WITH): such a statement
    // is atomic by itself and costs one round trip to a database server.
    virtual bool writesTwoTablesInOneStatement() const { return false; }
};

// Runs body in a write transaction: committed when it returns, rolled back when it throws.
template<typename Body>
auto inWriteTransaction(Database& db, Body body, bool ordered = true)
{
    if (ordered)
        db.beginWrite();
    else
        db.begin();
    try {
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            db.commit();
        } else {
            auto result = body();
            db.commit();
            return result;
        }
    } catch (...) {
        db.rollback();
        throw;
    }
}

// Asks for a statement planned once (Database::prepareOnce).
struct PlanOnce
{
};

struct NumberedStatement;

// A prepared statement as a value: parameters bound by their names (:last is bind("last",
// ...)), rows read column by column. Every parameter is bound before the statement runs.
class Statement
{
public:
    // sql in the engine's own spelling, its parameters named.
    Statement(Database& db, const QString& sql);
    Statement(Database& db, const char* sql);
    Statement(Database& db, const QString& sql, PlanOnce);
    // One of the store's statements (statements/*.sql), by its name there.
    static Statement named(Database& db, QStringView name);
    Statement(Statement&&) noexcept;
    ~Statement();

    Statement& bind(std::string_view name, const QString& text);
    Statement& bind(std::string_view name, qint64 value);
    Statement& bind(std::string_view name, double value);
    Statement& bind(std::string_view name, const QByteArray& blob);
    // Whether the statement has the parameter: for values shared by a family of statements
    // that each take some of them.
    bool takes(std::string_view name) const;

    bool step();
    // Runs a statement that returns no rows, ready for the next binding.
    void run();
    // Ready for new bindings; the ones before are gone.
    void reset();

    QString text(int column) const { return m_query->text(column); }
    qint64 integer(int column) const { return m_query->integer(column); }
    double real(int column) const { return m_query->real(column); }
    QByteArray blob(int column) const { return m_query->blob(column); }
    bool isNull(int column) const { return m_query->isNull(column); }

private:
    Statement(Database& db, std::shared_ptr<const NumberedStatement> sql, bool planOnce);
    int number(std::string_view name);

    std::shared_ptr<const NumberedStatement> m_sql;
    std::unique_ptr<Query> m_query;
    quint64 m_bound = 0;
};

} // namespace zelvar::practice
