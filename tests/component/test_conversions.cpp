// The number readings every reply reader relies on.
#include "component/conversions.h"
#include "component/runtimeerror.h"
#include "component/strings.h"

#include <gtest/gtest.h>

#include <limits>

using namespace zelvar::component;

using namespace zelvar;

namespace {

int errorNumberOf(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

// Catches a reader that stops at the first blank, tab or line feed instead of skipping it, or
// that reads past a letter.
TEST(Val, shouldReadLeniently)
{
    const struct { const char16_t* text; double value; } cases[] = {
        {u"00012\tName25", 12},      // a heading after the count stops the reading
        {u"00012\t25Name", 1225},    // ...unless it starts with digits: the tab is skipped
        {u"  1 2 3", 123},
        {u"1\n5", 15},
        {u"-42abc", -42},
        {u"+7", 7},
        {u"3.75x", 3.75},
        {u".5", 0.5},
        {u"1e3", 1000},
        {u"2D2", 200},
        {u"5e", 5},                  // an exponent with no digits is not read
        {u"1.2.3", 1.2},
        {u"", 0},
        {u"abc", 0},
        {u"- 5", -5},
        {u"&H1F", 31},
        {u"&HFFFF", -1},             // four hex digits are a 16-bit value
        {u"&H10000", 65536},
        {u"&O17", 15},
        {u"1,000", 1},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(Val(QStringView(c.text)), c.value) << QString::fromUtf16(c.text).toStdString();
}

// Catches an out-of-range text turned into infinity instead of Overflow.
TEST(Val, shouldOverflowBeyondDouble)
{
    EXPECT_EQ(errorNumberOf([] { Val(u"1e400"); }), RuntimeError::Overflow);
}

// Catches a test that lets letters, inner blanks or a lone sign pass as a number, or that
// refuses surrounding blanks.
TEST(IsNumeric, shouldAcceptOnlyWholeNumbers)
{
    const struct { const char16_t* text; bool numeric; } cases[] = {
        {u"00012", true}, {u" 12 ", true}, {u"\t12", true}, {u"-3", true}, {u"+3.5", true},
        {u"1.", true}, {u".5", true}, {u"1e5", true}, {u"&HFF", true},
        {u"12ABC", false}, {u"", false}, {u"   ", false}, {u"-", false}, {u".", false},
        {u"1 2", false}, {u"1e", false}, {u"&H", false}, {u"&HZ", false}, {u"1.2.3", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsNumeric(QStringView(c.text)), c.numeric) << QString::fromUtf16(c.text).toStdString();
}

// Catches truncation or rounding away from zero where halves must go to the even neighbour.
TEST(RoundHalfEven, shouldSendHalvesToEvenNeighbour)
{
    const struct { double in; double out; } cases[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2},
        {2.4999, 2}, {2.5001, 3}, {7, 7},
    };
    for (const auto& c : cases)
        EXPECT_EQ(roundHalfEven(c.in), c.out) << c.in;
}

// Catches a strict conversion that reads "12ABC" leniently or wraps instead of Overflow.
TEST(StrictConversion, shouldRaiseTypeMismatchAndOverflow)
{
    EXPECT_EQ(CLng(u" 00042 "), 42);
    EXPECT_EQ(CLng(u"2.5"), 2);
    EXPECT_EQ(CLng(u"3.5"), 4);
    EXPECT_EQ(CInt(u"-32768"), -32768);
    EXPECT_EQ(CLng(8.5), 8);
    EXPECT_EQ(CLng(9.5), 10);

    EXPECT_EQ(errorNumberOf([] { CLng(u"12ABC"); }), RuntimeError::TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { CLng(u""); }), RuntimeError::TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { CInt(u"32768"); }), RuntimeError::Overflow);
    EXPECT_EQ(errorNumberOf([] { CInt(u"32767.5"); }), RuntimeError::Overflow);
    EXPECT_EQ(errorNumberOf([] { CLng(u"2147483648"); }), RuntimeError::Overflow);
    EXPECT_EQ(errorNumberOf([] { CLng(std::numeric_limits<double>::quiet_NaN()); }), RuntimeError::Overflow);
    EXPECT_EQ(errorNumberOf([] { mulLong(65536, 65536); }), RuntimeError::Overflow);
    EXPECT_EQ(errorNumberOf([] { addLong(std::numeric_limits<qint32>::max(), 1); }), RuntimeError::Overflow);
}

// Catches string helpers that count from 0 or accept a negative length silently.
TEST(Strings, shouldCountFromOneAndRefuseNegativeLengths)
{
    const QString header = QStringLiteral("|OK||H00012\tName25");
    EXPECT_EQ(Mid(header, 7, 5), QStringLiteral("00012"));
    EXPECT_EQ(Mid(header, 30), QString());
    EXPECT_EQ(Right(QStringLiteral("Name25"), 2), QStringLiteral("25"));
    EXPECT_EQ(Left(QStringLiteral("Name25"), 4), QStringLiteral("Name"));
    EXPECT_EQ(errorNumberOf([] { Left(QStringLiteral("A"), -1); }), RuntimeError::InvalidProcedureCall);
    EXPECT_EQ(errorNumberOf([] { Mid(QStringLiteral("A"), 0); }), RuntimeError::InvalidProcedureCall);
    EXPECT_EQ(errorNumberOf([] { element(QStringList{}, 0); }), RuntimeError::SubscriptOutOfRange);
}

// Catches a host exception losing its text, or the component's own numbers being replaced.
TEST(RuntimeErrors, shouldKeepNumberAndDescription)
{
    const ErrorInfo own = errorFromException(RuntimeError(RuntimeError::TypeMismatch));
    EXPECT_EQ(own.number, 13);
    EXPECT_EQ(own.description, QStringLiteral("Type mismatch"));
    EXPECT_EQ(RuntimeError::classicDescription(91), QStringLiteral("Object variable or With block variable not set"));

    const ErrorInfo host = errorFromException(std::runtime_error("Server gone"));
    EXPECT_EQ(host.number, RuntimeError::AutomationError);
    EXPECT_EQ(host.description, QStringLiteral("Server gone"));
}
