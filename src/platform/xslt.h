#pragma once

#include "isolated.h"

#include <QString>
#include <QStringList>

// XSLT 1.0 with libxml2 and libxslt, shut in and bounded:
// - the style sheet may not write files, create folders or use the network, and reads (its own
//   file, xsl:import, xsl:include, document()) go through the shared-file gate: regular files
//   inside the readable folders only;
// - documents are parsed without network access, external entities or DTD loading;
// - the record's size, its entity references, the attributes of one element, the time, the
//   memory and the size of the result are bounded, and hitting a bound is an error in the
//   component's words, never a crash or an empty result taken for a good one;
// - the work runs in a child process, so the libraries' process-wide settings (entity loader,
//   error handlers, allocator) are never changed in the host's process.
namespace zelvar::platform {

struct XsltResult
{
    bool ok = false;
    QString output;     // the transformed text
    QString error;      // why not
};

struct XsltLimits
{
    qint64 maxInputBytes = 8 * 1024 * 1024;
    int maxAttributesPerElement = 1000;
    qint64 maxEntityReferences = 10000;
    qint64 maxExpandedEntityBytes = 4 * 1024 * 1024;
    qint64 maxMemoryBytes = 512 * 1024 * 1024;   // what the libraries may allocate
    int maxTemplateDepth = 1000;
    int maxTemplateVars = 100000;
    IsolationLimits isolation;                   // time, result size, address space
};

// Transforms the XML text with the style sheet file in a child process.
XsltResult transformXml(const QString& xmlText, const QString& styleSheetPath, const QStringList& readableFolders,
                        const XsltLimits& limits = {});

// The same in this process, for the fuzz target: every bound but time, memory and address
// space, which are the child process's, applies. It changes the libraries' process-wide
// settings for the duration of the call and puts them back.
XsltResult transformXmlInProcess(const QString& xmlText, const QString& styleSheetPath,
                                 const QStringList& readableFolders, const XsltLimits& limits = {});

} // namespace zelvar::platform
