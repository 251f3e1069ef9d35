#include "sqlstore.h"

#include "names.h"
#include "servicetables.h"

#include <QDateTime>
#include <QFile>
#include <QSet>

#include <stdexcept>

namespace zelvar::practice {
namespace {

// The eleven columns every statement that lists patients begins with (statements/*.sql).
PatientRow readPatient(const Statement& s, int from = 0)
{
    PatientRow row;
    row.account = s.integer(from);
    row.last = s.text(from + 1);
    row.first = s.text(from + 2);
    row.middle = s.text(from + 3);
    row.dob = QDate::fromString(s.text(from + 4), Qt::ISODate);
    row.sex = s.text(from + 5);
    row.ssn = s.text(from + 6);
    row.mrn = s.text(from + 7);
    row.phone = s.text(from + 8);
    row.active = s.integer(from + 9) != 0;
    row.guarantor = s.text(from + 10);
    return row;
}

// Positions are the ordering values of a page's last row, each hex-coded, after an "N".
QString encodePosition(const QStringList& parts)
{
    QStringList coded;
    for (const QString& part : parts)
        coded.append(QString::fromLatin1(part.toUtf8().toHex()));
    return QStringLiteral("N") + coded.join(QLatin1Char('.'));
}

QStringList decodePosition(const QString& position, int parts)
{
    if (!position.startsWith(QLatin1Char('N')))
        throw std::invalid_argument("the continuation key is not one this server gave");
    const QStringList coded = position.mid(1).split(QLatin1Char('.'));
    if (coded.size() != parts)
        throw std::invalid_argument("the continuation key is not one this server gave");
    QStringList out;
    for (const QString& part : coded) {
        const QByteArray hex = part.toLatin1();
        for (char c : hex) {
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                throw std::invalid_argument("the continuation key is not one this server gave");
        }
        out.append(QString::fromUtf8(QByteArray::fromHex(hex)));
    }
    return out;
}

// The end of a prefix range: every text that starts with the prefix sorts below it.
QString prefixEnd(const QString& prefix)
{
    return prefix + QChar(0xFFFF);
}

QString likePrefix(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('%'), QLatin1String("\\%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("\\_"));
    return escaped + QLatin1Char('%');
}

// Fetches one row more than the page to know whether another page follows.
template<typename PositionOf>
SearchPage collect(Statement& s, int pageSize, PositionOf positionOf)
{
    SearchPage page;
    QStringList lastPosition;
    while (s.step()) {
        if (page.rows.size() == pageSize) {
            page.next = encodePosition(lastPosition);
            break;
        }
        page.rows.append(readPatient(s));
        lastPosition = positionOf(s, page.rows.last());
    }
    return page;
}

} // namespace

PatientKeys patientKeys(const QString& last, const QString& first, const QString& ssn, const QString& mrn)
{
    PatientKeys keys;
    keys.lastkey = foldName(last);
    keys.firstkey = foldName(first);
    keys.firstformal = formalName(first);
    keys.lastsound = phoneticKey(last);
    const QString digits = digitsOf(ssn);
    keys.ssn4 = digits.size() >= 4 ? digits.right(4) : QString();
    keys.mrnkey = identifierKey(mrn);
    keys.alternates = alternateNameKeys(last);
    return keys;
}

qint64 visitOrder(const QDate& lastVisit)
{
    // Past any day a visit can have (the year 9999 is day 5,373,484).
    constexpr qint64 kNeverSeen = 9'999'999;
    return lastVisit.isValid() ? kNeverSeen - lastVisit.toJulianDay() : kNeverSeen;
}

void writeAlternateKeys(RowWriter& rows, const PatientKeys& keys, qint64 account)
{
    for (const QString& key : keys.alternates)
        rows.write(Table::NameKeys, {key, keys.firstkey, QString::number(account)});
}

void writePhone(RowWriter& rows, const QString& digits, qint64 account)
{
    if (digits.isEmpty())
        return;
    rows.write(Table::Phones, {digits, QString::number(account), digits.right(7), digits.right(4)});
}

SqlStore::SqlStore(std::unique_ptr<Database> db)
    : m_db(std::move(db))
{
}

SqlStore::~SqlStore() = default;

std::unique_ptr<ServiceStore> SqlStore::serviceStore()
{
    return std::make_unique<ServiceTables>(*m_db);
}

QStringList SqlStore::practiceTables()
{
    return {QStringLiteral("patients"), QStringLiteral("namekeys"), QStringLiteral("phones"), QStringLiteral("policies"),
            QStringLiteral("transactions"), QStringLiteral("claims"), QStringLiteral("encounters"),
            QStringLiteral("accessions"), QStringLiteral("codes"), QStringLiteral("settings"), QStringLiteral("files"),
            QStringLiteral("recent")};
}

bool SqlStore::isEmpty()
{
    Statement s = Statement::named(*m_db, u"is_empty");
    return s.step() && s.integer(0) != 0;
}

qint64 SqlStore::patientCount()
{
    Statement s = Statement::named(*m_db, u"patient_count");
    return s.step() ? s.integer(0) : 0;
}

SearchPage SqlStore::search(const SearchQuery& q)
{
    switch (q.key) {
    case SearchKey::PatientName: return searchName(q);
    case SearchKey::Guarantor: return searchGuarantor(q);
    case SearchKey::DateOfBirth: return searchDateOfBirth(q);
    case SearchKey::SocialSecurity:
    case SearchKey::MedicalRecord: return searchIdentifier(q);
    case SearchKey::Phone:
    case SearchKey::Policy:
    case SearchKey::Accession: return searchNumbered(q);
    case SearchKey::Account:
    case SearchKey::Transaction:
    case SearchKey::Claim:
    case SearchKey::Encounter: return searchRecordNumber(q);
    }
    return {};
}

// A name; no name: the user's recently chosen accounts, newest first.
SearchPage SqlStore::searchName(const SearchQuery& q)
{
    if (!q.text.trimmed().isEmpty())
        return nameSearch(q);
    Statement s = Statement::named(*m_db, u"search_recent");
    s.bind("user", q.user).bind("limit", qint64(q.pageSize));
    SearchPage page;
    while (s.step())
        page.rows.append(readPatient(s));
    if (!page.rows.isEmpty())
        page.notice = QStringLiteral("Recently chosen patients");
    return page;
}

// The patients whose bills go to a guarantor of the name.
SearchPage SqlStore::searchGuarantor(const SearchQuery& q)
{
    const NameQuery name = parseNameQuery(q.text);
    if (name.last.isEmpty())
        throw std::invalid_argument("Type the guarantor's last name, or last name, first name");
    const QStringList after = q.after.isEmpty()
        ? QStringList{name.last, name.first, QStringLiteral("-1"), QStringLiteral("-1"), QStringLiteral("-1")}
        : decodePosition(q.after, 5);
    Statement s = Statement::named(*m_db, u"search_guarantor");
    s.bind("last", name.last).bind("last_end", prefixEnd(name.last));
    s.bind("first", name.first).bind("first_end", prefixEnd(name.first));
    s.bind("after_last", after[0]).bind("after_first", after[1]).bind("after_visit", after[2].toLongLong());
    s.bind("after_guarantor", after[3].toLongLong()).bind("after_id", after[4].toLongLong());
    s.bind("limit", qint64(q.pageSize + 1));
    return collect(s, q.pageSize, [](const Statement& st, const PatientRow& r) {
        return QStringList{st.text(11), st.text(12), QString::number(st.integer(13)), QString::number(st.integer(14)),
                           QString::number(r.account)};
    });
}

// Patients born on a day, or in a range of days.
SearchPage SqlStore::searchDateOfBirth(const SearchQuery& q)
{
    const std::optional<DateRange> range = parseDateQuery(q.text);
    if (!range)
        throw std::invalid_argument("Type the date of birth as MM/DD/YYYY");
    const QString from = range->from.toString(Qt::ISODate);
    const QStringList after = q.after.isEmpty() ? QStringList{from, QStringLiteral("-1"), QStringLiteral("-1")}
                                                : decodePosition(q.after, 3);
    Statement s = Statement::named(*m_db, u"search_date_of_birth");
    s.bind("from", from).bind("to", range->to.toString(Qt::ISODate));
    s.bind("after_key", after[0]).bind("after_visit", after[1].toLongLong()).bind("after_id", after[2].toLongLong());
    s.bind("limit", qint64(q.pageSize + 1));
    return collect(s, q.pageSize, [](const Statement& st, const PatientRow& r) {
        return QStringList{st.text(11), QString::number(st.integer(12)), QString::number(r.account)};
    });
}

// An SSN (whole, or its last four) or a medical record number.
SearchPage SqlStore::searchIdentifier(const SearchQuery& q)
{
    // An SSN is whole (nine digits) or its last four, matched exactly; a medical record
    // number by its beginning, without regard to case, blanks and dashes.
    const bool ssn = q.key == SearchKey::SocialSecurity;
    const QString value = ssn ? digitsOf(q.text) : identifierKey(q.text);
    if (ssn && value.size() != 4 && value.size() != 9)
        throw std::invalid_argument("Type the last four digits of the social security number, or all nine");
    if (value.isEmpty())
        throw std::invalid_argument("Type the medical record number");
    const QStringList after = q.after.isEmpty() ? QStringList{value, QStringLiteral("-1"), QStringLiteral("-1")}
                                                : decodePosition(q.after, 3);
    Statement s = Statement::named(*m_db, !ssn ? u"search_medical_record" : value.size() == 4 ? u"search_ssn4" : u"search_ssn");
    s.bind("key", value).bind("key_end", ssn ? value + QChar(0x1) : prefixEnd(value));   // exact, or every key that begins so
    s.bind("after_key", after[0]).bind("after_visit", after[1].toLongLong()).bind("after_id", after[2].toLongLong());
    s.bind("limit", qint64(q.pageSize + 1));
    return collect(s, q.pageSize, [](const Statement& st, const PatientRow& r) {
        return QStringList{st.text(11), QString::number(st.integer(12)), QString::number(r.account)};
    });
}

// A phone, policy or accession number, each kept in a table of its own.
SearchPage SqlStore::searchNumbered(const SearchQuery& q)
{
    // A phone number whole, or its last seven or four digits, matched exactly; policy and
    // accession numbers by their beginning, without regard to case, blanks and dashes.
    const bool phone = q.key == SearchKey::Phone;
    const bool policy = q.key == SearchKey::Policy;
    QString value = phone ? digitsOf(q.text) : identifierKey(q.text);
    if (phone && value.size() == 11 && value.startsWith(QLatin1Char('1')))
        value.remove(0, 1);
    if (phone && value.size() != 10 && value.size() != 7 && value.size() != 4)
        throw std::invalid_argument("Type the whole phone number, its last seven digits or its last four");
    if (value.isEmpty())
        throw std::invalid_argument(policy ? "Type the policy number" : "Type the accession number");
    // A phone's rows go on after the visit order of the last; a number's, after the number.
    const QStringList after = q.after.isEmpty() ? QStringList{phone ? QStringLiteral("-1") : value, QStringLiteral("-1")}
                                                : decodePosition(q.after, 2);
    const QStringView name = !phone ? (policy ? u"search_policy" : u"search_accession")
        : value.size() == 10 ? u"search_phone" : value.size() == 7 ? u"search_phone_last7" : u"search_phone_last4";
    Statement s = Statement::named(*m_db, name);
    s.bind("number", value).bind("after_id", after[1].toLongLong()).bind("limit", qint64(q.pageSize + 1));
    if (phone)
        s.bind("after_visit", after[0].toLongLong());
    else
        s.bind("after_number", after[0]).bind("number_end", prefixEnd(value));
    return collect(s, q.pageSize, [phone](const Statement& st, const PatientRow& r) {
        return QStringList{phone ? QString::number(st.integer(12)) : st.text(11), QString::number(r.account)};
    });
}

// An account, or the account a transaction, claim or encounter is for.
SearchPage SqlStore::searchRecordNumber(const SearchQuery& q)
{
    // Numbers find one record; "123/4" is account 123.
    const QString digits = q.text.trimmed().section(QLatin1Char('/'), 0, 0);
    bool ok = false;
    const qint64 number = digits.toLongLong(&ok);
    if (!ok)
        throw std::invalid_argument("the search needs a number");
    const QStringView name = q.key == SearchKey::Transaction ? u"search_transaction"
        : q.key == SearchKey::Claim                          ? u"search_claim"
        : q.key == SearchKey::Encounter                      ? u"search_encounter"
                                                             : u"search_account";
    Statement s = Statement::named(*m_db, name);
    s.bind("number", number);
    SearchPage page;
    if (s.step()) {
        page.rows.append(readPatient(s));
        if (q.key != SearchKey::Account)
            page.rows.last().matched = QString::number(number);
    }
    return page;
}

// One way through the patients that a name search takes; a search is a list of them, taken
// in turn, and its position says which one it is in and where.
// One way of finding a name, in the order the rows it finds are listed: by surname (as typed,
// one of the other parts of a stored surname, the surname itself with another first name,
// one that sounds alike, one a letter off), and within that by first name (as typed, a formal
// name the one typed is a nickname of, a nickname of the same formal name, one a letter off).
struct NamePass
{
    enum Kind { Prefix, Alternate, SameSurname, SoundAlike, OneEdit, Close } kind = Prefix;
    NameQuery name;
    QString sound;
    QStringList formals;        // the first name's formal names
    QStringList editKeys;       // surnames one letter away that exist (typo pass)
    bool editKeysFound = false; // looked up when the pass is reached: most pages fill before
    bool exact = false;         // the surname typed is one (with a first name as typed)
    enum First { Typed, Formal, Nickname, FirstEdit } first = Typed;
    QString surname;            // the surname of a Close pass (its sound is `sound`)
};

namespace {

QString jsonList(const QStringList& values)
{
    QStringList quoted;
    for (const QString& v : values)
        quoted.append(QLatin1Char('"') + v + QLatin1Char('"'));   // folded keys: letters and digits only
    return QLatin1Char('[') + quoted.join(QLatin1Char(',')) + QLatin1Char(']');
}

// Where a pass starts: the name typed for the passes that go by it, the first row otherwise.
QStringList passStart(const NamePass& pass)
{
    const bool byName = pass.kind == NamePass::Prefix || pass.kind == NamePass::Alternate;
    return {byName ? pass.name.last : QString(), byName ? pass.name.first : QString(), QStringLiteral("-1"), QStringLiteral("-1")};
}

// Where a name search's page starts: the pass and the position in it.
std::pair<int, QStringList> passPosition(const QString& after, int passes)
{
    const QStringList decoded = decodePosition(after, 5);
    bool ok = false;
    const int passIndex = decoded[0].toInt(&ok);
    if (!ok || passIndex < 0 || passIndex >= passes)
        throw std::invalid_argument("the continuation key is not one this server gave");
    if (decoded[1].isEmpty() && decoded[4].isEmpty())
        return {passIndex, {}};
    return {passIndex, decoded.mid(1)};
}

} // namespace

// A name search whose surname is one, with more than a page of patients, lists its passes by
// name and their other surnames, and nothing similar: each is a range of an index, counted
// without reading a patient's row (the other surnames' only to leave out who the first pass
// listed). Fewer are followed by similar names, and a text that starts similar names, a middle
// name to match, or a first name under a short surname, is not counted.
std::optional<int> SqlStore::countMatches(const SearchQuery& q, int limit)
{
    const std::optional<int> exact = countExactMatches(q, limit);
    if (!exact || *exact <= q.pageSize)
        return std::nullopt;
    return exact;
}

std::optional<int> SqlStore::countExactMatches(const SearchQuery& q, int limit, Middle middle)
{
    if (q.key != SearchKey::PatientName || q.text.trimmed().isEmpty())
        return std::nullopt;
    QList<NameQuery> readings = nameReadings(q.text);
    readings.removeIf([](const NameQuery& r) { return r.last.isEmpty(); });
    QList<bool> exact;
    for (const NameQuery& r : std::as_const(readings)) {
        if ((!r.middle.isEmpty() && middle == Middle::Counted) || (!r.first.isEmpty() && r.last.size() < 3))
            return std::nullopt;
        exact.append(hasExactName(r));
    }
    if (!exact.contains(true))
        return std::nullopt;
    int counted = 0;
    for (qsizetype i = 0; i < readings.size(); ++i) {
        const NameQuery& r = readings[i];
        // The surname's patients under the first name's formal names and their nicknames.
        const QStringList formals = formalNames(r.first);
        if (exact[i] && r.first.size() >= 3) {
            Statement byNickname = Statement::named(*m_db, u"count_by_nickname");
            byNickname.bind("sound", phoneticKey(r.last)).bind("last", r.last).bind("formals", jsonList(formals));
            byNickname.bind("first", r.first).bind("first_end", prefixEnd(r.first)).bind("limit", qint64(limit + 1 - counted));
            counted += byNickname.step() ? int(byNickname.integer(0)) : 0;
        }
        for (const QStringView count : {u"count_by_name", u"count_by_other_surname"}) {
            Statement s = Statement::named(*m_db, count);
            s.bind("last", r.last).bind("last_end", prefixEnd(r.last)).bind("first", r.first).bind("first_end", prefixEnd(r.first));
            s.bind("limit", qint64(limit + 1 - counted));
            counted += s.step() ? int(s.integer(0)) : 0;
            if (counted > limit)
                return counted;
        }
    }
    return counted;
}

bool SqlStore::hasExactName(const NameQuery& name)
{
    // The surname as typed exists (whole, not only as the beginning of a longer one) with a
    // first name that begins as typed.
    Statement s = Statement::named(*m_db, u"has_exact_name");
    s.bind("last", name.last).bind("first", name.first).bind("first_end", prefixEnd(name.first));
    s.bind("middle_like", likePrefix(name.middle));
    return s.step() && s.integer(0) != 0;
}

QList<SqlStore::CloseSurname> SqlStore::closeSurnames(const QString& last)
{
    QList<CloseSurname> out;
    QSet<QString> seen{last};
    const auto take = [&](const QString& key, bool soundsAlike) {
        if (!seen.contains(key)) {
            seen.insert(key);
            out.append({key, editDistance(last, key), soundsAlike});
        }
    };
    // The surnames that sound as the one typed, from one to the next in the index (a few
    // hundred at most: the rows of a common one are not read).
    const QString sound = phoneticKey(last);
    Statement sounds = Statement::named(*m_db, u"surnames_of_sound");
    sounds.bind("sound", sound);
    while (sounds.step())
        take(sounds.text(0), true);
    if (last.size() >= 3) {
        for (const QString& key : existingSurnames(oneEditVariants(last)))
            take(key, phoneticKey(key) == sound);
    }
    // The closest first; of two as close, the one that sounds the same.
    std::sort(out.begin(), out.end(), [](const CloseSurname& a, const CloseSurname& b) {
        return std::tie(a.distance, b.soundsAlike, a.key) < std::tie(b.distance, a.soundsAlike, b.key);
    });
    return out;
}

QStringList SqlStore::existingSurnames(const QStringList& keys)
{
    Statement s = Statement::named(*m_db, u"existing_surnames");
    s.bind("keys", jsonList(keys));
    QStringList out;
    while (s.step())
        out.append(s.text(0));
    return out;
}

namespace {

// A pass of a reading, unless it would find nothing the others do not.
void addPass(QList<NamePass>& passes, NamePass::Kind kind, const NameQuery& r, NamePass::First first, bool exactName = false)
{
    // The formal names hold the one typed when it is one (WILLIAM: BILL and WILL are found
    // as its nicknames).
    NamePass pass{kind, r, phoneticKey(r.last), formalNames(r.first), {}, false, exactName, first, {}};
    // A first name of one or two letters is an initial, not a name to find nicknames of.
    if (first != NamePass::Typed && r.first.size() < 3)
        return;
    if (first == NamePass::Formal && pass.formals == QStringList{r.first})
        return;
    passes.append(pass);
}

} // namespace

// Similar names, closest first: the surname as typed with the first name's formal names;
// surnames a letter off or sounding alike with the first name as typed; the surname with a
// first name a letter off; the farther sound-alikes; then the others with the first name's
// formal names and nicknames.
void SqlStore::addSimilarPasses(QList<NamePass>& passes, const QList<NameQuery>& readings)
{
    for (const NameQuery& r : std::as_const(readings)) {
        addPass(passes, NamePass::SameSurname, r, NamePass::Formal);
        // The surnames that sound alike or are a letter off, each a pass of its own, the
        // closest first (WHYTE: WHITE before WAITE and WOOD). One letter is the beginning
        // of every surname, and sounds like a few.
        const QList<CloseSurname> close = r.last.size() >= 2 ? closeSurnames(r.last) : QList<CloseSurname>();
        const auto addClose = [&](bool oneLetterOff) {
            for (const CloseSurname& c : close) {
                if ((c.distance <= 1) == oneLetterOff)
                    passes.append({NamePass::Close, r, phoneticKey(c.key), {}, {}, false, false, NamePass::Typed, c.key});
            }
        };
        addClose(true);
        addPass(passes, NamePass::SameSurname, r, NamePass::FirstEdit);
        addClose(false);
    }
    for (const NameQuery& r : std::as_const(readings)) {
        addPass(passes, NamePass::SameSurname, r, NamePass::Nickname);
        if (r.last.size() >= 2) {
            addPass(passes, NamePass::SoundAlike, r, NamePass::Formal);
            addPass(passes, NamePass::SoundAlike, r, NamePass::Nickname);
        }
        if (r.last.size() >= 3) {
            addPass(passes, NamePass::OneEdit, r, NamePass::Formal);
            addPass(passes, NamePass::OneEdit, r, NamePass::Nickname);
        }
    }
}

// The passes of a name search, in the order their rows are listed: the readings that match a
// name exactly, by name and their other surnames, and the surname with the first name's formal
// names and nicknames; then, unless the exact ones are more than a page, the similar names.
QList<NamePass> SqlStore::namePasses(const SearchQuery& q, const QList<NameQuery>& readings, const QList<NameQuery>& exact,
                                     const QList<NameQuery>& inexact)
{
    QList<NamePass> passes;
    for (const QList<NameQuery>* group : {&exact, &inexact}) {
        for (const NameQuery& r : *group) {
            addPass(passes, NamePass::Prefix, r, NamePass::Typed, group == &exact);
            addPass(passes, NamePass::Alternate, r, NamePass::Typed);
        }
    }
    // The surname as typed with the first name's formal names, then the other nicknames of
    // those (JON: JOHN and JONATHAN, then JACK and JOHNNY).
    for (const NameQuery& r : std::as_const(exact)) {
        addPass(passes, NamePass::SameSurname, r, NamePass::Formal);
        addPass(passes, NamePass::SameSurname, r, NamePass::Nickname);
    }
    // Similar names follow the exact ones, unless these are more than a page (an exact SIMTH
    // is followed by the SMITHs; 900 SMITHs by nobody else).
    bool similar = exact.isEmpty();
    if (!similar) {
        // With a middle initial the rows are some of the name's without it: few of those, few
        // of these (MARSHALL, JAME L is followed by MARSHALL, JAM L).
        const std::optional<int> exactRows = countExactMatches(q, q.pageSize, Middle::Ignored);
        similar = exactRows && *exactRows <= q.pageSize;
    }
    if (similar)
        addSimilarPasses(passes, readings);
    return passes;
}

// The keys a letter away that a pass goes by, looked up when it is reached: most pages fill
// before.
void SqlStore::findEditKeys(NamePass& pass)
{
    if (pass.editKeysFound)
        return;
    if (pass.first == NamePass::FirstEdit) {
        pass.editKeys = oneEditVariants(pass.name.first);
        pass.editKeysFound = true;
    } else if (pass.kind == NamePass::OneEdit) {
        // A surname that sounds as the one typed had its rows in the sound-alike pass, which
        // this one leaves out; looking it up here read each of its rows only to find that
        // ("KIN AD" read 14,000 rows of KAN, KEN and KINN for eleven of KIM and KING).
        QStringList variants = oneEditVariants(pass.name.last);
        variants.removeIf([&](const QString& key) { return phoneticKey(key) == pass.sound; });
        pass.editKeys = existingSurnames(variants);
        pass.editKeysFound = true;
    }
}

SearchPage SqlStore::nameSearch(const SearchQuery& q)
{
    QList<NameQuery> readings = nameReadings(q.text);
    readings.removeIf([](const NameQuery& r) { return r.last.isEmpty(); });
    if (readings.isEmpty())
        throw std::invalid_argument("Type the patient's last name, or last name, first name");
    // Readings that match a name exactly come first; with none, similar names are offered too.
    QList<NameQuery> exact;
    QList<NameQuery> inexact;
    for (const NameQuery& r : std::as_const(readings))
        (hasExactName(r) ? exact : inexact).append(r);
    QList<NamePass> passes = namePasses(q, readings, exact, inexact);
    // The position: the pass, then where in it the last row was (nothing: its start).
    int passIndex = 0;
    QStringList position;
    if (!q.after.isEmpty())
        std::tie(passIndex, position) = passPosition(q.after, int(passes.size()));

    SearchPage page;
    QSet<qint64> listed;
    while (passIndex < passes.size() && page.next.isEmpty()) {
        NamePass& pass = passes[passIndex];
        findEditKeys(pass);
        if (position.isEmpty())
            position = passStart(pass);
        const int wanted = q.pageSize + 1 - int(page.rows.size());
        const int stepped = runNamePass(pass, position, wanted, [&](const PatientRow& row, const QStringList& at) {
            if (page.rows.size() == q.pageSize) {
                // One row more than the page: the next page starts after the last one listed.
                page.next = encodePosition(QStringList{QString::number(passIndex)} + position);
                return false;
            }
            position = at;
            if (!listed.contains(row.account)) {
                listed.insert(row.account);
                page.rows.append(row);
            }
            return true;
        });
        if (page.next.isEmpty() && stepped < wanted) {
            ++passIndex;        // this pass is done
            position.clear();
        }
    }
    if (exact.isEmpty() && q.after.isEmpty()) {
        const NameQuery& r = readings.first();
        // Short enough for the grid's message row, which shows only what fits its name column.
        const QString typed = r.first.isEmpty() ? r.last : QString(r.last + QStringLiteral(", ") + r.first);
        page.notice = page.rows.isEmpty() ? QString(QStringLiteral("No patient named ") + typed)
                                          : QString(QStringLiteral("No ") + typed + QStringLiteral("; similar names:"));
    }
    return page;
}

namespace {

// The statement a pass runs (statements/*.sql).
QStringView passStatement(const NamePass& pass)
{
    const bool formal = pass.first == NamePass::Formal;
    switch (pass.kind) {
    case NamePass::Prefix:
        // A surname that is not one, with a first name, is looked up surname by surname; an
        // initial lists the surname's patients the most recently seen first.
        if (!pass.exact && !pass.name.first.isEmpty())
            return u"name_surnames_with_first";
        return pass.name.first.size() == 1 ? u"name_prefix_initial" : u"name_prefix";
    case NamePass::Alternate:
        return u"name_other_surnames";
    case NamePass::SameSurname:
        return formal ? u"name_surname_formal"
            : pass.first == NamePass::Nickname ? u"name_surname_nickname" : u"name_surname_first_edit";
    case NamePass::Close:
        return u"name_close";
    case NamePass::SoundAlike:
        return formal ? u"name_sound_formal" : u"name_sound_nickname";
    case NamePass::OneEdit:
        return formal ? u"name_edit_formal" : u"name_edit_nickname";
    }
    return u"name_prefix";
}

} // namespace

// The passes' statements share their parameters' names; each is given the ones it takes.
int SqlStore::runNamePass(const NamePass& pass, const QStringList& after, int limit,
                          const std::function<bool(const PatientRow&, const QStringList&)>& take)
{
    Statement s = Statement::named(*m_db, passStatement(pass));
    const std::pair<const char*, QString> texts[] = {
        {"after_last", after.value(0)}, {"after_first", after.value(1)},
        {"last", pass.name.last}, {"last_end", prefixEnd(pass.name.last)},
        {"first", pass.name.first}, {"first_end", prefixEnd(pass.name.first)}, {"first_like", likePrefix(pass.name.first)},
        {"middle_like", likePrefix(pass.name.middle)}, {"sound", pass.sound}, {"surname", pass.surname},
        {"formals", jsonList(pass.formals)}, {"edit_keys", jsonList(pass.editKeys)},
    };
    for (const auto& [name, value] : texts) {
        if (s.takes(name))
            s.bind(name, value);
    }
    if (s.takes("after_visit"))
        s.bind("after_visit", after.value(2).toLongLong());
    s.bind("after_id", after.value(3).toLongLong()).bind("limit", qint64(limit));
    int stepped = 0;
    while (s.step()) {
        ++stepped;
        if (!take(readPatient(s), {s.text(11), s.text(12), QString::number(s.integer(13)), QString::number(s.integer(14))}))
            break;
    }
    return stepped;
}

QList<PatientRow> SqlStore::nameSearchWithOffset(const QString& text, int offset, int pageSize)
{
    const NameQuery name = parseNameQuery(text);
    Statement s = Statement::named(*m_db, u"name_page_by_offset");
    s.bind("last", name.last).bind("last_end", prefixEnd(name.last)).bind("first_like", likePrefix(name.first));
    s.bind("limit", qint64(pageSize)).bind("offset", qint64(offset));
    QList<PatientRow> rows;
    while (s.step())
        rows.append(readPatient(s));
    return rows;
}

QList<Candidate> SqlStore::duplicateCandidates(const PatientData& data, int limit)
{
    const QString ssn = digitsOf(data.ssn);
    const NameQuery name = parseNameQuery(data.name);
    const QString firstInitial = name.first.left(1);
    const QString lastInitial = name.last.left(1);
    const std::optional<DateRange> dob = parseDateQuery(data.dob);
    const QString birth = dob && dob->from == dob->to ? dob->from.toString(Qt::ISODate) : QString();
    bool accountOk = false;
    const qint64 account = data.account.trimmed().toLongLong(&accountOk);
    const QStringList formals = name.first.isEmpty() ? QStringList() : formalNames(name.first);
    const QStringList edits = name.last.size() >= 3 ? existingSurnames(oneEditVariants(name.last)) : QStringList();

    Statement s = Statement::named(*m_db, u"duplicate_candidates");
    s.bind("ssn", ssn.size() == 9 ? ssn : QString()).bind("account", accountOk ? account : qint64(-1));
    s.bind("mrn", identifierKey(data.mrn)).bind("policy", identifierKey(data.policy));
    s.bind("sound", phoneticKey(name.last)).bind("first_initial", firstInitial).bind("first_initial_end", prefixEnd(firstInitial));
    s.bind("formals", jsonList(formals)).bind("edit_keys", jsonList(edits));
    // First and last name swapped: the first name sounds like a last name.
    s.bind("swapped_sound", phoneticKey(name.first));
    s.bind("last_initial", lastInitial).bind("last_initial_end", prefixEnd(lastInitial));
    s.bind("birth", birth).bind("limit", qint64(limit));
    QList<Candidate> out;
    while (s.step())
        out.append({readPatient(s), {}});
    Statement policies = Statement::named(*m_db, u"candidate_policies");
    for (Candidate& c : out) {
        policies.bind("account", c.patient.account);
        while (policies.step())
            c.policies.append(policies.text(0));
        policies.reset();
    }
    return out;
}

std::optional<QList<CodeRow>> SqlStore::codeTable(const QString& name)
{
    Statement s = Statement::named(*m_db, u"code_table");
    s.bind("table", name.toUpper());
    QList<CodeRow> rows;
    while (s.step())
        rows.append({s.text(0), s.text(1), s.text(2), s.text(3)});
    if (rows.isEmpty())
        return std::nullopt;
    return rows;
}

std::optional<QString> SqlStore::setting(const QString& name)
{
    Statement s = Statement::named(*m_db, u"setting");
    s.bind("name", name);
    if (!s.step())
        return std::nullopt;
    return s.text(0);
}

std::optional<QByteArray> SqlStore::file(const QString& folder, const QString& name)
{
    Statement s = Statement::named(*m_db, u"file");
    s.bind("folder", folder.toUpper()).bind("name", name);
    if (!s.step())
        return std::nullopt;
    return s.blob(0);
}

std::optional<PatientRecordData> SqlStore::record(qint64 account)
{
    Statement s = Statement::named(*m_db, u"record_patient");
    s.bind("account", account);
    if (!s.step())
        return std::nullopt;
    PatientRecordData r;
    r.patient = readPatient(s);
    r.street = s.text(11);
    r.city = s.text(12);
    r.state = s.text(13);
    r.zip = s.text(14);
    r.mobile = s.text(15);
    const qint64 guarantor = s.integer(16);
    r.guarantorRelation = s.text(17);

    Statement g = Statement::named(*m_db, u"patient_row");
    g.bind("account", guarantor);
    if (g.step())
        r.guarantorRow = readPatient(g);

    Statement p = Statement::named(*m_db, u"record_policies");
    p.bind("account", account);
    while (p.step()) {
        r.policies.append({int(p.integer(0)), p.text(1), p.text(2), p.text(3), p.text(4), p.text(5),
                           QDate::fromString(p.text(6), Qt::ISODate)});
    }
    Statement v = Statement::named(*m_db, u"record_visits");
    v.bind("account", account);
    while (v.step()) {
        r.visits.append({QDate::fromString(v.text(0), Qt::ISODate), v.text(1), v.text(2), v.real(3), v.real(4)});
        r.balance += v.real(3) - v.real(4);
    }
    r.insuranceBalance = r.policies.isEmpty() ? 0 : r.balance * 0.6;
    return r;
}

void SqlStore::rememberChoice(const QString& user, qint64 account)
{
    Statement s = Statement::named(*m_db, u"remember_choice");
    s.bind("user", user).bind("account", account).bind("chosen", QDateTime::currentMSecsSinceEpoch());
    s.run();
}

qint64 SqlStore::addPatient(const NewPatient& n)
{
    if (foldName(n.last).isEmpty() || foldName(n.first).isEmpty())
        throw std::invalid_argument("A new patient needs a last and a first name");
    if (!n.dob.isValid())
        throw std::invalid_argument("Type the date of birth as MM/DD/YYYY");
    return inWriteTransaction(*m_db, [&] {
        Statement next = Statement::named(*m_db, u"next_account");
        next.step();
        const qint64 account = next.integer(0);
        const QString mrn = QStringLiteral("MR") + QString::number(account);
        const QString phone = digitsOf(n.phone);
        const std::unique_ptr<RowWriter> rows = m_db->rowWriter();
        writePatient(*rows, {account, n.last.trimmed().toUpper(), n.first.trimmed().toUpper(),
                             n.middle.trimmed().toUpper().left(1), n.dob, n.sex.toUpper(), digitsOf(n.ssn), mrn, phone,
                             QString(), n.street, n.city, n.state.toUpper(), n.zip, true, account, QStringLiteral("SELF"), {}});
        writePhone(*rows, phone, account);
        if (!n.payor.isEmpty() && !n.policy.trimmed().isEmpty()) {
            const QString number = n.policy.trimmed().toUpper();
            Statement id = Statement::named(*m_db, u"next_policy_id");
            id.step();
            rows->write(Table::Policies, {QString::number(id.integer(0)), QString::number(account), QStringLiteral("1"), n.payor.toUpper(), number,
                                          QString(), QString::number(account), QStringLiteral("SELF"),
                                          QDate::currentDate().toString(Qt::ISODate), identifierKey(number)});
        }
        rows->flush();
        return account;
    });
}

void writePatient(RowWriter& rows, const PatientFields& p)
{
    const PatientKeys k = patientKeys(p.last, p.first, p.ssn, p.mrn);
    const QString account = QString::number(p.account);
    rows.write(Table::Patients, {account, p.last, p.first, p.middle, p.dob.toString(Qt::ISODate), p.sex, p.ssn, p.mrn,
                                 p.phone, p.mobile, p.street, p.city, p.state, p.zip,
                                 p.active ? QStringLiteral("1") : QStringLiteral("0"), QString::number(p.guarantor),
                                 p.relation, k.lastkey, k.firstkey, k.firstformal, k.lastsound, k.ssn4, k.mrnkey,
                                 QString::number(visitOrder(p.lastVisit))});
    writeAlternateKeys(rows, k, p.account);
}

} // namespace zelvar::practice
