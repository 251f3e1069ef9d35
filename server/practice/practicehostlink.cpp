#include "practicehostlink.h"

#include "names.h"
#include "textshape.h"

#include <QXmlStreamWriter>

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>

namespace zelvar::practice {
namespace {

constexpr int kChunk = 4000;

QString ok(const QString& text)
{
    return QStringLiteral("|OK||") + text;
}

constexpr qsizetype kLongestQuestion = 4096;
constexpr qsizetype kLongestSearchText = 200;
// Past this many rows a first page's total reads "1000+": counting further would cost more
// than the page.
constexpr int kCountedRows = 1000;

QStringList error(const QString& text)
{
    return {ok(QStringLiteral("ERROR: ") + text)};
}

// No tabs or bars inside a value: they would split it.
QString clean(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\t'), QLatin1Char(' '));
    out.replace(QLatin1Char('|'), QLatin1Char('/'));
    return out;
}

QString fiveDigits(qsizetype n)
{
    return QStringLiteral("%1").arg(qMin<qsizetype>(n, 99999), 5, 10, QLatin1Char('0'));
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

struct KeyCaption { const char* caption; SearchKey key; const char* column; };

// The one search box: a name or account search whose text has the shape of a date of birth,
// an SSN (or its last four digits) or a phone is searched by that key, under a line that says
// so. The later pages of such a search carry this mark before their position.
const QString kShapedMark = QStringLiteral("1B:");

struct ShapedSearch
{
    SearchKey key;
    QString text;
    QString label;
};

std::optional<ShapedSearch> shapedSearch(SearchKey asked, const QString& text)
{
    if (asked != SearchKey::PatientName && asked != SearchKey::Account)
        return std::nullopt;
    const TextShape shape = textShape(text);
    switch (shape.kind) {
    case TextShape::DateOfBirth:
        return ShapedSearch{SearchKey::DateOfBirth, shape.value, QStringLiteral("Date of birth ") + shape.value};
    case TextShape::Ssn:
    case TextShape::SsnLastFour:
        return ShapedSearch{SearchKey::SocialSecurity, shape.value, QStringLiteral("SSN ending ") + shape.value.right(4)};
    case TextShape::Phone:
        return ShapedSearch{SearchKey::Phone, shape.value, QStringLiteral("Phone ") + shape.value};
    default:
        return std::nullopt;
    }
}

// The captions arrive upper-cased (the medical record search keeps its case).
const KeyCaption kCaptions[] = {
    {"&ACCT#", SearchKey::Account, nullptr},
    {"&PAT NAME", SearchKey::PatientName, nullptr},
    {"&GUAR", SearchKey::Guarantor, nullptr},
    {"&DOB", SearchKey::DateOfBirth, nullptr},
    {"P&OLICY#", SearchKey::Policy, "Policy#"},
    {"&MR#", SearchKey::MedicalRecord, "MR#"},
    {"&SS#", SearchKey::SocialSecurity, "SS#"},
    {"P&HONE#", SearchKey::Phone, nullptr},
    {"&TRANS#", SearchKey::Transaction, "Trans#"},
    {"&CLAIM#", SearchKey::Claim, "Claim#"},
    {"&ENC", SearchKey::Encounter, "Enc#"},
    {"&ACCESSION#", SearchKey::Accession, "Accession#"},
};

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

} // namespace

PracticeHostLink::PracticeHostLink(std::shared_ptr<PracticeStore> store, QString user, QString workstation)
    : m_store(std::move(store))
    , m_user(std::move(user))
    , m_workstation(std::move(workstation))
{
}

bool PracticeHostLink::GetServerStringData(const QString& request, QStringList& replies, const QString&, QString&)
{
    replies = answer(request);
    return true;
}

bool PracticeHostLink::GetServerString(const QString& request, QString& reply, const QString&, QString&)
{
    const QStringList fields = request.split(QLatin1Char('|'));
    if (fields.size() >= 4 && fields[1] == QLatin1String("GET") && fields[2] == QLatin1String("SYS")) {
        reply = systemSetting(fields[3]);
        return true;
    }
    reply = answer(request).join(QString());
    return true;
}

void PracticeHostLink::rememberChoice(qint64 account)
{
    m_store->rememberChoice(m_user, account);
}

void PracticeHostLink::setAccessObserver(AccessObserver observer)
{
    m_observer = std::move(observer);
}

void PracticeHostLink::noteAccess(const QString& kind, const QList<qint64>& accounts)
{
    if (m_observer && !accounts.isEmpty())
        m_observer(kind, accounts);
}

QStringList PracticeHostLink::rememberChoiceRequest(const QString& accountText)
{
    bool isNumber = false;
    const qint64 account = accountText.trimmed().toLongLong(&isNumber);
    if (!isNumber || account <= 0)
        return error(QStringLiteral("The account chosen is not an account number."));
    m_store->rememberChoice(m_user, account);
    return {ok(QString::number(account))};
}

QStringList PracticeHostLink::answer(const QString& request)
{
    try {
        const QStringList fields = request.split(QLatin1Char('|'));
        // The host's own write: |PUT|PATIENT|last<TAB>first<TAB>...
        if (fields.size() >= 4 && fields[0].isEmpty() && fields[1] == QLatin1String("PUT")
            && fields[2] == QLatin1String("PATIENT"))
            return newPatient(request.mid(QStringLiteral("|PUT|PATIENT|").size()));
        // The host's other write: |PUT|CHOICE|account, the account the user chose.
        if (fields.size() >= 4 && fields[0].isEmpty() && fields[1] == QLatin1String("PUT")
            && fields[2] == QLatin1String("CHOICE"))
            return rememberChoiceRequest(fields[3]);
        if (fields.size() < 3 || !fields[0].isEmpty() || fields[1] != QLatin1String("GET"))
            return error(QStringLiteral("The server does not understand this request."));
        // No question the desks ask is this long: refused before it costs anything.
        if (request.size() > kLongestQuestion)
            return error(QStringLiteral("The request is longer than any the server answers (%1 characters at most).")
                             .arg(kLongestQuestion));
        const QString kind = fields[2];
        if (kind == QLatin1String("KEY"))
            return patientSearch(fields, request);
        if (kind == QLatin1String("DUPPAT"))
            return duplicateCheck(request.mid(QStringLiteral("|GET|DUPPAT|").size()));
        if (kind == QLatin1String("ASCODE") && fields.size() >= 4)
            return codeLookup(fields[3]);
        if (kind == QLatin1String("FILE") && fields.size() >= 5)
            return fileTransfer(fields[3], fields[4]);
        if (kind == QLatin1String("DEMOXML") && fields.size() >= 4)
            return patientRecord(fields[3]);
        if (kind == QLatin1String("SYS") && fields.size() >= 4)
            return {systemSetting(fields[3])};
        return error(QStringLiteral("The server has no request of kind ") + clean(kind) + QLatin1Char('.'));
    } catch (const std::invalid_argument& e) {
        return error(QString::fromUtf8(e.what()) + QLatin1Char('.'));
    } catch (const std::exception& e) {
        return error(QStringLiteral("The server could not answer: ") + QString::fromUtf8(e.what()));
    }
}

QStringList PracticeHostLink::patientSearch(const QStringList& fields, const QString& request)
{
    // |GET|KEY|text|caption|position   (caption + "WRK" in workflow mode)
    if (fields.size() < 6)
        return error(QStringLiteral("A search needs its text and its key."));
    QString caption = fields[4];
    if (caption.endsWith(QLatin1String("WRK")))
        caption.chop(3);
    const KeyCaption* key = nullptr;
    for (const KeyCaption& k : kCaptions) {
        if (caption.compare(QLatin1String(k.caption), Qt::CaseInsensitive) == 0)
            key = &k;
    }
    if (!key)
        return error(QStringLiteral("The server cannot search by ") + clean(caption) + QLatin1Char('.'));

    SearchQuery query;
    query.key = key->key;
    query.text = fields[3];
    query.after = fields.mid(5).join(QLatin1Char('|'));
    query.pageSize = kPageSize;
    query.user = m_user;

    // What the list shows, in order: a line that says what follows (key 0, not to be chosen),
    // or a patient with the key whose column it matched in.
    struct Entry { QString notice; PatientRow row; SearchKey key = SearchKey::PatientName; };
    QList<Entry> entries;
    QString next;
    QString total;          // the rows the whole list holds, when a first page has more after it
    const auto add = [&](const SearchPage& page, SearchKey by) {
        if (!page.notice.isEmpty())
            entries.append({page.notice, {}, by});
        for (const PatientRow& r : page.rows)
            entries.append({QString(), r, by});
    };
    try {
        // Longer than any name, number or date it could match; a name search's work grows
        // with the square of its text.
        if (query.text.size() > kLongestSearchText)
            throw std::invalid_argument(QStringLiteral("Type at most %1 characters to search for").arg(kLongestSearchText).toStdString());
        const std::optional<ShapedSearch> shaped = shapedSearch(key->key, query.text);
        const bool laterShapedPage = shaped && query.after.startsWith(kShapedMark);
        if (!laterShapedPage) {
            // An account typed in the box is still looked for as one (a number can be both).
            SearchPage asked;
            if (!shaped || key->key == SearchKey::Account) {
                try {
                    asked = m_store->search(query);
                } catch (const std::invalid_argument&) {
                    if (!shaped)
                        throw;
                }
            }
            if (shaped && !asked.rows.isEmpty())
                entries.append({QStringLiteral("Account ") + query.text.trimmed() + QLatin1Char(':'), {}, key->key});
            if (!shaped || !asked.rows.isEmpty())
                add(asked, key->key);
            next = asked.next;
            if (!shaped && query.after.isEmpty() && !next.isEmpty())
                total = countRows(query, int(entries.size() - asked.rows.size()));
        }
        if (shaped && (laterShapedPage || query.after.isEmpty())) {
            SearchQuery byShape = query;
            byShape.key = shaped->key;
            byShape.text = shaped->text;
            byShape.after = laterShapedPage ? query.after.mid(kShapedMark.size()) : QString();
            const SearchPage page = m_store->search(byShape);
            if (!laterShapedPage)
                entries.append({shaped->label + (page.rows.isEmpty() ? QStringLiteral(": no patients") : QStringLiteral(":")), {}, shaped->key});
            add(page, shaped->key);
            next = page.next.isEmpty() ? QString() : kShapedMark + page.next;
        }
    } catch (const std::invalid_argument& e) {
        // A text the key cannot take: one line that says what to type, in the grid, where the
        // clerk is looking (the dialog puts the focus back in the search box for it).
        entries = {{QString::fromUtf8(e.what()) + QLatin1Char('.'), {}, key->key}};
        next.clear();
    }

    const bool extra = key->column != nullptr;
    QStringList headings{QStringLiteral("Patient NameKB024"), QStringLiteral("Acct#KB108"), QStringLiteral("DOBKB110"),
                         QStringLiteral("SexKB103"), QStringLiteral("PhoneKB014"), QStringLiteral("GuarantorKB020")};
    if (extra)
        headings.append(QString::fromLatin1(key->column) + QStringLiteral("HB012"));
    headings.append(QStringLiteral("StatusKB108"));

    if (entries.isEmpty())
        entries.append({QStringLiteral("No patients found"), {}, key->key});
    // The total follows the count after a slash, where a reader of the count stops.
    QStringList replies{QStringLiteral("|OK||H") + fiveDigits(entries.size()) + (total.isEmpty() ? QString() : QLatin1Char('/') + total)
                        + QLatin1Char('\t') + headings.join(QLatin1Char('\t'))};
    QList<qint64> listed;
    for (const Entry& e : std::as_const(entries)) {
        if (!e.notice.isEmpty()) {
            replies.append(ok(QStringLiteral("0\t") + cell(e.notice, u'A', u'C')));
            continue;
        }
        const PatientRow& r = e.row;
        listed.append(r.account);
        // Inactive accounts in grey; the column the search matched in a colour of its own.
        const QChar ink = r.active ? u'B' : u'J';
        const QChar nameBack = e.key == SearchKey::PatientName || e.key == SearchKey::Guarantor ? u'H' : u'A';
        QStringList values{
            cell(r.last + QStringLiteral(", ") + r.first + (r.middle.isEmpty() ? QString() : QLatin1Char(' ') + r.middle),
                 e.key == SearchKey::PatientName ? nameBack : u'A', ink),
            cell(QString::number(r.account), e.key == SearchKey::Account ? u'H' : u'A', ink, u'2'),
            cell(formatDate(r.dob), e.key == SearchKey::DateOfBirth ? u'H' : u'A', ink, u'1'),
            cell(r.sex, u'A', ink, u'1'),
            cell(formatPhone(r.phone), e.key == SearchKey::Phone ? u'H' : u'A', ink),
            cell(r.guarantor, e.key == SearchKey::Guarantor ? u'H' : u'A', ink),
        };
        if (extra) {
            QString matched = r.matched;
            if (e.key == SearchKey::SocialSecurity)
                matched = lastFour(r.ssn);
            else if (e.key == SearchKey::MedicalRecord)
                matched = r.mrn;
            else if (matched.isEmpty())
                matched = fields[3];
            values.append(cell(matched, u'H', ink));
        }
        values.append(cell(r.active ? QStringLiteral("Active") : QStringLiteral("Inactive"), u'A', r.active ? u'D' : u'J', u'1'));
        replies.append(ok(QString::number(r.account) + QLatin1Char('\t') + values.join(QLatin1Char('\t'))));
    }
    // The position is at least three characters, so the dialog knows more rows follow.
    replies.append(ok(next));
    if (!listed.isEmpty())
        noteAccess(QStringLiteral("SEARCH"), listed);
    Q_UNUSED(request);
    return replies;
}

// The lines a whole list holds: its patients, as the store counts them up to a limit ("1000+"
// past it), and the lines that say what follows; empty where the store cannot count them.
QString PracticeHostLink::countRows(const SearchQuery& query, int noticeLines)
{
    std::optional<int> rows;
    try {
        rows = m_store->countMatches(query, kCountedRows);
    } catch (const std::exception&) {
        // The page is what was asked; a count that fails leaves it without a total.
    }
    if (!rows)
        return {};
    if (*rows > kCountedRows)
        return QString::number(kCountedRows) + QLatin1Char('+');
    return QString::number(*rows + noticeLines);
}

QStringList PracticeHostLink::duplicateCheck(const QString& data)
{
    const QStringList values = data.split(QLatin1Char('\t'));
    PatientData patient{values.value(0), values.value(1), values.value(2), values.value(3), values.value(4), values.value(5)};
    const QList<Candidate> candidates = m_store->duplicateCandidates(patient, 500);

    const QString ssn = digitsOf(patient.ssn);
    const NameQuery name = parseNameQuery(patient.name);
    const std::optional<DateRange> dob = parseDateQuery(patient.dob);
    const bool oneDate = dob && dob->from.isValid() && dob->from == dob->to;
    const QStringList formals = name.first.isEmpty() ? QStringList() : formalNames(name.first);
    struct Scored { const Candidate* c; double score; QStringList reasons; qint64 daysApart; };
    QList<Scored> scored;
    for (const Candidate& c : candidates) {
        double score = 0;
        QStringList reasons;
        const PatientRow& p = c.patient;
        const QString last = foldName(p.last);
        const QString first = foldName(p.first);
        const bool swapped = !name.first.isEmpty() && last == name.first && first == name.last;
        if (ssn.size() == 9 && p.ssn == ssn) { score += 1.0; reasons << QStringLiteral("SSN"); }
        if (!patient.account.trimmed().isEmpty() && QString::number(p.account) == patient.account.trimmed()) {
            score += 1.0; reasons << QStringLiteral("account");
        }
        if (!name.last.isEmpty()) {
            if (last == name.last) { score += 0.3; reasons << QStringLiteral("last name"); }
            else if (swapped) { score += 0.45; reasons << QStringLiteral("names swapped"); }
            else if (phoneticKey(last) == phoneticKey(name.last)) { score += 0.2; reasons << QStringLiteral("last name sounds alike"); }
            else if (oneEditVariants(name.last).contains(last)) { score += 0.2; reasons << QStringLiteral("last name a letter off"); }
        }
        if (!name.first.isEmpty() && !swapped) {
            if (first == name.first) { score += 0.2; reasons << QStringLiteral("first name"); }
            else if (formals.contains(formalName(first))) { score += 0.15; reasons << QStringLiteral("nickname"); }
            else if (first.startsWith(name.first) || name.first.startsWith(first)) { score += 0.1; reasons << QStringLiteral("first name begins alike"); }
        }
        qint64 daysApart = std::numeric_limits<qint64>::max();
        if (oneDate && p.dob.isValid()) {
            const QDate d = dob->from;
            daysApart = qAbs(p.dob.daysTo(d));
            const QString a = p.dob.toString(QStringLiteral("MMddyyyy"));
            const QString b = d.toString(QStringLiteral("MMddyyyy"));
            int differing = a.size() == b.size() ? 0 : 8;
            for (qsizetype i = 0; i < qMin(a.size(), b.size()); ++i)
                differing += a[i] != b[i];
            if (p.dob == d) { score += 0.3; reasons << QStringLiteral("DOB"); }
            else if (p.dob.day() == d.month() && p.dob.month() == d.day() && p.dob.year() == d.year()) {
                score += 0.2; reasons << QStringLiteral("DOB day and month swapped");
            } else if (differing == 1) { score += 0.15; reasons << QStringLiteral("DOB one digit off"); }
        }
        if (!patient.policy.trimmed().isEmpty() && c.policies.contains(identifierKey(patient.policy))) {
            score += 0.3; reasons << QStringLiteral("policy");
        }
        if (!patient.mrn.trimmed().isEmpty() && identifierKey(p.mrn) == identifierKey(patient.mrn)) {
            score += 0.5; reasons << QStringLiteral("MRN");
        }
        score = qMin(score, 1.0);
        if (score >= 0.35)
            scored.append({&c, score, reasons, daysApart});
    }
    // Equal scores: the nearest birth date first, then the name.
    std::stable_sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) {
        if (a.score != b.score)
            return a.score > b.score;
        if (a.daysApart != b.daysApart)
            return a.daysApart < b.daysApart;
        return a.c->patient.account < b.c->patient.account;
    });
    constexpr int kShown = 20;
    const qsizetype leftOut = qMax<qsizetype>(0, scored.size() - kShown);
    if (leftOut > 0)
        scored.resize(kShown);

    // What was left out is said in the last heading: a line in the list would be a row that
    // OK or a double click return to the host as if it were a patient. (Nobody found gives no
    // rows and no window; the host tells the clerk.)
    const QString matchedOn = leftOut > 0 ? QStringLiteral("Matched on (%1 more not shown)").arg(leftOut)
                                          : QStringLiteral("Matched on");
    QStringList replies{QStringLiteral("|GH|0|") + fiveDigits(scored.size()) + QStringLiteral("|Key00\t")
                        + QStringList{lookupHeading(QStringLiteral("Acct#"), 8), lookupHeading(QStringLiteral("Patient Name"), 24),
                                      lookupHeading(QStringLiteral("DOB"), 10), lookupHeading(QStringLiteral("SSN"), 11),
                                      lookupHeading(QStringLiteral("Score"), 6), lookupHeading(matchedOn, 34)}
                              .join(QLatin1Char('\t'))
                        + QLatin1Char('\t')};
    for (const Scored& s : scored) {
        const PatientRow& p = s.c->patient;
        // Rows coloured by band: near certain, likely, possible.
        const QString band = s.score >= 0.9 ? QStringLiteral("I") : s.score >= 0.6 ? QStringLiteral("F") : QStringLiteral("A");
        const QString plain = QStringLiteral("000") + QStringLiteral("0") + band + QStringLiteral("B");
        const QString bold = QStringLiteral("001") + QStringLiteral("0") + band + QStringLiteral("B");
        replies.append(QStringLiteral("|GR|0|") + QString::number(p.account) + QLatin1Char('\t')
                       + QStringList{lookupCell(QString::number(p.account), plain + u'2'),
                                     lookupCell(p.last + QStringLiteral(", ") + p.first, bold + u'0'),
                                     lookupCell(formatDate(p.dob), plain + u'1'), lookupCell(lastFour(p.ssn), plain + u'1'),
                                     lookupCell(QString::number(s.score, 'f', 2), plain + u'2'),
                                     lookupCell(s.reasons.join(QStringLiteral(", ")), plain + u'0')}
                             .join(QLatin1Char('\t')));
    }
    replies.append(QStringLiteral("|EN|END|"));
    QList<qint64> shown;
    for (const Scored& s : std::as_const(scored))
        shown.append(s.c->patient.account);
    noteAccess(QStringLiteral("DUPLICATE"), shown);
    return replies;
}

QStringList PracticeHostLink::newPatient(const QString& data)
{
    const QStringList v = data.split(QLatin1Char('\t'));
    NewPatient n;
    n.last = v.value(0);
    n.first = v.value(1);
    n.middle = v.value(2);
    const std::optional<DateRange> dob = parseDateQuery(v.value(3));
    if (dob && dob->from == dob->to)
        n.dob = dob->from;
    n.sex = v.value(4);
    n.ssn = v.value(5);
    n.phone = v.value(6);
    n.street = v.value(7);
    n.city = v.value(8);
    n.state = v.value(9);
    n.zip = v.value(10);
    n.payor = v.value(11);
    n.policy = v.value(12);
    return {ok(QString::number(m_store->addPatient(n)))};
}

QStringList PracticeHostLink::codeLookup(const QString& table)
{
    const std::optional<QList<CodeRow>> rows = m_store->codeTable(table);
    if (!rows)
        return {QStringLiteral("|GH|0|00000|Key00\t") + lookupHeading(QStringLiteral("Code"), 8) + QLatin1Char('\t'),
                QStringLiteral("|EN|END|")};
    const bool grouped = std::any_of(rows->begin(), rows->end(), [](const CodeRow& r) { return !r.group.isEmpty(); });
    const bool extra = std::any_of(rows->begin(), rows->end(), [](const CodeRow& r) { return !r.extra.isEmpty(); });
    QStringList headings{lookupHeading(QStringLiteral("Code"), 6), lookupHeading(QStringLiteral("Description"), 28)};
    if (grouped)
        headings.append(lookupHeading(QStringLiteral("Group"), 12));
    if (extra)
        headings.append(lookupHeading(QStringLiteral("Plans"), 14));
    QStringList replies{QStringLiteral("|GH|0|") + fiveDigits(rows->size()) + QStringLiteral("|Key00\t")
                        + headings.join(QLatin1Char('\t')) + QLatin1Char('\t')};
    for (qsizetype i = 0; i < rows->size(); ++i) {
        const CodeRow& r = rows->at(i);
        QStringList cells{lookupCell(r.code, QStringLiteral("0010AB0")), lookupCell(r.description, QStringLiteral("0000AB0"))};
        if (grouped) {
            // A group's name once, merged down over its rows.
            qsizetype span = 1;
            const bool first = i == 0 || rows->at(i - 1).group != r.group;
            while (first && i + span < rows->size() && rows->at(i + span).group == r.group)
                ++span;
            // Row span, no column span, bold, static text, light grey, centred.
            cells.append(first ? lookupCell(r.group, QString::number(qMin<qsizetype>(span, 9)) + QStringLiteral("011KB1"))
                               : lookupCell(QString(), QStringLiteral("0000AB0")));
        }
        if (extra)
            cells.append(r.extra.isEmpty() ? lookupCell(QString(), QStringLiteral("0000AB0"))
                                           : lookupCell(r.extra, QStringLiteral("0008AE0")));
        replies.append(QStringLiteral("|GR|0|") + clean(r.code) + QLatin1Char('\t') + cells.join(QLatin1Char('\t')));
    }
    replies.append(QStringLiteral("|EN|END|"));
    return replies;
}

QStringList PracticeHostLink::fileTransfer(const QString& name, const QString& folder)
{
    const std::optional<QByteArray> content = m_store->file(folder, name);
    if (!content)
        return {ok(QStringLiteral("File ") + clean(name) + QStringLiteral(" was not found in ") + clean(folder) + QLatin1Char('.'))};
    const QString text = QString::fromUtf8(*content);
    QStringList replies{ok(QString::number(content->size()))};
    for (qsizetype at = 0; at < text.size(); at += kChunk)
        replies.append(ok(text.mid(at, kChunk)));
    if (replies.size() == 1)
        replies.append(ok(QString()));
    replies.last() += QStringLiteral("|END|");
    return replies;
}

QStringList PracticeHostLink::patientRecord(const QString& accountText)
{
    bool isNumber = false;
    const qint64 account = accountText.trimmed().section(QLatin1Char(','), 0, 0).toLongLong(&isNumber);
    const std::optional<PatientRecordData> record = isNumber ? m_store->record(account) : std::nullopt;
    if (record)
        noteAccess(QStringLiteral("RECORD"), {account});

    QString xml;
    QXmlStreamWriter w(&xml);
    w.writeStartElement(QStringLiteral("PatientRecord"));
    w.writeAttribute(QStringLiteral("generated"), QDateTime::currentDateTime().toString(QStringLiteral("MM/dd/yyyy hh:mm")));
    w.writeStartElement(QStringLiteral("Practice"));
    w.writeTextElement(QStringLiteral("Name"), m_store->setting(QStringLiteral("PRACTICENAME")).value_or(QStringLiteral("The practice")));
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("Patient"));
    w.writeTextElement(QStringLiteral("Account"), record ? QString::number(record->patient.account) : accountText);
    if (!record) {
        w.writeTextElement(QStringLiteral("Status"), QStringLiteral("No such account"));
        w.writeEndElement();
    } else {
        const PatientRow& p = record->patient;
        w.writeStartElement(QStringLiteral("Name"));
        w.writeTextElement(QStringLiteral("Last"), p.last);
        w.writeTextElement(QStringLiteral("First"), p.first);
        w.writeTextElement(QStringLiteral("Middle"), p.middle);
        w.writeEndElement();
        w.writeTextElement(QStringLiteral("DOB"), formatDate(p.dob));
        w.writeTextElement(QStringLiteral("Sex"), p.sex);
        w.writeTextElement(QStringLiteral("SSN"), p.ssn);
        w.writeTextElement(QStringLiteral("MRN"), p.mrn);
        w.writeTextElement(QStringLiteral("Status"), p.active ? QStringLiteral("Active") : QStringLiteral("Inactive"));
        w.writeStartElement(QStringLiteral("Address"));
        w.writeTextElement(QStringLiteral("Street"), record->street);
        w.writeTextElement(QStringLiteral("City"), record->city);
        w.writeTextElement(QStringLiteral("State"), record->state);
        w.writeTextElement(QStringLiteral("Zip"), record->zip);
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("Phones"));
        w.writeStartElement(QStringLiteral("Phone"));
        w.writeAttribute(QStringLiteral("type"), QStringLiteral("Home"));
        w.writeCharacters(formatPhone(p.phone));
        w.writeEndElement();
        if (!record->mobile.isEmpty()) {
            w.writeStartElement(QStringLiteral("Phone"));
            w.writeAttribute(QStringLiteral("type"), QStringLiteral("Mobile"));
            w.writeCharacters(formatPhone(record->mobile));
            w.writeEndElement();
        }
        w.writeEndElement();
        w.writeEndElement();   // Patient

        const PatientRow& g = record->guarantorRow;
        w.writeStartElement(QStringLiteral("Guarantor"));
        w.writeTextElement(QStringLiteral("Account"), QString::number(g.account));
        w.writeTextElement(QStringLiteral("Name"), g.last + QStringLiteral(", ") + g.first);
        w.writeTextElement(QStringLiteral("Relation"), record->guarantorRelation);
        w.writeTextElement(QStringLiteral("Address"), record->street + QStringLiteral(", ") + record->city
                                                          + QStringLiteral(", ") + record->state + QLatin1Char(' ') + record->zip);
        w.writeTextElement(QStringLiteral("Phone"), formatPhone(g.phone));
        w.writeEndElement();

        w.writeStartElement(QStringLiteral("Insurance"));
        for (const RecordPolicy& policy : record->policies) {
            w.writeStartElement(QStringLiteral("Policy"));
            w.writeAttribute(QStringLiteral("rank"), QString::number(policy.rank));
            w.writeTextElement(QStringLiteral("Payor"), policy.payor);
            w.writeTextElement(QStringLiteral("PolicyNumber"), policy.number);
            w.writeTextElement(QStringLiteral("Group"), policy.group);
            w.writeTextElement(QStringLiteral("Subscriber"), policy.subscriber);
            w.writeTextElement(QStringLiteral("Relation"), policy.relation);
            w.writeTextElement(QStringLiteral("Effective"), formatDate(policy.effective));
            w.writeEndElement();
        }
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("Visits"));
        for (const RecordVisit& v : record->visits) {
            w.writeStartElement(QStringLiteral("Visit"));
            w.writeTextElement(QStringLiteral("Date"), formatDate(v.date));
            w.writeTextElement(QStringLiteral("Provider"), v.provider);
            w.writeTextElement(QStringLiteral("Reason"), v.reason);
            w.writeTextElement(QStringLiteral("Charges"), QString::number(v.charges, 'f', 2));
            w.writeTextElement(QStringLiteral("Payments"), QString::number(v.payments, 'f', 2));
            w.writeEndElement();
        }
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("Balance"));
        w.writeTextElement(QStringLiteral("Total"), QString::number(record->balance, 'f', 2));
        w.writeTextElement(QStringLiteral("Insurance"), QString::number(record->insuranceBalance, 'f', 2));
        w.writeTextElement(QStringLiteral("Patient"), QString::number(record->balance - record->insuranceBalance, 'f', 2));
        w.writeEndElement();
    }
    w.writeEndElement();

    QStringList replies;
    for (qsizetype at = 0; at < xml.size(); at += kChunk)
        replies.append(ok(xml.mid(at, kChunk)));
    replies.append(QStringLiteral("|END|"));
    return replies;
}

QString PracticeHostLink::systemSetting(const QString& name)
{
    const std::optional<QString> value = m_store->setting(name);
    return value ? ok(name + QLatin1Char('=') + clean(*value) + QLatin1Char(',')) : ok(QString());
}

} // namespace zelvar::practice
