#include "sharedfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvar::platform {

QString pathInsideFolders(const QString& path, const QStringList& folders)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return {};
    for (const QString& folder : folders) {
        const QString root = QFileInfo(folder).canonicalFilePath();
        if (!root.isEmpty() && canonical.startsWith(root + QLatin1Char('/')))
            return canonical;
    }
    return {};
}

std::optional<QByteArray> readSharedFile(const QString& path, const QStringList& folders, qint64 maxBytes)
{
    const QString inside = pathInsideFolders(path, folders);
    if (inside.isEmpty())
        return std::nullopt;
    // Links are resolved above; one put in the name's place since then is not followed.
    const int fd = ::open(QFile::encodeName(inside).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> bytes;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maxBytes) {
        // Read to the end, but never past the limit: a file that grows while it is read does
        // not get in either.
        QByteArray data;
        data.resize(qsizetype(info.st_size) + 1);
        qsizetype total = 0;
        bool failed = false;
        while (total <= maxBytes) {
            if (total == data.size())
                data.resize(qMin<qint64>(data.size() * 2, maxBytes + 1));
            const ssize_t got = ::read(fd, data.data() + total, size_t(data.size() - total));
            if (got < 0 && errno == EINTR)
                continue;
            failed = got < 0;
            if (got <= 0)
                break;
            total += got;
        }
        if (!failed && total <= maxBytes) {
            data.truncate(total);
            bytes = std::move(data);
        }
    }
    ::close(fd);
    return bytes;
}

} // namespace zelvar::platform
