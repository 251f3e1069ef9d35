#include "backup.h"

#include "sqlitedatabase.h"
#include "storeaddress.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace zelvar::practice {

namespace {

struct Closer
{
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, Closer>;

Connection open(const QString& file, int flags)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &db, flags, nullptr);
    Connection c(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error(QString("cannot open " + file + ": " + QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory")).toStdString());
    sqlite3_busy_timeout(db, 5000);
    return c;
}

// A practice database, whole: its pages check, and it has patients' table.
void checkBackup(sqlite3* db, const QString& file)
{
    sqlite3_stmt* s = nullptr;
    QString verdict;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
        verdict = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    if (verdict != QLatin1String("ok"))
        throw std::runtime_error(QString(file + " is not a whole database (" + (verdict.isEmpty() ? QString::fromUtf8(sqlite3_errmsg(db)) : verdict)
                                         + "): nothing was restored").toStdString());
    bool practice = false;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'patients'", -1, &s, nullptr) == SQLITE_OK)
        practice = sqlite3_step(s) == SQLITE_ROW;
    sqlite3_finalize(s);
    if (!practice)
        throw std::runtime_error(QString(file + " is not a practice database: nothing was restored").toStdString());
}

void runTool(const QString& tool, const QStringList& arguments)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        throw std::runtime_error(QString(tool + " is not installed (Debian: postgresql-client)").toStdString());
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(program, arguments);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error(QString(tool + " failed (exit " + QString::number(p.exitCode()) + ")").toStdString());
}

} // namespace

void backupDatabase(const QString& address, const QString& file)
{
    if (isPostgresAddress(address))
        return runTool(QStringLiteral("pg_dump"), {QStringLiteral("--format=custom"), QStringLiteral("--file=") + file, address});
    const QString database = sqliteFileOf(address);
    if (!QFileInfo::exists(database))
        throw std::runtime_error(QString("there is no database " + database).toStdString());
    const QString part = file + QStringLiteral(".part");
    QFile::remove(part);
    {
        const Connection from = open(database, SQLITE_OPEN_READONLY);
        const Connection to = open(part, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        try {
            copySqliteDatabase(from.get(), to.get(), QStringLiteral("the backup failed"));
        } catch (...) {
            QFile::remove(part);
            throw;
        }
    }
    QFile::remove(file);
    if (!QFile::rename(part, file))
        throw std::runtime_error(QString("cannot put the backup in place as " + file + " (it is " + part + ")").toStdString());
}

QString restoreDatabase(const QString& address, const QString& file)
{
    if (!QFileInfo::exists(file))
        throw std::runtime_error(QString("there is no backup " + file).toStdString());
    if (isPostgresAddress(address)) {
        runTool(QStringLiteral("pg_restore"), {QStringLiteral("--clean"), QStringLiteral("--if-exists"), QStringLiteral("--no-owner"),
                                               QStringLiteral("--single-transaction"), QStringLiteral("--dbname=") + address, file});
        return {};
    }
    const Connection backup = open(file, SQLITE_OPEN_READONLY);
    checkBackup(backup.get(), file);
    const QString database = sqliteFileOf(address);
    QString kept;
    if (QFileInfo::exists(database)) {
        kept = reserveNewFile(database + QStringLiteral(".before-restore-")
                              + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
        backupDatabase(address, kept);
    }
    const Connection to = open(database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    copySqliteDatabase(backup.get(), to.get(), QStringLiteral("the restore failed"));
    return kept;
}

} // namespace zelvar::practice
