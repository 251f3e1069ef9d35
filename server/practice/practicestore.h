#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What the practice server knows, behind an interface: the request handling above it does not
// know how (or where) it is stored.
namespace zelvar::practice {

enum class SearchKey {
    Account, PatientName, Guarantor, DateOfBirth, Policy, MedicalRecord, SocialSecurity, Phone,
    Transaction, Claim, Encounter, Accession,
};

// One patient as a search lists it.
struct PatientRow
{
    qint64 account = 0;
    QString last, first, middle;
    QDate dob;
    QString sex;
    QString ssn;            // digits
    QString mrn;
    QString phone;          // digits, the main one
    QString guarantor;      // "LAST, FIRST"
    bool active = true;
    QString matched;        // the value the search matched, when it is not one of the above
};

// What a search was asked: the key, the text as typed, and where the previous page ended.
struct SearchQuery
{
    SearchKey key = SearchKey::PatientName;
    QString text;
    QString after;          // opaque position; empty for the first page
    int pageSize = 50;
    QString user;           // for the recently chosen accounts
};

struct SearchPage
{
    QList<PatientRow> rows;
    QString next;           // position after the last row; empty when there are no more
    QString notice;         // what the list is, when it is not what was asked ("No SMYTH; similar names:")
};

// What a new patient's data is compared with.
struct PatientData
{
    QString ssn, account, name, dob, policy, mrn;
};

// A patient the front desk registers.
struct NewPatient
{
    QString last, first, middle;
    QDate dob;
    QString sex;
    QString ssn, phone;     // digits
    QString street, city, state, zip;
    QString payor, policy;  // a payor code and its policy number, or empty
};

struct Candidate
{
    PatientRow patient;
    QStringList policies;
};

struct CodeRow
{
    QString code;
    QString description;
    QString group;          // rows of one group are listed together under it
    QString extra;
};

struct RecordVisit
{
    QDate date;
    QString provider, reason;
    double charges = 0, payments = 0;
};

struct RecordPolicy
{
    int rank = 1;
    QString payor, number, group, subscriber, relation;
    QDate effective;
};

struct PatientRecordData
{
    PatientRow patient;
    QString street, city, state, zip;
    QString mobile;
    PatientRow guarantorRow;
    QString guarantorRelation;
    QList<RecordPolicy> policies;
    QList<RecordVisit> visits;     // newest first
    double balance = 0, insuranceBalance = 0;
};

class PracticeStore
{
public:
    virtual ~PracticeStore() = default;

    // One page of a search; throws std::invalid_argument for a text the key cannot take, with
    // a sentence a clerk can act on.
    virtual SearchPage search(const SearchQuery& query) = 0;
    // How many rows the whole search lists, counted up to limit + 1 (past the limit: "more");
    // nullopt where the store cannot tell without reading them.
    virtual std::optional<int> countMatches(const SearchQuery& query, int limit) = 0;
    // Patients that share any identifying value with the data (at most `limit`).
    virtual QList<Candidate> duplicateCandidates(const PatientData& data, int limit) = 0;
    // A code table's rows; nullopt when there is no such table.
    virtual std::optional<QList<CodeRow>> codeTable(const QString& name) = 0;
    virtual std::optional<QString> setting(const QString& name) = 0;
    virtual std::optional<QByteArray> file(const QString& folder, const QString& name) = 0;
    virtual std::optional<PatientRecordData> record(qint64 account) = 0;
    virtual void rememberChoice(const QString& user, qint64 account) = 0;
    // Registers a patient (its own guarantor) and returns the new account number; throws
    // std::invalid_argument for data it cannot take.
    virtual qint64 addPatient(const NewPatient& patient) = 0;
    virtual qint64 patientCount() = 0;
};

} // namespace zelvar::practice
