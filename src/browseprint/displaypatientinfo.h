#pragma once

#include <QString>

namespace zelvar::browseprint {

// Checks the account and shows its patient record in the record window. Traps nothing: errors
// pass to the caller.
void DisplayPatientInfo(const QString& AcctNo);

} // namespace zelvar::browseprint
