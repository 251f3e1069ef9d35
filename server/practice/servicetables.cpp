#include "servicetables.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <stdexcept>

namespace zelvar::practice {


namespace {

// Entries per block of the accounts table: a search's rows are spread over one block's pages,
// and a look for an account is one look into each block.
constexpr qint64 kEntriesPerBlock = 256;

} // namespace

// The tables are the practice database's own, made with its layout (practice/schema.h).
ServiceTables::ServiceTables(Database& db)
    : m_db(db)
{
}

QString ServiceStore::tokenHash(const QString& token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString ServiceTables::addDesk(const QString& name)
{
    const QString trimmed = name.trimmed();
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9 ._-]{0,39}$"));
    if (!allowed.match(trimmed).hasMatch())
        throw std::invalid_argument("A desk's name is 1 to 40 letters, digits, blanks, dots, dashes or underscores");
    // 32 random bytes from the system's generator: guessing one is out of reach.
    QByteArray secret(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(secret.data()), secret.size() / 4);
    const QString token = QStringLiteral("zd_")
        + QString::fromLatin1(secret.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    inWriteTransaction(m_db, [&] {
        Statement taken = Statement::named(m_db, u"desk_named");
        taken.bind("name", trimmed);
        if (taken.step())
            throw std::invalid_argument("There is a desk of that name already");
        Statement add = Statement::named(m_db, u"add_desk");
        add.bind("name", trimmed).bind("tokenhash", tokenHash(token));
        add.bind("added", QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        add.run();
    });
    return token;
}

bool ServiceTables::removeDesk(const QString& name)
{
    return inWriteTransaction(m_db, [&] {
        Statement known = Statement::named(m_db, u"desk_named");
        known.bind("name", name.trimmed());
        if (!known.step())
            return false;
        Statement remove = Statement::named(m_db, u"remove_desk");
        remove.bind("name", name.trimmed());
        remove.run();
        return true;
    });
}

QStringList ServiceTables::desks()
{
    Statement s = Statement::named(m_db, u"desk_names");
    QStringList names;
    while (s.step())
        names.append(s.text(0));
    return names;
}

QHash<QString, QString> ServiceTables::deskTokens()
{
    Statement s = Statement::named(m_db, u"desk_tokens");
    QHash<QString, QString> desks;
    while (s.step())
        desks.insert(s.text(0), s.text(1));
    return desks;
}

void ServiceTables::logAccess(const QString& desk, const QString& kind, const QList<qint64>& accounts,
                              const QString& detail)
{
    logAccesses({{QDateTime::currentDateTimeUtc(), desk, kind, accounts, detail, {}}});
}

namespace {

QString accountList(const QList<qint64>& accounts)
{
    QStringList numbers;
    for (qint64 a : accounts)
        numbers.append(QString::number(a));
    return QLatin1Char('[') + numbers.join(QLatin1Char(',')) + QLatin1Char(']');
}

} // namespace

void ServiceTables::logAccesses(const QList<AccessEntry>& entries)
{
    const auto bindEntry = [](Statement& s, const AccessEntry& e) {
        s.bind("at", e.at.toUTC().toString(Qt::ISODateWithMs)).bind("desk", e.desk).bind("kind", e.kind);
        s.bind("detail", e.detail).bind("clerk", e.clerk);
    };
    if (m_db.writesTwoTablesInOneStatement()) {
        // An entry and its accounts in one statement: a lone entry (one desk asking) needs no
        // transaction around it.
        Statement both = Statement::named(m_db, u"log_access_entry");
        const auto writeAll = [&] {
            for (const AccessEntry& e : entries) {
                bindEntry(both, e);
                both.bind("accounts", accountList(e.accounts)).bind("per_block", kEntriesPerBlock);
                both.run();
            }
        };
        if (entries.size() == 1)
            writeAll();
        else
            inWriteTransaction(m_db, writeAll, false);
        return;
    }

    // Entries of several desks go in side by side: each is numbered by the database.
    inWriteTransaction(m_db, [&] {
        Statement add = Statement::named(m_db, u"log_access");
        Statement accounts = Statement::named(m_db, u"log_access_accounts");
        for (const AccessEntry& e : entries) {
            bindEntry(add, e);
            if (!add.step())
                throw DatabaseError("practice database: the access log took no entry");
            const qint64 entry = add.integer(0);
            add.reset();
            if (!e.accounts.isEmpty()) {
                accounts.bind("entry", entry).bind("accounts", accountList(e.accounts)).bind("per_block", kEntriesPerBlock);
                accounts.run();
            }
        }
    }, false);
}

namespace {

QList<AccessEntry> readEntries(Database& db, Statement& s)
{
    QList<AccessEntry> out;
    Statement accounts = Statement::named(db, u"entry_accounts");
    while (s.step()) {
        AccessEntry e{QDateTime::fromString(s.text(1), Qt::ISODateWithMs), s.text(2), s.text(3), {}, s.text(4), s.text(5)};
        accounts.bind("entry", s.integer(0)).bind("per_block", kEntriesPerBlock);
        while (accounts.step())
            e.accounts.append(accounts.integer(0));
        accounts.reset();
        out.append(e);
    }
    return out;
}

} // namespace

QList<AccessEntry> ServiceTables::accessLog(qint64 account)
{
    Statement s = Statement::named(m_db, u"access_of_account");
    s.bind("account", account).bind("per_block", kEntriesPerBlock);
    return readEntries(m_db, s);
}

QList<AccessEntry> ServiceTables::recentOfKind(const QString& kind, int limit)
{
    Statement s = Statement::named(m_db, u"access_of_kind");
    s.bind("kind", kind).bind("limit", qint64(limit));
    return readEntries(m_db, s);
}

QList<AccessEntry> ServiceTables::recentOfClerk(const QString& clerk, int limit)
{
    Statement s = Statement::named(m_db, u"access_of_clerk");
    s.bind("clerk", clerk).bind("limit", qint64(limit));
    return readEntries(m_db, s);
}

void ServiceTables::probe()
{
    Statement read = Statement::named(m_db, u"desk_count");
    read.step();
    m_db.begin();
    try {
        Statement write = Statement::named(m_db, u"probe_write");
        write.bind("at", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
        write.step();
    } catch (...) {
        m_db.rollback();
        throw;
    }
    m_db.rollback();
}

} // namespace zelvar::practice
