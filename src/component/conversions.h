#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

// The number readings that reply texts go through, each in one place. Server texts are read
// leniently where a count or key is only tested, and converted strictly (with Type mismatch and
// Overflow) where a width or a page count is taken.
namespace zelvar::component {

// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// Lenient reading: blanks, tabs and line feeds are skipped wherever they stand; an optional
// sign, digits, a decimal point and an exponent (E or D) are read; reading stops at the first
// character that cannot continue the number; no number gives 0. "&H" and "&O" read hexadecimal
// and octal. A number too large for a double raises Overflow.
double Val(QStringView text);

// Whether the text is a number: blanks around it, a leading sign, digits with at most one
// decimal point and an optional exponent, or "&H" / "&O" digits. The empty text is not a number.
bool IsNumeric(QStringView text);

// Strict conversions: a text that is not numeric raises Type mismatch; a value outside the
// type's range raises Overflow. Fractions round halves to even.
qint16 CInt(QStringView text);
qint32 CLng(QStringView text);
qint16 CInt(double value);
qint32 CLng(double value);

// Checked 32-bit arithmetic, as a Long expression: Overflow instead of wrapping.
qint32 addLong(qint32 a, qint32 b);
qint32 mulLong(qint32 a, qint32 b);

// The decimal text of a whole number, as the reports and status lines write it.
QString str(qint64 value);

} // namespace zelvar::component
