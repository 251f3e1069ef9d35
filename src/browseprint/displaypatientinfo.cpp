#include "displaypatientinfo.h"

#include "component/runtimeerror.h"

namespace zelvar::browseprint {

void DisplayPatientInfo(const QString&)
{
    // The record window is not in this build yet.
    throw RuntimeError(RuntimeError::ActionNotSupported);
}

} // namespace zelvar::browseprint
