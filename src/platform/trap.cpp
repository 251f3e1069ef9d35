#include "trap.h"

#include "component/references.h"

namespace zelvar::platform {

void reportToHost(const QString& text)
{
    ErrorInfo ignored;
    trapErrors([&] { component::utils().ReportError(text); }, ignored);
}

} // namespace zelvar::platform
