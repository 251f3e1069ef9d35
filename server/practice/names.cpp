#include "names.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace zelvar::practice {

using namespace Qt::Literals::StringLiterals;

namespace {

bool isVowel(QChar c)
{
    return c == u'A' || c == u'E' || c == u'I' || c == u'O' || c == u'U';
}

// One Latin letter with its accent taken off, or the letters it is written as.
QString plainLetters(QChar c, bool german)
{
    switch (c.unicode()) {
    case u'ß': return QStringLiteral("SS");
    case u'Æ': case u'æ': return QStringLiteral("AE");
    case u'Œ': case u'œ': return QStringLiteral("OE");
    case u'Ø': case u'ø': return QStringLiteral("O");
    case u'Ł': case u'ł': return QStringLiteral("L");
    case u'Đ': case u'đ': return QStringLiteral("D");
    case u'Ä': case u'ä': return german ? QStringLiteral("AE") : QStringLiteral("A");
    case u'Ö': case u'ö': return german ? QStringLiteral("OE") : QStringLiteral("O");
    case u'Ü': case u'ü': return german ? QStringLiteral("UE") : QStringLiteral("U");
    default: break;
    }
    const QString decomposed = QString(c).normalized(QString::NormalizationForm_D);
    return decomposed.left(1).toUpper();
}

QString fold(const QString& name, bool german)
{
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        const QString plain = plainLetters(c, german);
        for (QChar p : plain) {
            if ((p >= u'A' && p <= u'Z') || (p >= u'0' && p <= u'9'))
                out += p;
        }
    }
    return out;
}

QHash<QString, QStringList> loadNicknames()
{
    QHash<QString, QStringList> table;
    QFile file(QStringLiteral(":/practice/nicknames.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return table;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList pair = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (pair.size() == 2 && !table[pair[0]].contains(pair[1]))
            table[pair[0]].append(pair[1]);
    }
    return table;
}

} // namespace

QString foldName(const QString& name)
{
    return fold(name, false);
}

QStringList alternateNameKeys(const QString& last)
{
    const QString key = foldName(last);
    QStringList out;
    static const QRegularExpression separators(QStringLiteral("[\\s\\-]+"));
    const QStringList parts = last.split(separators, Qt::SkipEmptyParts);
    if (parts.size() > 1) {
        for (const QString& part : parts) {
            const QString k = foldName(part);
            if (!k.isEmpty() && k != key && !out.contains(k))
                out.append(k);
        }
    }
    const QString german = fold(last, true);
    if (german != key && !out.contains(german))
        out.append(german);
    return out;
}

namespace {

// A surname's letters, as the sound key reads them: what is before and after each letter.
class Letters
{
public:
    explicit Letters(QString w) : m_w(std::move(w)) {}
    QChar operator[](qsizetype i) const { return i >= 0 && i < m_w.size() ? m_w[i] : QChar(); }
    qsizetype size() const { return m_w.size(); }
    bool startsWith(QLatin1StringView s) const { return m_w.startsWith(s); }
    bool restIs(qsizetype i, QLatin1StringView s) const { return m_w.mid(i) == s; }

private:
    QString m_w;
};

bool isFrontVowel(QChar c)
{
    return c == u'E' || c == u'I' || c == u'Y';
}

// The letters not sounded at the start, or sounded otherwise (X as S, WH as W): what the key
// begins with, and the first letter after them.
qsizetype soundOpening(const Letters& w, QString& out)
{
    if (w.startsWith("X"_L1)) {
        out += u'S';
        return 1;
    }
    if (w.startsWith("WH"_L1)) {
        out += u'W';
        return 2;
    }
    for (const QLatin1StringView silent : {"AE"_L1, "GN"_L1, "KN"_L1, "PN"_L1, "WR"_L1}) {
        if (w.startsWith(silent))
            return 1;
    }
    return 0;
}

// C: X in -CIA- and CH (K after S), S before E, I or Y (silent after S), else K. Returns the
// last letter it read.
qsizetype soundOfC(const Letters& w, qsizetype i, QString& out)
{
    const QChar next = w[i + 1];
    if (next == u'I' && w[i + 2] == u'A') {
        out += u'X';
    } else if (next == u'H') {
        out += w[i - 1] == u'S' ? u'K' : u'X';
        return i + 1;
    } else if (isFrontVowel(next)) {
        if (w[i - 1] != u'S')
            out += u'S';
    } else {
        out += u'K';
    }
    return i;
}

// G: GH is K before a vowel and silent otherwise; silent in a closing GN or GNED; J before
// E, I or Y; else K.
qsizetype soundOfG(const Letters& w, qsizetype i, QString& out)
{
    const QChar next = w[i + 1];
    if (next == u'H') {
        if (i + 2 < w.size() && isVowel(w[i + 2]))
            out += u'K';
        return i + 1;
    }
    if (next == u'N' && (i + 2 == w.size() || w.restIs(i + 1, "NED"_L1)))
        return i;
    out += isFrontVowel(next) ? u'J' : u'K';
    return i;
}

// S and T: SH and -SIO-/-SIA- are X, SCH is SK; TH is 0 (theta), -TIO-/-TIA- X, silent
// before CH.
qsizetype soundOfSOrT(const Letters& w, qsizetype i, QString& out)
{
    const QChar next = w[i + 1];
    const QChar after = w[i + 2];
    if (next == u'I' && (after == u'O' || after == u'A')) {
        out += u'X';
        return i;
    }
    if (w[i] == u'S') {
        if (next == u'H') {
            out += u'X';
            return i + 1;
        }
        if (next == u'C' && after == u'H') {
            out += QStringLiteral("SK");
            return i + 2;
        }
        out += u'S';
        return i;
    }
    if (next == u'H') {
        out += u'0';
        return i + 1;
    }
    if (!(next == u'C' && after == u'H'))
        out += u'T';
    return i;
}

// Any other letter: a vowel only when it begins the sound, B not after a closing M, D as J
// before GE, GI or GY, H only before a vowel and not after C, S, P, T or G, PH as F.
qsizetype soundOfLetter(const Letters& w, qsizetype i, QString& out)
{
    const QChar c = w[i];
    const QChar next = w[i + 1];
    switch (c.unicode()) {
    case u'A': case u'E': case u'I': case u'O': case u'U':
        if (out.isEmpty())
            out += u'A';
        return i;
    case u'B':
        if (!(w[i - 1] == u'M' && i == w.size() - 1))
            out += u'B';
        return i;
    case u'C': return soundOfC(w, i, out);
    case u'D':
        if (next == u'G' && isFrontVowel(w[i + 2])) {
            out += u'J';
            return i + 1;
        }
        out += u'T';
        return i;
    case u'G': return soundOfG(w, i, out);
    case u'H':
        if (isVowel(next) && !QStringLiteral("CSPTG").contains(w[i - 1]))
            out += u'H';
        return i;
    case u'K':
        if (w[i - 1] != u'C')
            out += u'K';
        return i;
    case u'P':
        out += next == u'H' ? u'F' : u'P';
        return next == u'H' ? i + 1 : i;
    case u'Q': out += u'K'; return i;
    case u'S': case u'T': return soundOfSOrT(w, i, out);
    case u'V': out += u'F'; return i;
    case u'W': case u'Y':
        if (isVowel(next))
            out += c;
        return i;
    case u'X': out += QStringLiteral("KS"); return i;
    case u'Z': out += u'S'; return i;
    default: out += c; return i;
    }
}

} // namespace

QString phoneticKey(const QString& name)
{
    QString letters;
    for (QChar c : foldName(name)) {
        if (c >= u'A' && c <= u'Z')
            letters += c;
    }
    const Letters w(letters);
    QString out;
    for (qsizetype i = soundOpening(w, out); i < w.size(); ++i) {
        // A doubled letter is sounded once (but CC as in ACCENT twice).
        if (w[i] == w[i - 1] && w[i] != u'C')
            continue;
        i = soundOfLetter(w, i, out);
    }
    return out;
}

QStringList formalNames(const QString& first)
{
    static const QHash<QString, QStringList> table = loadNicknames();
    const QString key = foldName(first);
    QStringList out = table.value(key);
    if (!out.contains(key))
        out.append(key);
    return out;
}

QString formalName(const QString& first)
{
    return formalNames(first).value(0);
}

int editDistance(const QString& a, const QString& b)
{
    // Three rows of the table are enough: the row before the last is for the swaps.
    std::vector<int> before(size_t(b.size() + 1)), last(size_t(b.size() + 1)), row(size_t(b.size() + 1));
    for (qsizetype j = 0; j <= b.size(); ++j)
        last[size_t(j)] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int changed = a[i - 1] == b[j - 1] ? 0 : 1;
            int d = std::min({last[size_t(j)] + 1, row[size_t(j - 1)] + 1, last[size_t(j - 1)] + changed});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d = std::min(d, before[size_t(j - 2)] + 1);
            row[size_t(j)] = d;
        }
        std::swap(before, last);
        std::swap(last, row);
    }
    return last[size_t(b.size())];
}

QStringList oneEditVariants(const QString& key)
{
    QStringList out;
    const qsizetype n = key.size();
    // There are about 53 variants of a key, each as long as the key: past the longest name a
    // practice holds they would cost memory with the square of the text and find nothing.
    if (n > kLongestNameKey + 1)
        return out;
    const auto add = [&](const QString& v) {
        if (!v.isEmpty() && v != key)
            out.append(v);
    };
    for (qsizetype i = 0; i < n; ++i) {
        add(key.left(i) + key.mid(i + 1));
        if (i + 1 < n) {
            QString swapped = key;
            std::swap(swapped[i], swapped[i + 1]);
            add(swapped);
        }
        for (char16_t c = u'A'; c <= u'Z'; ++c) {
            if (key[i] != QChar(c)) {
                QString changed = key;
                changed[i] = QChar(c);
                add(changed);
            }
        }
    }
    for (qsizetype i = 0; i <= n; ++i) {
        for (char16_t c = u'A'; c <= u'Z'; ++c)
            add(key.left(i) + QChar(c) + key.mid(i));
    }
    out.removeDuplicates();
    return out;
}

QString identifierKey(const QString& text)
{
    QString out;
    for (QChar c : text.toUpper()) {
        if (!c.isSpace() && c != u'-')
            out += c;
    }
    return out;
}

namespace {

// "JOHN A": the first name and the middle initial.
NameQuery reading(const QString& last, const QStringList& firstWords)
{
    NameQuery query;
    query.last = foldName(last);
    query.first = foldName(firstWords.value(0));
    query.middle = foldName(firstWords.value(1)).left(1);
    return query;
}

} // namespace

QList<NameQuery> nameReadings(const QString& text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    if (comma >= 0)
        return {reading(text.left(comma), text.mid(comma + 1).split(blanks, Qt::SkipEmptyParts))};
    const QStringList words = text.split(blanks, Qt::SkipEmptyParts);
    if (words.size() <= 1)
        return {reading(words.value(0), {})};
    // As typed (LAST FIRST), and the last word as the last name (FIRST [MIDDLE] LAST); an initial
    // between two names ("THOMAS M WILLIAMS") puts the latter first. Two words that fold to one
    // key ("mc donald", "o brien") are also one surname.
    QList<NameQuery> out{reading(words[0], words.mid(1)), reading(words.last(), words.mid(0, words.size() - 1))};
    if (words.size() >= 3 && foldName(words[1]).size() == 1)
        std::swap(out[0], out[1]);
    if (words.size() == 2 && words[0].size() <= 2)
        out.prepend(reading(words.join(QString()), {}));
    return out;
}

NameQuery parseNameQuery(const QString& text)
{
    return nameReadings(text).value(0);
}

namespace {

int monthNumber(const QString& word)
{
    static const char* const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const QString w = word.toUpper();
    if (w.size() < 3)
        return 0;
    for (int m = 0; m < 12; ++m) {
        if (w.startsWith(QLatin1String(months[m])))
            return m + 1;
    }
    return 0;
}

int fullYear(const QString& digits)
{
    int y = digits.toInt();
    if (digits.size() == 2) {
        // Two-digit years: not in the future.
        const int now = QDate::currentDate().year();
        y += now / 100 * 100;
        if (y > now)
            y -= 100;
    }
    return y;
}

} // namespace

std::optional<DateRange> parseDateQuery(const QString& input)
{
    const QString text = input.trimmed();
    static const QRegularExpression numeric(QStringLiteral("^(\\d{1,2})[/.\\-](\\d{1,2})[/.\\-](\\d{2}|\\d{4})$"));
    static const QRegularExpression packed(QStringLiteral("^(\\d{2})(\\d{2})(\\d{4})$"));
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})$"));
    static const QRegularExpression year(QStringLiteral("^(\\d{4})$"));
    static const QRegularExpression monthFirst(QStringLiteral("^([A-Za-z]{3,})\\.?[\\s\\-/]*(\\d{1,2})(?:st|nd|rd|th)?,?[\\s\\-/]+(\\d{2}|\\d{4})$"));
    static const QRegularExpression dayFirst(QStringLiteral("^(\\d{1,2})(?:st|nd|rd|th)?[\\s\\-/.]*([A-Za-z]{3,})\\.?,?[\\s\\-/.]+(\\d{2}|\\d{4})$"));
    QRegularExpressionMatch m;
    QDate date;
    if ((m = numeric.match(text)).hasMatch()) {
        int month = m.captured(1).toInt();
        int day = m.captured(2).toInt();
        // Day first only where it cannot be a month.
        if (month > 12 && day <= 12)
            std::swap(month, day);
        date = QDate(fullYear(m.captured(3)), month, day);
    } else if ((m = packed.match(text)).hasMatch()) {
        // MMDDYYYY, or YYYYMMDD where that is no date.
        date = QDate(m.captured(3).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
        if (!date.isValid())
            date = QDate(text.left(4).toInt(), text.mid(4, 2).toInt(), text.mid(6).toInt());
    } else if ((m = iso.match(text)).hasMatch()) {
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    } else if ((m = monthFirst.match(text)).hasMatch() && monthNumber(m.captured(1))) {
        date = QDate(fullYear(m.captured(3)), monthNumber(m.captured(1)), m.captured(2).toInt());
    } else if ((m = dayFirst.match(text)).hasMatch() && monthNumber(m.captured(2))) {
        date = QDate(fullYear(m.captured(3)), monthNumber(m.captured(2)), m.captured(1).toInt());
    } else if ((m = year.match(text)).hasMatch()) {
        // A year of birth; there is no year 0.
        const int y = m.captured(1).toInt();
        if (y < 1)
            return std::nullopt;
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

namespace {

// "NAME COUNT" lines, or "DECADE SEX NAME COUNT"; a name may hold blanks.
QList<QStringList> dataLines(const QString& resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("the name table " + resource.toStdString() + " is missing from this program");
    QList<QStringList> lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            lines.append(QString::fromUtf8(line).split(QLatin1Char(' ')));
    }
    return lines;
}

NameCount nameCount(const QStringList& fields, qsizetype from)
{
    return {fields.mid(from, fields.size() - from - 1).join(QLatin1Char(' ')), fields.last().toDouble()};
}

} // namespace

const QList<NameCount>& surnameCounts()
{
    static const QList<NameCount> names = [] {
        QList<NameCount> out;
        for (const QStringList& fields : dataLines(QStringLiteral(":/practice/surnames.txt")))
            out.append(nameCount(fields, 0));
        return out;
    }();
    return names;
}

const QList<NameCount>& firstNameCounts(int decade, QChar sex)
{
    static const QHash<QString, QList<NameCount>> tables = [] {
        QHash<QString, QList<NameCount>> out;
        for (const QStringList& fields : dataLines(QStringLiteral(":/practice/firstnames.txt")))
            out[fields[0] + fields[1]].append(nameCount(fields, 2));
        return out;
    }();
    static const QList<NameCount> none;
    const int known = std::clamp(decade - decade % 10, 1930, 2020);
    const auto it = tables.constFind(QString::number(known) + sex);
    return it == tables.cend() ? none : *it;
}

} // namespace zelvar::practice
