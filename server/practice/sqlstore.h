#pragma once

#include "database.h"
#include "names.h"
#include "practicestore.h"
#include "servicestore.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

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

// One patient as it is written.
struct PatientFields
{
    qint64 account = 0;
    QString last, first, middle;
    QDate dob;
    QString sex, ssn, mrn, phone, mobile, street, city, state, zip;
    bool active = true;
    qint64 guarantor = 0;
    QString relation;
    QDate lastVisit;            // invalid: never seen
};

// Where a patient stands among equals (a shared last four, a birth date, a name): by the last
// visit, the more recent the smaller, so that an ascending index lists the recently seen
// first; a patient never seen last.
qint64 visitOrder(const QDate& lastVisit);

// A patient's row with its matching keys, and the rows the patient is also found by.
void writePatient(RowWriter& rows, const PatientFields& patient);
void writeAlternateKeys(RowWriter& rows, const PatientKeys& keys, qint64 account);
void writePhone(RowWriter& rows, const QString& digits, qint64 account);

// The practice database in SQL: each search an index search with keyset paging (a position,
// not an offset: page 1,000 costs what page 1 costs), its statement written whole in
// statements/ and run by name with named parameters. The engines differ in their statements'
// spelling and in how a database is opened, laid out and rebuilt.
class SqlStore : public ServedStore
{
public:
    ~SqlStore() override;

    SearchPage search(const SearchQuery& query) override;
    std::optional<int> countMatches(const SearchQuery& query, int limit) override;
    QList<Candidate> duplicateCandidates(const PatientData& data, int limit) override;
    std::optional<QList<CodeRow>> codeTable(const QString& name) override;
    std::optional<QString> setting(const QString& name) override;
    std::optional<QByteArray> file(const QString& folder, const QString& name) override;
    std::optional<PatientRecordData> record(qint64 account) override;
    void rememberChoice(const QString& user, qint64 account) override;
    qint64 addPatient(const NewPatient& patient) override;
    qint64 patientCount() override;

    // Fills the database with demo data: `patients` patients from the seed, reporting progress
    // from 0 to 100. Replaces what was there, in one transaction: readers see the old data
    // until the new is complete, and a rebuild that is stopped leaves the old.
    void generate(qint64 patients, quint64 seed, const std::function<void(int)>& progress = {});
    bool isEmpty();
    // After a rebuild or a copy: the engine's statistics for its planner (and on PostgreSQL
    // the rows marked visible to all), outside any transaction.
    virtual void analyse() = 0;

    // The same name search with OFFSET paging, for the measurements that compare the two.
    QList<PatientRow> nameSearchWithOffset(const QString& text, int offset, int pageSize);

    Database& database() { return *m_db; }
    std::unique_ptr<ServiceStore> serviceStore() override;
    bool isBroken() const override { return m_db->isBroken(); }
    void deferHousekeeping() override { m_db->deferHousekeeping(); }
    void tidyUp() override { m_db->tidyUp(); }

protected:
    explicit SqlStore(std::unique_ptr<Database> db);

    // The tables a rebuild fills (not the service's: its desks and log stay).
    static QStringList practiceTables();
    struct Index
    {
        QString name, definition;
    };
    // The indexes of those tables other than their keys, as the layout made them.
    virtual QList<Index> secondaryIndexes() = 0;
    // Every row of those tables gone, inside the caller's transaction.
    virtual void clearTables() = 0;

    std::unique_ptr<Database> m_db;

private:
    void fill(qint64 patients, quint64 seed, const std::function<void(int)>& progress);
    SearchPage searchName(const SearchQuery& query);
    SearchPage searchGuarantor(const SearchQuery& query);
    SearchPage searchDateOfBirth(const SearchQuery& query);
    SearchPage searchIdentifier(const SearchQuery& query);
    SearchPage searchNumbered(const SearchQuery& query);
    SearchPage searchRecordNumber(const SearchQuery& query);
    SearchPage nameSearch(const SearchQuery& query);
    void addSimilarPasses(QList<NamePass>& passes, const QList<NameQuery>& readings);
    void findEditKeys(NamePass& pass);
    QList<NamePass> namePasses(const SearchQuery& query, const QList<NameQuery>& readings, const QList<NameQuery>& exact,
                               const QList<NameQuery>& inexact);
    bool hasExactName(const NameQuery& name);
    // The rows a name search lists by the name as typed, its other surnames and nicknames;
    // nullopt where it cannot tell. A middle initial is either counted by (nullopt: these
    // counts cannot) or ignored, which counts the rows of the name without it: at least as many.
    enum class Middle { Counted, Ignored };
    std::optional<int> countExactMatches(const SearchQuery& q, int limit, Middle middle = Middle::Counted);
    QStringList existingSurnames(const QStringList& keys);
    // The surnames in use that sound as `last` does or are a letter off, the closest first.
    struct CloseSurname
    {
        QString key;
        int distance;
        bool soundsAlike;
    };
    QList<CloseSurname> closeSurnames(const QString& last);
    // At most limit rows of one pass after the position, each handed to take (with its
    // position) until it answers false; how many rows were read.
    int runNamePass(const NamePass& pass, const QStringList& after, int limit,
                    const std::function<bool(const PatientRow&, const QStringList&)>& take);
};

} // namespace zelvar::practice
