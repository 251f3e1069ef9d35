#pragma once

#include "database.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

namespace zelvar::practice {

// One line of the access log.
struct AccessEntry
{
    QDateTime at;
    QString desk;
    QString kind;       // SEARCH, DUPLICATE, RECORD, REFUSED
    QList<qint64> accounts;
    QString detail;
    QString clerk;      // as the desk's host names the clerk (X-Zelvar-User); empty when it does not
};

// What the service keeps beside the practice's data, in the same database: the desks that may
// ask (by the hash of their token, never the token) and who was shown which patient.
class ServiceTables
{
public:
    explicit ServiceTables(Database& db);

    // A new desk and its token, which is not kept and cannot be shown again. Throws
    // std::invalid_argument when the name is taken or unusable.
    QString addDesk(const QString& name);
    bool removeDesk(const QString& name);
    QStringList desks();
    // Every desk, by the hash of its token.
    QHash<QString, QString> deskTokens();

    void logAccess(const QString& desk, const QString& kind, const QList<qint64>& accounts,
                   const QString& detail = {});
    // Several entries in one transaction (their own times kept).
    void logAccesses(const QList<AccessEntry>& entries);
    // Every access to the account, oldest first.
    QList<AccessEntry> accessLog(qint64 account);
    // The last entries of a kind (refused requests, say), newest first.
    QList<AccessEntry> recentOfKind(const QString& kind, int limit);
    // A clerk's last entries, newest first.
    QList<AccessEntry> recentOfClerk(const QString& clerk, int limit);

    // Whether the database answers a read and takes a write: a write to the access log in a
    // transaction that is rolled back, so that nothing is left of it. Throws with the reason.
    void probe();

    static QString tokenHash(const QString& token);

private:
    Database& m_db;
};

} // namespace zelvar::practice
