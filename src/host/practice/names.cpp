#include "names.h"

#include <QHash>
#include <QRegularExpression>

namespace zelvar::practice {

QString soundex(const QString& name)
{
    static const char codes[26] = {'0', '1', '2', '3', '0', '1', '2', '0', '0', '2', '2', '4', '5',
                                   '5', '0', '1', '2', '6', '2', '3', '0', '1', '0', '2', '0', '2'};
    QString out;
    char previous = 0;
    for (QChar c : name.toUpper()) {
        if (c < u'A' || c > u'Z')
            continue;
        const char code = codes[c.unicode() - u'A'];
        if (out.isEmpty()) {
            out += c;
            previous = code;
            continue;
        }
        if (code != '0' && code != previous)
            out += QLatin1Char(code);
        // H and W do not separate equal codes; vowels do.
        if (c != u'H' && c != u'W')
            previous = code;
        if (out.size() == 4)
            break;
    }
    if (out.isEmpty())
        return out;
    while (out.size() < 4)
        out += u'0';
    return out;
}

QString formalName(const QString& first)
{
    static const QHash<QString, QString> nicknames = {
        {QStringLiteral("BOB"), QStringLiteral("ROBERT")},     {QStringLiteral("ROB"), QStringLiteral("ROBERT")},
        {QStringLiteral("BOBBY"), QStringLiteral("ROBERT")},   {QStringLiteral("BILL"), QStringLiteral("WILLIAM")},
        {QStringLiteral("WILL"), QStringLiteral("WILLIAM")},   {QStringLiteral("BILLY"), QStringLiteral("WILLIAM")},
        {QStringLiteral("JIM"), QStringLiteral("JAMES")},      {QStringLiteral("JIMMY"), QStringLiteral("JAMES")},
        {QStringLiteral("MIKE"), QStringLiteral("MICHAEL")},   {QStringLiteral("DICK"), QStringLiteral("RICHARD")},
        {QStringLiteral("RICK"), QStringLiteral("RICHARD")},   {QStringLiteral("TOM"), QStringLiteral("THOMAS")},
        {QStringLiteral("TONY"), QStringLiteral("ANTHONY")},   {QStringLiteral("JOE"), QStringLiteral("JOSEPH")},
        {QStringLiteral("DAN"), QStringLiteral("DANIEL")},     {QStringLiteral("DAVE"), QStringLiteral("DAVID")},
        {QStringLiteral("CHRIS"), QStringLiteral("CHRISTOPHER")}, {QStringLiteral("MATT"), QStringLiteral("MATTHEW")},
        {QStringLiteral("STEVE"), QStringLiteral("STEVEN")},   {QStringLiteral("LIZ"), QStringLiteral("ELIZABETH")},
        {QStringLiteral("BETH"), QStringLiteral("ELIZABETH")}, {QStringLiteral("BETTY"), QStringLiteral("ELIZABETH")},
        {QStringLiteral("KATE"), QStringLiteral("KATHERINE")}, {QStringLiteral("KATHY"), QStringLiteral("KATHERINE")},
        {QStringLiteral("PEGGY"), QStringLiteral("MARGARET")}, {QStringLiteral("MAGGIE"), QStringLiteral("MARGARET")},
        {QStringLiteral("SUE"), QStringLiteral("SUSAN")},      {QStringLiteral("JENNY"), QStringLiteral("JENNIFER")},
        {QStringLiteral("JEN"), QStringLiteral("JENNIFER")},   {QStringLiteral("PATTY"), QStringLiteral("PATRICIA")},
        {QStringLiteral("TRISH"), QStringLiteral("PATRICIA")}, {QStringLiteral("BARB"), QStringLiteral("BARBARA")},
        {QStringLiteral("DEBBIE"), QStringLiteral("DEBORAH")}, {QStringLiteral("SANDY"), QStringLiteral("SANDRA")},
    };
    const QString upper = first.toUpper();
    return nicknames.value(upper, upper);
}

NameQuery parseNameQuery(const QString& text)
{
    const QString upper = text.toUpper().trimmed();
    NameQuery query;
    const qsizetype comma = upper.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        query.last = upper.left(comma).trimmed();
        query.first = upper.mid(comma + 1).trimmed();
        return query;
    }
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList words = upper.split(blanks, Qt::SkipEmptyParts);
    query.last = words.value(0);
    query.first = words.mid(1).join(QLatin1Char(' '));
    return query;
}

std::optional<DateRange> parseDateQuery(const QString& input)
{
    const QString text = input.trimmed();
    static const QRegularExpression slashed(QStringLiteral("^(\\d{1,2})/(\\d{1,2})/(\\d{2}|\\d{4})$"));
    static const QRegularExpression packed(QStringLiteral("^(\\d{2})(\\d{2})(\\d{4})$"));
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
    static const QRegularExpression year(QStringLiteral("^(\\d{4})$"));
    QRegularExpressionMatch m;
    QDate date;
    if ((m = slashed.match(text)).hasMatch() || (m = packed.match(text)).hasMatch()) {
        int y = m.captured(3).toInt();
        if (m.captured(3).size() == 2) {
            // Two-digit years: not in the future.
            const int century = QDate::currentDate().year() / 100 * 100;
            y += century;
            if (y > QDate::currentDate().year())
                y -= 100;
        }
        date = QDate(y, m.captured(1).toInt(), m.captured(2).toInt());
    } else if ((m = iso.match(text)).hasMatch()) {
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    } else if ((m = year.match(text)).hasMatch()) {
        const int y = m.captured(1).toInt();
        return DateRange{QDate(y, 1, 1), QDate(y, 12, 31)};
    }
    if (!date.isValid())
        return std::nullopt;
    return DateRange{date, date};
}

QString digitsOf(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (c.isDigit())
            out += c;
    }
    return out;
}

const QList<WeightedName>& lastNames()
{
    static const QList<WeightedName> names = {
        {"SMITH", 1000}, {"JOHNSON", 800}, {"WILLIAMS", 690}, {"BROWN", 620}, {"JONES", 620}, {"GARCIA", 510},
        {"MILLER", 500}, {"DAVIS", 480}, {"RODRIGUEZ", 470}, {"MARTINEZ", 460}, {"HERNANDEZ", 450}, {"LOPEZ", 380},
        {"GONZALEZ", 370}, {"WILSON", 360}, {"ANDERSON", 350}, {"THOMAS", 340}, {"TAYLOR", 330}, {"MOORE", 320},
        {"JACKSON", 310}, {"MARTIN", 310}, {"LEE", 300}, {"PEREZ", 290}, {"THOMPSON", 290}, {"WHITE", 280},
        {"HARRIS", 270}, {"SANCHEZ", 270}, {"CLARK", 260}, {"RAMIREZ", 250}, {"LEWIS", 250}, {"ROBINSON", 240},
        {"WALKER", 240}, {"YOUNG", 230}, {"ALLEN", 230}, {"KING", 220}, {"WRIGHT", 220}, {"SCOTT", 210},
        {"TORRES", 210}, {"NGUYEN", 210}, {"HILL", 200}, {"FLORES", 200}, {"GREEN", 200}, {"ADAMS", 190},
        {"NELSON", 190}, {"BAKER", 190}, {"HALL", 180}, {"RIVERA", 180}, {"CAMPBELL", 180}, {"MITCHELL", 170},
        {"CARTER", 170}, {"ROBERTS", 170}, {"GOMEZ", 160}, {"PHILLIPS", 160}, {"EVANS", 160}, {"TURNER", 150},
        {"DIAZ", 150}, {"PARKER", 150}, {"CRUZ", 140}, {"EDWARDS", 140}, {"COLLINS", 140}, {"REYES", 140},
        {"STEWART", 130}, {"MORRIS", 130}, {"MORALES", 130}, {"MURPHY", 130}, {"COOK", 120}, {"ROGERS", 120},
        {"GUTIERREZ", 120}, {"ORTIZ", 120}, {"MORGAN", 120}, {"COOPER", 110}, {"PETERSON", 110}, {"BAILEY", 110},
        {"REED", 110}, {"KELLY", 110}, {"HOWARD", 100}, {"RAMOS", 100}, {"KIM", 100}, {"COX", 100}, {"WARD", 100},
        {"RICHARDSON", 100}, {"WATSON", 90}, {"BROOKS", 90}, {"CHAVEZ", 90}, {"WOOD", 90}, {"JAMES", 90},
        {"BENNETT", 90}, {"GRAY", 90}, {"MENDOZA", 90}, {"RUIZ", 80}, {"HUGHES", 80}, {"PRICE", 80},
        {"ALVAREZ", 80}, {"CASTILLO", 80}, {"SANDERS", 80}, {"PATEL", 80}, {"MYERS", 80}, {"LONG", 70},
        {"ROSS", 70}, {"FOSTER", 70}, {"SMYTHE", 15}, {"SMITHERS", 12}, {"SCHMIDT", 40}, {"O'BRIEN", 30},
        {"MCDONALD", 40}, {"KOWALSKI", 15}, {"NOWAK", 15}, {"OKAFOR", 10}, {"YAMAMOTO", 10}, {"DUBOIS", 10},
    };
    return names;
}

const QList<WeightedName>& femaleFirstNames()
{
    static const QList<WeightedName> names = {
        {"MARY", 400}, {"PATRICIA", 300}, {"JENNIFER", 290}, {"LINDA", 270}, {"ELIZABETH", 260}, {"BARBARA", 240},
        {"SUSAN", 230}, {"JESSICA", 220}, {"SARAH", 210}, {"KAREN", 200}, {"LISA", 190}, {"NANCY", 180},
        {"BETTY", 170}, {"MARGARET", 170}, {"SANDRA", 160}, {"ASHLEY", 160}, {"KIMBERLY", 150}, {"EMILY", 150},
        {"DONNA", 140}, {"MICHELLE", 140}, {"CAROL", 130}, {"AMANDA", 130}, {"DOROTHY", 120}, {"MELISSA", 120},
        {"DEBORAH", 110}, {"STEPHANIE", 110}, {"REBECCA", 100}, {"SHARON", 100}, {"LAURA", 100}, {"CYNTHIA", 90},
        {"KATHLEEN", 90}, {"AMY", 90}, {"ANGELA", 80}, {"SHIRLEY", 80}, {"ANNA", 80}, {"BRENDA", 70},
        {"PAMELA", 70}, {"EMMA", 70}, {"NICOLE", 70}, {"HELEN", 60}, {"SAMANTHA", 60}, {"KATHERINE", 60},
        {"CHRISTINE", 60}, {"DEBRA", 50}, {"RACHEL", 50}, {"CAROLYN", 50}, {"JANET", 50}, {"CATHERINE", 50},
        {"MARIA", 50}, {"HEATHER", 50}, {"DIANE", 40}, {"JULIE", 40}, {"JOYCE", 40}, {"VICTORIA", 40},
        {"OLIVIA", 40}, {"SOPHIA", 40}, {"GRACE", 30}, {"CHLOE", 30}, {"ISABELLA", 30}, {"JOANNA", 20},
    };
    return names;
}

const QList<WeightedName>& maleFirstNames()
{
    static const QList<WeightedName> names = {
        {"JAMES", 400}, {"ROBERT", 390}, {"JOHN", 380}, {"MICHAEL", 370}, {"DAVID", 300}, {"WILLIAM", 290},
        {"RICHARD", 250}, {"JOSEPH", 240}, {"THOMAS", 230}, {"CHARLES", 220}, {"CHRISTOPHER", 210}, {"DANIEL", 200},
        {"MATTHEW", 190}, {"ANTHONY", 180}, {"MARK", 170}, {"DONALD", 160}, {"STEVEN", 160}, {"PAUL", 150},
        {"ANDREW", 150}, {"JOSHUA", 140}, {"KENNETH", 140}, {"KEVIN", 130}, {"BRIAN", 130}, {"GEORGE", 120},
        {"TIMOTHY", 120}, {"RONALD", 110}, {"EDWARD", 110}, {"JASON", 100}, {"JEFFREY", 100}, {"RYAN", 100},
        {"JACOB", 90}, {"GARY", 90}, {"NICHOLAS", 90}, {"ERIC", 80}, {"JONATHAN", 80}, {"STEPHEN", 80},
        {"LARRY", 70}, {"JUSTIN", 70}, {"SCOTT", 70}, {"BRANDON", 70}, {"BENJAMIN", 60}, {"SAMUEL", 60},
        {"GREGORY", 60}, {"ALEXANDER", 60}, {"PATRICK", 50}, {"FRANK", 50}, {"RAYMOND", 50}, {"JACK", 50},
        {"DENNIS", 50}, {"JERRY", 40}, {"TYLER", 40}, {"AARON", 40}, {"JOSE", 40}, {"ADAM", 40},
        {"NATHAN", 40}, {"HENRY", 30}, {"PETER", 30}, {"WALTER", 30}, {"LUIS", 30}, {"CARLOS", 30},
    };
    return names;
}

} // namespace zelvar::practice
