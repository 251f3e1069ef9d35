#include "recordresources.h"

#include "platform/sharedfile.h"

namespace zelvar::browseprint {

QVariant RecordResources::loadResource(int, const QUrl& name)
{
    const bool local = name.isLocalFile() || (name.scheme().isEmpty() && !name.path().isEmpty());
    if (local && !m_folders.isEmpty()) {
        const QString path = name.isLocalFile() ? name.toLocalFile() : name.path();
        if (std::optional<QByteArray> bytes = platform::readSharedFile(path, m_folders))
            return *bytes;
    }
    return QByteArray();
}

} // namespace zelvar::browseprint
