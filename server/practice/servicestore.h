#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

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

} // namespace zelvar::practice
