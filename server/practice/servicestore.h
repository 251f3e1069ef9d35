#pragma once

#include "practicestore.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

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

// What the service keeps beside the practice's data: the desks that may ask (by the hash of
// their token, never the token) and who was shown which patient.
class ServiceStore
{
public:
    virtual ~ServiceStore() = default;

    // A new desk and its token, which is not kept and cannot be shown again. Throws
    // std::invalid_argument when the name is taken or unusable.
    virtual QString addDesk(const QString& name) = 0;
    virtual bool removeDesk(const QString& name) = 0;
    virtual QStringList desks() = 0;
    // Every desk, by the hash of its token.
    virtual QHash<QString, QString> deskTokens() = 0;

    virtual void logAccess(const QString& desk, const QString& kind, const QList<qint64>& accounts,
                           const QString& detail = {}) = 0;
    // Several entries in one transaction (their own times kept).
    virtual void logAccesses(const QList<AccessEntry>& entries) = 0;
    // Every access to the account, oldest first.
    virtual QList<AccessEntry> accessLog(qint64 account) = 0;
    // The last entries of a kind (refused requests, say), newest first.
    virtual QList<AccessEntry> recentOfKind(const QString& kind, int limit) = 0;
    // A clerk's last entries, newest first.
    virtual QList<AccessEntry> recentOfClerk(const QString& clerk, int limit) = 0;

    // Whether the database answers a read and takes a write: a write to the access log in a
    // transaction that is rolled back, so that nothing is left of it. Throws with the reason.
    virtual void probe() = 0;

    // How a desk's token is known: its SHA-256, in hex.
    static QString tokenHash(const QString& token);
};

// A store as the service holds one per worker: the practice's searches, the service's tables
// on the same connection, and the connection's state and housekeeping.
class ServedStore : public PracticeStore
{
public:
    // The service's tables on this store's connection (valid while the store is).
    virtual std::unique_ptr<ServiceStore> serviceStore() = 0;
    // True when the connection is gone (the database server restarted): a new store is needed.
    virtual bool isBroken() const = 0;
    // The engine's housekeeping after a commit (SQLite's checkpoint, which waits for the disk)
    // is left to tidyUp(), called when no desk waits for the connection.
    virtual void deferHousekeeping() = 0;
    virtual void tidyUp() = 0;
};

} // namespace zelvar::practice
