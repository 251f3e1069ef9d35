#pragma once

#include <QString>
#include <QStringList>

// Patient search replies as a server sends them: a header with the row count and the headings
// (each with a style suffix and a two-digit width), rows whose values carry three-character
// style suffixes, and a trailer with the continuation key.
namespace zelvar::test {

inline QString patientHeader(int count, const QStringList& headings = {QStringLiteral("Patient NameKB025"),
                                                                         QStringLiteral("DOBKB110")})
{
    return QStringLiteral("|OK||H%1\t").arg(count, 5, 10, QLatin1Char('0')) + headings.join(QLatin1Char('\t'));
}

inline QString patientRow(const QString& key, const QStringList& values)
{
    return QStringLiteral("|OK||") + key + QLatin1Char('\t') + values.join(QLatin1Char('\t'));
}

inline QString patientTrailer(const QString& key)
{
    return QStringLiteral("|OK||") + key;
}

// Rows first..first+count-1: key 1000 + k, name "PATIENT,k" on white/black left, a date.
inline QStringList patientPage(int first, int count, const QString& next)
{
    QStringList lines{patientHeader(count)};
    for (int k = first; k < first + count; ++k) {
        lines.append(patientRow(QString::number(1000 + k),
                                {QStringLiteral("PATIENT,%1AB0").arg(k), QStringLiteral("01/02/1990AB1")}));
    }
    lines.append(patientTrailer(next));
    return lines;
}

} // namespace zelvar::test
