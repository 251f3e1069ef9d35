// The per-user value store: the registry's place on this platform. One SQLite database per
// user; every write is one transaction, and a store busy in another process is waited for.
#include <zelvar/registry.h>

#include "valuestore.h"

#include "component/conversions.h"
#include "component/runtimeerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <memory>

using namespace zelvar::component;

namespace zelvar {
namespace {

constexpr int kText = 1;     // the kinds keep the registry's numbers
constexpr int kNumber = 4;

QString storePath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/ZelvarPatLookup/registry.db");
}

struct Closer
{
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, Closer>;

struct Finalizer
{
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

// Opens (and on first use creates) this user's store; null when it cannot be had.
Database openStore(int waitMs)
{
    const QString path = storePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK)
        return nullptr;
    sqlite3_busy_timeout(db.get(), waitMs);
    const char* schema =
        "CREATE TABLE IF NOT EXISTS keys (root INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
        " PRIMARY KEY (root, path));"
        "CREATE TABLE IF NOT EXISTS vals (root INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
        " name TEXT NOT NULL COLLATE NOCASE, kind INTEGER NOT NULL, data,"
        " PRIMARY KEY (root, path, name));";
    if (sqlite3_exec(db.get(), schema, nullptr, nullptr, nullptr) != SQLITE_OK)
        return nullptr;
    return db;
}

Statement prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        return nullptr;
    return Statement(raw);
}

void bindText(sqlite3_stmt* statement, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

bool isNumeric(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    case QMetaType::QString:
        return IsNumeric(value.toString());
    default:
        return false;
    }
}

// Blanks trimmed at both ends, as the store keeps texts.
QString trimmedBlanks(const QString& text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from] == u' ')
        ++from;
    while (to > from && text[to - 1] == u' ')
        --to;
    return text.mid(from, to - from);
}

// A value as it is to be stored: the kind by SetRegValue's rules, a text trimmed of blanks.
struct StoredValue
{
    bool number = false;
    qint32 numberValue = 0;
    QString textValue;
};

// The conversion's errors reach the caller before anything is written.
StoredValue toStored(const QVariant& value)
{
    StoredValue stored;
    stored.number = isNumeric(value);
    if (stored.number) {
        stored.numberValue =
            value.typeId() == QMetaType::QString ? CLng(value.toString()) : CLng(value.toDouble());
    } else {
        if (!value.canConvert<QString>() && value.isValid())
            throw RuntimeError(RuntimeError::TypeMismatch);
        stored.textValue = trimmedBlanks(value.toString());
    }
    return stored;
}

class SqliteTransaction : public services::ValueStoreTransaction
{
public:
    explicit SqliteTransaction(sqlite3* db)
        : m_db(db)
    {
    }

    std::optional<QVariant> read(quint32 root, const QString& subKey, const QString& name) override
    {
        Statement query = prepare(m_db, "SELECT kind, data FROM vals WHERE root = ?1 AND path = ?2 AND name = ?3");
        if (!query)
            return std::nullopt;
        sqlite3_bind_int64(query.get(), 1, root);
        bindText(query.get(), 2, subKey);
        bindText(query.get(), 3, name);
        const int rc = sqlite3_step(query.get());
        if (rc == SQLITE_DONE)
            return QVariant(QString());
        if (rc != SQLITE_ROW)
            return std::nullopt;
        switch (sqlite3_column_int(query.get(), 0)) {
        case kText: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 1));
            const QString value = QString::fromUtf8(text, sqlite3_column_bytes(query.get(), 1));
            // A text ends at its first NUL.
            const qsizetype nul = value.indexOf(QChar(0));
            return QVariant(nul >= 0 ? value.left(nul) : value);
        }
        case kNumber:
            return QVariant(qint32(sqlite3_column_int64(query.get(), 1)));
        default:
            return QVariant(QString());
        }
    }

    bool write(quint32 root, const QString& subKey, const QString& name, const QVariant& value) override
    {
        const StoredValue stored = toStored(value);
        Statement key = prepare(m_db, "INSERT OR IGNORE INTO keys (root, path) VALUES (?1, ?2)");
        Statement row = prepare(m_db, "INSERT OR REPLACE INTO vals (root, path, name, kind, data)"
                                      " VALUES (?1, ?2, ?3, ?4, ?5)");
        if (!key || !row)
            return false;
        sqlite3_bind_int64(key.get(), 1, root);
        bindText(key.get(), 2, subKey);
        if (sqlite3_step(key.get()) != SQLITE_DONE)
            return false;
        sqlite3_bind_int64(row.get(), 1, root);
        bindText(row.get(), 2, subKey);
        bindText(row.get(), 3, name);
        sqlite3_bind_int(row.get(), 4, stored.number ? kNumber : kText);
        if (stored.number)
            sqlite3_bind_int64(row.get(), 5, stored.numberValue);
        else
            bindText(row.get(), 5, stored.textValue);
        return sqlite3_step(row.get()) == SQLITE_DONE;
    }

private:
    sqlite3* m_db;
};

} // namespace

namespace services {

bool inValueStoreTransaction(const std::function<bool(ValueStoreTransaction&)>& body, int waitMs)
{
    Database db = openStore(waitMs);
    if (!db)
        return false;
    // IMMEDIATE: the store is taken for writing now (or not at all), so a body never reads
    // values that another process changes before it writes.
    if (sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    SqliteTransaction transaction(db.get());
    bool ok = false;
    try {
        ok = body(transaction);
    } catch (...) {
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    if (ok && sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

} // namespace services

QVariant QueryRegValue(quint32 RootKey, const QString& SubKey, const QString& ValueName)
{
    Database db = openStore(services::kValueStoreWaitMs);
    if (!db)
        return QString();
    return SqliteTransaction(db.get()).read(RootKey, SubKey, ValueName).value_or(QVariant(QString()));
}

void SetRegValue(quint32 RootKey, const QString& SubKey, const QString& ValueName, const QVariant& Value)
{
    // Conversions first: their errors reach the caller, and nothing is half written.
    toStored(Value);
    services::inValueStoreTransaction([&](services::ValueStoreTransaction& store) {
        return store.write(RootKey, SubKey, ValueName, Value);
    });
}

} // namespace zelvar
