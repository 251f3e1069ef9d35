#pragma once

#include "sqlstore.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace zelvar::practice {

// Says that a database is being served. A server holds it shared for as long as it runs (two
// servers may serve one PostgreSQL database); a command that replaces what a database holds
// takes it alone first, and so never pulls the patients from under the desks. On an SQLite
// file it is a lock on the file (flock, which leaves SQLite's own locks alone); on PostgreSQL
// an advisory lock of the session that takes it.
class ServingLock
{
public:
    ~ServingLock();
    ServingLock(const ServingLock&) = delete;
    ServingLock& operator=(const ServingLock&) = delete;

    // nullptr when it cannot be had: a server serves the database, or (shared) a command is
    // replacing its contents.
    static std::unique_ptr<ServingLock> shared(const QString& address);
    static std::unique_ptr<ServingLock> alone(const QString& address);

private:
    ServingLock() = default;
    static std::unique_ptr<ServingLock> take(const QString& address, bool shared);

    int m_file = -1;
    std::unique_ptr<SqlStore> m_session;
};

// The files of an SQLite database address that exist (the database, its write-ahead log and
// shared memory), or none for another engine.
QStringList databaseFiles(const QString& address);

// A sentence for each file that someone other than its owner (or its group, where the group
// may read) may read or write ("… is 0644: chmod 600 …"): patients' data and the server's key
// are for the service's own user.
QStringList filesOpenToOthers(const QStringList& files, bool groupMayRead = false);

} // namespace zelvar::practice
