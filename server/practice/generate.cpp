// Demo data: a practice of households whose names follow real frequencies, with insurance,
// visits and a sprinkling of near-duplicate patients. Deterministic for a seed.
#include "sqlstore.h"

#include "names.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <map>
#include <random>

namespace zelvar::practice {
namespace {

// Draws names as often as people bear them.
class Picker
{
public:
    explicit Picker(const QList<NameCount>& names)
        : m_names(names)
    {
        std::vector<double> weights;
        for (const NameCount& n : names)
            weights.push_back(n.count);
        m_distribution = std::discrete_distribution<int>(weights.begin(), weights.end());
    }
    QString pick(std::mt19937_64& random) { return m_names[m_distribution(random)].name; }

private:
    const QList<NameCount>& m_names;
    std::discrete_distribution<int> m_distribution;
};

// First names as they were given in the patient's decade of birth.
class FirstNamePicker
{
public:
    QString pick(std::mt19937_64& random, int birthYear, bool female)
    {
        const int decade = std::clamp(birthYear - birthYear % 10, 1930, 2020);
        const QChar sex = female ? QLatin1Char('F') : QLatin1Char('M');
        auto it = m_pickers.find({decade, sex});
        if (it == m_pickers.end())
            it = m_pickers.emplace(std::pair{decade, sex}, Picker(firstNameCounts(decade, sex))).first;
        return it->second.pick(random);
    }

private:
    std::map<std::pair<int, QChar>, Picker> m_pickers;
};

struct Code { const char* table; const char* code; const char* description; const char* group; const char* extra; };

const Code kCodes[] = {
    {"GENDER", "F", "Female", "", ""}, {"GENDER", "M", "Male", "", ""}, {"GENDER", "U", "Unknown", "", ""},
    {"GENDER", "X", "Another gender", "", ""},
    {"PAYOR", "BPH", "Blue Prairie Health", "Commercial", "PPO\nHMO\nEPO"},
    {"PAYOR", "CAS", "Cascade Mutual", "Commercial", "PPO\nHMO"},
    {"PAYOR", "LKS", "Lakeshore Indemnity", "Commercial", "Indemnity"},
    {"PAYOR", "MCR", "Medicare Part B", "Government", "Part B"},
    {"PAYOR", "MCD", "State Medicaid", "Government", "Managed care\nFee for service"},
    {"PAYOR", "TRI", "Tricare", "Government", "Prime\nSelect"},
    {"PAYOR", "SELF", "Self pay", "Other", ""},
    {"PAYOR", "WC", "Workers' compensation", "Other", "Employer claim"},
    {"RELATION", "SELF", "Self", "", ""}, {"RELATION", "SPOUSE", "Spouse", "", ""},
    {"RELATION", "CHILD", "Child", "", ""}, {"RELATION", "PARENT", "Parent", "", ""},
    {"RELATION", "OTHER", "Other", "", ""},
    {"RACE", "1", "American Indian or Alaska Native", "", ""}, {"RACE", "2", "Asian", "", ""},
    {"RACE", "3", "Black or African American", "", ""}, {"RACE", "4", "Native Hawaiian or Other Pacific Islander", "", ""},
    {"RACE", "5", "White", "", ""}, {"RACE", "6", "Declined to answer", "", ""},
    {"ETHNICITY", "H", "Hispanic or Latino", "", ""}, {"ETHNICITY", "N", "Not Hispanic or Latino", "", ""},
    {"ETHNICITY", "D", "Declined to answer", "", ""},
    {"LANGUAGE", "EN", "English", "", ""}, {"LANGUAGE", "ES", "Spanish", "", ""}, {"LANGUAGE", "ZH", "Chinese", "", ""},
    {"LANGUAGE", "VI", "Vietnamese", "", ""}, {"LANGUAGE", "PL", "Polish", "", ""}, {"LANGUAGE", "FR", "French", "", ""},
    {"STATE", "IL", "Illinois", "Midwest", ""}, {"STATE", "IN", "Indiana", "Midwest", ""},
    {"STATE", "IA", "Iowa", "Midwest", ""}, {"STATE", "MI", "Michigan", "Midwest", ""},
    {"STATE", "MO", "Missouri", "Midwest", ""}, {"STATE", "WI", "Wisconsin", "Midwest", ""},
    {"STATE", "NY", "New York", "Northeast", ""}, {"STATE", "PA", "Pennsylvania", "Northeast", ""},
    {"STATE", "TX", "Texas", "South", ""}, {"STATE", "FL", "Florida", "South", ""},
    {"STATE", "CA", "California", "West", ""}, {"STATE", "WA", "Washington", "West", ""},
};

const char* kStreets[] = {"Oak Lane", "Maple Avenue", "Main Street", "Cedar Court", "Lincoln Road", "Prairie Drive",
                          "River Road", "Elm Street", "Walnut Street", "Park Place"};
const char* kCities[] = {"Springfield", "Decatur", "Champaign", "Peoria", "Bloomington", "Urbana", "Normal", "Danville"};
const char* kProviders[] = {"Dr. Patel", "Dr. Okafor", "Dr. Nguyen", "Dr. Schmidt", "Dr. Rivera", "NP Kowalski"};
const char* kReasons[] = {"Annual physical", "Follow-up", "Flu symptoms", "Blood pressure check", "Lab review",
                          "Vaccination", "Back pain", "Well child visit"};
const char* kPayors[] = {"BPH", "CAS", "LKS", "MCR", "MCD", "TRI"};

QString digits(std::mt19937_64& random, int count)
{
    QString out;
    for (int i = 0; i < count; ++i)
        out += QChar(u'0' + int(random() % 10));
    return out;
}

template<size_t N>
QString pickOf(std::mt19937_64& random, const char* const (&list)[N])
{
    return QString::fromLatin1(list[random() % N]);
}

QString misspelt(const QString& name, std::mt19937_64& random)
{
    if (name.size() < 4)
        return name + QLatin1Char('E');
    QString out = name;
    const int at = 1 + int(random() % (name.size() - 2));
    std::swap(out[at], out[at + 1]);
    return out;
}

// One household: a guarantor and the people whose bills go to them.
struct Household
{
    qint64 guarantor = 0;
    int size = 1;
    QString last, street, city, zip, homePhone, payor, policyNumber;
    bool insured = false;
};

struct Visit
{
    QDate seen;
    double charges = 0, paid = 0;
    QString provider, reason;
};

// The demo practice, drawn from one seed: the same seed gives the same patients, numbers and
// visits on every engine (rows are numbered here, as the database would number them, so that
// a copy from one engine to another has the same transaction, claim and encounter numbers).
// What is drawn, and in what order, is what makes it so: a change to either is a new practice.
class DemoPractice
{
public:
    DemoPractice(RowWriter& rows, quint64 seed) : m_rows(rows), m_random(seed), m_lastNames(surnameCounts()) {}

    // The next household's members from `account` on, up to `end` (not included); returns the
    // account after the last one written.
    qint64 writeHousehold(qint64 account, qint64 end)
    {
        const Household h = drawHousehold(account);
        for (int member = 0; member < h.size && account < end; ++member, ++account)
            writeMember(h, member, account);
        return account;
    }

private:
    QString number(qint64 n) const { return QString::number(n); }
    QString number(double n) const { return QString::number(n); }

    Household drawHousehold(qint64 account)
    {
        Household h;
        h.guarantor = account;
        h.size = 1 + int(m_random() % 100 < 45 ? 0 : m_random() % 4);
        h.last = m_lastNames.pick(m_random);
        h.street = QString::number(1 + m_random() % 9999) + QLatin1Char(' ') + pickOf(m_random, kStreets);
        h.city = pickOf(m_random, kCities);
        h.zip = QStringLiteral("62") + digits(m_random, 3);
        h.homePhone = QStringLiteral("217") + digits(m_random, 7);
        h.payor = QString::fromLatin1(kPayors[m_random() % 6]);
        h.policyNumber = h.payor + digits(m_random, 6);
        h.insured = m_random() % 100 < 80;
        return h;
    }

    PatientFields& drawMember(const Household& h, int member, qint64 account)
    {
        const bool female = m_random() % 2;
        const int age = member < 2 ? 25 + int(m_random() % 60) : int(m_random() % 24);
        QDate dob = kToday.addYears(-age).addDays(-qint64(m_random() % 365));
        QString last = h.last;
        QString first = m_firstNames.pick(m_random, dob.year(), female);
        QString ssn = digits(m_random, 9);
        // About one patient in a hundred is someone already here, entered again a little differently.
        if (account > 100010 && m_random() % 100 == 0)
            enterAgain(account, last, first, dob, ssn);
        const QString mobile = m_random() % 100 < 60 ? QStringLiteral("217") + digits(m_random, 7) : QString();
        const QString relation = member == 0 ? QStringLiteral("SELF") : member == 1 ? QStringLiteral("SPOUSE") : QStringLiteral("CHILD");
        PatientFields& p = m_recent[size_t(account) % m_recent.size()];
        p = {account, last, first, QString(QChar(u'A' + int(m_random() % 26))), dob,
             female ? QStringLiteral("F") : QStringLiteral("M"), ssn, QStringLiteral("MR") + QString::number(account),
             h.homePhone, mobile, h.street, h.city, QStringLiteral("IL"), h.zip, m_random() % 100 < 93, h.guarantor,
             relation, {}};
        return p;
    }

    // One of the last few patients, as a clerk might type them again: a surname misspelt, a
    // birth date day first, a first name cut short, or no SSN.
    void enterAgain(qint64 account, QString& last, QString& first, QDate& dob, QString& ssn)
    {
        const PatientFields& twin = m_recent[size_t(account - 1 - qint64(m_random() % 5)) % m_recent.size()];
        last = twin.last;
        first = twin.first;
        dob = twin.dob;
        ssn = twin.ssn;
        switch (m_random() % 4) {
        case 0: last = misspelt(last, m_random); break;
        case 1: if (dob.day() <= 12) dob = QDate(dob.year(), dob.day(), dob.month()); break;
        case 2: first = first.left(1) + first.mid(1, 2); break;
        default: ssn.clear(); break;
        }
    }

    QList<Visit> drawVisits(PatientFields& p)
    {
        QList<Visit> visits(int(m_random() % 5));
        for (Visit& v : visits) {
            v.seen = kToday.addDays(-qint64(m_random() % 1500));
            v.charges = 60 + double(m_random() % 300);
            v.paid = double(m_random() % 100 < 70 ? v.charges : v.charges * 0.5);
            v.provider = pickOf(m_random, kProviders);
            v.reason = pickOf(m_random, kReasons);
            p.lastVisit = qMax(p.lastVisit, v.seen);
        }
        return visits;
    }

    void writeMember(const Household& h, int member, qint64 account)
    {
        PatientFields& p = drawMember(h, member, account);
        // The policy and the visits are drawn before the patient is written, whose row carries
        // the last visit.
        QStringList policy;
        if (h.insured) {
            const QString group = QStringLiteral("G-") + digits(m_random, 4);
            policy = {number(++m_policyId), number(account), QStringLiteral("1"), h.payor, h.policyNumber, group,
                      number(h.guarantor), p.relation, kToday.addDays(-qint64(m_random() % 2000)).toString(Qt::ISODate),
                      identifierKey(h.policyNumber)};
        }
        const QList<Visit> visits = drawVisits(p);
        writePatient(m_rows, p);
        writePhone(m_rows, h.homePhone, account);
        writePhone(m_rows, p.mobile, account);
        if (h.insured)
            m_rows.write(Table::Policies, policy);
        for (const Visit& v : visits) {
            const QString seen = v.seen.toString(Qt::ISODate);
            m_rows.write(Table::Encounters, {number(++m_encounterId), number(account), seen, v.provider, v.reason,
                                             number(v.charges), number(v.paid)});
            m_rows.write(Table::Transactions, {number(++m_transactionId), number(account), seen, QStringLiteral("99213"),
                                               number(v.charges)});
            if (h.insured)
                m_rows.write(Table::Claims, {number(++m_claimId), number(account), seen, h.payor, number(v.charges)});
        }
        if (m_random() % 10 == 0) {
            m_rows.write(Table::Accessions, {QStringLiteral("A") + number(account), number(account),
                                             kToday.addDays(-qint64(m_random() % 200)).toString(Qt::ISODate),
                                             QStringLiteral("Lipid panel")});
        }
    }

    static inline const QDate kToday{2026, 12, 1};
    RowWriter& m_rows;
    std::mt19937_64 m_random;
    Picker m_lastNames;
    FirstNamePicker m_firstNames;
    // The last few patients written, for the near-duplicates of them.
    std::array<PatientFields, 8> m_recent;
    qint64 m_policyId = 0, m_encounterId = 0, m_transactionId = 0, m_claimId = 0;
};

void writeCodesAndSettings(RowWriter& rows)
{
    qint64 sort = 0;
    for (const Code& c : kCodes) {
        rows.write(Table::Codes, {QString::fromLatin1(c.table), QString::fromLatin1(c.code),
                                  QString::fromUtf8(c.description), QString::fromLatin1(c.group),
                                  QString::fromLatin1(c.extra), QString::number(sort++)});
    }
    rows.write(Table::Settings, {QStringLiteral("ALTPATRECORDDISPL"), QString()});
    rows.write(Table::Settings, {QStringLiteral("PRACTICENAME"), QStringLiteral("Riverside Family Practice")});
}

} // namespace

void SqlStore::fill(qint64 patients, quint64 seed, const std::function<void(int)>& progress)
{
    const std::unique_ptr<RowWriter> rows = m_db->rowWriter();
    DemoPractice practice(*rows, seed);
    constexpr qint64 kFirst = 100001;
    int lastReported = -1;
    for (qint64 account = kFirst; account < kFirst + patients;) {
        account = practice.writeHousehold(account, kFirst + patients);
        const int percent = int((account - kFirst) * 100 / qMax<qint64>(1, patients));
        if (progress && percent != lastReported) {
            lastReported = percent;
            progress(qMin(percent, 99));
        }
    }
    writeCodesAndSettings(*rows);
    rows->flush();
    QFile styleSheet(QStringLiteral(":/practice/PR.xsl"));
    if (styleSheet.open(QIODevice::ReadOnly)) {
        Statement file(*m_db, "INSERT INTO files (folder, name, content) VALUES (:folder, :name, :content)");
        const QByteArray content = styleSheet.readAll();
        file.bind("folder", QStringLiteral("FORMS")).bind("name", QStringLiteral("PR.xsl")).bind("content", content);
        file.run();
        file.bind("folder", QStringLiteral("FORMS")).bind("name", QStringLiteral("PR2.xsl")).bind("content", content);
        file.run();
    }
}

void SqlStore::generate(qint64 patients, quint64 seed, const std::function<void(int)>& progress)
{
    inWriteTransaction(*m_db, [&] {
        // The indexes are made again after the rows, faster than kept up row by row; as the
        // database has them, whatever its layout's steps made.
        const QList<Index> indexes = secondaryIndexes();
        for (const Index& index : indexes)
            m_db->execute(QStringLiteral("DROP INDEX ") + index.name);
        clearTables();
        fill(patients, seed, progress);
        for (const Index& index : indexes)
            m_db->execute(index.definition);
    });
    analyse();
    if (progress)
        progress(100);
}

} // namespace zelvar::practice
