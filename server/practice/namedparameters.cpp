#include "namedparameters.h"

namespace zelvar::practice {
namespace {

// Both engines take a parameter number up to this; a statement uses a handful.
constexpr qsizetype kMostParameters = 64;

bool startsName(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool continuesName(QChar c)
{
    return startsName(c) || (c >= u'0' && c <= u'9');
}

// Where the quoted text or comment that starts at `at` ends (one past it); `at` itself when
// none starts there.
qsizetype skipQuotedOrComment(QStringView sql, qsizetype at)
{
    const QChar c = sql[at];
    if (c == u'\'' || c == u'"') {
        // A quote is doubled inside its own quotes ('O''BRIEN').
        qsizetype i = at + 1;
        while (i < sql.size()) {
            if (sql[i] == c) {
                if (i + 1 < sql.size() && sql[i + 1] == c) {
                    i += 2;
                    continue;
                }
                return i + 1;
            }
            ++i;
        }
        throw DatabaseError("practice database: a statement ends inside quotes");
    }
    if (sql.mid(at).startsWith(u"--")) {
        const qsizetype end = sql.indexOf(u'\n', at);
        return end < 0 ? sql.size() : end;
    }
    if (sql.mid(at).startsWith(u"/*")) {
        const qsizetype end = sql.indexOf(u"*/", at + 2);
        if (end < 0)
            throw DatabaseError("practice database: a statement ends inside a comment");
        return end + 2;
    }
    return at;
}

} // namespace

NumberedStatement numberParameters(QStringView sql, Database::Engine engine)
{
    const QChar mark = engine == Database::Engine::Postgres ? u'$' : u'?';
    NumberedStatement out;
    out.text.reserve(sql.size());
    qsizetype i = 0;
    while (i < sql.size()) {
        const qsizetype skipped = skipQuotedOrComment(sql, i);
        if (skipped != i) {
            out.text += sql.mid(i, skipped - i);
            i = skipped;
            continue;
        }
        const QChar c = sql[i];
        if (c == u'?' || (c == u'$' && i + 1 < sql.size() && sql[i + 1].isDigit()))
            throw DatabaseError("practice database: a statement numbers a parameter; it is named instead (:name)");
        if (c == u':' && i + 1 < sql.size() && sql[i + 1] == u':') {
            out.text += QStringLiteral("::");
            i += 2;
            continue;
        }
        if (c != u':' || i + 1 >= sql.size() || !startsName(sql[i + 1])) {
            out.text += c;
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < sql.size() && continuesName(sql[end]))
            ++end;
        const QByteArray name = sql.mid(i + 1, end - i - 1).toLatin1();
        qsizetype number = out.parameters.indexOf(name) + 1;
        if (number == 0) {
            if (out.parameters.size() == kMostParameters)
                throw DatabaseError("practice database: a statement has more parameters than the engines take");
            out.parameters.append(name);
            number = out.parameters.size();
        }
        out.text += mark + QString::number(number);
        i = end;
    }
    return out;
}

} // namespace zelvar::practice
