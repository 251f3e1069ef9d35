#pragma once

#include "practicestore.h"

namespace zelvar::practice {

// The patient record as the record window's style sheet reads it: the practice, the patient,
// the guarantor, the insurance, the visits and the balance; for an account that is not one, the
// account as asked and "No such account".
QString recordXml(const std::optional<PatientRecordData>& record, const QString& accountAsked, const QString& practiceName);

} // namespace zelvar::practice
