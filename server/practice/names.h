#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

// Names and dates as the front desk types them.
namespace zelvar::practice {

// -- matching keys, computed when a patient is written and when a search is read -------------

// A name as the search compares it: upper case, accents taken off (MÜLLER -> MULLER, ß -> SS),
// everything but letters and digits left out (O'BRIEN -> OBRIEN, MC DONALD -> MCDONALD).
QString foldName(const QString& name);

// The other keys a stored surname is found by: each part of a hyphenated or several-word name
// (GARCIA-LOPEZ by LOPEZ) and the German spelling of its umlauts (MÜLLER by MUELLER); never
// the folded name itself.
QStringList alternateNameKeys(const QString& last);

// A phonetic key of a name (a Metaphone written for the names a practice sees): names that
// sound alike share it (SMITH, SMYTH and SMYTHE; JOHNSON and JONSON).
QString phoneticKey(const QString& name);

// The formal first names a (folded) first name stands for, itself included: BOB -> ROBERT,
// SAM -> SAMUEL and SAMANTHA. The table is data (nicknames.txt).
QStringList formalNames(const QString& first);
// The first of them: what a patient's first name is stored as for matching.
QString formalName(const QString& first);

// The longest name key worth looking for a typo of: the longest surnames in use are about
// half as long.
constexpr qsizetype kLongestNameKey = 64;

// The keys one letter away from a folded name: a letter left out, two neighbours swapped, one
// letter changed or one added. None for a key longer than any name.
QStringList oneEditVariants(const QString& key);

// How many letters apart two keys are: each letter left out, added or changed, and each pair
// of neighbours swapped, counts one (SMIHT is one from SMITH, WHYTE one from WHITE and two
// from WAITE).
int editDistance(const QString& a, const QString& b);

// An identifier as the search compares it: upper case, without blanks and dashes.
QString identifierKey(const QString& text);

// -- what the front desk types ----------------------------------------------------------------

// One reading of a name search text: the last name, the first and the middle initial, each a
// folded prefix ("LAST, FIRST M", "LAST FIRST" or "FIRST LAST").
struct NameQuery
{
    QString last;
    QString first;
    QString middle;
};
// The readings to try, in order: "LAST, FIRST" has one; words without a comma have two (as
// typed, and the last word as the last name); one word is a last name.
QList<NameQuery> nameReadings(const QString& text);
// The first reading.
NameQuery parseNameQuery(const QString& text);

// A date of birth as typed: MM/DD/YYYY (also with - or .), MMDDYYYY, MM/DD/YY, YYYY-MM-DD,
// YYYYMMDD, day first when the first number is over 12 (22.10.1976), month names (Oct 22 1976,
// 22 October 1976), or a year alone. The range of dates it stands for; nullopt when it is none
// of these or is no real date.
struct DateRange
{
    QDate from;
    QDate to;
};
std::optional<DateRange> parseDateQuery(const QString& text);

// Only the digits of a text (SSN and phone searches ignore punctuation).
QString digitsOf(const QString& text);

// Names for generated practices, and how many people bear them: surnames as a census counts
// them, first names as they were given in a decade of birth (1930 to 2020) to one sex ('F' or
// 'M'). The tables are data (surnames.txt, firstnames.txt; tools/derive-names.py says whence).
struct NameCount
{
    QString name;
    double count;
};
const QList<NameCount>& surnameCounts();
const QList<NameCount>& firstNameCounts(int decade, QChar sex);

} // namespace zelvar::practice
