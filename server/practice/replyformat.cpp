#include "replyformat.h"

#include <algorithm>

namespace zelvar::practice {
namespace {

constexpr int kChunk = 4000;

QString fiveDigits(qsizetype n)
{
    return QStringLiteral("%1").arg(qMin<qsizetype>(n, 99999), 5, 10, QLatin1Char('0'));
}

// A patient search value: the text, then background and text colour letters and alignment.
QString cell(const QString& text, QChar background, QChar colour, QChar align = u'0')
{
    return clean(text) + background + colour + align;
}

// A lookup cell: text, row span, column span, font, control, background, text colour, alignment.
QString lookupCell(const QString& text, const QString& style)
{
    return clean(text) + style;
}

QString lookupHeading(const QString& title, int width)
{
    return clean(title) + QStringLiteral("KB0") + QStringLiteral("%1").arg(width, 2, 10, QLatin1Char('0'));
}

QString lookupHeader(qsizetype rows, const QStringList& headings)
{
    return QStringLiteral("|GH|0|") + fiveDigits(rows) + QStringLiteral("|Key00\t") + headings.join(QLatin1Char('\t'))
        + QLatin1Char('\t');
}

// One patient of the result grid: inactive accounts in grey, the column the search matched in
// a colour of its own.
QString patientLine(const SearchEntry& e, const char* extraColumn, const QString& typed)
{
    const PatientRow& r = e.row;
    const QChar ink = r.active ? u'B' : u'J';
    const auto back = [&](SearchKey key) { return e.key == key ? u'H' : u'A'; };
    QStringList values{
        cell(r.last + QStringLiteral(", ") + r.first + (r.middle.isEmpty() ? QString() : QLatin1Char(' ') + r.middle),
             back(SearchKey::PatientName), ink),
        cell(QString::number(r.account), back(SearchKey::Account), ink, u'2'),
        cell(formatDate(r.dob), back(SearchKey::DateOfBirth), ink, u'1'),
        cell(r.sex, u'A', ink, u'1'),
        cell(formatPhone(r.phone), back(SearchKey::Phone), ink),
        cell(r.guarantor, back(SearchKey::Guarantor), ink),
    };
    if (extraColumn) {
        QString matched = r.matched;
        if (e.key == SearchKey::SocialSecurity)
            matched = lastFour(r.ssn);
        else if (e.key == SearchKey::MedicalRecord)
            matched = r.mrn;
        else if (matched.isEmpty())
            matched = typed;
        values.append(cell(matched, u'H', ink));
    }
    values.append(cell(r.active ? QStringLiteral("Active") : QStringLiteral("Inactive"), u'A', r.active ? u'D' : u'J', u'1'));
    return okLine(QString::number(r.account) + QLatin1Char('\t') + values.join(QLatin1Char('\t')));
}

// The cells of one code: a group's name once, merged down over its rows.
QStringList codeCells(const QList<CodeRow>& rows, qsizetype i, bool grouped, bool extra)
{
    const CodeRow& r = rows.at(i);
    QStringList cells{lookupCell(r.code, QStringLiteral("0010AB0")), lookupCell(r.description, QStringLiteral("0000AB0"))};
    if (grouped) {
        qsizetype span = 1;
        const bool first = i == 0 || rows.at(i - 1).group != r.group;
        while (first && i + span < rows.size() && rows.at(i + span).group == r.group)
            ++span;
        // Row span, no column span, bold, static text, light grey, centred.
        cells.append(first ? lookupCell(r.group, QString::number(qMin<qsizetype>(span, 9)) + QStringLiteral("011KB1"))
                           : lookupCell(QString(), QStringLiteral("0000AB0")));
    }
    if (extra)
        cells.append(r.extra.isEmpty() ? lookupCell(QString(), QStringLiteral("0000AB0"))
                                       : lookupCell(r.extra, QStringLiteral("0008AE0")));
    return cells;
}

} // namespace

QString okLine(const QString& text)
{
    return QStringLiteral("|OK||") + text;
}

QStringList errorReply(const QString& text)
{
    return {okLine(QStringLiteral("ERROR: ") + text)};
}

QString clean(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\t'), QLatin1Char(' '));
    out.replace(QLatin1Char('|'), QLatin1Char('/'));
    return out;
}

QString formatDate(const QDate& date)
{
    return date.isValid() ? date.toString(QStringLiteral("MM/dd/yyyy")) : QString();
}

QString formatPhone(const QString& digits)
{
    if (digits.size() != 10)
        return digits;
    return QStringLiteral("(%1) %2-%3").arg(digits.left(3), digits.mid(3, 3), digits.mid(6));
}

QString lastFour(const QString& ssn)
{
    return ssn.size() >= 4 ? QStringLiteral("***-**-") + ssn.right(4) : QString();
}

QStringList searchReply(const QList<SearchEntry>& entries, const char* extraColumn, const QString& typed,
                        const QString& total, const QString& next)
{
    QStringList headings{QStringLiteral("Patient NameKB024"), QStringLiteral("Acct#KB108"), QStringLiteral("DOBKB110"),
                         QStringLiteral("SexKB103"), QStringLiteral("PhoneKB014"), QStringLiteral("GuarantorKB020")};
    if (extraColumn)
        headings.append(QString::fromLatin1(extraColumn) + QStringLiteral("HB012"));
    headings.append(QStringLiteral("StatusKB108"));
    // The total follows the count after a slash, where a reader of the count stops.
    QStringList replies{QStringLiteral("|OK||H") + fiveDigits(entries.size())
                        + (total.isEmpty() ? QString() : QLatin1Char('/') + total) + QLatin1Char('\t')
                        + headings.join(QLatin1Char('\t'))};
    for (const SearchEntry& e : entries) {
        replies.append(e.notice.isEmpty() ? patientLine(e, extraColumn, typed)
                                          : okLine(QStringLiteral("0\t") + cell(e.notice, u'A', u'C')));
    }
    // The position is at least three characters, so the dialog knows more rows follow.
    replies.append(okLine(next));
    return replies;
}

QStringList duplicateReply(const QList<ScoredCandidate>& shown, qsizetype leftOut)
{
    // What was left out is said in the last heading: a line in the list would be a row that
    // OK or a double click return to the host as if it were a patient. (Nobody found gives no
    // rows and no window; the host tells the clerk.)
    const QString matchedOn = leftOut > 0 ? QStringLiteral("Matched on (%1 more not shown)").arg(leftOut)
                                          : QStringLiteral("Matched on");
    QStringList replies{lookupHeader(shown.size(), {lookupHeading(QStringLiteral("Acct#"), 8),
                                                    lookupHeading(QStringLiteral("Patient Name"), 24),
                                                    lookupHeading(QStringLiteral("DOB"), 10),
                                                    lookupHeading(QStringLiteral("SSN"), 11),
                                                    lookupHeading(QStringLiteral("Score"), 6), lookupHeading(matchedOn, 34)})};
    for (const ScoredCandidate& s : shown) {
        const PatientRow& p = s.candidate->patient;
        // Rows coloured by band: near certain, likely, possible.
        const QString band = s.score >= 0.9 ? QStringLiteral("I") : s.score >= 0.6 ? QStringLiteral("F") : QStringLiteral("A");
        const QString plain = QStringLiteral("0000") + band + QStringLiteral("B");
        const QString bold = QStringLiteral("0010") + band + QStringLiteral("B");
        replies.append(QStringLiteral("|GR|0|") + QString::number(p.account) + QLatin1Char('\t')
                       + QStringList{lookupCell(QString::number(p.account), plain + u'2'),
                                     lookupCell(p.last + QStringLiteral(", ") + p.first, bold + u'0'),
                                     lookupCell(formatDate(p.dob), plain + u'1'), lookupCell(lastFour(p.ssn), plain + u'1'),
                                     lookupCell(QString::number(s.score, 'f', 2), plain + u'2'),
                                     lookupCell(s.reasons.join(QStringLiteral(", ")), plain + u'0')}
                             .join(QLatin1Char('\t')));
    }
    replies.append(QStringLiteral("|EN|END|"));
    return replies;
}

QStringList codeTableReply(const std::optional<QList<CodeRow>>& rows)
{
    if (!rows)
        return {lookupHeader(0, {lookupHeading(QStringLiteral("Code"), 8)}), QStringLiteral("|EN|END|")};
    const bool grouped = std::any_of(rows->begin(), rows->end(), [](const CodeRow& r) { return !r.group.isEmpty(); });
    const bool extra = std::any_of(rows->begin(), rows->end(), [](const CodeRow& r) { return !r.extra.isEmpty(); });
    QStringList headings{lookupHeading(QStringLiteral("Code"), 6), lookupHeading(QStringLiteral("Description"), 28)};
    if (grouped)
        headings.append(lookupHeading(QStringLiteral("Group"), 12));
    if (extra)
        headings.append(lookupHeading(QStringLiteral("Plans"), 14));
    QStringList replies{lookupHeader(rows->size(), headings)};
    for (qsizetype i = 0; i < rows->size(); ++i) {
        replies.append(QStringLiteral("|GR|0|") + clean(rows->at(i).code) + QLatin1Char('\t')
                       + codeCells(*rows, i, grouped, extra).join(QLatin1Char('\t')));
    }
    replies.append(QStringLiteral("|EN|END|"));
    return replies;
}

QStringList fileReply(const std::optional<QByteArray>& content, const QString& name, const QString& folder)
{
    if (!content)
        return {okLine(QStringLiteral("File ") + clean(name) + QStringLiteral(" was not found in ") + clean(folder) + QLatin1Char('.'))};
    const QString text = QString::fromUtf8(*content);
    QStringList replies{okLine(QString::number(content->size()))};
    for (qsizetype at = 0; at < text.size(); at += kChunk)
        replies.append(okLine(text.mid(at, kChunk)));
    if (replies.size() == 1)
        replies.append(okLine(QString()));
    replies.last() += QStringLiteral("|END|");
    return replies;
}

QStringList chunkedReply(const QString& text)
{
    QStringList replies;
    for (qsizetype at = 0; at < text.size(); at += kChunk)
        replies.append(okLine(text.mid(at, kChunk)));
    replies.append(QStringLiteral("|END|"));
    return replies;
}

} // namespace zelvar::practice
