#include "sqlstore.h"

#include "names.h"
#include "servicetables.h"

#include <QDateTime>
#include <QFile>
#include <QSet>

#include <stdexcept>

namespace zelvar::practice {
namespace {

constexpr const char* kPatientColumns =
    "p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active, "
    "coalesce(g.last || ', ' || g.first, '')";

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
    Statement s(*m_db, "SELECT NOT EXISTS (SELECT 1 FROM patients)");
    return s.step() && s.integer(0) != 0;
}

qint64 SqlStore::patientCount()
{
    Statement s(*m_db, "SELECT count(*) FROM patients");
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
    const QString select = QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns);
    const QString joins = QStringLiteral(" LEFT JOIN patients g ON g.id = p.guarantor ");
    if (q.text.trimmed().isEmpty()) {
        // No name: the user's recently chosen accounts, newest first.
        Statement s(*m_db, (select + QStringLiteral(" FROM recent r JOIN patients p ON p.id = r.patient") + joins
                           + QStringLiteral("WHERE r.\"user\" = ?1 ORDER BY r.chosen DESC LIMIT ?2")).toUtf8().constData());
        s.bind(1, q.user).bind(2, qint64(q.pageSize));
        SearchPage page;
        while (s.step())
            page.rows.append(readPatient(s));
        if (!page.rows.isEmpty())
            page.notice = QStringLiteral("Recently chosen patients");
        return page;
    }
    return nameSearch(q);
}

// The patients whose bills go to a guarantor of the name.
SearchPage SqlStore::searchGuarantor(const SearchQuery& q)
{
    const QString select = QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns);
    const qint64 limit = q.pageSize + 1;
    const NameQuery name = parseNameQuery(q.text);
    if (name.last.isEmpty())
        throw std::invalid_argument("Type the guarantor's last name, or last name, first name");
    const QStringList after = q.after.isEmpty()
        ? QStringList{name.last, name.first, QStringLiteral("-1"), QStringLiteral("-1"), QStringLiteral("-1")}
        : decodePosition(q.after, 5);
    // Entered at the guarantor of the position; that guarantor's later dependants and every
    // later guarantor follow. Guarantors of one name come the recently seen first.
    Statement s(*m_db, (select + QStringLiteral(", g.lastkey, g.firstkey, g.visitorder, g.id FROM patients g INDEXED BY patients_byname "
                                               "JOIN patients p ON p.guarantor = g.id "
                                               "WHERE (g.lastkey, g.firstkey, g.visitorder, g.id) >= (?4, ?5, ?12, ?6) AND g.lastkey < ?2 "
                                               "AND g.lastkey >= ?9 AND g.firstkey >= ?10 AND g.firstkey < ?11 "
                                               "AND ((g.lastkey, g.firstkey, g.visitorder, g.id) > (?4, ?5, ?12, ?6) OR p.id > ?7) "
                                               "ORDER BY g.lastkey, g.firstkey, g.visitorder, g.id, p.id LIMIT ?8")), PlanOnce{});
    s.bind(2, prefixEnd(name.last)).bind(10, name.first).bind(11, prefixEnd(name.first));
    s.bind(4, after[0]).bind(5, after[1]).bind(12, after[2].toLongLong()).bind(6, after[3].toLongLong());
    s.bind(7, after[4].toLongLong()).bind(8, limit).bind(9, name.last);
    return collect(s, q.pageSize, [](const Statement& st, const PatientRow& r) {
        return QStringList{st.text(11), st.text(12), QString::number(st.integer(13)), QString::number(st.integer(14)),
                           QString::number(r.account)};
    });
}

// Patients born on a day, or in a range of days.
SearchPage SqlStore::searchDateOfBirth(const SearchQuery& q)
{
    const QString select = QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns);
    const QString joins = QStringLiteral(" LEFT JOIN patients g ON g.id = p.guarantor ");
    const qint64 limit = q.pageSize + 1;
    const std::optional<DateRange> range = parseDateQuery(q.text);
    if (!range)
        throw std::invalid_argument("Type the date of birth as MM/DD/YYYY");
    // Patients born on one day are listed the recently seen first.
    const QStringList after = q.after.isEmpty()
        ? QStringList{range->from.toString(Qt::ISODate), QStringLiteral("-1"), QStringLiteral("-1")}
        : decodePosition(q.after, 3);
    Statement s(*m_db, (select + QStringLiteral(", p.dob, p.visitorder FROM patients p INDEXED BY patients_bydob") + joins
                       + QStringLiteral("WHERE (p.dob, p.visitorder, p.id) > (?3, ?4, ?5) AND p.dob <= ?2 "
                                        "AND p.dob >= ?8 ORDER BY p.dob, p.visitorder, p.id LIMIT ?7")), PlanOnce{});
    s.bind(2, range->to.toString(Qt::ISODate)).bind(8, range->from.toString(Qt::ISODate));
    s.bind(3, after[0]).bind(4, after[1].toLongLong()).bind(5, after[2].toLongLong()).bind(7, limit);
    return collect(s, q.pageSize, [](const Statement& st, const PatientRow& r) {
        return QStringList{st.text(11), QString::number(st.integer(12)), QString::number(r.account)};
    });
}

// An SSN (whole, or its last four) or a medical record number.
SearchPage SqlStore::searchIdentifier(const SearchQuery& q)
{
    const QString select = QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns);
    const QString joins = QStringLiteral(" LEFT JOIN patients g ON g.id = p.guarantor ");
    const qint64 limit = q.pageSize + 1;
    // An SSN is whole (nine digits) or its last four, matched exactly; a medical record
    // number by its beginning, without regard to case, blanks and dashes.
    const bool ssn = q.key == SearchKey::SocialSecurity;
    const QString value = ssn ? digitsOf(q.text) : identifierKey(q.text);
    if (ssn && value.size() != 4 && value.size() != 9)
        throw std::invalid_argument("Type the last four digits of the social security number, or all nine");
    if (value.isEmpty())
        throw std::invalid_argument("Type the medical record number");
    const QString column = ssn ? (value.size() == 4 ? QStringLiteral("ssn4") : QStringLiteral("ssn")) : QStringLiteral("mrnkey");
    // A last four is shared by about one patient in ten thousand, a whole number by a
    // patient entered twice: the recently seen first.
    const QString upper = ssn ? value + QChar(0x1) : prefixEnd(value);   // exact, or every key that begins so
    const QStringList after = q.after.isEmpty() ? QStringList{value, QStringLiteral("-1"), QStringLiteral("-1")}
                                                : decodePosition(q.after, 3);
    Statement s(*m_db, (select + QStringLiteral(", p.") + column + QStringLiteral(", p.visitorder FROM patients p INDEXED BY patients_by")
                       + column + joins + QStringLiteral("WHERE (p.") + column + QStringLiteral(", p.visitorder, p.id) > (?3, ?4, ?7) AND p.")
                       + column + QStringLiteral(" < ?2 AND p.") + column + QStringLiteral(" >= ?6 ORDER BY p.") + column
                       + QStringLiteral(", p.visitorder, p.id LIMIT ?5")), PlanOnce{});
    s.bind(2, upper).bind(6, value).bind(3, after[0]).bind(4, after[1].toLongLong()).bind(7, after[2].toLongLong()).bind(5, limit);
    return collect(s, q.pageSize, [](const Statement& st, const PatientRow& r) {
        return QStringList{st.text(11), QString::number(st.integer(12)), QString::number(r.account)};
    });
}

// A phone, policy or accession number, each kept in a table of its own.
SearchPage SqlStore::searchNumbered(const SearchQuery& q)
{
    const QString select = QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns);
    const QString joins = QStringLiteral(" LEFT JOIN patients g ON g.id = p.guarantor ");
    const qint64 limit = q.pageSize + 1;
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
    QString column = QStringLiteral("x.number");
    QString table = QStringLiteral("accessions x");
    if (phone) {
        column = value.size() == 10 ? QStringLiteral("x.digits") : value.size() == 7 ? QStringLiteral("x.last7") : QStringLiteral("x.last4");
        table = QStringLiteral("phones x INDEXED BY phones_") + column.mid(2);
    } else if (policy) {
        column = QStringLiteral("x.numkey");
        table = QStringLiteral("policies x INDEXED BY policies_numkey");
    }
    // A phone is matched exactly and shared by a household, a last four by a hundred and more
    // patients of a large practice: the recently seen first. The few rows of one number are
    // put in that order; policy and accession numbers, matched by their beginning, go by the
    // index.
    const QString order = phone ? QStringLiteral("p.visitorder, x.patient") : column + QStringLiteral(", x.patient");
    const QStringList after = q.after.isEmpty() ? QStringList{phone ? QStringLiteral("-1") : value, QStringLiteral("-1")}
                                                : decodePosition(q.after, 2);
    Statement s(*m_db, (select + QStringLiteral(", ") + column + QStringLiteral(", p.visitorder FROM ") + table
                       + QStringLiteral(" JOIN patients p ON p.id = x.patient") + joins + QStringLiteral("WHERE (") + order
                       + QStringLiteral(") > (?3, ?4) AND ") + column
                       + (phone ? QStringLiteral(" = ?6") : QStringLiteral(" < ?2 AND ") + column + QStringLiteral(" >= ?6"))
                       + QStringLiteral(" ORDER BY ") + order + QStringLiteral(" LIMIT ?5")), PlanOnce{});
    s.bind(6, value).bind(4, after[1].toLongLong()).bind(5, limit);
    if (phone)
        s.bind(3, after[0].toLongLong());
    else
        s.bind(3, after[0]).bind(2, prefixEnd(value));
    return collect(s, q.pageSize, [phone](const Statement& st, const PatientRow& r) {
        return QStringList{phone ? QString::number(st.integer(12)) : st.text(11), QString::number(r.account)};
    });
}

// An account, or the account a transaction, claim or encounter is for.
SearchPage SqlStore::searchRecordNumber(const SearchQuery& q)
{
    const QString select = QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns);
    const QString joins = QStringLiteral(" LEFT JOIN patients g ON g.id = p.guarantor ");
    // Numbers find one record; "123/4" is account 123.
    const QString digits = q.text.trimmed().section(QLatin1Char('/'), 0, 0);
    bool ok = false;
    const qint64 number = digits.toLongLong(&ok);
    if (!ok)
        throw std::invalid_argument("the search needs a number");
    QString where;
    switch (q.key) {
    case SearchKey::Transaction: where = QStringLiteral("p.id = (SELECT patient FROM transactions WHERE id = ?1)"); break;
    case SearchKey::Claim: where = QStringLiteral("p.id = (SELECT patient FROM claims WHERE id = ?1)"); break;
    case SearchKey::Encounter: where = QStringLiteral("p.id = (SELECT patient FROM encounters WHERE id = ?1)"); break;
    default: where = QStringLiteral("p.id = ?1"); break;
    }
    Statement s(*m_db, (select + QStringLiteral(" FROM patients p") + joins + QStringLiteral("WHERE ") + where), PlanOnce{});
    s.bind(1, number);
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
            Statement byNickname(*m_db, "SELECT count(*) FROM (SELECT 1 FROM patients INDEXED BY patients_bysound "
                                        "WHERE lastsound = ?1 AND lastkey = ?2 AND (firstkey IN (SELECT value FROM json_each(?3)) "
                                        "OR firstformal IN (SELECT value FROM json_each(?3))) "
                                        "AND NOT (firstkey >= ?4 AND firstkey < ?5) LIMIT ?6) AS listed");
            byNickname.bind(1, phoneticKey(r.last)).bind(2, r.last).bind(3, jsonList(formals));
            byNickname.bind(4, r.first).bind(5, prefixEnd(r.first)).bind(6, qint64(limit + 1 - counted));
            counted += byNickname.step() ? int(byNickname.integer(0)) : 0;
        }
        Statement byName(*m_db, "SELECT count(*) FROM (SELECT 1 FROM patients INDEXED BY patients_byname "
                                "WHERE lastkey >= ?1 AND lastkey < ?2 AND firstkey >= ?3 AND firstkey < ?4 LIMIT ?5) AS listed",
                         PlanOnce{});
        byName.bind(1, r.last).bind(2, prefixEnd(r.last)).bind(3, r.first).bind(4, prefixEnd(r.first));
        byName.bind(5, qint64(limit + 1 - counted));
        counted += byName.step() ? int(byName.integer(0)) : 0;
        if (counted > limit)
            return counted;
        Statement byOther(*m_db, "SELECT count(*) FROM (SELECT 1 FROM namekeys x INDEXED BY namekeys_key "
                                 "JOIN patients p ON p.id = x.patient WHERE x.key >= ?1 AND x.key < ?2 "
                                 "AND x.first >= ?3 AND x.first < ?4 AND NOT (p.lastkey >= ?1 AND p.lastkey < ?2 "
                                 "AND p.firstkey >= ?3 AND p.firstkey < ?4) LIMIT ?5) AS listed",
                          PlanOnce{});
        byOther.bind(1, r.last).bind(2, prefixEnd(r.last)).bind(3, r.first).bind(4, prefixEnd(r.first));
        byOther.bind(5, qint64(limit + 1 - counted));
        counted += byOther.step() ? int(byOther.integer(0)) : 0;
        if (counted > limit)
            return counted;
    }
    return counted;
}

bool SqlStore::hasExactName(const NameQuery& name)
{
    // The surname as typed exists (whole, not only as the beginning of a longer one) with a
    // first name that begins as typed.
    Statement s(*m_db, "SELECT EXISTS (SELECT 1 FROM patients INDEXED BY patients_byname WHERE lastkey = ?1 "
                      "AND firstkey >= ?2 AND firstkey < ?3 AND middle LIKE ?4 ESCAPE '\\') "
                      "OR EXISTS (SELECT 1 FROM namekeys WHERE key = ?1 AND first >= ?2 AND first < ?3)", PlanOnce{});
    s.bind(1, name.last).bind(2, name.first).bind(3, prefixEnd(name.first)).bind(4, likePrefix(name.middle));
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
    Statement sounds(*m_db, "WITH RECURSIVE keys (k) AS ("
                            " SELECT (SELECT lastkey FROM patients INDEXED BY patients_bysound WHERE lastsound = ?1"
                            "  ORDER BY lastkey LIMIT 1)"
                            " UNION ALL SELECT (SELECT lastkey FROM patients INDEXED BY patients_bysound WHERE lastsound = ?1"
                            "  AND lastkey > keys.k ORDER BY lastkey LIMIT 1) FROM keys WHERE keys.k IS NOT NULL)"
                            " SELECT k FROM keys WHERE k IS NOT NULL LIMIT 400");
    sounds.bind(1, sound);
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
    Statement s(*m_db, "SELECT DISTINCT lastkey FROM patients INDEXED BY patients_byname "
                      "WHERE lastkey IN (SELECT value FROM json_each(?1))");
    s.bind(1, jsonList(keys));
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

// Surnames that begin as typed, each with a first name that begins as typed, when the surname
// typed is not one: one look into the index for each such surname and its first names, where
// walking the surnames' rows passed every first name before the one typed ("SMI WI" read
// through all of SMITH, A to V). The rows found are ordered by their keys alone; the patients'
// own rows are read for a page's worth. (A surname typed whole starts the walk at its first
// name, which is quicker than gathering every match to order them.) A cross join keeps the
// surnames outside for SQLite, which would otherwise walk every surname there is; PostgreSQL
// merges such a join along the whole index, so it is told to look once per surname.
QString prefixWithFirstName(const QString& columns, const QString& joins, bool lateral)
{
    const QString rowsOfSurname = QStringLiteral(
        "x.firstkey >= ?12 AND x.firstkey < ?13 AND (x.lastkey, x.firstkey, x.visitorder, x.id) > (?1, ?2, ?14, ?3) "
        "AND x.middle LIKE ?6 ESCAPE '\\'");
    QString hits;
    if (lateral) {
        hits = QStringLiteral("SELECT x.lastkey, x.firstkey, x.visitorder, x.id FROM lasts CROSS JOIN LATERAL (SELECT x.lastkey, "
                              "x.firstkey, x.visitorder, x.id FROM patients x WHERE x.lastkey = lasts.k AND ") + rowsOfSurname
            + QStringLiteral(" ORDER BY x.firstkey, x.visitorder, x.id LIMIT ?7) x");
    } else {
        hits = QStringLiteral("SELECT x.lastkey, x.firstkey, x.visitorder, x.id FROM lasts CROSS JOIN patients x "
                              "INDEXED BY patients_byname WHERE x.lastkey = lasts.k AND ") + rowsOfSurname;
    }
    return QStringLiteral(
               "WITH RECURSIVE lasts (k) AS ("
               " SELECT (SELECT lastkey FROM patients INDEXED BY patients_byname WHERE lastkey >= ?1 AND lastkey >= ?8"
               "  AND lastkey < ?4 ORDER BY lastkey LIMIT 1)"
               " UNION ALL SELECT (SELECT lastkey FROM patients INDEXED BY patients_byname WHERE lastkey > lasts.k"
               "  AND lastkey < ?4 ORDER BY lastkey LIMIT 1) FROM lasts WHERE lasts.k IS NOT NULL),"
               " hits AS (") + hits + QStringLiteral(" ORDER BY x.lastkey, x.firstkey, x.visitorder, x.id LIMIT ?7) ")
        + columns + QStringLiteral(", hits.lastkey, hits.firstkey, hits.visitorder, hits.id FROM hits JOIN patients p ON p.id = hits.id")
        + joins + QStringLiteral("ORDER BY hits.lastkey, hits.firstkey, hits.visitorder, hits.id");
}

} // namespace

namespace {

// A pass's statement, and whether it is planned once (a walk of one index in its order).
struct PassStatement
{
    QString sql;
    bool planOnce = false;
};

// The first name: as typed; one of the formal names it stands for; another nickname of
// those; a letter off (?11 holds the keys a letter away). Never as typed but in the first.
QString firstNameCondition(NamePass::First first)
{
    const QString typed = QStringLiteral("p.firstkey LIKE ?5 ESCAPE '\\'");
    switch (first) {
    case NamePass::Typed:
        return typed;
    case NamePass::Formal:
        return QStringLiteral("p.firstkey IN (SELECT value FROM json_each(?10)) AND NOT ") + typed;
    case NamePass::Nickname:
        return QStringLiteral("p.firstformal IN (SELECT value FROM json_each(?10)) "
                              "AND NOT (p.firstkey IN (SELECT value FROM json_each(?10))) AND NOT ") + typed;
    case NamePass::FirstEdit:
        return QStringLiteral("p.firstkey IN (SELECT value FROM json_each(?11)) AND NOT ") + typed;
    }
    return typed;
}

// The name as typed, walked in the index by name.
PassStatement prefixPassStatement(const NamePass& pass, const QString& columns, const QString& joins, const QString& walk,
                                  const QString& after_, const QString& order, bool lateral)
{
    if (!pass.exact && !pass.name.first.isEmpty())
        return {prefixWithFirstName(columns, joins, lateral), false};
    if (pass.name.first.size() == 1) {
        // An initial ("SMITH, J"): the surname's patients under it, the most recently seen
        // first, as patients who share a name are, not JACK to JUSTIN (the one on the phone
        // is rarely one not seen in years). Gathered from the index and put in that order.
        return {QStringLiteral("WITH hits AS (SELECT x.lastkey, x.firstkey, x.visitorder, x.id FROM patients x "
                             "INDEXED BY patients_byname WHERE x.lastkey >= ?8 AND x.lastkey < ?4 AND x.firstkey >= ?12 "
                             "AND x.firstkey < ?13 AND x.middle LIKE ?6 ESCAPE '\\' AND (x.lastkey, x.visitorder, x.id) > (?1, ?14, ?3) "
                             "ORDER BY x.lastkey, x.visitorder, x.id LIMIT ?7) ")
            + columns + QStringLiteral(", hits.lastkey, hits.firstkey, hits.visitorder, hits.id FROM hits JOIN patients p ON p.id = hits.id")
            + joins + QStringLiteral("ORDER BY hits.lastkey, hits.visitorder, hits.id"), false};
    }
    return {columns + walk + QStringLiteral("INDEXED BY patients_byname") + joins
        + QStringLiteral("WHERE ") + after_ + QStringLiteral(" AND p.lastkey < ?4 AND p.lastkey >= ?8 "
                         "AND p.firstkey >= ?12 AND p.firstkey < ?13") + order, true};
}

PassStatement namePassStatement(const NamePass& pass, bool lateral)
{
    const QString columns = QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns);
    const QString joins = QStringLiteral(" LEFT JOIN patients g ON g.id = p.guarantor ");
    // Rows an earlier pass of the same reading listed are left out of the later ones.
    const QString prefixMatch = QStringLiteral("(p.lastkey >= ?8 AND p.lastkey < ?4 AND p.firstkey LIKE ?5 ESCAPE '\\')");
    const QString alternateMatch = QStringLiteral("EXISTS (SELECT 1 FROM namekeys y WHERE y.patient = p.id AND y.key >= ?8 "
                                                  "AND y.key < ?4 AND y.first LIKE ?5 ESCAPE '\\')");
    const QString first = firstNameCondition(pass.first);
    // A sound-alike or typo pass with a first name found otherwise than as typed leaves out the
    // surname as typed, which its own passes listed.
    const QString otherSurname = pass.first == NamePass::Typed ? QString() : QStringLiteral(" AND p.lastkey <> ?8");
    const QString walk = QStringLiteral(", p.lastkey, p.firstkey, p.visitorder, p.id FROM patients p ");
    const QString after_ = QStringLiteral("(p.lastkey, p.firstkey, p.visitorder, p.id) > (?1, ?2, ?14, ?3)");
    const QString order = QStringLiteral(" AND p.middle LIKE ?6 ESCAPE '\\' ORDER BY p.lastkey, p.firstkey, p.visitorder, p.id LIMIT ?7");
    QString sql;
    // The passes that walk one index in its order, with the first name's bounds given as
    // values (a plan made for "JOHN%" would find them in the pattern), are planned once.
    bool planOnce = false;
    switch (pass.kind) {
    case NamePass::Prefix:
        return prefixPassStatement(pass, columns, joins, walk, after_, order, lateral);
    case NamePass::Alternate:
        sql = columns + QStringLiteral(", x.key, x.first, 0, x.patient FROM namekeys x INDEXED BY namekeys_key "
                                       "JOIN patients p ON p.id = x.patient") + joins
            + QStringLiteral("WHERE (x.key, x.first, x.patient) > (?1, ?2, ?3) AND x.key < ?4 AND x.key >= ?8 "
                             "AND x.first >= ?12 AND x.first < ?13 "
                             "AND p.middle LIKE ?6 ESCAPE '\\' AND NOT ") + prefixMatch
            + QStringLiteral(" ORDER BY x.key, x.first, x.patient LIMIT ?7");
        planOnce = true;
        break;
    case NamePass::SameSurname:
        // The surname's rows in the index that holds their formal first names too.
        // One surname: walked by first name from where the page before ended.
        sql = columns + walk + QStringLiteral("INDEXED BY patients_bysound") + joins
            + QStringLiteral("WHERE p.lastsound = ?9 AND p.lastkey = ?8 AND (p.firstkey, p.visitorder, p.id) > (?2, ?14, ?3) AND ")
            + first + QStringLiteral(" AND p.middle LIKE ?6 ESCAPE '\\' ORDER BY p.firstkey, p.visitorder, p.id LIMIT ?7");
        break;
    case NamePass::Close:
        // One surname close to the one typed, walked by first name.
        sql = columns + walk + QStringLiteral("INDEXED BY patients_bysound") + joins
            + QStringLiteral("WHERE p.lastsound = ?9 AND p.lastkey = ?15 AND (p.firstkey, p.visitorder, p.id) > (?2, ?14, ?3) AND ")
            + first + QStringLiteral(" AND NOT ") + prefixMatch + QStringLiteral(" AND NOT ") + alternateMatch
            + QStringLiteral(" AND p.middle LIKE ?6 ESCAPE '\\' ORDER BY p.firstkey, p.visitorder, p.id LIMIT ?7");
        break;
    case NamePass::SoundAlike:
        sql = columns + walk + QStringLiteral("INDEXED BY patients_bysound") + joins
            + QStringLiteral("WHERE p.lastsound = ?9 AND ") + after_ + QStringLiteral(" AND ") + first + otherSurname
            + QStringLiteral(" AND NOT ") + prefixMatch + QStringLiteral(" AND NOT ") + alternateMatch + order;
        break;
    case NamePass::OneEdit:
        sql = columns + walk + QStringLiteral("INDEXED BY patients_byname") + joins
            + QStringLiteral("WHERE p.lastkey IN (SELECT value FROM json_each(?11)) AND ") + after_
            + QStringLiteral(" AND p.lastsound <> ?9 AND ") + first + otherSurname
            + QStringLiteral(" AND NOT ") + prefixMatch + QStringLiteral(" AND NOT ") + alternateMatch + order;
        break;
    }
    return {sql, planOnce};
}

} // namespace

int SqlStore::runNamePass(const NamePass& pass, const QStringList& after, int limit,
                              const std::function<bool(const PatientRow&, const QStringList&)>& take)
{
    const auto [sql, planOnce] = namePassStatement(pass, m_db->joinsLaterally());
    Statement s = planOnce ? Statement(*m_db, sql, PlanOnce{}) : Statement(*m_db, sql);
    s.bind(1, after.value(0)).bind(2, after.value(1)).bind(3, after.value(3).toLongLong());
    if (sql.contains(QLatin1String("?14")))
        s.bind(14, after.value(2).toLongLong());
    s.bind(4, prefixEnd(pass.name.last)).bind(5, likePrefix(pass.name.first)).bind(6, likePrefix(pass.name.middle));
    s.bind(7, qint64(limit));
    if (sql.contains(QLatin1String("?8")))
        s.bind(8, pass.name.last);
    if (sql.contains(QLatin1String("?9")))
        s.bind(9, pass.sound);
    if (sql.contains(QLatin1String("?10")))
        s.bind(10, jsonList(pass.formals));
    if (sql.contains(QLatin1String("?11")))
        s.bind(11, jsonList(pass.editKeys));
    if (sql.contains(QLatin1String("?12")))
        s.bind(12, pass.name.first).bind(13, prefixEnd(pass.name.first));
    if (sql.contains(QLatin1String("?15")))
        s.bind(15, pass.surname);
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
    Statement s(*m_db, (QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns)
                       + QStringLiteral(" FROM patients p LEFT JOIN patients g ON g.id = p.guarantor "
                                        "WHERE p.last >= ?1 AND p.last < ?2 AND p.first LIKE ?3 ESCAPE '\\' "
                                        "ORDER BY p.last, p.first, p.id LIMIT ?4 OFFSET ?5")).toUtf8().constData());
    s.bind(1, name.last).bind(2, prefixEnd(name.last)).bind(3, likePrefix(name.first));
    s.bind(4, qint64(pageSize)).bind(5, qint64(offset));
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

    // Each way in is an index search with a rank (identifiers first, then names that sound
    // alike with the same initial or a nickname, names swapped, a letter off, the same birth
    // date); within a rank the nearest birth date first, so that a common name cannot push the
    // right patient past the limit.
    Statement s(*m_db, (QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns)
                       + QStringLiteral(" FROM (SELECT id, min(rank) AS rank FROM ("
                                        "SELECT id, 0 AS rank FROM patients WHERE ?1 <> '' AND ssn = ?1 "
                                        "UNION ALL SELECT id, 0 FROM patients WHERE id = ?2 "
                                        "UNION ALL SELECT id, 0 FROM patients WHERE ?13 <> '' AND mrnkey = ?13 "
                                        "UNION ALL SELECT patient, 0 FROM policies WHERE ?12 <> '' AND numkey = ?12 "
                                        "UNION ALL SELECT id, 1 FROM patients INDEXED BY patients_bysound WHERE ?3 <> '' AND lastsound = ?3 "
                                        "  AND ((firstkey >= ?4 AND firstkey < ?5) OR firstformal IN (SELECT value FROM json_each(?15))) "
                                        "UNION ALL SELECT id, 2 FROM patients INDEXED BY patients_bysound WHERE ?6 <> '' AND lastsound = ?6 "
                                        "  AND firstkey >= ?7 AND firstkey < ?8 "
                                        "UNION ALL SELECT id, 2 FROM patients INDEXED BY patients_byname "
                                        "  WHERE lastkey IN (SELECT value FROM json_each(?16)) AND firstkey >= ?4 AND firstkey < ?5 "
                                        "UNION ALL SELECT id, 3 FROM patients INDEXED BY patients_bydob WHERE ?9 <> '' AND dob = ?9 "
                                        "  AND lastkey >= ?10 AND lastkey < ?11"
                                        ") u GROUP BY id) c JOIN patients p ON p.id = c.id LEFT JOIN patients g ON g.id = p.guarantor "
                                        "ORDER BY c.rank, abs(julianday(p.dob) - julianday(coalesce(nullif(?9, ''), p.dob))), p.id "
                                        "LIMIT ?14"))
                    .toUtf8().constData());
    s.bind(1, ssn.size() == 9 ? ssn : QString());
    s.bind(2, accountOk ? account : qint64(-1));
    s.bind(3, phoneticKey(name.last)).bind(4, firstInitial).bind(5, prefixEnd(firstInitial));
    // First and last name swapped: the first name sounds like a last name.
    s.bind(6, phoneticKey(name.first)).bind(7, lastInitial).bind(8, prefixEnd(lastInitial));
    s.bind(9, birth).bind(10, lastInitial).bind(11, prefixEnd(lastInitial));
    s.bind(12, identifierKey(data.policy)).bind(13, identifierKey(data.mrn)).bind(14, qint64(limit));
    s.bind(15, jsonList(formals)).bind(16, jsonList(edits));
    QList<Candidate> out;
    while (s.step())
        out.append({readPatient(s), {}});
    Statement policies(*m_db, "SELECT numkey FROM policies WHERE patient = ?1 ORDER BY rank");
    for (Candidate& c : out) {
        policies.bind(1, c.patient.account);
        while (policies.step())
            c.policies.append(policies.text(0));
        policies.reset();
    }
    return out;
}

std::optional<QList<CodeRow>> SqlStore::codeTable(const QString& name)
{
    Statement s(*m_db, "SELECT code, description, grp, extra FROM codes WHERE tbl = ?1 ORDER BY sort, code");
    s.bind(1, name.toUpper());
    QList<CodeRow> rows;
    while (s.step())
        rows.append({s.text(0), s.text(1), s.text(2), s.text(3)});
    if (rows.isEmpty())
        return std::nullopt;
    return rows;
}

std::optional<QString> SqlStore::setting(const QString& name)
{
    Statement s(*m_db, "SELECT value FROM settings WHERE name = ?1");
    s.bind(1, name);
    if (!s.step())
        return std::nullopt;
    return s.text(0);
}

std::optional<QByteArray> SqlStore::file(const QString& folder, const QString& name)
{
    Statement s(*m_db, "SELECT content FROM files WHERE folder = ?1 AND name = ?2");
    s.bind(1, folder.toUpper()).bind(2, name);
    if (!s.step())
        return std::nullopt;
    return s.blob(0);
}

std::optional<PatientRecordData> SqlStore::record(qint64 account)
{
    Statement s(*m_db, (QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns)
                       + QStringLiteral(", p.street, p.city, p.state, p.zip, p.mobile, p.guarantor, p.relation "
                                        "FROM patients p LEFT JOIN patients g ON g.id = p.guarantor WHERE p.id = ?1"))
                    .toUtf8().constData());
    s.bind(1, account);
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

    Statement g(*m_db, (QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns)
                       + QStringLiteral(" FROM patients p LEFT JOIN patients g ON g.id = p.guarantor WHERE p.id = ?1"))
                    .toUtf8().constData());
    g.bind(1, guarantor);
    if (g.step())
        r.guarantorRow = readPatient(g);

    Statement p(*m_db, "SELECT x.rank, c.description, x.number, x.grp, s.last || ', ' || s.first, x.relation, x.effective "
                      "FROM policies x LEFT JOIN codes c ON c.tbl = 'PAYOR' AND c.code = x.payor "
                      "LEFT JOIN patients s ON s.id = x.subscriber WHERE x.patient = ?1 ORDER BY x.rank");
    p.bind(1, account);
    while (p.step()) {
        r.policies.append({int(p.integer(0)), p.text(1), p.text(2), p.text(3), p.text(4), p.text(5),
                           QDate::fromString(p.text(6), Qt::ISODate)});
    }
    Statement v(*m_db, "SELECT seen, provider, reason, charges, payments FROM encounters WHERE patient = ?1 "
                      "ORDER BY seen DESC LIMIT 500");
    v.bind(1, account);
    while (v.step()) {
        r.visits.append({QDate::fromString(v.text(0), Qt::ISODate), v.text(1), v.text(2), v.real(3), v.real(4)});
        r.balance += v.real(3) - v.real(4);
    }
    r.insuranceBalance = r.policies.isEmpty() ? 0 : r.balance * 0.6;
    return r;
}

void SqlStore::rememberChoice(const QString& user, qint64 account)
{
    Statement s(*m_db, "INSERT INTO recent (\"user\", patient, chosen) VALUES (?1, ?2, ?3) "
                       "ON CONFLICT (\"user\", patient) DO UPDATE SET chosen = excluded.chosen");
    s.bind(1, user).bind(2, account).bind(3, QDateTime::currentMSecsSinceEpoch());
    s.run();
}

qint64 SqlStore::addPatient(const NewPatient& n)
{
    if (foldName(n.last).isEmpty() || foldName(n.first).isEmpty())
        throw std::invalid_argument("A new patient needs a last and a first name");
    if (!n.dob.isValid())
        throw std::invalid_argument("Type the date of birth as MM/DD/YYYY");
    return inWriteTransaction(*m_db, [&] {
        Statement next(*m_db, "SELECT coalesce(max(id), 100000) + 1 FROM patients");
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
            Statement id(*m_db, "SELECT coalesce(max(id), 0) + 1 FROM policies");
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
