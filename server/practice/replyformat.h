#pragma once

#include "practicestore.h"

#include <QString>
#include <QStringList>

// The reply lines the component's windows read, written from the store's values: the result
// grid's rows, the lookup grid's (duplicates and code tables), a file and the record in chunks.
namespace zelvar::practice {

// A reply line that carries a value, and one that is the server's error.
QString okLine(const QString& text);
QStringList errorReply(const QString& text);
// No tabs or bars inside a value: they would split it.
QString clean(const QString& text);
QString formatDate(const QDate& date);
QString formatPhone(const QString& digits);
// An SSN as the lists show it: its last four digits.
QString lastFour(const QString& ssn);

// One line of the result grid: a patient found by a key (whose column is coloured), or a line
// that says what follows (no patient; the clerk cannot choose it).
struct SearchEntry
{
    QString notice;
    PatientRow row;
    SearchKey key = SearchKey::PatientName;
};

// The result grid's reply: its heading (the count, and after a slash the whole list's total
// when known), the entries, and the position of the next page. `extraColumn` names the
// column of the value the key matched (Policy#, MR#, ...), or is null; `typed` is what fills
// it when the row carries no value of its own.
QStringList searchReply(const QList<SearchEntry>& entries, const char* extraColumn, const QString& typed,
                        const QString& total, const QString& next);

// A candidate the duplicate check lists, with its score and what it matched on.
struct ScoredCandidate
{
    const Candidate* candidate = nullptr;
    double score = 0;
    QStringList reasons;
    qint64 daysApart = 0;
};
QStringList duplicateReply(const QList<ScoredCandidate>& shown, qsizetype leftOut);

// A code table in the lookup grid; no rows when there is no such table.
QStringList codeTableReply(const std::optional<QList<CodeRow>>& rows);

// A file: its size, then its text in chunks; or the line that says it was not found.
QStringList fileReply(const std::optional<QByteArray>& content, const QString& name, const QString& folder);

// A text in chunks, ended by "|END|".
QStringList chunkedReply(const QString& text);

} // namespace zelvar::practice
