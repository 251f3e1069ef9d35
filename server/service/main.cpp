// zelvar-practice-server: the practice server for the desks of a practice.
#include "practice/backup.h"
#include "practiceserver.h"
#include "practice/servicestore.h"
#include "practice/servinglock.h"
#include "practice/storeaddress.h"
#include "tls.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QSettings>

#include <csignal>
#include <cstdio>
#include <map>

#include <sys/stat.h>
#include <systemd/sd-daemon.h>

namespace {

using namespace zelvar;

const char* const kUsage = R"(Usage: zelvar-practice-server COMMAND [OPTIONS]

Commands:
  init [--cert FILE] [--key FILE] [--host NAME] [--renew [--new-key --until DATE] | --force]
        Makes a self-signed certificate (valid for two years) and key for a first run
        (server.crt, server.key) and prints the key's pin, which the desks pin. --renew
        makes a new certificate for the same key and host (the desks' pins still match);
        SIGHUP makes a running server take it. --renew --new-key --until DATE makes a new
        key whose certificate waits beside the old (FILE.next) until DATE: the server
        presents the old key until then and the new one from that day, so that the desks
        can be given both pins first. --force makes a new key at once (every desk needs
        its new pin).
  serve [--cert FILE] [--key FILE] [--listen ADDRESS:PORT] [--workers N]
        [--plain-loopback PORT] [--header-timeout SECONDS] [--request-timeout SECONDS]
        [--idle-timeout SECONDS] [--max-connections N] [--max-connections-per-address N]
        Serves the desks over HTTPS (default 0.0.0.0:8743, 8 workers). --plain-loopback
        also serves plain HTTP on 127.0.0.1 only, for a host on the same machine. A request's
        header must arrive whole within --header-timeout (10), its body within
        --request-timeout (10); a kept-alive connection idles at most --idle-timeout (60).
        At most --max-connections (1024) are open, --max-connections-per-address (64)
        from one address; past that a new connection is answered 503 and closed.
        SIGINT or SIGTERM stops it; SIGHUP reads the certificate and key again.
  desk add NAME       Adds a desk and prints its token (once: the server keeps only a hash).
  desk list           Lists the desks.
  desk remove NAME    Removes a desk; its token is refused from then on.
  log --account N     Prints who was shown the account, and when: the time, the desk,
                      the clerk (as the desk's host named them; - for none), what was
                      done (SEARCH, DUPLICATE, RECORD) and the accounts shown.
  log --user NAME     Prints the last 100 entries of one clerk.
  log --refused       Prints the last refused requests.
  generate PATIENTS [--seed N] [--replace]
        Fills an empty database with generated demo patients; --replace replaces the
        patients of one that has some. Refused while a server serves the database.
  backup --to FILE
        Copies the database into FILE while it is served (SQLite: one consistent moment;
        PostgreSQL: pg_dump's custom format).
  restore --from FILE
        Puts a backup in place of the database, which no server may be serving; on SQLite
        what it replaces is kept beside it first.
  migrate --from DATABASE --to DATABASE
        Copies every row (patients, codes, desks, access log) into an empty database,
        in bulk, with a line for every 250,000 rows of a large table.

Every command but init takes --db DATABASE: sqlite:FILE or postgresql://USER@HOST/NAME
($ZELVAR_PRACTICE_DB, else the configuration's, else sqlite:practice.db; only serve and
generate make a database that is not there). The files the server makes are its user's alone
(0600); with --group-readable (group-readable = yes) the database and its backups are 0640,
for a backup operator in the service's group.

Every option of serve, and db, may be set in the configuration, /etc/zelvar-practice/server.conf
(when it exists) or --config FILE: an INI file with a [server] section of NAME = VALUE lines
(db = sqlite:/var/lib/zelvar-practice/practice.db, listen = 0.0.0.0:8743, ...). Options
on the command line override it.
)";

const char* const kDefaultConfig = "/etc/zelvar-practice/server.conf";

struct Arguments
{
    QStringList words;                      // the command and its operands
    std::map<QString, QString> options;     // --name value (or "1" for a flag)
    std::map<QString, QString> configured;  // --name value from the configuration file
    QString configFile;                     // where they came from
};

// The configuration's [server] settings, read by Qt's INI reader, under the names of the
// options they stand for. A name no option has is refused: a setting mistyped would be a
// default silently kept.
void readConfiguration(Arguments& a)
{
    static const QStringList known{QStringLiteral("db"), QStringLiteral("cert"), QStringLiteral("key"), QStringLiteral("listen"),
                                   QStringLiteral("workers"), QStringLiteral("plain-loopback"), QStringLiteral("header-timeout"),
                                   QStringLiteral("request-timeout"), QStringLiteral("idle-timeout"), QStringLiteral("max-connections"),
                                   QStringLiteral("max-connections-per-address"), QStringLiteral("group-readable")};
    const auto given = a.options.find(QStringLiteral("--config"));
    QString file = given != a.options.end() ? given->second : QString();
    if (file.isEmpty()) {
        if (!QFileInfo::exists(QString::fromLatin1(kDefaultConfig)))
            return;
        file = QString::fromLatin1(kDefaultConfig);
    } else if (!QFileInfo(file).isFile()) {
        throw std::invalid_argument(QString("there is no configuration file " + file).toStdString());
    }
    QSettings conf(file, QSettings::IniFormat);
    if (conf.status() != QSettings::NoError)
        throw std::invalid_argument(QString(file + " cannot be read as an INI file").toStdString());
    for (const QString& key : conf.allKeys()) {
        const QString name = key.section(QLatin1Char('/'), -1);
        // Qt's reader takes only ';' for a comment; a line that '#' comments out, as in most
        // of /etc, reads as a setting of that name.
        if (name.startsWith(QLatin1Char('#')))
            continue;
        if (!key.startsWith(QLatin1String("server/")) || !known.contains(name))
            throw std::invalid_argument(QString(file + ": there is no setting " + key + " (the settings are in [server]: "
                                                + known.join(QStringLiteral(", ")) + ")").toStdString());
        // "a, b" reads as a list; a setting is the text as written.
        a.configured[QStringLiteral("--") + name] = conf.value(key).toStringList().join(QStringLiteral(", "));
    }
    a.configFile = file;
}

Arguments parse(const QStringList& args)
{
    static const QStringList flags{QStringLiteral("--force"), QStringLiteral("--refused"), QStringLiteral("--help"),
                                   QStringLiteral("--version"), QStringLiteral("--replace"), QStringLiteral("--renew"),
                                   QStringLiteral("--new-key"), QStringLiteral("--group-readable")};
    Arguments out;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a.startsWith(QLatin1String("--"))) {
            const qsizetype equals = a.indexOf(QLatin1Char('='));
            if (equals > 0)
                out.options[a.left(equals)] = a.mid(equals + 1);
            else if (flags.contains(a))
                out.options[a] = QStringLiteral("1");
            else if (i + 1 < args.size())
                out.options[a] = args[++i];
            else
                throw std::invalid_argument(QString("the option " + a + " needs a value").toStdString());
        } else {
            out.words.append(a);
        }
    }
    return out;
}

QString option(const Arguments& a, const char* name, const QString& fallback = {})
{
    const QString key = QString::fromLatin1(name);
    if (const auto it = a.options.find(key); it != a.options.end())
        return it->second;
    if (const auto it = a.configured.find(key); it != a.configured.end())
        return it->second;
    return fallback;
}

bool isSet(const Arguments& a, const char* name)
{
    const QString key = QString::fromLatin1(name);
    return a.options.count(key) || a.configured.count(key);
}

int number(const Arguments& a, const char* name, int fallback, int low, int high)
{
    const QString text = option(a, name);
    if (text.isEmpty())
        return fallback;
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        throw std::invalid_argument(QStringLiteral("%1 is a number from %2 to %3").arg(QLatin1String(name)).arg(low).arg(high).toStdString());
    return value;
}

QString databaseAddress(const Arguments& a)
{
    if (const auto it = a.options.find(QStringLiteral("--db")); it != a.options.end())
        return it->second;
    const QString fromEnvironment = qEnvironmentVariable("ZELVAR_PRACTICE_DB");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return option(a, "--db", QStringLiteral("sqlite:practice.db"));
}

// The database a command that only reads or adds to one works on: it must be there. Made
// anew in whatever folder the command was run from, it would be an empty practice that a
// desk added to, or a log, silently describes.
QString existingDatabase(const Arguments& a)
{
    const QString address = databaseAddress(a);
    if (address.contains(QLatin1String("://")))
        return address;
    const QString file = practice::sqliteFileOf(address);
    if (!QFileInfo::exists(file)) {
        const QString from = a.options.count(QStringLiteral("--db")) ? QStringLiteral("--db")
            : !qEnvironmentVariableIsEmpty("ZELVAR_PRACTICE_DB")     ? QStringLiteral("$ZELVAR_PRACTICE_DB")
            : a.configured.count(QStringLiteral("--db"))              ? a.configFile
                                                                      : QStringLiteral("the default");
        throw std::invalid_argument(QString("there is no database " + QFileInfo(file).absoluteFilePath() + " (" + address + ", from "
                                            + from + "): give --db, or make it with generate or serve").toStdString());
    }
    return address;
}

void out(const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// A pair that waited for its day (init --new-key) and whose day has come becomes the pair in
// use: its files take the place of the old ones.
void promoteDuePair(const QString& certificate, const QString& key)
{
    const service::ServedPair served = service::servedPair(certificate, key, QDateTime::currentDateTimeUtc());
    if (served.certificate == certificate)
        return;
    if (::rename(QFile::encodeName(served.key).constData(), QFile::encodeName(key).constData()) != 0
        || ::rename(QFile::encodeName(served.certificate).constData(), QFile::encodeName(certificate).constData()) != 0)
        throw std::runtime_error(QString("cannot move the new key's pair (" + served.certificate + ") into place").toStdString());
    out(QStringLiteral("The pair made with a new key, whose day has come, is now the pair in use."));
}

// A new key beside the one in use, with a certificate valid from a day to come: the desks are
// given both pins meanwhile.
int initNextKey(const Arguments& a, service::NewCertificate request, const QString& certificate, const QString& key)
{
    const QString until = option(a, "--until");
    const QDate day = QDate::fromString(until, Qt::ISODate);
    if (!day.isValid() || day <= QDate::currentDate())
        throw std::runtime_error("--new-key needs --until DATE, a day after today (YYYY-MM-DD): until then the "
                                 "server presents its key in use, so that the desks can be given the new key's pin");
    request.keyChoice = service::KeyChoice::New;
    request.newCertificateFile = service::nextFile(certificate);
    request.newKeyFile = service::nextFile(key);
    request.validFrom = QDateTime(day, QTime(0, 0));
    const QString fingerprint = service::makeSelfSignedCertificate(request);
    const QString oldPin = service::certificateKeyPin(certificate);
    const QString newPin = service::certificateKeyPin(request.newCertificateFile);
    out(QStringLiteral("Certificate: ") + request.newCertificateFile + QStringLiteral(" (for ") + request.hostName
        + QStringLiteral(", localhost, 127.0.0.1), valid from ") + day.toString(Qt::ISODate));
    out(QStringLiteral("Key:         ") + request.newKeyFile + QStringLiteral(" (readable by its owner only)"));
    out(QStringLiteral("Key pin:     ") + newPin + QStringLiteral(" (the new key)"));
    out(QStringLiteral("Fingerprint: ") + fingerprint);
    out(QStringLiteral("Until %1 the server presents the key in use; from that day, the new one (a running server "
                       "changes over by itself). Before then, give each desk both pins:")
            .arg(day.toString(Qt::ISODate)));
    out(QStringLiteral("  ") + oldPin + QLatin1Char(';') + newPin);
    return 0;
}

int init(const Arguments& a)
{
    const QString certificate = option(a, "--cert", QStringLiteral("server.crt"));
    const QString key = option(a, "--key", QStringLiteral("server.key"));
    const bool renew = a.options.count(QStringLiteral("--renew"));
    const bool newKey = a.options.count(QStringLiteral("--new-key"));
    const bool force = a.options.count(QStringLiteral("--force"));
    if (renew && !QFileInfo::exists(key))
        throw std::runtime_error(QString("there is no key " + key + " to renew the certificate of").toStdString());
    if (!renew && !force && (QFileInfo::exists(certificate) || QFileInfo::exists(key)))
        throw std::runtime_error(QString("there is a certificate or key already (" + certificate + ", " + key
                                  + "); --renew makes a new certificate for the same key, --force a new key").toStdString());
    if (newKey && !renew)
        throw std::runtime_error("--new-key goes with --renew (and --until DATE)");

    service::NewCertificate request;
    request.certificateFile = certificate;
    request.keyFile = key;
    // A renewed certificate names the host the one before named, not whatever this machine
    // calls itself today: the desks reach the server by that name.
    const QString named = renew && QFileInfo::exists(certificate) ? service::certificateHostName(certificate) : QString();
    request.hostName = option(a, "--host", named.isEmpty() ? QHostInfo::localHostName() : named);
    if (renew)
        promoteDuePair(certificate, key);
    if (force) {
        // Everything new: a pair that was waiting for its day would take over from this one.
        QFile::remove(service::nextFile(certificate));
        QFile::remove(service::nextFile(key));
    }

    if (newKey)
        return initNextKey(a, request, certificate, key);

    request.keyChoice = renew ? service::KeyChoice::Keep : service::KeyChoice::New;
    const QString fingerprint = service::makeSelfSignedCertificate(request);
    out(QStringLiteral("Certificate: ") + certificate + QStringLiteral(" (for ") + request.hostName
        + QStringLiteral(", localhost, 127.0.0.1)"));
    out(QStringLiteral("Key:         ") + key + QStringLiteral(" (readable by its owner only)"));
    out(QStringLiteral("Key pin:     ") + service::certificateKeyPin(certificate)
        + (renew ? QStringLiteral(" (the same key: the desks that pin it need nothing new)") : QString()));
    out(QStringLiteral("Fingerprint: ") + fingerprint);
    out(QStringLiteral("Give the desks the key pin (or the certificate) to check the server by."));
    return 0;
}

service::PracticeServer* g_server = nullptr;
bool g_groupMayRead = false;        // --group-readable

void onSignal(int number)
{
    if (!g_server)
        return;
    if (number == SIGHUP)
        g_server->reload();
    else
        g_server->stop();
}

// The server's options from the command line (and the configuration).
service::ServerOptions serverOptions(const Arguments& a)
{
    service::ServerOptions options;
    options.certificate = option(a, "--cert", QStringLiteral("server.crt"));
    options.key = option(a, "--key", QStringLiteral("server.key"));
    const QString listen = option(a, "--listen", QStringLiteral("0.0.0.0:8743"));
    const qsizetype colon = listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const int port = listen.mid(colon + 1).toInt(&portOk);
    QString host = listen.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    options.address = QHostAddress(host);
    if (colon < 0 || !portOk || port < 0 || port > 65535 || options.address.isNull())
        throw std::invalid_argument("--listen is ADDRESS:PORT, as 0.0.0.0:8743 or [::1]:8743");
    options.port = quint16(port);
    if (isSet(a, "--plain-loopback")) {
        options.plainLoopback = true;
        options.plainPort = quint16(number(a, "--plain-loopback", 0, 0, 65535));
    }
    options.workers = number(a, "--workers", 8, 1, 256);
    options.headerSeconds = number(a, "--header-timeout", 10, 1, 600);
    options.requestSeconds = number(a, "--request-timeout", 10, 1, 600);
    options.idleSeconds = number(a, "--idle-timeout", 60, 1, 3600);
    options.maxConnections = number(a, "--max-connections", 1024, 1, 1000000);
    options.maxConnectionsPerAddress = number(a, "--max-connections-per-address", 64, 1, 1000000);
    return options;
}

int serve(const Arguments& a)
{
    const service::ServerOptions options = serverOptions(a);
    const QString database = databaseAddress(a);

    service::PracticeServer server(options, [database] { return practice::openStore(database); });
    const std::unique_ptr<practice::ServingLock> serving = practice::ServingLock::shared(database);
    if (!serving)
        throw std::runtime_error("the database's contents are being replaced (generate) just now: try again when it is done");
    for (const QString& loose : practice::filesOpenToOthers(practice::databaseFiles(database), g_groupMayRead)
                                    + practice::filesOpenToOthers({options.key}, false))
        std::fprintf(stderr, "warning: %s\n", qPrintable(loose));
    g_server = &server;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);      // as a Debian daemon does: reload, not end
    out(QStringLiteral("Serving %1 on https://%2:%3 with %4 workers")
            .arg(database.contains(QLatin1String("://")) ? QStringLiteral("the PostgreSQL database") : database,
                 options.address.toString())
            .arg(server.port())
            .arg(options.workers));
    const service::ServedPair served = service::servedPair(options.certificate, options.key, QDateTime::currentDateTimeUtc());
    out(QStringLiteral("Certificate fingerprint: ") + service::certificateFingerprint(served.certificate));
    out(QStringLiteral("Key pin: ") + service::certificateKeyPin(served.certificate));
    if (served.pendingFrom.isValid())
        out(QStringLiteral("Key pin from %1: ").arg(served.pendingFrom.toLocalTime().toString(Qt::ISODate))
            + service::certificateKeyPin(service::nextFile(options.certificate)));
    if (options.plainLoopback)
        out(QStringLiteral("Plain HTTP on http://127.0.0.1:%1 (this machine only)").arg(server.plainPort()));
    // Under systemd (Type=notify): started once the ports are open and the database answered.
    sd_notifyf(0, "READY=1\nSTATUS=Serving on port %d", int(server.port()));
    server.run();
    sd_notify(0, "STOPPING=1");
    g_server = nullptr;
    out(QStringLiteral("Stopped."));
    return 0;
}

int desk(const Arguments& a)
{
    const QString verb = a.words.value(1);
    const std::unique_ptr<practice::SqlStore> store = practice::openStore(existingDatabase(a));
    const std::unique_ptr<practice::ServiceStore> tables = store->serviceStore();
    if (verb == QLatin1String("add") && a.words.size() == 3) {
        const QString token = tables->addDesk(a.words[2]);
        out(QStringLiteral("Desk:  ") + a.words[2].trimmed());
        out(QStringLiteral("Token: ") + token);
        out(QStringLiteral("Give the token to the desk's host now: it is not kept and cannot be shown again."));
        return 0;
    }
    if (verb == QLatin1String("list")) {
        for (const QString& name : tables->desks())
            out(name);
        return 0;
    }
    if (verb == QLatin1String("remove") && a.words.size() == 3) {
        if (!tables->removeDesk(a.words[2]))
            throw std::invalid_argument(QString("there is no desk " + a.words[2]).toStdString());
        out(QStringLiteral("Removed ") + a.words[2] + QStringLiteral(": its token is refused from now on."));
        return 0;
    }
    throw std::invalid_argument("desk add NAME, desk list or desk remove NAME");
}

QString accountList(const QList<qint64>& accounts)
{
    QStringList words;
    for (qint64 a : accounts)
        words.append(QString::number(a));
    return words.join(QLatin1Char(','));
}

int showLog(const Arguments& a)
{
    const std::unique_ptr<practice::SqlStore> store = practice::openStore(existingDatabase(a));
    const std::unique_ptr<practice::ServiceStore> tables = store->serviceStore();
    QList<practice::AccessEntry> entries;
    if (a.options.count(QStringLiteral("--refused"))) {
        entries = tables->recentOfKind(QStringLiteral("REFUSED"), 100);
    } else if (isSet(a, "--user")) {
        entries = tables->recentOfClerk(option(a, "--user").simplified(), 100);
    } else {
        bool ok = false;
        const qint64 account = option(a, "--account").toLongLong(&ok);
        if (!ok)
            throw std::invalid_argument("log --account N, log --user NAME or log --refused");
        entries = tables->accessLog(account);
        out(QStringLiteral("Account %1: %2 accesses").arg(account).arg(entries.size()));
    }
    for (const practice::AccessEntry& e : std::as_const(entries)) {
        // In the server's local time, with its offset from UTC: what the clerk's clock said.
        const QDateTime local = e.at.toOffsetFromUtc(e.at.toLocalTime().offsetFromUtc());
        out(local.toString(Qt::ISODateWithMs) + QLatin1Char('\t') + e.desk + QLatin1Char('\t')
            + (e.clerk.isEmpty() ? QStringLiteral("-") : e.clerk) + QLatin1Char('\t') + e.kind + QLatin1Char('\t')
            + (e.detail.isEmpty() ? QStringLiteral("shown: ") + accountList(e.accounts) : e.detail));
    }
    return 0;
}

int generate(const Arguments& a)
{
    bool ok = false;
    const qint64 patients = a.words.value(1).toLongLong(&ok);
    if (!ok || patients < 0 || patients > 100'000'000)
        throw std::invalid_argument("generate PATIENTS: a number of patients");
    const quint64 seed = quint64(number(a, "--seed", 1, 0, std::numeric_limits<int>::max()));
    const QString database = databaseAddress(a);
    const std::unique_ptr<practice::SqlStore> store = practice::openStore(database);
    // Desks would be shown other people under the accounts they have open.
    const std::unique_ptr<practice::ServingLock> alone = practice::ServingLock::alone(database);
    if (!alone)
        throw std::runtime_error("a server is serving this database: stop it before generating patients into it");
    if (!store->isEmpty() && !a.options.count(QStringLiteral("--replace")))
        throw std::runtime_error(QStringLiteral("the database holds %1 patients; generate --replace replaces them")
                                     .arg(store->patientCount()).toStdString());
    int shown = -1;
    store->generate(patients, seed, [&](int percent) {
        if (percent / 10 != shown / 10) {
            shown = percent;
            out(QStringLiteral("%1%").arg(percent));
        }
    });
    const std::unique_ptr<practice::ServiceStore> tables = store->serviceStore();
    out(QStringLiteral("%1 patients").arg(store->patientCount()));
    return 0;
}

int backup(const Arguments& a)
{
    const QString file = option(a, "--to");
    if (file.isEmpty())
        throw std::invalid_argument("backup --to FILE");
    const QString database = existingDatabase(a);
    practice::backupDatabase(database, file);
    out(QStringLiteral("Backed up to ") + file);
    return 0;
}

int restore(const Arguments& a)
{
    const QString file = option(a, "--from");
    if (file.isEmpty())
        throw std::invalid_argument("restore --from FILE");
    const QString database = databaseAddress(a);
    const std::unique_ptr<practice::ServingLock> alone = practice::ServingLock::alone(database);
    if (!alone)
        throw std::runtime_error("a server is serving this database: stop it before restoring into it");
    const QString kept = practice::restoreDatabase(database, file);
    if (!kept.isEmpty())
        out(QStringLiteral("What the database held before is kept in ") + kept);
    out(QStringLiteral("Restored from ") + file);
    return 0;
}

int migrate(const Arguments& a)
{
    const QString from = option(a, "--from");
    const QString to = option(a, "--to");
    if (from.isEmpty() || to.isEmpty())
        throw std::invalid_argument("migrate --from DATABASE --to DATABASE");
    const std::unique_ptr<practice::SqlStore> source = practice::openStore(from);
    const std::unique_ptr<practice::SqlStore> target = practice::openStore(to);
    practice::copyStore(*source, *target, [](const QString& table, qint64 rows) {
        out(QStringLiteral("%1: %2 rows").arg(table, -14).arg(rows));
    });
    out(QStringLiteral("Copied %1 patients.").arg(target->patientCount()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelvar-practice-server"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELVAR_VERSION));
    // A desk that goes away mid-answer is a failed write, not the end of the server.
    std::signal(SIGPIPE, SIG_IGN);
    // Every file the server makes (the database, its log, keys) holds patients' data or opens
    // it: for the user the server runs as, and nobody else.
    ::umask(077);
    try {
        Arguments a = parse(QCoreApplication::arguments());
        const QString command = a.words.value(0);
        if (a.options.count(QStringLiteral("--version"))) {
            out(QStringLiteral("zelvar-practice-server ") + QCoreApplication::applicationVersion());
            return 0;
        }
        if (command.isEmpty() || a.options.count(QStringLiteral("--help")) || command == QLatin1String("help")) {
            std::fputs(kUsage, stdout);
            return command.isEmpty() && !a.options.count(QStringLiteral("--help")) ? 2 : 0;
        }
        readConfiguration(a);
        // A practice whose backup operators read the database as a group of their own: the
        // files the server makes (not its key) are 0640 to the service's group.
        const QString groupReadable = option(a, "--group-readable").toLower();
        g_groupMayRead = groupReadable == QLatin1String("1") || groupReadable == QLatin1String("yes")
            || groupReadable == QLatin1String("true");
        if (g_groupMayRead)
            ::umask(027);
        if (command == QLatin1String("init"))
            return init(a);
        if (command == QLatin1String("serve"))
            return serve(a);
        if (command == QLatin1String("desk"))
            return desk(a);
        if (command == QLatin1String("log"))
            return showLog(a);
        if (command == QLatin1String("generate"))
            return generate(a);
        if (command == QLatin1String("migrate"))
            return migrate(a);
        if (command == QLatin1String("backup"))
            return backup(a);
        if (command == QLatin1String("restore"))
            return restore(a);
        throw std::invalid_argument(QString("there is no command " + command + "; see --help").toStdString());
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "zelvar-practice-server: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zelvar-practice-server: %s\n", e.what());
        return 1;
    }
}
