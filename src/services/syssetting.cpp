#include "syssetting.h"

#include "component/references.h"
#include "component/runtimeerror.h"
#include "platform/trap.h"

namespace zelvar::services {

using component::hostLink;
using component::utils;

QString GetSysSetting(const QString& SettingName)
{
    QString result;
    const bool ok = platform::trapAndReport([&] {
        const QString request = QStringLiteral("|GET|SYS|") + SettingName + QLatin1Char('|');
        QString reply;
        QString fourth;
        if (!hostLink().GetServerString(request, reply, QString(), fourth)) {
            platform::beep();
            utils().ReportError(QStringLiteral("Failed to get ") + request);
        }
        const QString key = SettingName + QLatin1Char('=');
        const qsizetype at = reply.indexOf(key);
        if (at < 0)
            return;
        // The value runs to the last comma of the whole reply, wherever the key stands.
        const qsizetype start = at + key.size();
        const qsizetype length = reply.lastIndexOf(QLatin1Char(',')) - start;
        if (length < 0)
            throw component::RuntimeError(component::RuntimeError::InvalidProcedureCall);
        QString value = reply.mid(start, length);
        if (value.contains(QLatin1Char('^')))
            value = utils().GetPiece(value, QStringLiteral("^"), 1);
        result = value;
    }, QStringLiteral(" GetSysSetting ") + SettingName + QStringLiteral(", "), platform::Beep::Yes);
    return ok ? result : QString();
}

} // namespace zelvar::services
