#include "servinglock.h"

#include "storeaddress.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvar::practice {

namespace {

// The advisory lock's key on PostgreSQL: "ZELV".
constexpr qint64 kServingKey = 0x5A454C56;

} // namespace

ServingLock::~ServingLock()
{
    if (m_file >= 0)
        ::close(m_file);    // and with it the lock
}

std::unique_ptr<ServingLock> ServingLock::shared(const QString& address)
{
    return take(address, true);
}

std::unique_ptr<ServingLock> ServingLock::alone(const QString& address)
{
    return take(address, false);
}

std::unique_ptr<ServingLock> ServingLock::take(const QString& address, bool shared)
{
    std::unique_ptr<ServingLock> lock(new ServingLock);
    if (isPostgresAddress(address)) {
        lock->m_session = openStore(address);
        Statement s(lock->m_session->database(), shared ? "SELECT CAST(pg_try_advisory_lock_shared(CAST(:key AS BIGINT)) AS INTEGER)"
                                                                  : "SELECT CAST(pg_try_advisory_lock(CAST(:key AS BIGINT)) AS INTEGER)");
        s.bind("key", kServingKey);
        if (!s.step() || !s.integer(0))
            return nullptr;
        return lock;
    }
    const QByteArray file = QFile::encodeName(sqliteFileOf(address));
    if (!shared && !QFileInfo::exists(sqliteFileOf(address)))
        return lock;    // nothing there to serve
    lock->m_file = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
    if (lock->m_file < 0)
        throw std::runtime_error(QString("cannot open " + sqliteFileOf(address) + " to lock it").toStdString());
    if (::flock(lock->m_file, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0)
        return nullptr;
    return lock;
}

QStringList databaseFiles(const QString& address)
{
    if (isPostgresAddress(address))
        return {};
    QStringList files;
    const QString file = sqliteFileOf(address);
    for (const QString& name : QStringList{file, file + QStringLiteral("-wal"), file + QStringLiteral("-shm"), file + QStringLiteral("-journal")}) {
        if (QFileInfo::exists(name))
            files.append(name);
    }
    return files;
}

QStringList filesOpenToOthers(const QStringList& files, bool groupMayRead)
{
    QStringList said;
    const mode_t closed = groupMayRead ? 027 : 077;
    for (const QString& file : files) {
        struct stat st {};
        if (::stat(QFile::encodeName(file).constData(), &st) != 0 || (st.st_mode & closed) == 0)
            continue;
        said.append(QStringLiteral("%1 is %2 (others may read it): chmod %3 %1")
                        .arg(file, QStringLiteral("%1").arg(st.st_mode & 0777, 4, 8, QLatin1Char('0')),
                             groupMayRead ? QStringLiteral("640") : QStringLiteral("600")));
    }
    return said;
}

} // namespace zelvar::practice
