#include "strings.h"

#include "runtimeerror.h"

namespace zelvar::component {
namespace {

void requireLength(qsizetype length)
{
    if (length < 0)
        throw RuntimeError(RuntimeError::InvalidProcedureCall);
}

void requireStart(qsizetype start)
{
    if (start < 1)
        throw RuntimeError(RuntimeError::InvalidProcedureCall);
}

} // namespace

QString Mid(const QString& text, qsizetype start)
{
    requireStart(start);
    return start > text.size() ? QString() : text.mid(start - 1);
}

QString Mid(const QString& text, qsizetype start, qsizetype length)
{
    requireStart(start);
    requireLength(length);
    return start > text.size() ? QString() : text.mid(start - 1, length);
}

QString Left(const QString& text, qsizetype length)
{
    requireLength(length);
    return text.left(length);
}

QString Right(const QString& text, qsizetype length)
{
    requireLength(length);
    return text.right(length);
}

QChar charAt(const QString& text, qsizetype position)
{
    const QString one = Mid(text, position, 1);
    return one.isEmpty() ? QChar() : one.front();
}

const QString& element(const QStringList& list, qsizetype i)
{
    if (i < 0 || i >= list.size())
        throw RuntimeError(RuntimeError::SubscriptOutOfRange);
    return list.at(i);
}

} // namespace zelvar::component
