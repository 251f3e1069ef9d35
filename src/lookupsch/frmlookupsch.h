#pragma once

#include <QString>

// The code lookup and duplicate list window's two ways in. Each loads the window, sends its
// request, shows the rows when there are any and returns the chosen row (or an empty string).
namespace zelvar::lookupsch {

// strPatData: SSN, Account, PatName, DOB, Policy and MedRec joined with tabs.
QString CheckForDuplicatePatient(const QString& strPatData);
QString MiscGridLookup(const QString& strCode, const QString& strAcct, bool blnReturnAllColumns);

} // namespace zelvar::lookupsch
