#pragma once

#include <QString>

namespace zelvar::services {

// Fetches a text file from the server folder and writes it into LocalFolder, replacing any file
// of that name (in Windows-1252). Every problem is shown to the user in a message box; true
// once the new file is in place. The old file stays as it was until the whole new text is
// written, and a name that is not a plain file name is refused.
bool DownloadAndSave(const QString& FileName, const QString& ServerFolder, const QString& LocalFolder);

} // namespace zelvar::services
