#pragma once

#include "practice/servicestore.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>
#include <optional>

namespace zelvar::service {

using practice::AccessEntry;
using practice::ServiceStore;

// The desks the server lets in, known to the thread that reads requests without asking the
// database: a copy of the desks table by token hash, renewed by the server several times a
// second, so that a desk added or removed by the command line (or by another server on the
// same database) is let in or refused within that time.
class DeskDirectory
{
public:
    void renew(QHash<QString, QString> desksByTokenHash)
    {
        std::lock_guard lock(m_mutex);
        m_desks = std::move(desksByTokenHash);
    }

    std::optional<QString> deskOf(const QByteArray& token) const
    {
        const QString hash = ServiceStore::tokenHash(QString::fromUtf8(token));
        std::lock_guard lock(m_mutex);
        const auto found = m_desks.constFind(hash);
        if (found == m_desks.cend())
            return std::nullopt;
        return *found;
    }

private:
    mutable std::mutex m_mutex;
    QHash<QString, QString> m_desks;
};

} // namespace zelvar::service
