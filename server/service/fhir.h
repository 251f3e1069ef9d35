#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <string_view>

namespace zelvar::service::fhir {

// The practice's patients as FHIR R4 Patient resources, read-only, for a client that speaks
// FHIR: GET [base]/metadata, [base]/Patient/{account} and [base]/Patient?family=&given=&name=
// &birthdate=&identifier=&telecom=&phone=&_count=. A search is the desks' own search (the
// same ranking, the same access log entry), turned into a searchset Bundle whose "next" link
// carries the desks' position.

inline constexpr const char* kContentType = "application/fhir+json; charset=utf-8";

// The identifier systems of this server's Patient resources.
inline constexpr const char* kAccountSystem = "urn:zelvar:practice:account";
inline constexpr const char* kMrnSystem = "urn:zelvar:practice:mrn";
inline constexpr const char* kSsnSystem = "http://hl7.org/fhir/sid/us-ssn";

inline bool isFhirPath(std::string_view path)
{
    return path == "/fhir" || path.substr(0, 6) == "/fhir/";
}

inline bool isMetadata(std::string_view path)
{
    return path == "/fhir/R4/metadata";
}

// An OperationOutcome that tells a refusal or a failure, with the issue type its HTTP status
// stands for.
QByteArray operationOutcome(int status, const QString& message);

// The CapabilityStatement: what this server answers, for GET [base]/metadata.
QByteArray capabilityStatement(const QString& base);

struct Reply
{
    int status = 200;
    QByteArray body;
};

// Asks the practice server a request string, as a desk would, and returns its replies.
using Ask = std::function<QStringList(const QString& request)>;

// Answers a GET of `target` (path and query, as sent) under `base` (the URL the client
// reached the server by, ending in /fhir/R4).
Reply answer(std::string_view target, const QString& base, const Ask& ask);

} // namespace zelvar::service::fhir
