#include "database.h"

#include <QFile>

namespace zelvar::practice {

const char* tableName(Table table)
{
    switch (table) {
    case Table::Patients: return "patients";
    case Table::NameKeys: return "namekeys";
    case Table::Phones: return "phones";
    case Table::Policies: return "policies";
    case Table::Encounters: return "encounters";
    case Table::Transactions: return "transactions";
    case Table::Claims: return "claims";
    case Table::Accessions: return "accessions";
    case Table::Codes: return "codes";
    case Table::Settings: return "settings";
    case Table::Recent: return "recent";
    case Table::Desks: return "desks";
    case Table::Access: return "access";
    case Table::AccessAccounts: return "access_accounts";
    }
    return "";
}

const char* tableColumns(Table table)
{
    switch (table) {
    case Table::Patients:
        return "id, last, first, middle, dob, sex, ssn, mrn, phone, mobile, street, city, state, zip, active, guarantor,"
               " relation, lastkey, firstkey, firstformal, lastsound, ssn4, mrnkey, visitorder";
    case Table::NameKeys: return "key, first, patient";
    case Table::Phones: return "digits, patient, last7, last4";
    case Table::Policies: return "id, patient, rank, payor, number, grp, subscriber, relation, effective, numkey";
    case Table::Encounters: return "id, patient, seen, provider, reason, charges, payments";
    case Table::Transactions: return "id, patient, posted, code, amount";
    case Table::Claims: return "id, patient, filed, payor, amount";
    case Table::Accessions: return "number, patient, taken, test";
    case Table::Codes: return "tbl, code, description, grp, extra, sort";
    case Table::Settings: return "name, value";
    case Table::Recent: return "\"user\", patient, chosen";
    case Table::Desks: return "name, tokenhash, added";
    case Table::Access: return "id, at, desk, kind, detail, clerk";
    case Table::AccessAccounts: return "block, account, entry";
    }
    return "";
}

QString reserveNewFile(const QString& stem, const QString& extension)
{
    for (int n = 1; n <= 100; ++n) {
        const QString name = stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + extension;
        QFile file(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return name;
        if (file.error() != QFileDevice::OpenError || !QFile::exists(name))
            throw DatabaseError(QString(QStringLiteral("cannot make ") + name + QStringLiteral(": ") + file.errorString()).toStdString());
    }
    throw DatabaseError(QString(QStringLiteral("cannot make ") + stem + extension + QStringLiteral(": too many of that name")).toStdString());
}

} // namespace zelvar::practice
