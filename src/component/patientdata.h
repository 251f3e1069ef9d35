#pragma once

#include <QString>
#include <QStringList>

namespace zelvar::component {

// The duplicate check's one string: the six values with a tab between each two, in this order
// and with no tab at either end, so six empty values are exactly five tabs.
inline QString joinPatientData(const QString& SSN, const QString& Account, const QString& PatName,
                               const QString& DOB, const QString& Policy, const QString& MedRec)
{
    return QStringList{SSN, Account, PatName, DOB, Policy, MedRec}.join(QLatin1Char('\t'));
}

} // namespace zelvar::component
