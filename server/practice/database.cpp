#include "database.h"

#include "namedparameters.h"
#include "statements.h"

#include <QFile>

#include <bit>

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

Statement::Statement(Database& db, std::shared_ptr<const NumberedStatement> sql, bool planOnce)
    : m_sql(std::move(sql)),
      m_query(planOnce ? db.prepareOnce(m_sql->text, int(m_sql->parameters.size()))
                       : db.prepare(m_sql->text, int(m_sql->parameters.size())))
{
}

Statement::Statement(Database& db, const QString& sql)
    : Statement(db, std::make_shared<const NumberedStatement>(numberParameters(sql, db.engine())), false)
{
}

Statement::Statement(Database& db, const char* sql)
    : Statement(db, QString::fromUtf8(sql))
{
}

Statement::Statement(Database& db, const QString& sql, PlanOnce)
    : Statement(db, std::make_shared<const NumberedStatement>(numberParameters(sql, db.engine())), true)
{
}

Statement Statement::named(Database& db, QStringView name)
{
    const NamedStatement& s = namedStatement(db.engine(), name);
    return Statement(db, s.sql, s.planOnce);
}

Statement::Statement(Statement&&) noexcept = default;
Statement::~Statement() = default;

int Statement::number(std::string_view name)
{
    const QList<QByteArray>& names = m_sql->parameters;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i] == QByteArrayView(name.data(), qsizetype(name.size()))) {
            m_bound |= quint64(1) << i;
            return int(i + 1);
        }
    }
    throw DatabaseError("practice database: the statement has no parameter :" + std::string(name));
}

bool Statement::takes(std::string_view name) const
{
    return m_sql->parameters.contains(QByteArrayView(name.data(), qsizetype(name.size())));
}

Statement& Statement::bind(std::string_view name, const QString& text)
{
    m_query->bindText(number(name), text);
    return *this;
}

Statement& Statement::bind(std::string_view name, qint64 value)
{
    m_query->bindInteger(number(name), value);
    return *this;
}

Statement& Statement::bind(std::string_view name, double value)
{
    m_query->bindReal(number(name), value);
    return *this;
}

Statement& Statement::bind(std::string_view name, const QByteArray& blob)
{
    m_query->bindBlob(number(name), blob);
    return *this;
}

bool Statement::step()
{
    // A parameter left out would run as NULL and find nothing, quietly: a fault of the caller.
    const qsizetype count = m_sql->parameters.size();
    const quint64 all = count == 64 ? ~quint64(0) : (quint64(1) << count) - 1;
    if (m_bound != all) {
        const int missing = std::countr_one(m_bound);
        throw DatabaseError("practice database: the statement's parameter :" + m_sql->parameters[missing].toStdString()
                            + " has no value");
    }
    return m_query->step();
}

void Statement::run()
{
    while (step()) {
    }
    reset();
}

void Statement::reset()
{
    m_query->reset();
    m_bound = 0;
}

} // namespace zelvar::practice
