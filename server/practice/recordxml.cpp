#include "recordxml.h"

#include "replyformat.h"

#include <QDateTime>
#include <QXmlStreamWriter>

namespace zelvar::practice {
namespace {

QString money(double amount)
{
    return QString::number(amount, 'f', 2);
}

void writePhone(QXmlStreamWriter& w, const char* type, const QString& digits)
{
    w.writeStartElement(QStringLiteral("Phone"));
    w.writeAttribute(QStringLiteral("type"), QString::fromLatin1(type));
    w.writeCharacters(formatPhone(digits));
    w.writeEndElement();
}

void writePatient(QXmlStreamWriter& w, const PatientRecordData& record)
{
    const PatientRow& p = record.patient;
    w.writeStartElement(QStringLiteral("Name"));
    w.writeTextElement(QStringLiteral("Last"), p.last);
    w.writeTextElement(QStringLiteral("First"), p.first);
    w.writeTextElement(QStringLiteral("Middle"), p.middle);
    w.writeEndElement();
    w.writeTextElement(QStringLiteral("DOB"), formatDate(p.dob));
    w.writeTextElement(QStringLiteral("Sex"), p.sex);
    w.writeTextElement(QStringLiteral("SSN"), p.ssn);
    w.writeTextElement(QStringLiteral("MRN"), p.mrn);
    w.writeTextElement(QStringLiteral("Status"), p.active ? QStringLiteral("Active") : QStringLiteral("Inactive"));
    w.writeStartElement(QStringLiteral("Address"));
    w.writeTextElement(QStringLiteral("Street"), record.street);
    w.writeTextElement(QStringLiteral("City"), record.city);
    w.writeTextElement(QStringLiteral("State"), record.state);
    w.writeTextElement(QStringLiteral("Zip"), record.zip);
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("Phones"));
    writePhone(w, "Home", p.phone);
    if (!record.mobile.isEmpty())
        writePhone(w, "Mobile", record.mobile);
    w.writeEndElement();
}

void writeGuarantor(QXmlStreamWriter& w, const PatientRecordData& record)
{
    const PatientRow& g = record.guarantorRow;
    w.writeStartElement(QStringLiteral("Guarantor"));
    w.writeTextElement(QStringLiteral("Account"), QString::number(g.account));
    w.writeTextElement(QStringLiteral("Name"), g.last + QStringLiteral(", ") + g.first);
    w.writeTextElement(QStringLiteral("Relation"), record.guarantorRelation);
    w.writeTextElement(QStringLiteral("Address"), record.street + QStringLiteral(", ") + record.city + QStringLiteral(", ")
                                                      + record.state + QLatin1Char(' ') + record.zip);
    w.writeTextElement(QStringLiteral("Phone"), formatPhone(g.phone));
    w.writeEndElement();
}

void writeInsurance(QXmlStreamWriter& w, const QList<RecordPolicy>& policies)
{
    w.writeStartElement(QStringLiteral("Insurance"));
    for (const RecordPolicy& policy : policies) {
        w.writeStartElement(QStringLiteral("Policy"));
        w.writeAttribute(QStringLiteral("rank"), QString::number(policy.rank));
        w.writeTextElement(QStringLiteral("Payor"), policy.payor);
        w.writeTextElement(QStringLiteral("PolicyNumber"), policy.number);
        w.writeTextElement(QStringLiteral("Group"), policy.group);
        w.writeTextElement(QStringLiteral("Subscriber"), policy.subscriber);
        w.writeTextElement(QStringLiteral("Relation"), policy.relation);
        w.writeTextElement(QStringLiteral("Effective"), formatDate(policy.effective));
        w.writeEndElement();
    }
    w.writeEndElement();
}

void writeVisitsAndBalance(QXmlStreamWriter& w, const PatientRecordData& record)
{
    w.writeStartElement(QStringLiteral("Visits"));
    for (const RecordVisit& v : record.visits) {
        w.writeStartElement(QStringLiteral("Visit"));
        w.writeTextElement(QStringLiteral("Date"), formatDate(v.date));
        w.writeTextElement(QStringLiteral("Provider"), v.provider);
        w.writeTextElement(QStringLiteral("Reason"), v.reason);
        w.writeTextElement(QStringLiteral("Charges"), money(v.charges));
        w.writeTextElement(QStringLiteral("Payments"), money(v.payments));
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("Balance"));
    w.writeTextElement(QStringLiteral("Total"), money(record.balance));
    w.writeTextElement(QStringLiteral("Insurance"), money(record.insuranceBalance));
    w.writeTextElement(QStringLiteral("Patient"), money(record.balance - record.insuranceBalance));
    w.writeEndElement();
}

} // namespace

QString recordXml(const std::optional<PatientRecordData>& record, const QString& accountAsked, const QString& practiceName)
{
    QString xml;
    QXmlStreamWriter w(&xml);
    w.writeStartElement(QStringLiteral("PatientRecord"));
    w.writeAttribute(QStringLiteral("generated"), QDateTime::currentDateTime().toString(QStringLiteral("MM/dd/yyyy hh:mm")));
    w.writeStartElement(QStringLiteral("Practice"));
    w.writeTextElement(QStringLiteral("Name"), practiceName);
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("Patient"));
    w.writeTextElement(QStringLiteral("Account"), record ? QString::number(record->patient.account) : accountAsked);
    if (!record) {
        w.writeTextElement(QStringLiteral("Status"), QStringLiteral("No such account"));
        w.writeEndElement();
    } else {
        writePatient(w, *record);
        w.writeEndElement();   // Patient
        writeGuarantor(w, *record);
        writeInsurance(w, record->policies);
        writeVisitsAndBalance(w, *record);
    }
    w.writeEndElement();
    return xml;
}

} // namespace zelvar::practice
