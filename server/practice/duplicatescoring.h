#pragma once

#include "replyformat.h"

namespace zelvar::practice {

// How alike a candidate is to the patient about to be registered, from 0 to 1, and what made
// it so: an identifier alone (SSN, account) is near certain; a name, a birth date, a policy or
// a medical record number add up. Only candidates of 0.35 and more are kept, the most alike
// first; of equal scores the nearest birth date, then the account.
QList<ScoredCandidate> scoreDuplicates(const PatientData& patient, const QList<Candidate>& candidates);

} // namespace zelvar::practice
