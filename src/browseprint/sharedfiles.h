#pragma once

#include <QString>

namespace zelvar::browseprint {

// The shared files folder, worked out from the component library's own folder: beside the
// library's folder, "ZelvarComponents/SharedFiles" (for <prefix>/lib/libZelvarPatLookup.so,
// <prefix>/ZelvarComponents/SharedFiles); or "SharedFiles" inside the component's folder when
// the library file is not found there.
QString SharedFilesFolder();

// Tests run the component linked into their own program; they name the folder themselves.
void setSharedFilesFolderForTesting(const QString& folder);

} // namespace zelvar::browseprint
