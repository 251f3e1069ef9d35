#include "sqlitestore.h"

#include "names.h"
#include "statement.h"

#include <QDateTime>
#include <QFile>

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

SqliteStore::SqliteStore(const QString& path)
{
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw std::runtime_error("cannot open the practice database: " + message);
    }
    sqlite3_busy_timeout(m_db, 5000);
    execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = OFF;");
    createSchema();
}

SqliteStore::~SqliteStore()
{
    sqlite3_close_v2(m_db);
}

void SqliteStore::execute(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error("practice database: " + message);
    }
}

void SqliteStore::createSchema()
{
    execute(R"(
        CREATE TABLE IF NOT EXISTS patients (
            id INTEGER PRIMARY KEY, last TEXT NOT NULL, first TEXT NOT NULL, middle TEXT NOT NULL,
            dob TEXT NOT NULL, sex TEXT NOT NULL, ssn TEXT NOT NULL, mrn TEXT NOT NULL,
            phone TEXT NOT NULL, mobile TEXT NOT NULL, street TEXT NOT NULL, city TEXT NOT NULL,
            state TEXT NOT NULL, zip TEXT NOT NULL, active INTEGER NOT NULL, guarantor INTEGER NOT NULL,
            relation TEXT NOT NULL, sdx TEXT NOT NULL);
        CREATE TABLE IF NOT EXISTS phones (digits TEXT NOT NULL, patient INTEGER NOT NULL);
        CREATE TABLE IF NOT EXISTS policies (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, rank INTEGER NOT NULL,
            payor TEXT NOT NULL, number TEXT NOT NULL, grp TEXT NOT NULL, subscriber INTEGER NOT NULL,
            relation TEXT NOT NULL, effective TEXT NOT NULL);
        CREATE TABLE IF NOT EXISTS transactions (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, posted TEXT NOT NULL,
            code TEXT NOT NULL, amount REAL NOT NULL);
        CREATE TABLE IF NOT EXISTS claims (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, filed TEXT NOT NULL,
            payor TEXT NOT NULL, amount REAL NOT NULL);
        CREATE TABLE IF NOT EXISTS encounters (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, seen TEXT NOT NULL,
            provider TEXT NOT NULL, reason TEXT NOT NULL, charges REAL NOT NULL, payments REAL NOT NULL);
        CREATE TABLE IF NOT EXISTS accessions (number TEXT PRIMARY KEY, patient INTEGER NOT NULL, taken TEXT NOT NULL,
            test TEXT NOT NULL) WITHOUT ROWID;
        CREATE TABLE IF NOT EXISTS codes (tbl TEXT NOT NULL, code TEXT NOT NULL, description TEXT NOT NULL,
            grp TEXT NOT NULL, extra TEXT NOT NULL, sort INTEGER NOT NULL, PRIMARY KEY (tbl, code)) WITHOUT ROWID;
        CREATE TABLE IF NOT EXISTS settings (name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
        CREATE TABLE IF NOT EXISTS files (folder TEXT NOT NULL, name TEXT NOT NULL, content BLOB NOT NULL,
            PRIMARY KEY (folder, name)) WITHOUT ROWID;
        CREATE TABLE IF NOT EXISTS recent (user TEXT NOT NULL, patient INTEGER NOT NULL, chosen INTEGER NOT NULL,
            PRIMARY KEY (user, patient)) WITHOUT ROWID;
    )");
    createIndexes();
}

void SqliteStore::createIndexes()
{
    execute(R"(
        CREATE INDEX IF NOT EXISTS patients_name ON patients (last, first, id);
        CREATE INDEX IF NOT EXISTS patients_dob ON patients (dob, last, first, id);
        CREATE INDEX IF NOT EXISTS patients_ssn ON patients (ssn);
        CREATE INDEX IF NOT EXISTS patients_mrn ON patients (mrn);
        CREATE INDEX IF NOT EXISTS patients_guarantor ON patients (guarantor, id);
        CREATE INDEX IF NOT EXISTS patients_sdx ON patients (sdx, first);
        CREATE INDEX IF NOT EXISTS phones_digits ON phones (digits, patient);
        CREATE INDEX IF NOT EXISTS policies_number ON policies (number, patient);
        CREATE INDEX IF NOT EXISTS policies_patient ON policies (patient);
        CREATE INDEX IF NOT EXISTS encounters_patient ON encounters (patient, seen);
        CREATE INDEX IF NOT EXISTS recent_user ON recent (user, chosen);
    )");
}

bool SqliteStore::isEmpty()
{
    Statement s(m_db, "SELECT NOT EXISTS (SELECT 1 FROM patients)");
    return s.step() && s.integer(0) != 0;
}

qint64 SqliteStore::patientCount()
{
    Statement s(m_db, "SELECT count(*) FROM patients");
    return s.step() ? s.integer(0) : 0;
}

SearchPage SqliteStore::search(const SearchQuery& q)
{
    const QString joins = QStringLiteral(" LEFT JOIN patients g ON g.id = p.guarantor ");
    const QString select = QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns);
    const qint64 limit = q.pageSize + 1;

    switch (q.key) {
    case SearchKey::PatientName: {
        if (q.text.trimmed().isEmpty()) {
            // No name: the user's recently chosen accounts, newest first.
            Statement s(m_db, (select + QStringLiteral(" FROM recent r JOIN patients p ON p.id = r.patient") + joins
                               + QStringLiteral("WHERE r.user = ?1 ORDER BY r.chosen DESC LIMIT ?2")).toUtf8().constData());
            s.bind(1, q.user).bind(2, qint64(q.pageSize));
            SearchPage page;
            while (s.step())
                page.rows.append(readPatient(s));
            return page;
        }
        const NameQuery name = parseNameQuery(q.text);
        // The index is entered at the position (the first page's is the name typed), so a page
        // deep in the result costs what the first does.
        const QStringList after = q.after.isEmpty() ? QStringList{name.last, name.first, QStringLiteral("-1")}
                                                    : decodePosition(q.after, 3);
        Statement s(m_db, (select + QStringLiteral(" FROM patients p INDEXED BY patients_name") + joins
                           + QStringLiteral("WHERE (p.last, p.first, p.id) > (?4, ?5, ?6) AND p.last < ?2 "
                                            "AND p.first LIKE ?3 ESCAPE '\\' "
                                            "ORDER BY p.last, p.first, p.id LIMIT ?7")).toUtf8().constData());
        s.bind(2, prefixEnd(name.last)).bind(3, likePrefix(name.first));
        s.bind(4, after[0]).bind(5, after[1]).bind(6, after[2].toLongLong()).bind(7, limit);
        return collect(s, q.pageSize, [](const Statement&, const PatientRow& r) {
            return QStringList{r.last, r.first, QString::number(r.account)};
        });
    }
    case SearchKey::Guarantor: {
        const NameQuery name = parseNameQuery(q.text);
        const QStringList after = q.after.isEmpty()
            ? QStringList{name.last, name.first, QStringLiteral("-1"), QStringLiteral("-1")}
            : decodePosition(q.after, 4);
        // Entered at the guarantor of the position; that guarantor's later dependants and every
        // later guarantor follow.
        Statement s(m_db, (select + QStringLiteral(", g.last, g.first, g.id FROM patients g INDEXED BY patients_name "
                                                   "JOIN patients p ON p.guarantor = g.id "
                                                   "WHERE (g.last, g.first, g.id) >= (?4, ?5, ?6) AND g.last < ?2 "
                                                   "AND g.first LIKE ?3 ESCAPE '\\' "
                                                   "AND ((g.last, g.first, g.id) > (?4, ?5, ?6) OR p.id > ?7) "
                                                   "ORDER BY g.last, g.first, g.id, p.id LIMIT ?8")).toUtf8().constData());
        s.bind(2, prefixEnd(name.last)).bind(3, likePrefix(name.first));
        s.bind(4, after[0]).bind(5, after[1]).bind(6, after[2].toLongLong()).bind(7, after[3].toLongLong()).bind(8, limit);
        return collect(s, q.pageSize, [](const Statement& st, const PatientRow& r) {
            return QStringList{st.text(11), st.text(12), QString::number(st.integer(13)), QString::number(r.account)};
        });
    }
    case SearchKey::DateOfBirth: {
        const std::optional<DateRange> range = parseDateQuery(q.text);
        if (!range)
            throw std::invalid_argument("a date of birth is MM/DD/YYYY, MMDDYYYY, MM/DD/YY, YYYY-MM-DD or a year");
        const QStringList after = q.after.isEmpty()
            ? QStringList{range->from.toString(Qt::ISODate), QString(), QString(), QStringLiteral("-1")}
            : decodePosition(q.after, 4);
        Statement s(m_db, (select + QStringLiteral(" FROM patients p INDEXED BY patients_dob") + joins
                           + QStringLiteral("WHERE (p.dob, p.last, p.first, p.id) > (?3, ?4, ?5, ?6) AND p.dob <= ?2 "
                                            "ORDER BY p.dob, p.last, p.first, p.id LIMIT ?7")).toUtf8().constData());
        s.bind(2, range->to.toString(Qt::ISODate));
        s.bind(3, after[0]).bind(4, after[1]).bind(5, after[2]).bind(6, after[3].toLongLong()).bind(7, limit);
        return collect(s, q.pageSize, [](const Statement&, const PatientRow& r) {
            return QStringList{r.dob.toString(Qt::ISODate), r.last, r.first, QString::number(r.account)};
        });
    }
    case SearchKey::SocialSecurity:
    case SearchKey::MedicalRecord: {
        const bool ssn = q.key == SearchKey::SocialSecurity;
        const QString value = ssn ? digitsOf(q.text) : q.text.trimmed();
        if (value.isEmpty())
            throw std::invalid_argument(ssn ? "a social security number has digits" : "a medical record number is needed");
        const QStringList after = q.after.isEmpty() ? QStringList{value, QStringLiteral("-1")} : decodePosition(q.after, 2);
        const QString column = ssn ? QStringLiteral("ssn") : QStringLiteral("mrn");
        Statement s(m_db, (select + QStringLiteral(" FROM patients p INDEXED BY patients_") + column + joins
                           + QStringLiteral("WHERE (p.") + column + QStringLiteral(", p.id) > (?3, ?4) AND p.") + column
                           + QStringLiteral(" < ?2 ORDER BY p.") + column + QStringLiteral(", p.id LIMIT ?5")).toUtf8().constData());
        s.bind(2, prefixEnd(value)).bind(3, after[0]).bind(4, after[1].toLongLong()).bind(5, limit);
        return collect(s, q.pageSize, [ssn](const Statement&, const PatientRow& r) {
            return QStringList{ssn ? r.ssn : r.mrn, QString::number(r.account)};
        });
    }
    case SearchKey::Phone:
    case SearchKey::Policy:
    case SearchKey::Accession: {
        const bool phone = q.key == SearchKey::Phone;
        const bool policy = q.key == SearchKey::Policy;
        const QString value = phone ? digitsOf(q.text) : q.text.trimmed().toUpper();
        if (value.isEmpty())
            throw std::invalid_argument("the search needs a number");
        const QString table = phone ? QStringLiteral("phones x INDEXED BY phones_digits")
                                    : policy ? QStringLiteral("policies x INDEXED BY policies_number")
                                             : QStringLiteral("accessions x");
        const QString column = phone ? QStringLiteral("x.digits") : QStringLiteral("x.number");
        const QStringList after = q.after.isEmpty() ? QStringList{value, QStringLiteral("-1")} : decodePosition(q.after, 2);
        Statement s(m_db, (select + QStringLiteral(", ") + column + QStringLiteral(" FROM ") + table
                           + QStringLiteral(" JOIN patients p ON p.id = x.patient") + joins + QStringLiteral("WHERE (") + column
                           + QStringLiteral(", x.patient) > (?3, ?4) AND ") + column + QStringLiteral(" < ?2 ORDER BY ")
                           + column + QStringLiteral(", x.patient LIMIT ?5")).toUtf8().constData());
        s.bind(2, prefixEnd(value)).bind(3, after[0]).bind(4, after[1].toLongLong()).bind(5, limit);
        SearchPage page = collect(s, q.pageSize, [](const Statement& st, const PatientRow& r) {
            return QStringList{st.text(11), QString::number(r.account)};
        });
        return page;
    }
    case SearchKey::Account:
    case SearchKey::Transaction:
    case SearchKey::Claim:
    case SearchKey::Encounter: {
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
        Statement s(m_db, (select + QStringLiteral(" FROM patients p") + joins + QStringLiteral("WHERE ") + where).toUtf8().constData());
        s.bind(1, number);
        SearchPage page;
        if (s.step()) {
            page.rows.append(readPatient(s));
            if (q.key != SearchKey::Account)
                page.rows.last().matched = QString::number(number);
        }
        return page;
    }
    }
    return {};
}

QList<PatientRow> SqliteStore::nameSearchWithOffset(const QString& text, int offset, int pageSize)
{
    const NameQuery name = parseNameQuery(text);
    Statement s(m_db, (QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns)
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

QList<Candidate> SqliteStore::duplicateCandidates(const PatientData& data, int limit)
{
    const QString ssn = digitsOf(data.ssn);
    const NameQuery name = parseNameQuery(data.name);
    const QString lastSound = soundex(name.last);
    const QString firstSound = soundex(name.first);
    const QString firstInitial = name.first.left(1);
    const QString lastInitial = name.last.left(1);
    const std::optional<DateRange> dob = parseDateQuery(data.dob);
    bool accountOk = false;
    const qint64 account = data.account.trimmed().toLongLong(&accountOk);

    // Each way in is an index search; the union keeps a patient once.
    Statement s(m_db, (QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns)
                       + QStringLiteral(" FROM patients p LEFT JOIN patients g ON g.id = p.guarantor WHERE p.id IN ("
                                        "SELECT id FROM patients WHERE ?1 <> '' AND ssn = ?1 "
                                        "UNION SELECT id FROM patients WHERE id = ?2 "
                                        "UNION SELECT id FROM patients WHERE ?3 <> '' AND sdx = ?3 AND first >= ?4 AND first < ?5 "
                                        "UNION SELECT id FROM patients WHERE ?6 <> '' AND sdx = ?6 AND first >= ?7 AND first < ?8 "
                                        "UNION SELECT id FROM patients WHERE ?9 <> '' AND dob = ?9 AND last >= ?10 AND last < ?11 "
                                        "UNION SELECT patient FROM policies WHERE ?12 <> '' AND number = ?12 "
                                        "UNION SELECT id FROM patients WHERE ?13 <> '' AND mrn = ?13) LIMIT ?14"))
                    .toUtf8().constData());
    s.bind(1, ssn.size() >= 9 ? ssn : QString());
    s.bind(2, accountOk ? account : qint64(-1));
    s.bind(3, lastSound).bind(4, firstInitial).bind(5, prefixEnd(firstInitial));
    // First and last name swapped: the first name sounds like a last name.
    s.bind(6, firstSound).bind(7, lastInitial).bind(8, prefixEnd(lastInitial));
    s.bind(9, dob && dob->from == dob->to ? dob->from.toString(Qt::ISODate) : QString());
    s.bind(10, lastInitial).bind(11, prefixEnd(lastInitial));
    s.bind(12, data.policy.trimmed().toUpper()).bind(13, data.mrn.trimmed()).bind(14, qint64(limit));
    QList<Candidate> out;
    while (s.step())
        out.append({readPatient(s), {}});
    Statement policies(m_db, "SELECT number FROM policies WHERE patient = ?1 ORDER BY rank");
    for (Candidate& c : out) {
        policies.bind(1, c.patient.account);
        while (policies.step())
            c.policies.append(policies.text(0));
        policies.reset();
    }
    return out;
}

std::optional<QList<CodeRow>> SqliteStore::codeTable(const QString& name)
{
    Statement s(m_db, "SELECT code, description, grp, extra FROM codes WHERE tbl = ?1 ORDER BY sort, code");
    s.bind(1, name.toUpper());
    QList<CodeRow> rows;
    while (s.step())
        rows.append({s.text(0), s.text(1), s.text(2), s.text(3)});
    if (rows.isEmpty())
        return std::nullopt;
    return rows;
}

std::optional<QString> SqliteStore::setting(const QString& name)
{
    Statement s(m_db, "SELECT value FROM settings WHERE name = ?1");
    s.bind(1, name);
    if (!s.step())
        return std::nullopt;
    return s.text(0);
}

std::optional<QByteArray> SqliteStore::file(const QString& folder, const QString& name)
{
    Statement s(m_db, "SELECT content FROM files WHERE folder = ?1 AND name = ?2");
    s.bind(1, folder.toUpper()).bind(2, name);
    if (!s.step())
        return std::nullopt;
    return s.blob(0);
}

std::optional<PatientRecordData> SqliteStore::record(qint64 account)
{
    Statement s(m_db, (QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns)
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

    Statement g(m_db, (QStringLiteral("SELECT ") + QString::fromLatin1(kPatientColumns)
                       + QStringLiteral(" FROM patients p LEFT JOIN patients g ON g.id = p.guarantor WHERE p.id = ?1"))
                    .toUtf8().constData());
    g.bind(1, guarantor);
    if (g.step())
        r.guarantorRow = readPatient(g);

    Statement p(m_db, "SELECT x.rank, c.description, x.number, x.grp, s.last || ', ' || s.first, x.relation, x.effective "
                      "FROM policies x LEFT JOIN codes c ON c.tbl = 'PAYOR' AND c.code = x.payor "
                      "LEFT JOIN patients s ON s.id = x.subscriber WHERE x.patient = ?1 ORDER BY x.rank");
    p.bind(1, account);
    while (p.step()) {
        r.policies.append({int(p.integer(0)), p.text(1), p.text(2), p.text(3), p.text(4), p.text(5),
                           QDate::fromString(p.text(6), Qt::ISODate)});
    }
    Statement v(m_db, "SELECT seen, provider, reason, charges, payments FROM encounters WHERE patient = ?1 "
                      "ORDER BY seen DESC LIMIT 500");
    v.bind(1, account);
    while (v.step()) {
        r.visits.append({QDate::fromString(v.text(0), Qt::ISODate), v.text(1), v.text(2), v.real(3), v.real(4)});
        r.balance += v.real(3) - v.real(4);
    }
    r.insuranceBalance = r.policies.isEmpty() ? 0 : r.balance * 0.6;
    return r;
}

void SqliteStore::rememberChoice(const QString& user, qint64 account)
{
    Statement s(m_db, "INSERT OR REPLACE INTO recent (user, patient, chosen) VALUES (?1, ?2, ?3)");
    s.bind(1, user).bind(2, account).bind(3, QDateTime::currentMSecsSinceEpoch());
    s.run();
}

QStringList SqliteStore::searchPlans()
{
    QStringList plans;
    const QList<SearchKey> keys = {SearchKey::PatientName, SearchKey::Guarantor, SearchKey::DateOfBirth,
                                   SearchKey::SocialSecurity, SearchKey::MedicalRecord, SearchKey::Phone,
                                   SearchKey::Policy, SearchKey::Accession, SearchKey::Account,
                                   SearchKey::Transaction, SearchKey::Claim, SearchKey::Encounter};
    // The statements the searches run, caught as they run and explained with their values.
    const QStringList samples = {QStringLiteral("SMITH,JO"), QStringLiteral("SMITH"), QStringLiteral("01/02/1980"),
                                 QStringLiteral("123456789"), QStringLiteral("MR1"), QStringLiteral("5551234"),
                                 QStringLiteral("BPH1"), QStringLiteral("A1"), QStringLiteral("1001"),
                                 QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1")};
    struct Capture { QStringList* sql; };
    QStringList statements;
    Capture capture{&statements};
    const auto traceStatement = [](unsigned, void* context, void* statement, void*) -> int {
        auto* c = static_cast<Capture*>(context);
        char* sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(statement));
        if (sql) {
            c->sql->append(QString::fromUtf8(sql));
            sqlite3_free(sql);
        }
        return 0;
    };
    sqlite3_trace_v2(m_db, SQLITE_TRACE_STMT, traceStatement, &capture);
    for (int i = 0; i < keys.size(); ++i) {
        statements.clear();
        search({keys[i], samples[i], {}, 50, QStringLiteral("user")});
        sqlite3_trace_v2(m_db, 0, nullptr, nullptr);
        const QStringList captured = statements;
        for (const QString& sql : captured) {
            Statement explain(m_db, (QStringLiteral("EXPLAIN QUERY PLAN ") + sql).toUtf8().constData());
            QStringList steps;
            while (explain.step())
                steps.append(explain.text(3));
            plans.append(steps.join(QStringLiteral(" | ")));
        }
        sqlite3_trace_v2(m_db, SQLITE_TRACE_STMT, traceStatement, &capture);
    }
    sqlite3_trace_v2(m_db, 0, nullptr, nullptr);
    return plans;
}

} // namespace zelvar::practice
