#pragma once

#include <QString>
#include <QStringList>

// The string operations the reply readers are written in, with positions counted from 1 and
// the classic argument checks: a negative length or a start below 1 is an invalid call.
namespace zelvar::component {

// Characters from position start (1-based) to the end.
QString Mid(const QString& text, qsizetype start);
// At most length characters from position start.
QString Mid(const QString& text, qsizetype start, qsizetype length);
QString Left(const QString& text, qsizetype length);
QString Right(const QString& text, qsizetype length);

// The character at position (from 1), with Mid's checks; QChar() past the end.
QChar charAt(const QString& text, qsizetype position);

// Element i of a reply array; Subscript out of range when there is none.
const QString& element(const QStringList& list, qsizetype i);

inline const QString crlf = QStringLiteral("\r\n");
inline const QString tab = QStringLiteral("\t");

} // namespace zelvar::component
