#pragma once

#include "database.h"
#include "servicestore.h"

namespace zelvar::practice {

// The service's tables, in the practice's database (on the same connection as its store).
class ServiceTables : public ServiceStore
{
public:
    explicit ServiceTables(Database& db);

    QString addDesk(const QString& name) override;
    bool removeDesk(const QString& name) override;
    QStringList desks() override;
    QHash<QString, QString> deskTokens() override;
    void logAccess(const QString& desk, const QString& kind, const QList<qint64>& accounts,
                   const QString& detail = {}) override;
    void logAccesses(const QList<AccessEntry>& entries) override;
    QList<AccessEntry> accessLog(qint64 account) override;
    QList<AccessEntry> recentOfKind(const QString& kind, int limit) override;
    QList<AccessEntry> recentOfClerk(const QString& clerk, int limit) override;
    void probe() override;

private:
    Database& m_db;
};

} // namespace zelvar::practice
