#include "servicetables.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <stdexcept>

namespace zelvar::practice {


namespace {

// Entries per block of the accounts table: a search's rows are spread over one block's pages,
// and a look for an account is one look into each block.
constexpr int kEntriesPerBlock = 256;

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
        Statement taken(m_db, "SELECT 1 FROM desks WHERE name = ?1");
        taken.bind(1, trimmed);
        if (taken.step())
            throw std::invalid_argument("There is a desk of that name already");
        Statement add(m_db, "INSERT INTO desks (name, tokenhash, added) VALUES (?1, ?2, ?3)");
        add.bind(1, trimmed).bind(2, tokenHash(token)).bind(3, QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        add.run();
    });
    return token;
}

bool ServiceTables::removeDesk(const QString& name)
{
    return inWriteTransaction(m_db, [&] {
        Statement known(m_db, "SELECT 1 FROM desks WHERE name = ?1");
        known.bind(1, name.trimmed());
        if (!known.step())
            return false;
        Statement remove(m_db, "DELETE FROM desks WHERE name = ?1");
        remove.bind(1, name.trimmed());
        remove.run();
        return true;
    });
}

QStringList ServiceTables::desks()
{
    Statement s(m_db, "SELECT name FROM desks ORDER BY name");
    QStringList names;
    while (s.step())
        names.append(s.text(0));
    return names;
}

QHash<QString, QString> ServiceTables::deskTokens()
{
    Statement s(m_db, "SELECT tokenhash, name FROM desks");
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
    if (m_db.writesTwoTablesInOneStatement()) {
        // An entry and its accounts in one statement: a lone entry (one desk asking) needs no
        // transaction around it, and costs one round trip instead of four.
        Statement both(m_db, QStringLiteral("WITH entry AS (INSERT INTO access (at, desk, kind, detail, clerk) VALUES (?1, ?2, ?3, ?4, ?6) "
                                            "RETURNING id) INSERT INTO access_accounts (block, account, entry) "
                                            "SELECT entry.id / %1, CAST(value AS BIGINT), entry.id "
                                            "FROM entry, json_each(?5) ON CONFLICT DO NOTHING").arg(kEntriesPerBlock));
        const auto writeAll = [&] {
            for (const AccessEntry& e : entries) {
                both.bind(1, e.at.toUTC().toString(Qt::ISODateWithMs)).bind(2, e.desk).bind(3, e.kind).bind(4, e.detail);
                both.bind(5, accountList(e.accounts)).bind(6, e.clerk);
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
        Statement add(m_db, "INSERT INTO access (at, desk, kind, detail, clerk) VALUES (?1, ?2, ?3, ?4, ?5) RETURNING id");
        // The accounts of an entry in one statement (one round trip to a database server).
        Statement accounts(m_db, QStringLiteral("INSERT INTO access_accounts (block, account, entry) "
                                                "SELECT CAST(?1 AS BIGINT) / %1, CAST(value AS BIGINT), CAST(?1 AS BIGINT) "
                                                "FROM json_each(?2) WHERE true ON CONFLICT DO NOTHING").arg(kEntriesPerBlock));
        for (const AccessEntry& e : entries) {
            add.bind(1, e.at.toUTC().toString(Qt::ISODateWithMs)).bind(2, e.desk).bind(3, e.kind).bind(4, e.detail);
            add.bind(5, e.clerk);
            if (!add.step())
                throw DatabaseError("practice database: the access log took no entry");
            const qint64 entry = add.integer(0);
            add.reset();
            if (!e.accounts.isEmpty()) {
                accounts.bind(1, entry).bind(2, accountList(e.accounts));
                accounts.run();
            }
        }
    }, false);
}

namespace {

QList<AccessEntry> readEntries(Database& db, Statement& s)
{
    QList<AccessEntry> out;
    Statement accounts(db, QStringLiteral("SELECT account FROM access_accounts WHERE block = CAST(?1 AS BIGINT) / %1 "
                                          "AND entry = ?1 ORDER BY account").arg(kEntriesPerBlock));
    while (s.step()) {
        AccessEntry e{QDateTime::fromString(s.text(1), Qt::ISODateWithMs), s.text(2), s.text(3), {}, s.text(4), s.text(5)};
        accounts.bind(1, s.integer(0));
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
    // One look into each block, the newest included.
    Statement s(m_db, QStringLiteral("WITH RECURSIVE blocks (n) AS (SELECT CAST(0 AS BIGINT) UNION ALL "
                                     "SELECT n + 1 FROM blocks WHERE n < (SELECT COALESCE(MAX(id), 0) / %1 FROM access)) "
                                     "SELECT a.id, a.at, a.desk, a.kind, a.detail, a.clerk FROM blocks "
                                     "JOIN access_accounts x ON x.block = blocks.n AND x.account = ?1 "
                                     "JOIN access a ON a.id = x.entry ORDER BY a.id").arg(kEntriesPerBlock));
    s.bind(1, account);
    return readEntries(m_db, s);
}

QList<AccessEntry> ServiceTables::recentOfKind(const QString& kind, int limit)
{
    Statement s(m_db, "SELECT id, at, desk, kind, detail, clerk FROM access WHERE kind = ?1 ORDER BY id DESC LIMIT ?2");
    s.bind(1, kind).bind(2, qint64(limit));
    return readEntries(m_db, s);
}

QList<AccessEntry> ServiceTables::recentOfClerk(const QString& clerk, int limit)
{
    Statement s(m_db, "SELECT id, at, desk, kind, detail, clerk FROM access WHERE clerk = ?1 ORDER BY id DESC LIMIT ?2");
    s.bind(1, clerk).bind(2, qint64(limit));
    return readEntries(m_db, s);
}

void ServiceTables::probe()
{
    Statement read(m_db, "SELECT count(*) FROM desks");
    read.step();
    m_db.begin();
    try {
        Statement write(m_db, "INSERT INTO access (at, desk, kind, detail) VALUES (?1, '', 'PROBE', '')");
        write.bind(1, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
        write.step();
    } catch (...) {
        m_db.rollback();
        throw;
    }
    m_db.rollback();
}

} // namespace zelvar::practice
