#pragma once

#include <QString>

namespace zelvar::practice {

// What a text typed in the one search box is, by its shape alone: a date of birth in any form
// the date key reads (not a year alone), an SSN (123-45-6789 or nine digits), an SSN's last
// four digits, a phone number (7 or 10 digits, with the usual punctuation, or 11 led by 1),
// a name, or none of these. `value` is the text as its key takes it (MM/DD/YYYY, 123-45-6789,
// (217) 555-0100, the four digits); a name is split into last and first ("SMITH, JOHN" and
// "SMITH JOHN" alike), upper case.
struct TextShape
{
    enum Kind { Other, Name, DateOfBirth, Ssn, SsnLastFour, Phone };
    Kind kind = Other;
    QString value;
    QString last;
    QString first;
};

TextShape textShape(const QString& typed);

} // namespace zelvar::practice
