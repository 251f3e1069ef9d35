#include "conversions.h"

#include "runtimeerror.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace zelvar::component {
namespace {

bool isSkippedByVal(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int digitValue(QChar c, int radix)
{
    int v = -1;
    if (isDigit(c))
        v = c.unicode() - u'0';
    else if (c >= u'a' && c <= u'f')
        v = c.unicode() - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        v = c.unicode() - u'A' + 10;
    return v < radix ? v : -1;
}

// "&H" / "&O" literals: up to four digits are a 16-bit value, more a 32-bit one, so that
// "&HFFFF" is -1 and "&H10000" is 65536, as the classic readers have it.
double radixValue(QStringView digits, int radix)
{
    quint64 value = 0;
    int significant = 0;
    for (QChar c : digits) {
        const int d = digitValue(c, radix);
        if (d < 0)
            break;
        value = value * radix + d;
        if (value != 0)
            ++significant;
        if (value > 0xFFFFFFFFull)
            throw RuntimeError(RuntimeError::Overflow);
    }
    const int digitsPerWord = radix == 16 ? 4 : 6;
    if (significant <= digitsPerWord && value <= 0xFFFF)
        return static_cast<qint16>(static_cast<quint16>(value));
    return static_cast<qint32>(static_cast<quint32>(value));
}

// Collects the longest prefix of text that reads as a decimal number into an ASCII buffer that
// strtod understands. Characters in `skip` are passed over wherever they stand.
template<typename SkipFn>
std::string decimalPrefix(QStringView text, SkipFn skip, qsizetype& consumed)
{
    std::string out;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto peek = [&]() -> QChar {
        while (i < n && skip(text[i]))
            ++i;
        return i < n ? text[i] : QChar();
    };

    QChar c = peek();
    if (c == u'+' || c == u'-') {
        out += char(c.unicode());
        ++i;
    }
    bool anyDigit = false;
    while (isDigit(c = peek())) {
        out += char(c.unicode());
        anyDigit = true;
        ++i;
    }
    if (c == u'.') {
        out += '.';
        ++i;
        while (isDigit(c = peek())) {
            out += char(c.unicode());
            anyDigit = true;
            ++i;
        }
    }
    consumed = i;
    if (!anyDigit)
        return {};

    // An exponent counts only when digits follow it.
    c = peek();
    if (c == u'e' || c == u'E' || c == u'd' || c == u'D') {
        const qsizetype mark = i;
        std::string exponent = "e";
        ++i;
        QChar s = peek();
        if (s == u'+' || s == u'-') {
            exponent += char(s.unicode());
            ++i;
        }
        bool expDigit = false;
        while (isDigit(c = peek())) {
            exponent += char(c.unicode());
            expDigit = true;
            ++i;
        }
        if (expDigit)
            out += exponent;
        else
            i = mark;
    }
    consumed = i;
    return out;
}

double toDouble(const std::string& number)
{
    const double value = std::strtod(number.c_str(), nullptr);
    if (!std::isfinite(value))
        throw RuntimeError(RuntimeError::Overflow);
    return value;
}

// The text between surrounding blanks, or an empty view.
QStringView trimmedBlanks(QStringView text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isBlank(text[from]))
        ++from;
    while (to > from && isBlank(text[to - 1]))
        --to;
    return text.mid(from, to - from);
}

bool radixLiteral(QStringView text, int& radix, QStringView& digits)
{
    if (text.size() < 2 || text[0] != u'&')
        return false;
    const QChar kind = text[1].toUpper();
    if (kind == u'H')
        radix = 16;
    else if (kind == u'O')
        radix = 8;
    else
        return false;
    digits = text.mid(2);
    return true;
}

// Parses a numeric text strictly; Type mismatch when it is not one.
double strictValue(QStringView text)
{
    if (!IsNumeric(text))
        throw RuntimeError(RuntimeError::TypeMismatch);
    const QStringView t = trimmedBlanks(text);
    int radix = 10;
    QStringView digits;
    if (radixLiteral(t, radix, digits))
        return radixValue(digits, radix);
    qsizetype consumed = 0;
    return toDouble(decimalPrefix(t, [](QChar) { return false; }, consumed));
}

template<typename Int>
Int checkedWhole(double value)
{
    if (std::isnan(value))
        throw RuntimeError(RuntimeError::Overflow);
    const double rounded = roundHalfEven(value);
    if (rounded < double(std::numeric_limits<Int>::min()) || rounded > double(std::numeric_limits<Int>::max()))
        throw RuntimeError(RuntimeError::Overflow);
    return static_cast<Int>(rounded);
}

} // namespace

double roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

double Val(QStringView text)
{
    qsizetype start = 0;
    while (start < text.size() && isSkippedByVal(text[start]))
        ++start;
    int radix = 10;
    QStringView digits;
    if (radixLiteral(text.mid(start), radix, digits))
        return radixValue(digits, radix);

    qsizetype consumed = 0;
    const std::string number = decimalPrefix(text, isSkippedByVal, consumed);
    return number.empty() ? 0.0 : toDouble(number);
}

bool IsNumeric(QStringView text)
{
    const QStringView t = trimmedBlanks(text);
    if (t.isEmpty())
        return false;
    int radix = 10;
    QStringView digits;
    if (radixLiteral(t, radix, digits)) {
        if (digits.isEmpty())
            return false;
        for (QChar c : digits) {
            if (digitValue(c, radix) < 0)
                return false;
        }
        return true;
    }
    qsizetype consumed = 0;
    const std::string number = decimalPrefix(t, [](QChar) { return false; }, consumed);
    return !number.empty() && consumed == t.size();
}

qint16 CInt(QStringView text)
{
    return checkedWhole<qint16>(strictValue(text));
}

qint32 CLng(QStringView text)
{
    return checkedWhole<qint32>(strictValue(text));
}

qint16 CInt(double value)
{
    return checkedWhole<qint16>(value);
}

qint32 CLng(double value)
{
    return checkedWhole<qint32>(value);
}

qint32 addLong(qint32 a, qint32 b)
{
    qint32 result = 0;
    if (qAddOverflow(a, b, &result))
        throw RuntimeError(RuntimeError::Overflow);
    return result;
}

qint32 mulLong(qint32 a, qint32 b)
{
    qint32 result = 0;
    if (qMulOverflow(a, b, &result))
        throw RuntimeError(RuntimeError::Overflow);
    return result;
}

QString str(qint64 value)
{
    return QString::number(value);
}

} // namespace zelvar::component
