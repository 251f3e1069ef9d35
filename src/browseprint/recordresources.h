#pragma once

#include <QDir>
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

    // The folders in the order a name is looked up in, and the one the record's relative
    // names resolve against: a name below it is looked for below each folder in turn.
    void setFolders(const QStringList& folders, const QString& base)
    {
        m_folders = folders;
        m_base = QDir::cleanPath(base);
    }

    // A QTextDocument asks its parent through this (by name) for what it cannot find itself;
    // the record window's browser answers through it too.
    Q_INVOKABLE QVariant loadResource(int type, const QUrl& name);

private:
    QStringList m_folders;
    QString m_base;
};

} // namespace zelvar::browseprint
