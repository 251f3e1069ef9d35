#pragma once

#include <QString>

// XSLT 1.0 with libxslt, shut in: the style sheet may not write files, create folders or use
// the network, and may read files only inside one folder; documents are parsed without network
// access, external entities or DTD loading; templates recursing without end are stopped.
namespace zelvar::platform {

struct XsltResult
{
    bool ok = false;
    QString output;     // the transformed text
    QString error;      // why not, in the engine's words
};

// Transforms the XML text with the style sheet file; the style sheet reads only files below
// readableFolder.
XsltResult transformXml(const QString& xmlText, const QString& styleSheetPath, const QString& readableFolder);

} // namespace zelvar::platform
