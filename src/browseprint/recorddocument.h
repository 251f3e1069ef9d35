#pragma once

#include <QString>
#include <QStringList>

// The steps that turn the server's record replies into the document the window shows.
namespace zelvar::browseprint {

// Every "/" and "\" of the account becomes ",".
QString normaliseAccount(const QString& AcctNo);

// The record's XML: every reply but the last with its "|OK||" removed, joined; the last reply
// carries the end marker and gives nothing.
QString joinRecordReplies(QStringList replies);

// Points the document's relative references at the shared files folder: an existing base
// element is replaced, otherwise one is put before "</head>". Raises a run-time error when
// the document has neither.
QString insertBaseElement(const QString& document, const QString& folder);

// The five entity references turned back into characters, "&amp;" first.
QString unescapeEntities(QString text);

} // namespace zelvar::browseprint
