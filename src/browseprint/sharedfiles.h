#pragma once

#include <QString>
#include <QStringList>

// Where the record display finds its shared files (style sheets and what they show). Two
// folders, looked in with the user's own first:
// - the user's own, $XDG_DATA_HOME/ZelvarPatLookup/SharedFiles (by default under
//   ~/.local/share), where style sheets fetched from the server are saved;
// - the installed one, read only, found from the component library's real file by the relative
//   path from its folder to <datadir>/ZelvarPatLookup/SharedFiles that was fixed when the
//   component was configured (the build tree has the same shape), whatever the file is called.
namespace zelvar::browseprint {

QString InstalledSharedFilesFolder();
QString UserSharedFilesFolder();
QStringList SharedFilesFolders();

// The first folder that holds the name as a regular file; empty when none does.
QString FolderHolding(const QString& name);

// Tests run the component linked into their own program; they name the installed folder
// themselves.
void setSharedFilesFolderForTesting(const QString& folder);

} // namespace zelvar::browseprint
