#include "textshape.h"

#include "names.h"

#include <QRegularExpression>

namespace zelvar::practice {

namespace {

bool hasOnly(const QString& text, const QString& allowed)
{
    for (QChar c : text) {
        if (!c.isDigit() && !allowed.contains(c))
            return false;
    }
    return true;
}

QString phoneText(const QString& digits)
{
    if (digits.size() == 7)
        return digits.left(3) + QLatin1Char('-') + digits.mid(3);
    return QStringLiteral("(%1) %2-%3").arg(digits.left(3), digits.mid(3, 3), digits.mid(6));
}

} // namespace

TextShape textShape(const QString& typed)
{
    TextShape shape;
    const QString text = typed.simplified();
    if (text.isEmpty())
        return shape;
    const QString digits = digitsOf(text);

    static const QRegularExpression ssn(QStringLiteral("^\\d{3}-\\d{2}-\\d{4}$|^\\d{9}$"));
    if (ssn.match(text).hasMatch()) {
        shape.kind = TextShape::Ssn;
        shape.value = digits.left(3) + QLatin1Char('-') + digits.mid(3, 2) + QLatin1Char('-') + digits.mid(5);
        return shape;
    }
    if (text.size() == 4 && digits.size() == 4) {
        shape.kind = TextShape::SsnLastFour;
        shape.value = digits;
        return shape;
    }
    // A date before a phone: 02101969 is eight digits, no phone has eight.
    if (digits != text || digits.size() == 8) {
        if (const std::optional<DateRange> date = parseDateQuery(text); date && date->from == date->to) {
            shape.kind = TextShape::DateOfBirth;
            shape.value = date->from.toString(QStringLiteral("MM/dd/yyyy"));
            return shape;
        }
    }
    QString phone = digits;
    if (phone.size() == 11 && phone.startsWith(QLatin1Char('1')))
        phone.remove(0, 1);
    if ((phone.size() == 7 || phone.size() == 10) && hasOnly(text, QStringLiteral(" ()-.+"))) {
        shape.kind = TextShape::Phone;
        shape.value = phoneText(phone);
        return shape;
    }
    if (digits.isEmpty()) {
        QString last = text.section(QLatin1Char(','), 0, 0).trimmed();
        QString first = text.section(QLatin1Char(','), 1).trimmed();
        if (!text.contains(QLatin1Char(','))) {
            last = text.section(QLatin1Char(' '), 0, 0);
            first = text.section(QLatin1Char(' '), 1);
        }
        shape.kind = TextShape::Name;
        shape.last = last.toUpper();
        shape.first = first.toUpper();
    }
    return shape;
}

} // namespace zelvar::practice
