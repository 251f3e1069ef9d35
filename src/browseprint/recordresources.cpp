#include "recordresources.h"

#include "platform/sharedfile.h"

#include <QPainter>
#include <QTextDocument>

namespace zelvar::browseprint {

QImage RecordResources::placeholderPicture()
{
    QImage picture(16, 16, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawRect(0, 0, 15, 15);
    return picture;
}

std::optional<QByteArray> RecordResources::readAllowed(const QUrl& name) const
{
    if (m_folders.isEmpty() || m_base.isEmpty())
        return std::nullopt;
    // A name without a scheme is the record's own, relative to the shared folder; only local
    // files are ever read.
    const QUrl resolved = name.scheme().isEmpty() ? QUrl::fromLocalFile(m_base + QLatin1Char('/')).resolved(name) : name;
    if (!resolved.isLocalFile())
        return std::nullopt;
    const QString path = QDir::cleanPath(resolved.toLocalFile());
    if (!QDir::isAbsolutePath(path))
        return std::nullopt;
    QStringList candidates;
    if (path.startsWith(m_base + QLatin1Char('/'))) {
        const QString relative = path.mid(m_base.size() + 1);
        for (const QString& folder : std::as_const(m_folders))
            candidates.append(folder + QLatin1Char('/') + relative);
    } else {
        candidates.append(path);
    }
    for (const QString& candidate : std::as_const(candidates)) {
        if (std::optional<QByteArray> bytes = platform::readSharedFile(candidate, m_folders))
            return bytes;
    }
    return std::nullopt;
}

QVariant RecordResources::loadResource(int type, const QUrl& name)
{
    const std::optional<QByteArray> bytes = readAllowed(name);
    if (type != QTextDocument::ImageResource)
        return bytes.value_or(QByteArray());
    // Qt's image reader refuses a picture whose canvas would take more than its allocation
    // limit, whatever the file's size.
    const QImage picture = bytes ? QImage::fromData(*bytes) : QImage();
    return picture.isNull() ? placeholderPicture() : picture;
}

} // namespace zelvar::browseprint
