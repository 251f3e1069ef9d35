// The per-user value store: the registry's place on this platform. One SQLite database per
// user; every write is one transaction, and a store busy in another process is waited for.
#include <zelvar/registry.h>

#include "component/conversions.h"
#include "component/runtimeerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <memory>

namespace zelvar {
namespace {

constexpr int kText = 1;     // the kinds keep the registry's numbers
constexpr int kNumber = 4;
constexpr int kBusyTimeoutMs = 5000;

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
Database openStore()
{
    const QString path = storePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK)
        return nullptr;
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
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
        return conv::IsNumeric(value.toString());
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

} // namespace

QVariant QueryRegValue(quint32 RootKey, const QString& SubKey, const QString& ValueName)
{
    Database db = openStore();
    if (!db)
        return QString();
    Statement query = prepare(db.get(), "SELECT kind, data FROM vals WHERE root = ?1 AND path = ?2 AND name = ?3");
    if (!query)
        return QString();
    sqlite3_bind_int64(query.get(), 1, RootKey);
    bindText(query.get(), 2, SubKey);
    bindText(query.get(), 3, ValueName);
    if (sqlite3_step(query.get()) != SQLITE_ROW)
        return QString();
    switch (sqlite3_column_int(query.get(), 0)) {
    case kText: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 1));
        const QString value = QString::fromUtf8(text, sqlite3_column_bytes(query.get(), 1));
        // A text ends at its first NUL.
        const qsizetype nul = value.indexOf(QChar(0));
        return nul >= 0 ? value.left(nul) : value;
    }
    case kNumber:
        return qint32(sqlite3_column_int64(query.get(), 1));
    default:
        return QString();
    }
}

void SetRegValue(quint32 RootKey, const QString& SubKey, const QString& ValueName, const QVariant& Value)
{
    // Conversions first: their errors reach the caller, and nothing is half written.
    const bool number = isNumeric(Value);
    qint32 numberValue = 0;
    QString textValue;
    if (number) {
        numberValue = Value.typeId() == QMetaType::QString ? conv::CLng(Value.toString()) : conv::CLng(Value.toDouble());
    } else {
        if (!Value.canConvert<QString>() && Value.isValid())
            throw RuntimeError(RuntimeError::TypeMismatch);
        textValue = trimmedBlanks(Value.toString());
    }

    Database db = openStore();
    if (!db)
        return;
    if (sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return;
    Statement key = prepare(db.get(), "INSERT OR IGNORE INTO keys (root, path) VALUES (?1, ?2)");
    Statement value = prepare(db.get(), "INSERT OR REPLACE INTO vals (root, path, name, kind, data)"
                                        " VALUES (?1, ?2, ?3, ?4, ?5)");
    bool ok = key && value;
    if (ok) {
        sqlite3_bind_int64(key.get(), 1, RootKey);
        bindText(key.get(), 2, SubKey);
        ok = sqlite3_step(key.get()) == SQLITE_DONE;
    }
    if (ok) {
        sqlite3_bind_int64(value.get(), 1, RootKey);
        bindText(value.get(), 2, SubKey);
        bindText(value.get(), 3, ValueName);
        sqlite3_bind_int(value.get(), 4, number ? kNumber : kText);
        if (number)
            sqlite3_bind_int64(value.get(), 5, numberValue);
        else
            bindText(value.get(), 5, textValue);
        ok = sqlite3_step(value.get()) == SQLITE_DONE;
    }
    key.reset();
    value.reset();
    sqlite3_exec(db.get(), ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
}

} // namespace zelvar
