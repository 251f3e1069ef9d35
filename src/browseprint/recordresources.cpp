#include "recordresources.h"

#include "platform/sharedfile.h"

#include <QDir>

namespace zelvar::browseprint {

QVariant RecordResources::loadResource(int, const QUrl& name)
{
    const bool local = name.isLocalFile() || (name.scheme().isEmpty() && !name.path().isEmpty());
    if (!local || m_folders.isEmpty())
        return QByteArray();
    const QString path = QDir::cleanPath(name.isLocalFile() ? name.toLocalFile() : name.path());
    QStringList candidates;
    if (!m_base.isEmpty() && path.startsWith(m_base + QLatin1Char('/'))) {
        const QString relative = path.mid(m_base.size() + 1);
        for (const QString& folder : std::as_const(m_folders))
            candidates.append(folder + QLatin1Char('/') + relative);
    } else {
        candidates.append(path);
    }
    for (const QString& candidate : std::as_const(candidates)) {
        if (std::optional<QByteArray> bytes = platform::readSharedFile(candidate, m_folders))
            return *bytes;
    }
    return QByteArray();
}

} // namespace zelvar::browseprint
