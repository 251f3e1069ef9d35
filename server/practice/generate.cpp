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

} // namespace

void SqlStore::fill(qint64 patients, quint64 seed, const std::function<void(int)>& progress)
{
    std::mt19937_64 random(seed);
    Picker lastNamePicker(surnameCounts());
    FirstNamePicker firstNames;
    const std::unique_ptr<RowWriter> rows = m_db->rowWriter();
    // The last few patients written, for the near-duplicates of them.
    std::array<PatientFields, 8> recent;
    const auto number = [](auto n) { return QString::number(n); };
    // Rows are numbered here, as the database would number them, so that every engine (and a
    // copy from one to another) has the same transaction, claim and encounter numbers.
    qint64 policyId = 0, encounterId = 0, transactionId = 0, claimId = 0;

    const QDate today(2026, 12, 1);
    qint64 account = 100001;
    int lastReported = -1;
    while (account < 100001 + patients) {
        // One household: a guarantor and the people whose bills go to them.
        const int size = 1 + int(random() % 100 < 45 ? 0 : random() % 4);
        const QString householdLast = lastNamePicker.pick(random);
        const QString street = QString::number(1 + random() % 9999) + QLatin1Char(' ') + pickOf(random, kStreets);
        const QString city = pickOf(random, kCities);
        const QString zip = QStringLiteral("62") + digits(random, 3);
        const QString homePhone = QStringLiteral("217") + digits(random, 7);
        const qint64 guarantor = account;
        const QString payor = QString::fromLatin1(kPayors[random() % 6]);
        const QString policyNumber = payor + digits(random, 6);
        const bool insured = random() % 100 < 80;
        for (int member = 0; member < size && account < 100001 + patients; ++member, ++account) {
            const bool female = random() % 2;
            QString last = householdLast;
            const int age = member < 2 ? 25 + int(random() % 60) : int(random() % 24);
            QDate dob = today.addYears(-age).addDays(-qint64(random() % 365));
            QString first = firstNames.pick(random, dob.year(), female);
            QString ssn = digits(random, 9);
            QString relation = member == 0 ? QStringLiteral("SELF") : member == 1 ? QStringLiteral("SPOUSE") : QStringLiteral("CHILD");
            // About one patient in a hundred is someone already here, entered again a little differently.
            const bool nearDuplicate = account > 100010 && random() % 100 == 0;
            if (nearDuplicate) {
                const PatientFields& twin = recent[size_t(account - 1 - qint64(random() % 5)) % recent.size()];
                last = twin.last;
                first = twin.first;
                dob = twin.dob;
                ssn = twin.ssn;
                switch (random() % 4) {
                case 0: last = misspelt(last, random); break;
                case 1: if (dob.day() <= 12) dob = QDate(dob.year(), dob.day(), dob.month()); break;
                case 2: first = first.left(1) + first.mid(1, 2); break;
                default: ssn.clear(); break;
                }
            }
            const QString mobile = random() % 100 < 60 ? QStringLiteral("217") + digits(random, 7) : QString();
            const QString mrn = QStringLiteral("MR") + QString::number(account);
            PatientFields& p = recent[size_t(account) % recent.size()];
            p = {account, last, first, QString(QChar(u'A' + int(random() % 26))), dob,
                 female ? QStringLiteral("F") : QStringLiteral("M"), ssn, mrn, homePhone, mobile, street, city,
                 QStringLiteral("IL"), zip, random() % 100 < 93, guarantor, relation, {}};
            // The policy and the visits are drawn before the patient is written, whose row
            // carries the last visit.
            QStringList policy;
            if (insured) {
                const QString group = QStringLiteral("G-") + digits(random, 4);
                policy = {number(++policyId), number(account), QStringLiteral("1"), payor, policyNumber, group,
                          number(guarantor), relation, today.addDays(-qint64(random() % 2000)).toString(Qt::ISODate),
                          identifierKey(policyNumber)};
            }
            struct Visit { QDate seen; double charges, paid; QString provider, reason; };
            QList<Visit> visits(int(random() % 5));
            for (Visit& v : visits) {
                v.seen = today.addDays(-qint64(random() % 1500));
                v.charges = 60 + double(random() % 300);
                v.paid = double(random() % 100 < 70 ? v.charges : v.charges * 0.5);
                v.provider = pickOf(random, kProviders);
                v.reason = pickOf(random, kReasons);
                p.lastVisit = qMax(p.lastVisit, v.seen);
            }
            writePatient(*rows, p);
            writePhone(*rows, homePhone, account);
            writePhone(*rows, mobile, account);
            if (insured)
                rows->write(Table::Policies, policy);
            for (const Visit& v : std::as_const(visits)) {
                const QString seen = v.seen.toString(Qt::ISODate);
                rows->write(Table::Encounters, {number(++encounterId), number(account), seen, v.provider, v.reason,
                                                number(v.charges), number(v.paid)});
                rows->write(Table::Transactions, {number(++transactionId), number(account), seen, QStringLiteral("99213"), number(v.charges)});
                if (insured)
                    rows->write(Table::Claims, {number(++claimId), number(account), seen, payor, number(v.charges)});
            }
            if (random() % 10 == 0) {
                rows->write(Table::Accessions, {QStringLiteral("A") + number(account), number(account),
                                                today.addDays(-qint64(random() % 200)).toString(Qt::ISODate),
                                                QStringLiteral("Lipid panel")});
            }
        }
        const int percent = int((account - 100001) * 100 / qMax<qint64>(1, patients));
        if (progress && percent != lastReported) {
            lastReported = percent;
            progress(qMin(percent, 99));
        }
    }

    qint64 sort = 0;
    for (const Code& c : kCodes) {
        rows->write(Table::Codes, {QString::fromLatin1(c.table), QString::fromLatin1(c.code),
                                   QString::fromUtf8(c.description), QString::fromLatin1(c.group),
                                   QString::fromLatin1(c.extra), number(sort++)});
    }
    rows->write(Table::Settings, {QStringLiteral("ALTPATRECORDDISPL"), QString()});
    rows->write(Table::Settings, {QStringLiteral("PRACTICENAME"), QStringLiteral("Riverside Family Practice")});
    rows->flush();
    QFile styleSheet(QStringLiteral(":/practice/PR.xsl"));
    if (styleSheet.open(QIODevice::ReadOnly)) {
        Statement file(*m_db, "INSERT INTO files (folder, name, content) VALUES (?1, ?2, ?3)");
        const QByteArray content = styleSheet.readAll();
        file.bind(1, QStringLiteral("FORMS")).bind(2, QStringLiteral("PR.xsl")).bind(3, content);
        file.run();
        file.bind(1, QStringLiteral("FORMS")).bind(2, QStringLiteral("PR2.xsl")).bind(3, content);
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
