// The FHIR interface's reading of a client's search: which of the desks' keys each parameter
// is searched by, what narrows the rows, and what is refused (the live client's check, in
// fhir/fhir_check.js, asks a real server).
#include "service/fhir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace zelvar::service;

namespace {

// One page of the desks' result list: two SMITHs, born 1969 and 1976, and no page after.
QStringList twoSmiths()
{
    return {QStringLiteral("|OK||H00002\tPatient NameKB024\tAcct#KB108\tDOBKB110\tSexKB105\tPhoneKB112\tStatusKB108"),
            QStringLiteral("|OK||107423\tSMITH, JOHN KHB0\t107423AB2\t02/10/1969AB1\tMAB1\t(217) 670-8292AB0\tActiveAD1"),
            QStringLiteral("|OK||101448\tSMYTH, JOANNAB0\t101448AB2\t10/22/1976AB1\tFAB1\t(217) 573-2116AB0\tInactiveJD1"),
            QStringLiteral("|OK||")};
}

struct Case
{
    const char* query;
    int status;
    const char* asked;          // the request string the desks' search was asked
    QStringList ids;            // the Patients listed, in order
};

} // namespace

// Catches a parameter searched by the wrong key, a narrowing parameter ignored, and a search
// the desks' search cannot make sent to it anyway.
TEST(FhirSearchTest, shouldSearchByTheFirstKeyGivenAndNarrowByTheRest)
{
    const Case cases[] = {
        {"family=smith&given=john", 200, "|GET|KEY|smith, john|&PAT NAME|", {"107423", "101448"}},
        {"name=smith+john", 200, "|GET|KEY|smith john|&PAT NAME|", {"107423", "101448"}},
        {"birthdate=1969-02-10", 200, "|GET|KEY|02/10/1969|&DOB|", {"107423", "101448"}},
        {"birthdate=eq1969&family=smi", 200, "|GET|KEY|1969|&DOB|", {"107423"}},
        {"family=smy&birthdate=1976-10-22", 200, "|GET|KEY|10/22/1976|&DOB|", {"101448"}},
        {"identifier=http://hl7.org/fhir/sid/us-ssn%7C925-60-6104", 200, "|GET|KEY|925-60-6104|&SS#|", {"107423", "101448"}},
        {"identifier=925606104", 200, "|GET|KEY|925606104|&SS#|", {"107423", "101448"}},
        {"identifier=urn:zelvar:practice:mrn|MR107423", 200, "|GET|KEY|MR107423|&MR#|", {"107423", "101448"}},
        {"identifier=MR107423", 200, "|GET|KEY|MR107423|&MR#|", {"107423", "101448"}},
        {"identifier=107423", 200, "|GET|KEY|107423|&ACCT#|", {"107423", "101448"}},
        {"identifier=107423&telecom=5732116", 200, "|GET|KEY|107423|&ACCT#|", {"101448"}},
        {"telecom=phone|217-670-8292&given=jo&family=smy", 200, "|GET|KEY|217-670-8292|P&HONE#|", {"101448"}},
        {"phone=6708292&name=john", 200, "|GET|KEY|6708292|P&HONE#|", {"107423"}},
        {"family=smith&_count=1", 200, "|GET|KEY|smith|&PAT NAME|", {"107423"}},
        {"family=smith&_page=1-", 200, "|GET|KEY|smith|&PAT NAME|", {"101448"}},
        {"family=smith&_page=0-N3131", 200, "|GET|KEY|smith|&PAT NAME|N3131", {"107423", "101448"}},
        {"family:exact=smith&_sort=name&family=smith", 200, "|GET|KEY|smith|&PAT NAME|", {"107423", "101448"}},
        // Refused before the desks' search is asked.
        {"given=john", 400, "", {}},
        {"", 400, "", {}},
        {"family=smith&family=jones", 400, "", {}},
        {"family=smi%7Cth", 400, "", {}},
        {"birthdate=gt1969-01-01", 400, "", {}},
        {"birthdate=1969-02", 400, "", {}},
        {"birthdate=1969-02-30", 400, "", {}},
        {"identifier=http://example.org/ids|1", 400, "", {}},
        {"telecom=email|a@b.c", 400, "", {}},
        {"telecom=12", 400, "", {}},
        {"family=smith&_count=0", 400, "", {}},
        {"family=smith&_count=201", 400, "", {}},
        {"family=smith&_page=x", 400, "", {}},
        {"family=smith&_page=0-a|GET|FILE|x", 400, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        QStringList asked;
        const fhir::Reply reply = fhir::answer(std::string("/fhir/R4/Patient?") + c.query, QStringLiteral("https://h/fhir/R4"),
                                               [&asked](const QString& request) {
                                                   asked.append(request);
                                                   return twoSmiths();
                                               });
        EXPECT_EQ(reply.status, c.status) << reply.body.constData();
        EXPECT_EQ(asked.value(0), QLatin1String(c.asked));
        const QJsonObject answer = QJsonDocument::fromJson(reply.body).object();
        QStringList ids;
        for (const QJsonValue& entry : answer.value(QStringLiteral("entry")).toArray())
            ids.append(entry[QStringLiteral("resource")][QStringLiteral("id")].toString());
        EXPECT_EQ(ids, c.ids);
        EXPECT_EQ(answer.value(QStringLiteral("resourceType")).toString(),
                  c.status == 200 ? QStringLiteral("Bundle") : QStringLiteral("OperationOutcome"));
    }
}

// Catches a next link that loses its place in the desks' page, or that repeats the search's
// parameters wrongly: the link must carry what was searched and where to go on.
TEST(FhirSearchTest, shouldLinkTheNextPageWhereThisOneStopped)
{
    const auto ask = [](const QString&) { return twoSmiths(); };
    const QJsonObject first = QJsonDocument::fromJson(
        fhir::answer("/fhir/R4/Patient?family=o%27brien&given=ann+marie&_count=1", QStringLiteral("https://h:1/fhir/R4"), ask).body).object();
    const QJsonArray links = first.value(QStringLiteral("link")).toArray();
    ASSERT_EQ(links.size(), 2);
    EXPECT_EQ(links[1][QStringLiteral("relation")].toString(), QStringLiteral("next"));
    EXPECT_EQ(links[1][QStringLiteral("url")].toString(),
              QStringLiteral("https://h:1/fhir/R4/Patient?family=o%27brien&given=ann%20marie&_count=1&_page=1-"));

    const fhir::Reply read = fhir::answer("/fhir/R4/Patient/12%2F..", QStringLiteral("https://h/fhir/R4"), ask);
    EXPECT_EQ(read.status, 404);
    EXPECT_EQ(fhir::answer("/fhir/R4/Observation?code=x", QStringLiteral("https://h/fhir/R4"), ask).status, 404);
}
