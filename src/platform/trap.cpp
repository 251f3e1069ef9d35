#include "trap.h"

#include "component/references.h"

namespace zelvar::platform {

void reportToHost(const QString& text)
{
    const bool reported = component::hasUtils() && !component::trapped([&] { component::utils().ReportError(text); });
    if (!reported)
        qWarning("%s", qPrintable(text));
}

void showCritical(const QString& text)
{
    const std::optional<component::ErrorInfo> error = component::trapped([&] {
        messageBox(text, Critical, component::hasUtils() ? component::utils().GetMessageTitle() : QString());
    });
    if (error)
        qWarning("%s: %s", qPrintable(text), qPrintable(error->description));
}

} // namespace zelvar::platform
