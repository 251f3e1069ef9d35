#pragma once

#include "names.h"
#include "practicestore.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct sqlite3;

namespace zelvar::practice {

struct NamePass;

// What a patient is found by, computed when the patient is written (in C++, so that every
// store keeps the same keys in indexed columns of its own).
struct PatientKeys
{
    QString lastkey, firstkey, firstformal, lastsound, ssn4, mrnkey;
    QStringList alternates;     // other keys of the surname (namekeys)
};
PatientKeys patientKeys(const QString& last, const QString& first, const QString& ssn, const QString& mrn);

class Statement;
// The rows a patient is also found by, through statements prepared as
// "INSERT INTO namekeys VALUES (?1, ?2, ?3)" and "INSERT INTO phones VALUES (?1, ?2, ?3, ?4)".
void writeAlternateKeys(Statement& insert, const PatientKeys& keys, qint64 account);
void writePhone(Statement& insert, const QString& digits, qint64 account);

// The practice database in SQLite: one file, every search an index search with keyset paging
// (a position, not an offset: page 1,000 costs what page 1 costs), bound parameters only.
class SqliteStore : public PracticeStore
{
public:
    // Opens (or creates, empty) the database file.
    explicit SqliteStore(const QString& path);
    ~SqliteStore() override;

    SearchPage search(const SearchQuery& query) override;
    QList<Candidate> duplicateCandidates(const PatientData& data, int limit) override;
    std::optional<QList<CodeRow>> codeTable(const QString& name) override;
    std::optional<QString> setting(const QString& name) override;
    std::optional<QByteArray> file(const QString& folder, const QString& name) override;
    std::optional<PatientRecordData> record(qint64 account) override;
    void rememberChoice(const QString& user, qint64 account) override;
    qint64 addPatient(const NewPatient& patient) override;
    qint64 patientCount() override;

    // Fills the database with demo data: `patients` patients from the seed, in one transaction,
    // reporting progress from 0 to 100. Replaces what was there.
    void generate(qint64 patients, quint64 seed, const std::function<void(int)>& progress = {});
    bool isEmpty();

    // The query plans of the searches, for the test that no search scans a table.
    QStringList searchPlans();
    // The same name search with OFFSET paging, for the measurements that compare the two.
    QList<PatientRow> nameSearchWithOffset(const QString& text, int offset, int pageSize);

    sqlite3* handle() const { return m_db; }

private:
    void execute(const char* sql);
    void createSchema();
    void createIndexes();
    bool hasColumn(const char* table, const char* column);
    void fill(qint64 patients, quint64 seed, const std::function<void(int)>& progress);
    SearchPage nameSearch(const SearchQuery& query);
    bool hasExactName(const NameQuery& name);
    QStringList existingSurnames(const QStringList& keys);
    // At most limit rows of one pass after the position, each handed to take (with its
    // position) until it answers false; how many rows were read.
    int runNamePass(const NamePass& pass, const QStringList& after, int limit,
                     const std::function<bool(const PatientRow&, const QStringList&)>& take);
    void addMatchingKeys();

    sqlite3* m_db = nullptr;
};

} // namespace zelvar::practice
