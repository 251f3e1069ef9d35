#include "duplicatescoring.h"

#include "names.h"
#include "textshape.h"

#include <algorithm>
#include <limits>

namespace zelvar::practice {
namespace {

constexpr double kKept = 0.35;

// What the new patient's data is compared by, read once for all candidates.
struct Typed
{
    const PatientData& data;
    QString ssn;
    NameQuery name;
    std::optional<QDate> dob;       // one day, when one was typed
    QStringList formals;
};

void add(ScoredCandidate& s, double score, const char* reason)
{
    s.score += score;
    s.reasons.append(QString::fromLatin1(reason));
}

void scoreName(const Typed& t, const PatientRow& p, ScoredCandidate& s)
{
    const QString last = foldName(p.last);
    const QString first = foldName(p.first);
    const bool swapped = !t.name.first.isEmpty() && last == t.name.first && first == t.name.last;
    if (!t.name.last.isEmpty()) {
        if (last == t.name.last)
            add(s, 0.3, "last name");
        else if (swapped)
            add(s, 0.45, "names swapped");
        else if (phoneticKey(last) == phoneticKey(t.name.last))
            add(s, 0.2, "last name sounds alike");
        else if (oneEditVariants(t.name.last).contains(last))
            add(s, 0.2, "last name a letter off");
    }
    if (!t.name.first.isEmpty() && !swapped) {
        if (first == t.name.first)
            add(s, 0.2, "first name");
        else if (t.formals.contains(formalName(first)))
            add(s, 0.15, "nickname");
        else if (first.startsWith(t.name.first) || t.name.first.startsWith(first))
            add(s, 0.1, "first name begins alike");
    }
}

// The same day; day and month swapped; one digit of MMDDYYYY typed wrong.
void scoreBirthDate(const QDate& typed, const QDate& dob, ScoredCandidate& s)
{
    s.daysApart = qAbs(dob.daysTo(typed));
    const QString a = dob.toString(QStringLiteral("MMddyyyy"));
    const QString b = typed.toString(QStringLiteral("MMddyyyy"));
    int differing = a.size() == b.size() ? 0 : 8;
    for (qsizetype i = 0; i < qMin(a.size(), b.size()); ++i)
        differing += a[i] != b[i];
    if (dob == typed)
        add(s, 0.3, "DOB");
    else if (dob.day() == typed.month() && dob.month() == typed.day() && dob.year() == typed.year())
        add(s, 0.2, "DOB day and month swapped");
    else if (differing == 1)
        add(s, 0.15, "DOB one digit off");
}

ScoredCandidate score(const Typed& t, const Candidate& c)
{
    const PatientRow& p = c.patient;
    ScoredCandidate s{&c, 0, {}, std::numeric_limits<qint64>::max()};
    if (t.ssn.size() == 9 && p.ssn == t.ssn)
        add(s, 1.0, "SSN");
    const QString account = t.data.account.trimmed();
    if (!account.isEmpty() && QString::number(p.account) == account)
        add(s, 1.0, "account");
    scoreName(t, p, s);
    if (t.dob && p.dob.isValid())
        scoreBirthDate(*t.dob, p.dob, s);
    if (!t.data.policy.trimmed().isEmpty() && c.policies.contains(identifierKey(t.data.policy)))
        add(s, 0.3, "policy");
    if (!t.data.mrn.trimmed().isEmpty() && identifierKey(p.mrn) == identifierKey(t.data.mrn))
        add(s, 0.5, "MRN");
    s.score = qMin(s.score, 1.0);
    return s;
}

} // namespace

QList<ScoredCandidate> scoreDuplicates(const PatientData& patient, const QList<Candidate>& candidates)
{
    Typed typed{patient, digitsOf(patient.ssn), parseNameQuery(patient.name), std::nullopt, {}};
    const std::optional<DateRange> dob = parseDateQuery(patient.dob);
    if (dob && dob->from.isValid() && dob->from == dob->to)
        typed.dob = dob->from;
    if (!typed.name.first.isEmpty())
        typed.formals = formalNames(typed.name.first);
    QList<ScoredCandidate> scored;
    for (const Candidate& c : candidates) {
        ScoredCandidate s = score(typed, c);
        if (s.score >= kKept)
            scored.append(std::move(s));
    }
    std::stable_sort(scored.begin(), scored.end(), [](const ScoredCandidate& a, const ScoredCandidate& b) {
        if (a.score != b.score)
            return a.score > b.score;
        if (a.daysApart != b.daysApart)
            return a.daysApart < b.daysApart;
        return a.candidate->patient.account < b.candidate->patient.account;
    });
    return scored;
}

} // namespace zelvar::practice
