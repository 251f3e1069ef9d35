#include "statements.h"

#include <QFile>
#include <QRegularExpression>

namespace zelvar::practice {
namespace {

[[noreturn]] void badFile(const QString& file, int line, const char* what)
{
    throw DatabaseError(QStringLiteral("practice statements %1, line %2: %3").arg(file).arg(line).arg(QLatin1String(what))
                            .toStdString());
}

void add(QHash<QString, NamedStatement>& out, const QString& file, int line, const QString& name, QString text,
         bool planOnce, Database::Engine engine)
{
    if (out.contains(name))
        badFile(file, line, "a statement of that name is already written");
    text.chop(1);   // its semicolon
    out.insert(name, {std::make_shared<const NumberedStatement>(numberParameters(text.trimmed(), engine)), planOnce});
}

void readFile(QHash<QString, NamedStatement>& out, const QString& file, Database::Engine engine)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        badFile(file, 0, "cannot be read");
    static const QRegularExpression header(QStringLiteral("^-- name: ([a-z0-9_]+)( \\(plan once\\))?$"));
    const QStringList lines = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
    QString name;
    QString text;
    bool planOnce = false;
    int startLine = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        const QRegularExpressionMatch m = header.match(line);
        if (m.hasMatch()) {
            if (!name.isEmpty())
                badFile(file, startLine, "a statement does not end with a semicolon");
            name = m.captured(1);
            planOnce = m.hasCaptured(2);
            startLine = i + 1;
            text.clear();
        } else if (!name.isEmpty()) {
            text += lines[i] + QLatin1Char('\n');
            if (line.endsWith(QLatin1Char(';'))) {
                add(out, file, startLine, name, text.trimmed(), planOnce, engine);
                name.clear();
            }
        } else if (!line.isEmpty() && !line.startsWith(QLatin1String("--"))) {
            badFile(file, i + 1, "text outside a statement");
        }
    }
    if (!name.isEmpty())
        badFile(file, startLine, "a statement does not end with a semicolon");
}

const QHash<QString, NamedStatement>& catalog(Database::Engine engine)
{
    // Read once per program; a fault in a file is the program's, and every test meets it.
    static const QHash<QString, NamedStatement> sqlite = readStatements(
        {QStringLiteral(":/practice/statements/statements.sql"), QStringLiteral(":/practice/statements/statements.sqlite.sql")},
        Database::Engine::Sqlite);
    static const QHash<QString, NamedStatement> postgres = readStatements(
        {QStringLiteral(":/practice/statements/statements.sql"), QStringLiteral(":/practice/statements/statements.postgres.sql")},
        Database::Engine::Postgres);
    return engine == Database::Engine::Postgres ? postgres : sqlite;
}

} // namespace

QHash<QString, NamedStatement> readStatements(const QStringList& files, Database::Engine engine)
{
    QHash<QString, NamedStatement> out;
    for (const QString& file : files)
        readFile(out, file, engine);
    return out;
}

const NamedStatement& namedStatement(Database::Engine engine, QStringView name)
{
    const QHash<QString, NamedStatement>& statements = catalog(engine);
    const auto found = statements.constFind(name.toString());
    if (found == statements.constEnd())
        throw DatabaseError("practice database: no statement is named " + name.toString().toStdString());
    return *found;
}

QStringList statementNames(Database::Engine engine)
{
    QStringList names = catalog(engine).keys();
    names.sort();
    return names;
}

} // namespace zelvar::practice
