#pragma once

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <optional>

namespace zelvar::browseprint {

// What the record view, on screen and in print, may load: regular files inside the shared
// files folders, read through the shared-file gate (no pipe, device, socket or folder, nothing
// over 16 MB, nothing from the network). A name is resolved against the shared folder, never
// against the program's working folder.
//
// Qt's text layout loads a picture by its name itself when the resource it is given is not a
// picture, so every picture is decoded here: a refused or unreadable one answers a placeholder
// picture, never bytes or nothing. Anything else refused answers an empty resource, which no
// other kind of resource falls back from.
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

    // What a picture that is not shown looks like: a small empty frame.
    static QImage placeholderPicture();

private:
    std::optional<QByteArray> readAllowed(const QUrl& name) const;

    QStringList m_folders;
    QString m_base;
};

} // namespace zelvar::browseprint
