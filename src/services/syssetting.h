#pragma once

#include <QString>

namespace zelvar::services {

// The value of one of the server's system settings, or the empty text. Reports its own
// failures; never raises.
QString GetSysSetting(const QString& SettingName);

} // namespace zelvar::services
