#include "frmlookupsch.h"

#include "component/runtimeerror.h"

namespace zelvar::lookupsch {

// The lookup window is not in this build yet; both ways in say so through the caller's
// error report.

QString CheckForDuplicatePatient(const QString&)
{
    throw RuntimeError(RuntimeError::ActionNotSupported);
}

QString MiscGridLookup(const QString&, const QString&, bool)
{
    throw RuntimeError(RuntimeError::ActionNotSupported);
}

} // namespace zelvar::lookupsch
