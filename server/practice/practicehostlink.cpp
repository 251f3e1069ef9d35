#include "practicehostlink.h"

#include "duplicatescoring.h"
#include "names.h"
#include "recordxml.h"
#include "textshape.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace zelvar::practice {
namespace {

constexpr qsizetype kLongestQuestion = 4096;
constexpr qsizetype kLongestSearchText = 200;
// Past this many rows a first page's total reads "1000+": counting further would cost more
// than the page.
constexpr int kCountedRows = 1000;

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
        return errorReply(QStringLiteral("The account chosen is not an account number."));
    m_store->rememberChoice(m_user, account);
    return {okLine(QString::number(account))};
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
            return errorReply(QStringLiteral("The server does not understand this request."));
        // No question the desks ask is this long: refused before it costs anything.
        if (request.size() > kLongestQuestion)
            return errorReply(QStringLiteral("The request is longer than any the server answers (%1 characters at most).")
                             .arg(kLongestQuestion));
        const QString kind = fields[2];
        if (kind == QLatin1String("KEY"))
            return patientSearch(fields);
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
        return errorReply(QStringLiteral("The server has no request of kind ") + clean(kind) + QLatin1Char('.'));
    } catch (const std::invalid_argument& e) {
        return errorReply(QString::fromUtf8(e.what()) + QLatin1Char('.'));
    } catch (const std::exception& e) {
        return errorReply(QStringLiteral("The server could not answer: ") + QString::fromUtf8(e.what()));
    }
}

QStringList PracticeHostLink::patientSearch(const QStringList& fields)
{
    // |GET|KEY|text|caption|position   (caption + "WRK" in workflow mode)
    if (fields.size() < 6)
        return errorReply(QStringLiteral("A search needs its text and its key."));
    QString caption = fields[4];
    if (caption.endsWith(QLatin1String("WRK")))
        caption.chop(3);
    const auto key = std::find_if(std::begin(kCaptions), std::end(kCaptions), [&](const KeyCaption& k) {
        return caption.compare(QLatin1String(k.caption), Qt::CaseInsensitive) == 0;
    });
    if (key == std::end(kCaptions))
        return errorReply(QStringLiteral("The server cannot search by ") + clean(caption) + QLatin1Char('.'));

    SearchQuery query{key->key, fields[3], fields.mid(5).join(QLatin1Char('|')), kPageSize, m_user};
    QList<SearchEntry> entries;
    QString next;
    QString total;          // the rows the whole list holds, when a first page has more after it
    try {
        // Longer than any name, number or date it could match; a name search's work grows
        // with the square of its text.
        if (query.text.size() > kLongestSearchText)
            throw std::invalid_argument(QStringLiteral("Type at most %1 characters to search for").arg(kLongestSearchText).toStdString());
        next = listSearch(query, entries, total);
    } catch (const std::invalid_argument& e) {
        // A text the key cannot take: one line that says what to type, in the grid, where the
        // clerk is looking (the dialog puts the focus back in the search box for it).
        entries = {{QString::fromUtf8(e.what()) + QLatin1Char('.'), {}, key->key}};
        next.clear();
    }
    if (entries.isEmpty())
        entries.append({QStringLiteral("No patients found"), {}, key->key});
    QList<qint64> listed;
    for (const SearchEntry& e : std::as_const(entries)) {
        if (e.notice.isEmpty())
            listed.append(e.row.account);
    }
    if (!listed.isEmpty())
        noteAccess(QStringLiteral("SEARCH"), listed);
    return searchReply(entries, key->column, fields[3], total, next);
}

// The search asked, and where the text has the shape of another key's value, that search too
// under a line that says so: the entries of one page, and the position of the next.
QString PracticeHostLink::listSearch(const SearchQuery& query, QList<SearchEntry>& entries, QString& total)
{
    const auto add = [&](const SearchPage& page, SearchKey by) {
        if (!page.notice.isEmpty())
            entries.append({page.notice, {}, by});
        for (const PatientRow& r : page.rows)
            entries.append({QString(), r, by});
    };
    const std::optional<ShapedSearch> shaped = shapedSearch(query.key, query.text);
    const bool laterShapedPage = shaped && query.after.startsWith(kShapedMark);
    QString next;
    if (!laterShapedPage) {
        // An account typed in the box is still looked for as one (a number can be both).
        SearchPage asked;
        if (!shaped || query.key == SearchKey::Account) {
            try {
                asked = m_store->search(query);
            } catch (const std::invalid_argument&) {
                if (!shaped)
                    throw;
            }
        }
        if (shaped && !asked.rows.isEmpty())
            entries.append({QStringLiteral("Account ") + query.text.trimmed() + QLatin1Char(':'), {}, query.key});
        if (!shaped || !asked.rows.isEmpty())
            add(asked, query.key);
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
    return next;
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
    const PatientData patient{values.value(0), values.value(1), values.value(2), values.value(3), values.value(4), values.value(5)};
    const QList<Candidate> candidates = m_store->duplicateCandidates(patient, 500);
    QList<ScoredCandidate> scored = scoreDuplicates(patient, candidates);
    constexpr int kShown = 20;
    const qsizetype leftOut = qMax<qsizetype>(0, scored.size() - kShown);
    if (leftOut > 0)
        scored.resize(kShown);
    QList<qint64> shown;
    for (const ScoredCandidate& s : std::as_const(scored))
        shown.append(s.candidate->patient.account);
    noteAccess(QStringLiteral("DUPLICATE"), shown);
    return duplicateReply(scored, leftOut);
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
    return {okLine(QString::number(m_store->addPatient(n)))};
}

QStringList PracticeHostLink::codeLookup(const QString& table)
{
    return codeTableReply(m_store->codeTable(table));
}

QStringList PracticeHostLink::fileTransfer(const QString& name, const QString& folder)
{
    return fileReply(m_store->file(folder, name), name, folder);
}

QStringList PracticeHostLink::patientRecord(const QString& accountText)
{
    bool isNumber = false;
    const qint64 account = accountText.trimmed().section(QLatin1Char(','), 0, 0).toLongLong(&isNumber);
    const std::optional<PatientRecordData> record = isNumber ? m_store->record(account) : std::nullopt;
    if (record)
        noteAccess(QStringLiteral("RECORD"), {account});
    const QString practice = m_store->setting(QStringLiteral("PRACTICENAME")).value_or(QStringLiteral("The practice"));
    return chunkedReply(recordXml(record, accountText, practice));
}

QString PracticeHostLink::systemSetting(const QString& name)
{
    const std::optional<QString> value = m_store->setting(name);
    return value ? okLine(name + QLatin1Char('=') + clean(*value) + QLatin1Char(',')) : okLine(QString());
}

} // namespace zelvar::practice
