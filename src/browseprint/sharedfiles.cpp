#include "sharedfiles.h"

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

// The loaded file that holds this code: the component library (or a program linking it).
QString componentPath()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&componentPath), &info) == 0 || !info.dli_fname)
        return {};
    return QFile::decodeName(info.dli_fname);
}

} // namespace

void setSharedFilesFolderForTesting(const QString& folder)
{
    overrideFolder() = folder;
}

QString SharedFilesFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    const QFileInfo component(componentPath());
    const QString componentFolder = component.absolutePath();
    QString baseName = component.fileName();
    const qsizetype so = baseName.indexOf(QLatin1String(".so"));
    if (so >= 0)
        baseName.truncate(so);
    if (!QFileInfo::exists(componentFolder + QLatin1Char('/') + baseName + QStringLiteral(".so")))
        return componentFolder + QStringLiteral("/SharedFiles");
    const qsizetype slash = componentFolder.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return {};
    return componentFolder.left(slash + 1) + QStringLiteral("ZelvarComponents/SharedFiles");
}

} // namespace zelvar::browseprint
