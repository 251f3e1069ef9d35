#include "sharedfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace zelvar::browseprint {
namespace {

QString& overrideFolder()
{
    static QString folder;
    return folder;
}

// The loaded file that holds this code (the component library, or a program linking it), with
// its links resolved: a runtime package has only the versioned file.
QString componentFile()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&componentFile), &info) == 0 || !info.dli_fname)
        return {};
    return QFileInfo(QFile::decodeName(info.dli_fname)).canonicalFilePath();
}

} // namespace

void setSharedFilesFolderForTesting(const QString& folder)
{
    overrideFolder() = folder;
}

QString InstalledSharedFilesFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    const QString file = componentFile();
    if (file.isEmpty())
        return {};
    return QDir::cleanPath(QFileInfo(file).absolutePath() + QStringLiteral("/" ZELVAR_LIB_TO_SHARED_FILES));
}

QString UserSharedFilesFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    // As the XDG base directories are read: a relative path is ignored.
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/ZelvarPatLookup/SharedFiles");
}

QStringList SharedFilesFolders()
{
    return {UserSharedFilesFolder(), InstalledSharedFilesFolder()};
}

QString FolderHolding(const QString& name)
{
    for (const QString& folder : SharedFilesFolders()) {
        const QFileInfo file(folder + QLatin1Char('/') + name);
        if (!folder.isEmpty() && file.isFile())
            return folder;
    }
    return {};
}

} // namespace zelvar::browseprint
