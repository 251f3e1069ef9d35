#pragma once

// The per-user value store: text and 32-bit integer values under key paths, per user.
// Key paths and value names compare without regard to letter case.

#include <QString>
#include <QVariant>
#include <QtGlobal>

namespace zelvar {
constexpr quint32 HKEY_CURRENT_USER = 0x80000001;
/// The value's text or 32-bit number; the empty text when there is no such value.
QVariant QueryRegValue(quint32 RootKey, const QString& SubKey, const QString& ValueName); // QString or qint32
/// Stores a numeric value as a 32-bit number, anything else as trimmed text; creates the key.
void     SetRegValue(quint32 RootKey, const QString& SubKey, const QString& ValueName, const QVariant& Value);
}
