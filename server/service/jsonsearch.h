#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace zelvar::service {

// The JSON forms of the desks' requests, for a host that would rather not read their reply
// strings.
//
// POST /v1/search: a patient search for a host that would rather not read the desks' reply
// strings. {"key": "name", "text": "smith, john", "after": null} stands for the request
// |GET|KEY|smith, john|&PAT NAME| and is answered by the same search, as JSON.

// The request string a JSON search stands for; empty, with the reason in `error`, when the
// body is not one.
QString requestOfJsonSearch(const QByteArray& body, QString& error);

// A search's replies as JSON: {"columns": [...], "rows": [{"account": "...", "values": {...}}],
// "messages": [{"text": "...", "at": ROW}], "next": "..." or null, "total": N or null,
// "total_at_least": bool}. Empty, with the server's sentence in `error`, when the replies are
// an error.
QByteArray jsonOfSearchReplies(const QStringList& replies, QString& error);

// POST /v1/duplicates: {"name": "SMITH, JOHN", "dob": "02/10/1969", "ssn": "...", "account": "",
// "policy": "", "mrn": ""} stands for |GET|DUPPAT|SSN<TAB>ACCOUNT<TAB>NAME<TAB>DOB<TAB>POLICY<TAB>MR#.
QString requestOfJsonDuplicateCheck(const QByteArray& body, QString& error);

// A duplicate check's records as JSON: {"candidates": [{"account", "name", "dob", "ssn_last_four",
// "score", "matched": [...]}], "more_not_shown": N}, the closest first.
QByteArray jsonOfDuplicateReplies(const QStringList& replies, QString& error);

} // namespace zelvar::service
