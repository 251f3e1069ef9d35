#include "trap.h"

#include "component/references.h"

namespace zelvar::platform {

void reportToHost(const QString& text)
{
    component::ErrorInfo failure;
    const bool reported = component::hasUtils() && component::trapErrors([&] { component::utils().ReportError(text); }, failure);
    if (!reported)
        qWarning("%s", qPrintable(text));
}

} // namespace zelvar::platform
