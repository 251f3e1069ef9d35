#include "recorddocument.h"

#include "component/runtimeerror.h"

using namespace zelvar::component;

namespace zelvar::browseprint {

QString normaliseAccount(const QString& AcctNo)
{
    QString account = AcctNo;
    account.replace(QLatin1Char('/'), QLatin1Char(','));
    account.replace(QLatin1Char('\\'), QLatin1Char(','));
    return account;
}

QString joinRecordReplies(QStringList replies)
{
    if (replies.isEmpty())
        return {};
    for (qsizetype i = 0; i + 1 < replies.size(); ++i)
        replies[i].remove(QStringLiteral("|OK||"));
    replies.last().clear();
    return replies.join(QString());
}

QString insertBaseElement(const QString& document, const QString& folder)
{
    const QString element = QStringLiteral("<base href=\"") + folder + QStringLiteral("/\" />");
    const qsizetype base = document.indexOf(QLatin1String("<base"));
    if (base >= 0) {
        const qsizetype end = document.indexOf(QLatin1Char('>'), base);
        if (end < 0)
            throw RuntimeError(RuntimeError::InvalidProcedureCall);
        return document.left(base) + element + document.mid(end + 1);
    }
    const qsizetype head = document.indexOf(QLatin1String("</head>"));
    if (head < 0)
        throw RuntimeError(RuntimeError::InvalidProcedureCall);
    return document.left(head) + element + document.mid(head);
}

QString unescapeEntities(QString text)
{
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&apos;"), QLatin1String("'"));
    return text;
}

} // namespace zelvar::browseprint
