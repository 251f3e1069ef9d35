#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

// Names and dates as the front desk types them.
namespace zelvar::practice {

// Soundex of a name ("SMITH" and "SMYTHE" are both S530); empty for a text without letters.
QString soundex(const QString& name);

// The usual long form of a nickname ("BOB" -> "ROBERT"), or the name itself.
QString formalName(const QString& first);

// A name search text: "LAST", "LAST,FIRST", "LAST, FIRST" or words ("smi jo"): the last name
// (prefix) and the first name (prefix), upper case.
struct NameQuery
{
    QString last;
    QString first;
};
NameQuery parseNameQuery(const QString& text);

// A date of birth as typed: MM/DD/YYYY, MMDDYYYY, MM/DD/YY, YYYY-MM-DD, or a year alone. The
// range of dates it stands for; nullopt when it is none of these.
struct DateRange
{
    QDate from;
    QDate to;
};
std::optional<DateRange> parseDateQuery(const QString& text);

// Only the digits of a text (SSN and phone searches ignore punctuation).
QString digitsOf(const QString& text);

// Weighted name lists for the demo data.
struct WeightedName
{
    const char* name;
    int weight;
};
const QList<WeightedName>& lastNames();
const QList<WeightedName>& femaleFirstNames();
const QList<WeightedName>& maleFirstNames();

} // namespace zelvar::practice
