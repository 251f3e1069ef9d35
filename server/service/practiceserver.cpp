#include "practiceserver.h"

#include "accesslogwriter.h"
#include "connection.h"
#include "servicetables.h"
#include "tls.h"

#include "practice/practicehostlink.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <condition_variable>
#include <cstring>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zelvar::service {
namespace {

constexpr int kMaxConnections = 1024;

void log(const QString& line)
{
    const QByteArray text = (QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + QLatin1Char(' ') + line + QLatin1Char('\n')).toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
}

int listenOn(const QHostAddress& address, quint16 port)
{
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        throw std::runtime_error("cannot open a socket");
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (v6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&a->sin6_addr, bytes.c, 16);
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        a->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *a;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(fd, 128) != 0) {
        const int error = errno;
        ::close(fd);
        const QString why = QStringLiteral("cannot listen on ") + address.toString() + QLatin1Char(':')
            + QString::number(port) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
        throw std::runtime_error(why.toStdString());
    }
    return fd;
}

quint16 boundPort(int fd)
{
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
    if (storage.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
}

QString peerName(const sockaddr_storage& storage)
{
    char text[INET6_ADDRSTRLEN] = "?";
    quint16 port = 0;
    if (storage.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&storage);
        ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        port = ntohs(a->sin6_port);
    } else {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&storage);
        ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        port = ntohs(a->sin_port);
    }
    return QString::fromLatin1(text) + QLatin1Char(':') + QString::number(port);
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray errorBody(const QString& message)
{
    return json({{QStringLiteral("error"), message}});
}

// What a worker owns: its store and the service's tables on the same connection.
struct WorkerState
{
    std::unique_ptr<practice::SqlStore> store;
    std::unique_ptr<ServiceTables> tables;
};

} // namespace

struct PracticeServer::Private
{
    ServerOptions options;
    StoreFactory stores;
    std::unique_ptr<TlsContext> tls;
    std::unique_ptr<AccessLogWriter> accessLog;
    int tlsListener = -1;
    int plainListener = -1;
    int wake[2] = {-1, -1};
    std::atomic<bool> stopping{false};

    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::unique_ptr<Connection>> queue;      // to be served
    std::vector<std::unique_ptr<Connection>> returned;  // served, to be watched again
    int connections = 0;

    void poll();
    void work(int number);
    void keepHouse();
    void serve(Connection& connection, WorkerState& state, bool& keep);
    QByteArray answer(const HttpRequest& request, Connection& connection, WorkerState& state, bool& keep);
    void giveBack(std::unique_ptr<Connection> connection);
    void drop(std::unique_ptr<Connection> connection);
    void openStore(WorkerState& state, QString& why);
    void accept(int listener, bool tls, std::vector<std::unique_ptr<Connection>>& fresh);
};

PracticeServer::PracticeServer(ServerOptions options, StoreFactory stores)
    : d(std::make_unique<Private>())
{
    d->options = std::move(options);
    d->stores = std::move(stores);
    d->tls = std::make_unique<TlsContext>(d->options.certificate, d->options.key);
    // The database is checked before the port opens: a server that cannot reach it says so
    // at once rather than to the first desk.
    {
        WorkerState check;
        QString why;
        d->openStore(check, why);
        if (!check.store)
            throw std::runtime_error(why.toStdString());
    }
    d->accessLog = std::make_unique<AccessLogWriter>();
    if (::pipe2(d->wake, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot make a pipe");
    d->tlsListener = listenOn(d->options.address, d->options.port);
    if (d->options.plainLoopback)
        d->plainListener = listenOn(QHostAddress(QHostAddress::LocalHost), d->options.plainPort);
}

PracticeServer::~PracticeServer()
{
    for (int fd : {d->tlsListener, d->plainListener, d->wake[0], d->wake[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

quint16 PracticeServer::port() const
{
    return boundPort(d->tlsListener);
}

quint16 PracticeServer::plainPort() const
{
    return d->plainListener >= 0 ? boundPort(d->plainListener) : 0;
}

void PracticeServer::stop()
{
    d->stopping = true;
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(d->wake[1], &byte, 1);
}

void PracticeServer::run()
{
    std::vector<std::thread> workers;
    for (int i = 0; i < std::max(1, d->options.workers); ++i)
        workers.emplace_back([this, i] { d->work(i); });
    workers.emplace_back([this] { d->keepHouse(); });
    d->poll();
    {
        std::lock_guard lock(d->mutex);
        d->queue.clear();
    }
    d->ready.notify_all();
    for (std::thread& t : workers)
        t.join();
    std::lock_guard lock(d->mutex);
    d->returned.clear();
}

void PracticeServer::Private::accept(int listener, bool tls, std::vector<std::unique_ptr<Connection>>& fresh)
{
    for (;;) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        {
            std::lock_guard lock(mutex);
            if (connections >= kMaxConnections) {
                ::close(fd);
                continue;
            }
            ++connections;
        }
        // Each read or write waits at most the request time: a desk that stops mid-request
        // cannot hold a worker.
        const timeval timeout{options.requestSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        // Watched like any other until its first bytes arrive: a desk that connects and says
        // nothing holds no worker.
        fresh.push_back(std::make_unique<Connection>(fd, peerName(peer), tls ? this->tls->context() : nullptr));
    }
}

void PracticeServer::Private::poll()
{
    std::vector<std::unique_ptr<Connection>> idle;
    while (!stopping) {
        {
            std::lock_guard lock(mutex);
            for (auto& c : returned)
                idle.push_back(std::move(c));
            returned.clear();
        }
        std::vector<pollfd> fds;
        fds.push_back({wake[0], POLLIN, 0});
        fds.push_back({tlsListener, POLLIN, 0});
        if (plainListener >= 0)
            fds.push_back({plainListener, POLLIN, 0});
        const size_t first = fds.size();
        for (const auto& c : idle)
            fds.push_back({c->fd(), POLLIN, 0});
        ::poll(fds.data(), nfds_t(fds.size()), 1000);
        if (fds[0].revents) {
            char drain[64];
            while (::read(wake[0], drain, sizeof drain) > 0) {
            }
        }
        // New connections join the watched ones after this round: the round's poll results
        // are for the connections it watched.
        std::vector<std::unique_ptr<Connection>> fresh;
        if (fds[1].revents & POLLIN)
            accept(tlsListener, true, fresh);
        if (plainListener >= 0 && (fds[2].revents & POLLIN))
            accept(plainListener, false, fresh);

        // Connections with something to say go to the workers; those silent too long close.
        const auto now = std::chrono::steady_clock::now();
        const auto limit = std::chrono::seconds(options.idleSeconds);
        std::vector<std::unique_ptr<Connection>> still;
        for (size_t i = 0; i + first < fds.size(); ++i) {
            const short events = fds[first + i].revents;
            if (events & (POLLIN | POLLHUP | POLLERR)) {
                {
                    std::lock_guard lock(mutex);
                    queue.push_back(std::move(idle[i]));
                }
                ready.notify_one();
            } else if (now - idle[i]->idleSince > limit) {
                drop(std::move(idle[i]));
            } else {
                still.push_back(std::move(idle[i]));
            }
        }
        idle = std::move(still);
        for (auto& c : fresh)
            idle.push_back(std::move(c));
    }
    for (auto& c : idle)
        drop(std::move(c));
}

void PracticeServer::Private::giveBack(std::unique_ptr<Connection> connection)
{
    connection->idleSince = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex);
        returned.push_back(std::move(connection));
    }
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(wake[1], &byte, 1);
}

void PracticeServer::Private::drop(std::unique_ptr<Connection> connection)
{
    connection.reset();
    std::lock_guard lock(mutex);
    --connections;
}

void PracticeServer::Private::openStore(WorkerState& state, QString& why)
{
    try {
        state.tables.reset();
        state.store = stores();
        state.store->database().deferHousekeeping();
        state.tables = std::make_unique<ServiceTables>(state.store->database());
    } catch (const std::exception& e) {
        state.tables.reset();
        state.store.reset();
        why = QString::fromUtf8(e.what());
    }
}

// The database's housekeeping (SQLite's checkpoint, which waits for the disk) on a connection
// of its own, once a second, so that no desk's request waits for it.
void PracticeServer::Private::keepHouse()
{
    std::unique_ptr<practice::SqlStore> store;
    int ticks = 0;
    while (!stopping) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (++ticks < 10)
            continue;
        ticks = 0;
        try {
            if (!store || store->database().isBroken())
                store = stores();
            store->database().tidyUp();
        } catch (const std::exception& e) {
            store.reset();
            log(QStringLiteral("housekeeping: ") + QString::fromUtf8(e.what()));
        }
    }
}

void PracticeServer::Private::work(int number)
{
    WorkerState state;
    QString why;
    openStore(state, why);      // ready before the first desk asks (or tried again then)
    for (;;) {
        std::unique_ptr<Connection> connection;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [this] { return stopping || !queue.empty(); });
            if (stopping)
                return;
            connection = std::move(queue.front());
            queue.pop_front();
        }
        bool keep = true;
        try {
            serve(*connection, state, keep);
        } catch (const std::exception& e) {
            // Nothing a request does may end the worker.
            log(QStringLiteral("worker %1: %2").arg(number).arg(QString::fromUtf8(e.what())));
            keep = false;
        }
        if (keep && !stopping)
            giveBack(std::move(connection));
        else
            drop(std::move(connection));
    }
}

void PracticeServer::Private::serve(Connection& connection, WorkerState& state, bool& keep)
{
    if (!connection.isOpen()) {
        QString why;
        if (!connection.open(why)) {
            log(QStringLiteral("%1: %2").arg(connection.peer(), why));
            keep = false;
            return;
        }
        if (!connection.hasReadAhead())
            return;     // the request follows; the poller hands it back when it arrives
    }
    // Every request already here is answered before the connection is watched again.
    do {
        HttpRequest request;
        const ReadFailure failure = connection.readRequest(request, options.maxBody);
        if (failure.kind == ReadFailure::Closed || failure.kind == ReadFailure::TimedOut) {
            keep = false;
            return;
        }
        if (failure.kind == ReadFailure::Bad) {
            connection.write(httpResponse(failure.status, "application/json", errorBody(QString::fromUtf8(failure.reason)), false));
            keep = false;
            return;
        }
        bool keepAlive = request.keepAlive;
        const QByteArray response = answer(request, connection, state, keepAlive);
        if (!connection.write(response) || !keepAlive) {
            keep = false;
            return;
        }
    } while (connection.hasReadAhead());
}

QByteArray PracticeServer::Private::answer(const HttpRequest& request, Connection& connection, WorkerState& state,
                                           bool& keep)
{
    const qsizetype query = request.target.indexOf('?');
    const QByteArray path = query < 0 ? request.target : request.target.left(query);
    if (path == "/v1/health") {
        return httpResponse(200, "application/json", json({{QStringLiteral("status"), QStringLiteral("ready")}}), keep);
    }
    if (path != "/v1/request")
        return httpResponse(404, "application/json", errorBody(QStringLiteral("The server answers POST /v1/request.")), keep);
    if (request.method != "POST")
        return httpResponse(405, "application/json", errorBody(QStringLiteral("Send requests with POST.")), keep,
                            "Allow: POST\r\n");

    if (!state.store || state.store->database().isBroken()) {
        QString why;
        openStore(state, why);
        if (!state.store) {
            log(QStringLiteral("the practice database cannot be reached: ") + why);
            return httpResponse(503, "application/json",
                                errorBody(QStringLiteral("The practice database cannot be reached.")), keep);
        }
    }

    const QByteArray authorization = request.headers.value("authorization");
    const QString token = authorization.startsWith("Bearer ") ? QString::fromLatin1(authorization.mid(7).trimmed()) : QString();
    std::optional<QString> desk;
    try {
        desk = state.tables->deskOf(token);
    } catch (const std::exception& e) {
        log(QStringLiteral("desk lookup failed: ") + QString::fromUtf8(e.what()));
        return httpResponse(503, "application/json", errorBody(QStringLiteral("The practice database cannot be reached.")), keep);
    }
    if (!desk) {
        const QString why = token.isEmpty() ? QStringLiteral("no token") : QStringLiteral("an unknown token");
        log(QStringLiteral("refused %1: %2").arg(connection.peer(), why));
        try {
            accessLog->record({QDateTime::currentDateTimeUtc(), QStringLiteral("-"), QStringLiteral("REFUSED"), {},
                               connection.peer() + QStringLiteral(" sent ") + why},
                              *state.tables);
        } catch (const std::exception& e) {
            log(QStringLiteral("the access log could not be written: ") + QString::fromUtf8(e.what()));
        }
        return httpResponse(401, "application/json", errorBody(QStringLiteral("This desk's token is missing or not known.")),
                            keep, "WWW-Authenticate: Bearer realm=\"practice\"\r\n");
    }

    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(request.body);
    if (utf8.hasError())
        return httpResponse(400, "application/json", errorBody(QStringLiteral("The request is not UTF-8 text.")), keep);
    QString user = QString::fromUtf8(request.headers.value("x-zelvar-user")).trimmed().left(64);
    if (user.isEmpty())
        user = *desk;

    practice::PracticeHostLink link(std::shared_ptr<practice::PracticeStore>(state.store.get(), [](auto*) {}), user, *desk);
    const QString deskName = *desk;
    ServiceTables& tables = *state.tables;
    link.setAccessObserver([this, &deskName, &tables](const QString& kind, const QList<qint64>& accounts) {
        accessLog->record({QDateTime::currentDateTimeUtc(), deskName, kind, accounts, {}}, tables);
    });
    const QStringList replies = link.answer(text);
    QJsonArray array;
    for (const QString& reply : replies)
        array.append(reply);
    return httpResponse(200, "application/json",
                        json({{QStringLiteral("answered"), true}, {QStringLiteral("replies"), array}}), keep);
}

} // namespace zelvar::service
