#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QVariant>

namespace zelvar::browseprint {

// What the record view, on screen and in print, may load: regular files inside the shared
// files folders, read through the shared-file gate (no pipe, device, socket or folder, nothing
// over 16 MB, nothing from the network). Anything else gives an empty resource, never a null
// one, so that Qt never goes on to load it another way.
class RecordResources : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    void setFolders(const QStringList& folders) { m_folders = folders; }
    const QStringList& folders() const { return m_folders; }

    // A QTextDocument asks its parent through this (by name) for what it cannot find itself;
    // the record window's browser answers through it too.
    Q_INVOKABLE QVariant loadResource(int type, const QUrl& name);

private:
    QStringList m_folders;
};

} // namespace zelvar::browseprint
