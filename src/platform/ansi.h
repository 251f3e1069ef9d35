#pragma once

#include <QByteArray>
#include <QChar>
#include <QStringView>

// The ANSI code page the component writes files in: Windows-1252. A character it cannot
// represent becomes "?".
namespace zelvar::platform {

int ansiCode(QChar c);
QByteArray toAnsi(QStringView text);

} // namespace zelvar::platform
