// Demo data: a practice of households whose names follow real frequencies, with insurance,
// visits and a sprinkling of near-duplicate patients. Deterministic for a seed.
#include "sqlitestore.h"

#include "names.h"
#include "statement.h"

#include <QFile>

#include <random>

namespace zelvar::practice {
namespace {

class Picker
{
public:
    explicit Picker(const QList<WeightedName>& names)
        : m_names(names)
    {
        std::vector<double> weights;
        for (const WeightedName& n : names)
            weights.push_back(n.weight);
        m_distribution = std::discrete_distribution<int>(weights.begin(), weights.end());
    }
    QString pick(std::mt19937_64& random) { return QString::fromUtf8(m_names[m_distribution(random)].name); }

private:
    const QList<WeightedName>& m_names;
    std::discrete_distribution<int> m_distribution;
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

void SqliteStore::fill(qint64 patients, quint64 seed, const std::function<void(int)>& progress)
{
    std::mt19937_64 random(seed);
    Picker lastNamePicker(lastNames());
    Picker femalePicker(femaleFirstNames());
    Picker malePicker(maleFirstNames());

    Statement patient(m_db, "INSERT INTO patients (id, last, first, middle, dob, sex, ssn, mrn, phone, mobile, street,"
                            " city, state, zip, active, guarantor, relation, lastkey, firstkey, firstformal, lastsound,"
                            " ssn4, mrnkey) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16,"
                            " ?17, ?18, ?19, ?20, ?21, ?22, ?23)");
    Statement alternate(m_db, "INSERT INTO namekeys VALUES (?1, ?2, ?3)");
    Statement phone(m_db, "INSERT INTO phones VALUES (?1, ?2, ?3, ?4)");
    Statement policy(m_db, "INSERT INTO policies VALUES (NULL, ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    Statement encounter(m_db, "INSERT INTO encounters VALUES (NULL, ?1, ?2, ?3, ?4, ?5, ?6)");
    Statement transaction(m_db, "INSERT INTO transactions VALUES (NULL, ?1, ?2, ?3, ?4)");
    Statement claim(m_db, "INSERT INTO claims VALUES (NULL, ?1, ?2, ?3, ?4)");
    Statement accession(m_db, "INSERT OR IGNORE INTO accessions VALUES (?1, ?2, ?3, ?4)");

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
            QString first = female ? femalePicker.pick(random) : malePicker.pick(random);
            QString last = householdLast;
            const int age = member < 2 ? 25 + int(random() % 60) : int(random() % 24);
            QDate dob = today.addYears(-age).addDays(-qint64(random() % 365));
            QString ssn = digits(random, 9);
            QString relation = member == 0 ? QStringLiteral("SELF") : member == 1 ? QStringLiteral("SPOUSE") : QStringLiteral("CHILD");
            // About one patient in a hundred is someone already here, entered again a little differently.
            const bool nearDuplicate = account > 100010 && random() % 100 == 0;
            if (nearDuplicate) {
                Statement twin(m_db, "SELECT last, first, dob, ssn FROM patients WHERE id = ?1");
                twin.bind(1, account - 1 - qint64(random() % 5));
                if (twin.step()) {
                    last = twin.text(0);
                    first = twin.text(1);
                    dob = QDate::fromString(twin.text(2), Qt::ISODate);
                    ssn = twin.text(3);
                    switch (random() % 4) {
                    case 0: last = misspelt(last, random); break;
                    case 1: if (dob.day() <= 12) dob = QDate(dob.year(), dob.day(), dob.month()); break;
                    case 2: first = first.left(1) + first.mid(1, 2); break;
                    default: ssn.clear(); break;
                    }
                }
            }
            const QString mobile = random() % 100 < 60 ? QStringLiteral("217") + digits(random, 7) : QString();
            const QString mrn = QStringLiteral("MR") + QString::number(account);
            const PatientKeys keys = patientKeys(last, first, ssn, mrn);
            patient.bind(1, account).bind(2, last).bind(3, first).bind(4, QString(QChar(u'A' + int(random() % 26))))
                .bind(5, dob.toString(Qt::ISODate)).bind(6, female ? QStringLiteral("F") : QStringLiteral("M"))
                .bind(7, ssn).bind(8, mrn).bind(9, homePhone)
                .bind(10, mobile).bind(11, street).bind(12, city).bind(13, QStringLiteral("IL")).bind(14, zip)
                .bind(15, qint64(random() % 100 < 93 ? 1 : 0)).bind(16, guarantor).bind(17, relation)
                .bind(18, keys.lastkey).bind(19, keys.firstkey).bind(20, keys.firstformal).bind(21, keys.lastsound)
                .bind(22, keys.ssn4).bind(23, keys.mrnkey);
            patient.run();
            writeAlternateKeys(alternate, keys, account);
            writePhone(phone, homePhone, account);
            writePhone(phone, mobile, account);
            if (insured) {
                policy.bind(1, account).bind(2, qint64(1)).bind(3, payor).bind(4, policyNumber)
                    .bind(5, QStringLiteral("G-") + digits(random, 4)).bind(6, guarantor).bind(7, relation)
                    .bind(8, today.addDays(-qint64(random() % 2000)).toString(Qt::ISODate)).bind(9, identifierKey(policyNumber));
                policy.run();
            }
            const int visits = int(random() % 5);
            for (int v = 0; v < visits; ++v) {
                const QString seen = today.addDays(-qint64(random() % 1500)).toString(Qt::ISODate);
                const double charges = 60 + double(random() % 300);
                const double paid = double(random() % 100 < 70 ? charges : charges * 0.5);
                encounter.bind(1, account).bind(2, seen).bind(3, pickOf(random, kProviders))
                    .bind(4, pickOf(random, kReasons)).bind(5, charges).bind(6, paid);
                encounter.run();
                transaction.bind(1, account).bind(2, seen).bind(3, QStringLiteral("99213")).bind(4, charges);
                transaction.run();
                if (insured) {
                    claim.bind(1, account).bind(2, seen).bind(3, payor).bind(4, charges);
                    claim.run();
                }
            }
            if (random() % 10 == 0) {
                accession.bind(1, QStringLiteral("A") + QString::number(account)).bind(2, account)
                    .bind(3, today.addDays(-qint64(random() % 200)).toString(Qt::ISODate))
                    .bind(4, QStringLiteral("Lipid panel"));
                accession.run();
            }
        }
        const int percent = int((account - 100001) * 100 / qMax<qint64>(1, patients));
        if (progress && percent != lastReported) {
            lastReported = percent;
            progress(qMin(percent, 99));
        }
    }

    Statement code(m_db, "INSERT INTO codes VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    qint64 sort = 0;
    for (const Code& c : kCodes) {
        code.bind(1, QString::fromLatin1(c.table)).bind(2, QString::fromLatin1(c.code))
            .bind(3, QString::fromUtf8(c.description)).bind(4, QString::fromLatin1(c.group))
            .bind(5, QString::fromLatin1(c.extra)).bind(6, sort++);
        code.run();
    }
    Statement setting(m_db, "INSERT INTO settings VALUES (?1, ?2)");
    setting.bind(1, QStringLiteral("ALTPATRECORDDISPL")).bind(2, QString());
    setting.run();
    setting.bind(1, QStringLiteral("PRACTICENAME")).bind(2, QStringLiteral("Riverside Family Practice"));
    setting.run();
    QFile styleSheet(QStringLiteral(":/practice/PR.xsl"));
    if (styleSheet.open(QIODevice::ReadOnly)) {
        Statement file(m_db, "INSERT INTO files VALUES (?1, ?2, ?3)");
        const QByteArray content = styleSheet.readAll();
        file.bind(1, QStringLiteral("FORMS")).bind(2, QStringLiteral("PR.xsl")).bind(3, content);
        file.run();
        file.bind(1, QStringLiteral("FORMS")).bind(2, QStringLiteral("PR2.xsl")).bind(3, content);
        file.run();
    }
}

void SqliteStore::generate(qint64 patients, quint64 seed, const std::function<void(int)>& progress)
{
    // One transaction from the first drop to the last index: other connections read the old
    // database until the new one is complete, and a rebuild that is killed leaves the old one.
    execute("BEGIN");
    try {
        execute("DROP TABLE IF EXISTS patients; DROP TABLE IF EXISTS namekeys; DROP TABLE IF EXISTS phones;"
                "DROP TABLE IF EXISTS policies; DROP TABLE IF EXISTS transactions; DROP TABLE IF EXISTS claims;"
                "DROP TABLE IF EXISTS encounters; DROP TABLE IF EXISTS accessions; DROP TABLE IF EXISTS codes;"
                "DROP TABLE IF EXISTS settings; DROP TABLE IF EXISTS files; DROP TABLE IF EXISTS recent;");
        createSchema();
        fill(patients, seed, progress);
        createIndexes();
        execute("COMMIT");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    execute("ANALYZE");
    if (progress)
        progress(100);
}

} // namespace zelvar::practice
