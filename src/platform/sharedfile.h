#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The one way the record display reads a file (its pictures, its style sheet and whatever the
// style sheet includes or reads): a regular file inside one of the given folders, after links
// are resolved, of at most maxBytes. Whether it is a regular file is decided on the opened
// descriptor, so a name swapped for a pipe or a device between the check and the read is
// still refused, and nothing ever blocks: a pipe, a device, a socket or a folder gives nothing.
namespace zelvar::platform {

constexpr qint64 kMaxSharedFileBytes = 16 * 1024 * 1024;

// The file's canonical path when it lies inside one of the folders, otherwise empty.
QString pathInsideFolders(const QString& path, const QStringList& folders);

std::optional<QByteArray> readSharedFile(const QString& path, const QStringList& folders,
                                         qint64 maxBytes = kMaxSharedFileBytes);

} // namespace zelvar::platform
