#pragma once

#include <QString>

namespace zelvar::services {

// Fetches a text file from the server folder and writes it into LocalFolder, replacing any
// regular file of that name (an XML file in the encoding its declaration names, UTF-8 when it
// names none; any other text in Windows-1252). Anything at the name that is not a regular file
// is refused; the replaced file keeps its mode. Every problem is shown to the user in a message box; true
// once the new file is in place. The old file stays as it was until the whole new text is
// written, and a name that is not a plain file name is refused.
bool DownloadAndSave(const QString& FileName, const QString& ServerFolder, const QString& LocalFolder);

} // namespace zelvar::services
