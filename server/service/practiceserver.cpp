#include "practiceserver.h"

#include "accesslogwriter.h"
#include "deskdirectory.h"
#include "fhir.h"
#include "jsonsearch.h"
#include "refusals.h"
#include "session.h"
#include "tls.h"

#include "practice/practicehostlink.h"
#include "practice/servicestore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include <systemd/sd-daemon.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace zelvar::service {
namespace {

namespace net = boost::asio;
using tcp = net::ip::tcp;
using error_code = boost::system::error_code;

// How much a line of the log matters, as syslog and the journal rank it.
enum class Level { Error = 3, Warning = 4, Notice = 5, Info = 6 };

// One line per event on standard error: the time and the level in words; under systemd, whose
// journal keeps the time itself, the level also as the journal reads it ("<4>").
void log(Level level, const QString& line)
{
    static const bool journal = !qEnvironmentVariableIsEmpty("JOURNAL_STREAM");
    const char* word = level == Level::Error ? "error" : level == Level::Warning ? "warning" : level == Level::Notice ? "notice" : "info";
    const QString prefix = journal ? QStringLiteral("<%1>").arg(int(level)) : QString();
    const QByteArray text = (prefix + QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + QLatin1Char(' ')
                             + QLatin1String(word) + QStringLiteral(": ") + line + QLatin1Char('\n')).toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A failure in the words of the route asked.
Answer failure(int status, const QString& message, Job::Form form = Job::Form::Strings)
{
    if (form == Job::Form::Fhir)
        return {status, fhir::operationOutcome(status, message), {}, fhir::kContentType};
    return {status, json({{QStringLiteral("error"), message}}), {}};
}

// What a worker owns: its store and the service's tables on the same connection. (Shared with
// the request handler of the job under way, which holds it while it answers.)
struct WorkerState
{
    std::shared_ptr<practice::ServedStore> store;
    std::unique_ptr<practice::ServiceStore> tables;
};

// A line said at most once a minute, with how often it would have been said.
struct OncePerMinute
{
    std::chrono::steady_clock::time_point last;
    int since = 0;

    void say(const QString& line)
    {
        const auto now = std::chrono::steady_clock::now();
        if (since > 0 && now - last < std::chrono::minutes(1)) {
            ++since;
            return;
        }
        log(Level::Warning, since > 1 ? line + QStringLiteral(" (%1 times in the last minute)").arg(since) : line);
        last = now;
        since = 1;
    }
};

} // namespace

struct PracticeServer::Private : SessionHost
{
    ServerOptions options;
    StoreFactory stores;
    TransportLimits transport;
    std::unique_ptr<TlsContext> tls;
    QString presented;          // the certificate file of the pair in use
    AccessLogWriter accessLog;
    DeskDirectory directory;
    Refusals refusals;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> reloadRequested{false};

    // The I/O side: everything below runs on the thread that calls run().
    net::io_context io{1};
    tcp::acceptor tlsAcceptor{io};
    tcp::acceptor plainAcceptor{io};
    int wake[2] = {-1, -1};
    net::posix::stream_descriptor wakeReader{io};
    net::steady_timer acceptPause{io};
    net::steady_timer pairCheck{io};
    std::unordered_set<Session*> sessions;
    std::unordered_map<std::string, int> perAddress;
    int open = 0;
    OncePerMinute full, outOfDescriptors;

    // What the housekeeper's last probe of the store found, and when.
    mutable std::mutex readiness;
    QString readyProblem;
    std::chrono::steady_clock::time_point probedAt = std::chrono::steady_clock::now();
    std::atomic<std::chrono::steady_clock::rep> lastAnswered{0};    // a worker's last answered request

    // The workers' queue.
    std::mutex mutex;
    std::condition_variable ready;      // for the workers only
    std::condition_variable drained;    // for the housekeeper
    std::deque<Job> queue;
    bool draining = false;      // no more jobs come: the workers end once the queue is empty

    // SessionHost
    const TransportLimits& limits() const override { return transport; }
    bool stopping() const override { return stopRequested; }
    std::optional<QString> deskOf(const QByteArray& token) const override { return directory.deskOf(token); }
    QString notReady() const override;
    void probed(const QString& problem);
    bool refused(const std::string& address, const QString& why, int& retryAfter) override
    {
        return refusals.refuse(address, why, retryAfter);
    }
    void dispatch(Job job) override;
    void opened(Session* session) override { sessions.insert(session); }
    void closed(Session* session) override { sessions.erase(session); }

    void accept(tcp::acceptor& acceptor, bool tls);
    void admit(tcp::socket socket, bool tls);
    void watchForStop();
    void loadCertificate();
    void reloadCertificate();
    void watchForPendingPair();
    void shutdown();
    void work(int number);
    Answer answer(const Job& job, WorkerState& state);
    void keepHouse();
    void openStore(WorkerState& state, QString& why);
};

namespace {

void listenOn(tcp::acceptor& acceptor, const QHostAddress& address, quint16 port)
{
    error_code ec;
    const tcp::endpoint endpoint(net::ip::make_address(address.toString().toStdString(), ec), port);
    if (!ec)
        acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec)
        acceptor.bind(endpoint, ec);
    if (!ec)
        acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec) {
        const QString why = QStringLiteral("cannot listen on ") + address.toString() + QLatin1Char(':')
            + QString::number(port) + QStringLiteral(": ") + QString::fromStdString(ec.message());
        throw std::runtime_error(why.toStdString());
    }
}

bool descriptorsRunOut(const error_code& ec)
{
    return ec == net::error::no_descriptors || ec == net::error::no_buffer_space || ec == net::error::no_memory
        || ec.value() == ENFILE;
}

} // namespace

PracticeServer::PracticeServer(ServerOptions options, StoreFactory stores)
    : d(std::make_unique<Private>())
{
    d->options = std::move(options);
    d->stores = std::move(stores);
    d->transport.header = std::chrono::seconds(d->options.headerSeconds);
    d->transport.request = std::chrono::seconds(d->options.requestSeconds);
    d->transport.idle = std::chrono::seconds(d->options.idleSeconds);
    d->transport.bodyBytes = std::uint64_t(d->options.maxBody);
    d->loadCertificate();
    // The database is checked before the port opens: a server that cannot reach it says so
    // at once rather than to the first desk. Its desks are known before the first request.
    {
        WorkerState check;
        QString why;
        d->openStore(check, why);
        if (!check.store)
            throw std::runtime_error(why.toStdString());
        d->directory.renew(check.tables->deskTokens());
    }
    if (::pipe2(d->wake, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot make a pipe");
    d->wakeReader.assign(d->wake[0]);
    listenOn(d->tlsAcceptor, d->options.address, d->options.port);
    if (d->options.plainLoopback)
        listenOn(d->plainAcceptor, QHostAddress(QHostAddress::LocalHost), d->options.plainPort);
}

PracticeServer::~PracticeServer()
{
    if (d->wake[1] >= 0)
        ::close(d->wake[1]);
}

quint16 PracticeServer::port() const
{
    return d->tlsAcceptor.local_endpoint().port();
}

quint16 PracticeServer::plainPort() const
{
    return d->plainAcceptor.is_open() ? d->plainAcceptor.local_endpoint().port() : 0;
}

void PracticeServer::stop()
{
    d->stopRequested = true;
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(d->wake[1], &byte, 1);
}

void PracticeServer::reload()
{
    d->reloadRequested = true;
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(d->wake[1], &byte, 1);
}

void PracticeServer::run()
{
    std::vector<std::thread> workers;
    for (int i = 0; i < std::max(1, d->options.workers); ++i)
        workers.emplace_back([this, i] { d->work(i); });
    std::thread housekeeper([this] { d->keepHouse(); });
    d->accept(d->tlsAcceptor, true);
    if (d->plainAcceptor.is_open())
        d->accept(d->plainAcceptor, false);
    d->watchForStop();
    d->watchForPendingPair();
    // Returns once the acceptors are closed and every connection has gone: a request a worker
    // answers keeps it running until its answer is written.
    d->io.run();
    {
        std::lock_guard lock(d->mutex);
        d->draining = true;
    }
    d->ready.notify_all();
    d->drained.notify_all();
    for (std::thread& t : workers)
        t.join();
    housekeeper.join();
}

void PracticeServer::Private::accept(tcp::acceptor& acceptor, bool isTls)
{
    acceptor.async_accept([this, &acceptor, isTls](error_code ec, tcp::socket socket) {
        if (stopRequested || !acceptor.is_open())
            return;
        if (ec && descriptorsRunOut(ec)) {
            // Waits for connections to close instead of spinning on the listening socket.
            outOfDescriptors.say(QStringLiteral("out of file descriptors: new connections wait (raise LimitNOFILE, or "
                                                "lower --max-connections below it)"));
            acceptPause.expires_after(std::chrono::milliseconds(250));
            acceptPause.async_wait([this, &acceptor, isTls](error_code) { accept(acceptor, isTls); });
            return;
        }
        if (!ec)
            admit(std::move(socket), isTls);
        accept(acceptor, isTls);
    });
}

void PracticeServer::Private::admit(tcp::socket socket, bool isTls)
{
    error_code ec;
    const std::string address = socket.remote_endpoint(ec).address().to_string();
    if (ec)
        return;
    int& fromAddress = perAddress[address];
    if (open >= options.maxConnections || fromAddress >= options.maxConnectionsPerAddress) {
        if (fromAddress == 0)
            perAddress.erase(address);
        full.say(QStringLiteral("too many connections (%1 open, at most %2, %3 from one address): new ones are refused")
                     .arg(open)
                     .arg(options.maxConnections)
                     .arg(options.maxConnectionsPerAddress));
        // A few bytes fit in any socket's buffer: written at once, never waited for.
        static const std::string busy = "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
                                        "Retry-After: 5\r\nConnection: close\r\nContent-Length: 57\r\n\r\n"
                                        "{\"error\":\"The server has too many connections just now.\"}";
        socket.non_blocking(true, ec);
        net::write(socket, net::buffer(busy), ec);
        socket.close(ec);
        return;
    }
    ++open;
    ++fromAddress;
    // Held by the connection for as long as it lives; released on this thread, where it dies.
    std::shared_ptr<void> slot(nullptr, [this, address](void*) {
        --open;
        if (--perAddress[address] <= 0)
            perAddress.erase(address);
    });
    startSession(std::move(socket), *this, isTls ? &tls->context() : nullptr, std::move(slot));
}

void PracticeServer::Private::watchForStop()
{
    static char byte;
    wakeReader.async_read_some(net::buffer(&byte, 1), [this](error_code ec, size_t) {
        if (ec == net::error::operation_aborted)
            return;
        if (reloadRequested.exchange(false))
            reloadCertificate();
        if (!stopRequested)
            return watchForStop();
        shutdown();
    });
}

void PracticeServer::Private::loadCertificate()
{
    const ServedPair pair = servedPair(options.certificate, options.key, QDateTime::currentDateTimeUtc());
    tls = std::make_unique<TlsContext>(pair.certificate, pair.key);
    presented = pair.certificate;
}

// On the I/O thread, where connections are admitted. A connection in flight holds its own
// reference to the TLS context it began with (OpenSSL counts them), so the old one may go.
void PracticeServer::Private::reloadCertificate()
{
    try {
        loadCertificate();
        log(Level::Info, QStringLiteral("reloaded the certificate: ") + certificateFingerprint(presented));
    } catch (const std::exception& e) {
        log(Level::Error, QStringLiteral("the certificate was not reloaded, the one in use stays: ") + QString::fromUtf8(e.what()));
    }
}

// A pair made with a new key takes over on its day without a signal: the desks were told the
// day, not that someone would be there to reload.
void PracticeServer::Private::watchForPendingPair()
{
    pairCheck.expires_after(std::chrono::seconds(30));
    pairCheck.async_wait([this](error_code ec) {
        if (ec || stopRequested)
            return;
        if (servedPair(options.certificate, options.key, QDateTime::currentDateTimeUtc()).certificate != presented) {
            log(Level::Info, QStringLiteral("the pair to present has changed (a new key's day has come, or it was moved into place)"));
            reloadCertificate();
        }
        watchForPendingPair();
    });
}

void PracticeServer::Private::shutdown()
{
    error_code ignored;
    tlsAcceptor.close(ignored);
    plainAcceptor.close(ignored);
    acceptPause.cancel();
    pairCheck.cancel();
    wakeReader.close(ignored);
    const std::vector<Session*> all(sessions.begin(), sessions.end());
    for (Session* s : all)
        s->stop();
}

void PracticeServer::Private::dispatch(Job job)
{
    {
        std::lock_guard lock(mutex);
        queue.push_back(std::move(job));
    }
    ready.notify_one();
}

void PracticeServer::Private::openStore(WorkerState& state, QString& why)
{
    try {
        state.tables.reset();
        state.store = stores();
        state.store->deferHousekeeping();
        state.tables = state.store->serviceStore();
    } catch (const std::exception& e) {
        state.tables.reset();
        state.store.reset();
        why = QString::fromUtf8(e.what());
    }
}

// On a connection of its own, so that no desk's request waits for it: the desks are read
// again four times a second (a desk removed is refused within that time), the database's
// housekeeping (SQLite's checkpoint, which waits for the disk) runs once a second, and the
// refusals are written to the access log.
void PracticeServer::Private::keepHouse()
{
    WorkerState state;
    int ticks = 0;
    for (;;) {
        bool last = false;
        {
            std::lock_guard lock(mutex);
            last = draining;
        }
        try {
            if (!state.store || state.store->isBroken()) {
                QString why;
                openStore(state, why);
                if (!state.store)
                    throw std::runtime_error(why.toStdString());
            }
            directory.renew(state.tables->deskTokens());
            if (++ticks % 4 == 0) {
                state.tables->probe();
                probed({});
                state.store->tidyUp();
            }
            const QList<AccessEntry> lines = refusals.takeLines(last);
            for (const AccessEntry& line : lines)
                log(Level::Notice, QStringLiteral("refused ") + line.detail);
            if (!lines.isEmpty())
                state.tables->logAccesses(lines);
        } catch (const std::exception& e) {
            state = {};
            log(Level::Error, QStringLiteral("housekeeping: ") + QString::fromUtf8(e.what()));
            // A probe that waited out the lock behind the desks' own writes, while the workers
            // go on answering, is a busy database, not one that cannot serve.
            const bool busy = QByteArray(e.what()).contains("locked")
                && std::chrono::steady_clock::now() - std::chrono::steady_clock::time_point(
                       std::chrono::steady_clock::duration(lastAnswered.load())) < std::chrono::seconds(3);
            probed(busy ? QString() : QStringLiteral("The practice database does not answer: ") + QString::fromUtf8(e.what()).trimmed());
        }
        if (last)
            return;
        // systemd's watchdog (when it runs the server): the housekeeper goes round, whatever
        // the database says (that is /v1/ready's to tell).
        if (ticks % 4 == 0)
            sd_notify(0, "WATCHDOG=1");
        std::unique_lock lock(mutex);
        drained.wait_for(lock, std::chrono::milliseconds(250), [this] { return draining; });
    }
}

void PracticeServer::Private::probed(const QString& problem)
{
    std::lock_guard lock(readiness);
    readyProblem = problem;
    probedAt = std::chrono::steady_clock::now();
}

QString PracticeServer::Private::notReady() const
{
    std::lock_guard lock(readiness);
    // The housekeeper probes once a second; one that has not come back is waiting for the
    // database as the desks would.
    const auto since = std::chrono::steady_clock::now() - probedAt;
    if (since > std::chrono::seconds(3))
        return QStringLiteral("The practice database has not answered for %1 seconds.")
            .arg(std::chrono::duration_cast<std::chrono::seconds>(since).count());
    return readyProblem;
}

void PracticeServer::Private::work(int number)
{
    WorkerState state;
    QString why;
    openStore(state, why);      // ready before the first desk asks (or tried again then)
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [this] { return draining || !queue.empty(); });
            if (queue.empty())
                return;
            job = std::move(queue.front());
            queue.pop_front();
        }
        Answer a;
        try {
            a = answer(job, state);
        } catch (const std::exception& e) {
            // Nothing a request does may end the worker; the desk is told.
            log(Level::Error, QStringLiteral("worker %1: %2").arg(number).arg(QString::fromUtf8(e.what())));
            a = failure(500, QStringLiteral("The server could not answer this request."), job.form);
        }
        if (a.status == 200)
            lastAnswered = std::chrono::steady_clock::now().time_since_epoch().count();
        job.done(std::move(a));
    }
}

Answer PracticeServer::Private::answer(const Job& job, WorkerState& state)
{
    if (!state.store || state.store->isBroken()) {
        QString why;
        openStore(state, why);
        if (!state.store) {
            log(Level::Error, QStringLiteral("the practice database cannot be reached: ") + why);
            return failure(503, QStringLiteral("The practice database cannot be reached."), job.form);
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(job.body);
    if (utf8.hasError())
        return failure(400, QStringLiteral("The request is not UTF-8 text."));

    practice::PracticeHostLink link(state.store, job.user, job.desk);
    practice::ServiceStore& tables = *state.tables;
    link.setAccessObserver([this, &job, &tables](const QString& kind, const QList<qint64>& accounts) {
        accessLog.record({QDateTime::currentDateTimeUtc(), job.desk, kind, accounts, {}, job.clerk}, tables);
    });
    switch (job.form) {
    case Job::Form::Fhir: {
        const fhir::Reply reply = fhir::answer(job.target, job.base, [&link](const QString& request) { return link.answer(request); });
        return {reply.status, reply.body, {}, fhir::kContentType};
    }
    case Job::Form::Search:
    case Job::Form::Duplicates: {
        const bool search = job.form == Job::Form::Search;
        QString error;
        const QString request = search ? requestOfJsonSearch(job.body, error) : requestOfJsonDuplicateCheck(job.body, error);
        if (request.isEmpty())
            return failure(400, error);
        const QStringList replies = link.answer(request);
        const QByteArray body = search ? jsonOfSearchReplies(replies, error) : jsonOfDuplicateReplies(replies, error);
        if (body.isEmpty())
            return failure(400, error);
        return {200, body, {}};
    }
    case Job::Form::Record: {
        QString error;
        const QString request = requestOfJsonRecord(job.body, error);
        if (request.isEmpty())
            return failure(400, error);
        bool noPatient = false;
        const std::optional<QJsonObject> record = readRecordReplies(link.answer(request), error, noPatient);
        if (!record)
            return failure(noPatient ? 404 : 500, error);
        return {200, json(*record), {}};
    }
    case Job::Form::Strings:
        break;
    }
    const QStringList replies = link.answer(text);
    QJsonArray array;
    for (const QString& reply : replies)
        array.append(reply);
    return {200, json({{QStringLiteral("answered"), true}, {QStringLiteral("replies"), array}}), {}};
}

} // namespace zelvar::service
