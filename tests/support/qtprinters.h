#pragma once

#include <QString>

#include <ostream>

// Lets GoogleTest print QStrings (and so QStringLists) in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE
