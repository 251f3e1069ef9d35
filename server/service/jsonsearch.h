#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace zelvar::service {

// The JSON forms of the desks' requests, for a host that would rather not read their reply
// strings.
//
// POST /v1/search: a patient search for a host that would rather not read the desks' reply
// strings. {"key": "name", "text": "smith, john", "after": null} stands for the request
// |GET|KEY|smith, john|&PAT NAME| and is answered by the same search, as JSON.

// A search's replies as read: the column titles, then each line in order (a line whose account
// is "0" is a message, its one value the text), values without their style characters.
struct SearchLine
{
    QString account;
    QStringList values;
    bool isMessage() const { return account == QLatin1String("0"); }
};
struct SearchReplies
{
    QStringList columns;
    QList<SearchLine> lines;
    QString next;           // empty on the last page
    QString total;          // the header's count after "/" ("942", "1000+"), when counted
};

// Reads a search's replies; nullopt, with the server's sentence in `error`, when they are an
// error.
std::optional<SearchReplies> readSearchReplies(const QStringList& replies, QString& error);

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

// POST /v1/record: {"account": "107423"} stands for |GET|DEMOXML|107423||.
QString requestOfJsonRecord(const QByteArray& body, QString& error);

// A patient's record as read from its XML: {"generated", "practice": {"name"}, "patient":
// {"account", "last", "first", "middle", "dob", "sex", "ssn", "mrn", "status", "address": {...},
// "phones": [{"type", "number"}]}, "guarantor": {...}, "insurance": [...], "visits": [...],
// "balance": {...}}. nullopt, with a sentence in `error`, when the replies are not a record or
// the account has no patient (`noPatient` then).
std::optional<QJsonObject> readRecordReplies(const QStringList& replies, QString& error, bool& noPatient);

} // namespace zelvar::service
