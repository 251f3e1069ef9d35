#pragma once

// What desks search a generated practice of 1,000,000 patients by: for every search key, how
// a sample text is made from a random patient's row.

#include "practice/database.h"

#include <QDate>
#include <QList>
#include <QString>

#include <random>

namespace zelvar::bench {

struct SearchKeySample
{
    const char* name;
    const char* caption;
    const char* sql;                                    // one row of patient :patient, or none
    QString (*text)(const practice::Statement& row);
};

inline const QList<SearchKeySample>& searchKeys()
{
    using practice::Statement;
    static const QList<SearchKeySample> keys{
        {"Account", "&ACCT#", "SELECT id FROM patients WHERE id = :patient",
         [](const Statement& s) { return QString::number(s.integer(0)); }},
        {"PatientName", "&PAT NAME", "SELECT last, first FROM patients WHERE id = :patient",
         [](const Statement& s) -> QString { return s.text(0) + QLatin1Char(',') + s.text(1); }},
        {"PartialName", "&PAT NAME", "SELECT last, first FROM patients WHERE id = :patient",
         [](const Statement& s) -> QString { return s.text(0).left(3) + QLatin1Char(' ') + s.text(1).left(2); }},
        {"Guarantor", "&GUAR", "SELECT g.last, g.first FROM patients p JOIN patients g ON g.id = p.guarantor WHERE p.id = :patient",
         [](const Statement& s) -> QString { return s.text(0) + QLatin1Char(',') + s.text(1); }},
        {"DateOfBirth", "&DOB", "SELECT dob FROM patients WHERE id = :patient",
         [](const Statement& s) { return QDate::fromString(s.text(0), Qt::ISODate).toString(QStringLiteral("MM/dd/yyyy")); }},
        {"Policy", "P&OLICY#", "SELECT number FROM policies WHERE patient = :patient", [](const Statement& s) { return s.text(0); }},
        {"MedicalRecord", "&MR#", "SELECT mrn FROM patients WHERE id = :patient", [](const Statement& s) { return s.text(0); }},
        {"SocialSecurity", "&SS#", "SELECT ssn FROM patients WHERE id = :patient AND ssn <> ''",
         [](const Statement& s) -> QString {
             return s.text(0).left(3) + QLatin1Char('-') + s.text(0).mid(3, 2) + QLatin1Char('-') + s.text(0).mid(5);
         }},
        {"Phone", "P&HONE#", "SELECT phone FROM patients WHERE id = :patient", [](const Statement& s) { return s.text(0); }},
        {"Transaction", "&TRANS#", "SELECT id FROM transactions WHERE patient = :patient",
         [](const Statement& s) { return QString::number(s.integer(0)); }},
        {"Claim", "&CLAIM#", "SELECT id FROM claims WHERE patient = :patient",
         [](const Statement& s) { return QString::number(s.integer(0)); }},
        {"Encounter", "&ENC", "SELECT id FROM encounters WHERE patient = :patient",
         [](const Statement& s) { return QString::number(s.integer(0)); }},
        {"Accession", "&ACCESSION#WRK", "SELECT number FROM accessions WHERE patient = :patient",
         [](const Statement& s) { return s.text(0); }},
    };
    return keys;
}

// `count` search requests of one key, for random patients of the practice (the same ones for
// every run and engine).
inline QStringList searchRequests(practice::Database& db, const SearchKeySample& key, int count, qint64 patients)
{
    std::mt19937_64 random(42);
    QStringList out;
    practice::Statement s(db, key.sql);
    for (int tries = 0; out.size() < count && tries < count * 100; ++tries) {
        s.bind("patient", qint64(100001 + random() % patients));
        if (s.step())
            out.append(QStringLiteral("|GET|KEY|") + key.text(s) + QLatin1Char('|') + QLatin1String(key.caption) + QLatin1Char('|'));
        s.reset();
    }
    return out;
}

} // namespace zelvar::bench
