#include "session.h"

#include "fhir.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <optional>
#include <sstream>
#include <utility>

namespace zelvar::service {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using error_code = beast::error_code;
using Response = http::response<http::string_body>;

// A written answer, closed with the connection unless it says otherwise.
std::shared_ptr<Response> response(int status, const QByteArray& body, bool keepAlive,
                                   const char* contentType = "application/json")
{
    auto r = std::make_shared<Response>(static_cast<http::status>(status), 11);
    r->set(http::field::server, "zelvar-practice-server");
    r->set(http::field::content_type, contentType);
    r->body().assign(body.constData(), size_t(body.size()));
    r->keep_alive(keepAlive);
    r->prepare_payload();
    return r;
}

QByteArray errorBody(const QString& message)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact);
}

// A refusal in the words of the route asked: {"error": "..."}, or FHIR's OperationOutcome.
std::shared_ptr<Response> problem(int status, const QString& message, bool keepAlive, bool fhirRoute)
{
    if (fhirRoute)
        return response(status, fhir::operationOutcome(status, message), keepAlive, fhir::kContentType);
    return response(status, errorBody(message), keepAlive);
}

// Why a request could not be read whole, as a status and a sentence; nullopt when the peer is
// gone.
std::optional<std::pair<int, QString>> readFailure(const error_code& ec, bool timedOut)
{
    if (timedOut)
        return std::pair{408, QStringLiteral("The request did not arrive in time.")};
    if (ec == http::error::header_limit)
        return std::pair{431, QStringLiteral("The request's header is too large.")};
    if (ec == http::error::body_limit)
        return std::pair{413, QStringLiteral("The request is too large.")};
    if (ec == http::error::bad_content_length)
        return std::pair{400, QStringLiteral("The Content-Length is not a length.")};
    // Anything else the HTTP parser refused (a field name with a blank before its colon, a
    // signed length, a NUL in a value, a bad request line); a peer that left is not answered.
    if (ec.category() == http::make_error_code(http::error::bad_target).category() && ec != http::error::end_of_stream
        && ec != http::error::partial_message)
        return std::pair{400, QStringLiteral("The request is not HTTP/1.1 as this server reads it: ")
                                  + QString::fromStdString(ec.message()) + QLatin1Char('.')};
    return std::nullopt;
}

// The address a client reached the server by, for the links of a FHIR answer: the Host it
// sent when that is a host name or address, else the loopback's.
QString baseUrl(const char* scheme, std::string_view host)
{
    static const QRegularExpression plain(QStringLiteral("^([A-Za-z0-9.-]{1,253}|\\[[0-9A-Fa-f:.]{2,45}\\])(:[0-9]{1,5})?$"));
    QString name = QString::fromLatin1(host.data(), qsizetype(host.size()));
    if (!plain.match(name).hasMatch())
        name = QStringLiteral("localhost");
    return QLatin1String(scheme) + QStringLiteral("://") + name + QStringLiteral("/fhir/R4");
}

QByteArray bearerToken(const http::request<http::string_body>& request)
{
    const auto authorization = request[http::field::authorization];
    constexpr std::string_view scheme = "Bearer ";
    if (authorization.size() <= scheme.size() || authorization.substr(0, scheme.size()) != scheme)
        return {};
    return QByteArray(authorization.data() + scheme.size(), qsizetype(authorization.size() - scheme.size())).trimmed();
}

// The HTTP/1.1 conversation of one connection, over a plain or a TLS stream (Derived holds it).
// Everything runs on the I/O thread; only answering a desk's request goes to a worker.
template<class Derived>
class HttpSession : public Session
{
public:
    HttpSession(SessionHost& host, beast::flat_buffer buffer, std::shared_ptr<void> slot, std::string address,
                const net::any_io_executor& executor)
        : m_buffer(std::move(buffer))
        , m_host(host)
        , m_slot(std::move(slot))
        , m_address(std::move(address))
        , m_deadline(executor)
    {
        m_host.opened(this);
    }
    ~HttpSession() override { m_host.closed(this); }

    void stop() override
    {
        if (m_busy)
            return;     // its answer is written first, then it closes
        if (m_writing) {
            lowest().expires_after(std::chrono::seconds(1));
            return;
        }
        close();
    }

protected:
    Derived& derived() { return static_cast<Derived&>(*this); }
    beast::tcp_stream& lowest() { return beast::get_lowest_layer(derived().stream()); }
    const TransportLimits& limits() const { return m_host.limits(); }

    // Waits for the next request's first byte: a new connection as long as a header may
    // take, a kept-alive one as long as it may idle.
    void waitForRequest(bool first)
    {
        if (m_buffer.size() > 0)
            return readHeader();
        lowest().expires_after(first ? limits().header : limits().idle);
        derived().stream().async_read_some(m_buffer.prepare(4096), [self = derived().shared_from_this()](error_code ec, size_t n) {
            self->m_buffer.commit(n);
            if (ec || self->m_host.stopping())
                return self->close();
            self->readHeader();
        });
    }

    void close()
    {
        disarm();
        error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        lowest().close();
    }

    beast::flat_buffer m_buffer;

private:
    void disarm()
    {
        ++m_deadlines;
        m_deadline.cancel();
    }

    // A request's header, and then its body, must arrive whole by a deadline counted from
    // its first byte; past it the read is cancelled and the desk told.
    void armDeadline(std::chrono::seconds within)
    {
        m_timedOut = false;
        lowest().expires_after(within + std::chrono::seconds(2));   // the last resort
        m_deadline.expires_after(within);
        // A deadline that fell due just as its read completed must not cancel the next read.
        const unsigned armed = ++m_deadlines;
        m_deadline.async_wait([self = derived().shared_from_this(), armed](error_code ec) {
            if (ec || armed != self->m_deadlines)
                return;
            self->m_timedOut = true;
            error_code ignored;
            self->lowest().socket().cancel(ignored);
        });
    }

    void readHeader()
    {
        m_fhir = false;
        m_parser.emplace();
        m_parser->header_limit(limits().headerBytes);
        m_parser->body_limit(limits().bodyBytes);
        armDeadline(limits().header);
        http::async_read_header(derived().stream(), m_buffer, *m_parser,
                                [self = derived().shared_from_this()](error_code ec, size_t) { self->onHeader(ec); });
    }

    void onHeader(error_code ec)
    {
        if (ec)
            return failed(ec);
        const http::request<http::string_body>& request = m_parser->get();
        if (request.version() != 11)
            return refuse(505, QStringLiteral("The server speaks HTTP/1.1."));
        std::string_view path = request.target();
        path = path.substr(0, path.find('?'));
        if (path == "/v1/health" || path == "/v1/ready")
            return answerHealth(path);
        // Each of these answers or refuses the request itself when it goes no further.
        if (!acceptRoute(path) || !acceptDesk())
            return;
        if (m_fhir)
            return onBody({});      // a GET has no body to wait for
        armDeadline(limits().request);
        http::async_read(derived().stream(), m_buffer, *m_parser,
                         [self = derived().shared_from_this()](error_code ec, size_t) { self->onBody(ec); });
    }

    // Health: the server runs (liveness). Ready: its database answers, so a monitor or a load
    // balancer can tell a server that cannot serve from one that is down.
    void answerHealth(std::string_view path)
    {
        disarm();
        const bool keepAlive = m_parser->get().keep_alive() && m_parser->is_done();
        const QString why = path == "/v1/ready" ? m_host.notReady() : QString();
        if (!why.isEmpty())
            return send(response(503, QJsonDocument(QJsonObject{{QStringLiteral("status"), QStringLiteral("not ready")},
                                                                {QStringLiteral("error"), why}})
                                          .toJson(QJsonDocument::Compact),
                                 keepAlive));
        send(response(200, QByteArrayLiteral("{\"status\":\"ready\"}"), keepAlive));
    }

    // A path this server answers, with the method and body its requests have.
    bool acceptRoute(std::string_view path)
    {
        const http::request<http::string_body>& request = m_parser->get();
        m_fhir = fhir::isFhirPath(path);
        if (m_fhir) {
            if (request.method() != http::verb::get) {
                refuse(405, QStringLiteral("This server's FHIR interface is read-only: send GET."), "GET");
                return false;
            }
            if (m_parser->chunked() || m_parser->content_length().value_or(0) > 0) {
                refuse(400, QStringLiteral("A FHIR read or search has no body."));
                return false;
            }
            m_base = baseUrl(Derived::kScheme, request[http::field::host]);
            // What the server answers is no secret: a client asks it before it has a token.
            if (fhir::isMetadata(path)) {
                disarm();
                send(response(200, fhir::capabilityStatement(m_base), request.keep_alive() && m_parser->is_done(),
                              fhir::kContentType));
                return false;
            }
            return true;
        }
        if (path != "/v1/request" && path != "/v1/search" && path != "/v1/duplicates" && path != "/v1/record") {
            refuse(404, QStringLiteral("The server answers POST /v1/request, /v1/search, /v1/duplicates and /v1/record, and GET /fhir/R4/."));
            return false;
        }
        m_form = path == "/v1/search" ? Job::Form::Search
            : path == "/v1/duplicates" ? Job::Form::Duplicates
            : path == "/v1/record"     ? Job::Form::Record
                                       : Job::Form::Strings;
        if (request.method() != http::verb::post) {
            refuse(405, QStringLiteral("Send requests with POST."), "POST");
            return false;
        }
        if (m_parser->chunked()) {
            refuse(501, QStringLiteral("Send the request with a Content-Length, not in chunks."));
            return false;
        }
        if (!m_parser->content_length()) {
            refuse(411, QStringLiteral("A request needs its Content-Length."));
            return false;
        }
        return true;
    }

    // The desk is known before any of the body is read: a stranger's body is never read.
    bool acceptDesk()
    {
        const http::request<http::string_body>& request = m_parser->get();
        const QByteArray token = bearerToken(request);
        const std::optional<QString> desk = token.isEmpty() ? std::nullopt : m_host.deskOf(token);
        if (!desk) {
            int retryAfter = 0;
            if (!m_host.refused(m_address, token.isEmpty() ? QStringLiteral("no token") : QStringLiteral("an unknown token"),
                                retryAfter)) {
                auto r = problem(429, QStringLiteral("Too many refused requests from this address: try again later."), false, m_fhir);
                r->set(http::field::retry_after, std::to_string(retryAfter));
                sendFinal(r);
                return false;
            }
            auto r = problem(401, QStringLiteral("This desk's token is missing or not known."), false, m_fhir);
            r->set(http::field::www_authenticate, "Bearer realm=\"practice\"");
            sendFinal(r);
            return false;
        }
        m_desk = *desk;
        const auto user = request["X-Zelvar-User"];
        // A name, as the log and the recent list show it: no tabs or other control characters.
        static const QRegularExpression controls(QStringLiteral("[\\x00-\\x1f\\x7f]"));
        m_user = QString::fromUtf8(user.data(), qsizetype(user.size()));
        m_user.replace(controls, QStringLiteral(" "));
        m_user = m_user.simplified().left(64);
        return true;
    }

    void onBody(error_code ec)
    {
        if (ec)
            return failed(ec);
        disarm();
        m_busy = true;
        Job job;
        job.desk = m_desk;
        job.user = m_user.isEmpty() ? m_desk : m_user;
        job.clerk = m_user;
        job.address = m_address;
        job.body = QByteArray::fromStdString(m_parser->get().body());
        job.form = m_fhir ? Job::Form::Fhir : m_form;
        job.target = std::string(m_parser->get().target());
        job.base = m_base;
        const bool keepAlive = m_parser->get().keep_alive();
        // The work guard keeps the I/O thread running until the answer is written, even while
        // the server stops.
        auto executor = lowest().get_executor();
        // The connection's last owner must be the I/O thread: the worker hands it over.
        job.done = [self = derived().shared_from_this(), executor, keepAlive,
                    guard = net::make_work_guard(executor)](Answer answer) mutable {
            net::post(executor, [self = std::move(self), keepAlive, answer = std::move(answer)] {
                self->m_busy = false;
                auto r = response(answer.status, answer.body, keepAlive && !self->m_host.stopping(), answer.contentType);
                if (!answer.allow.isEmpty())
                    r->set(http::field::allow, answer.allow.toStdString());
                self->send(r);
            });
        };
        m_host.dispatch(std::move(job));
    }

    void failed(error_code ec)
    {
        disarm();
        if (const auto why = readFailure(ec, m_timedOut))
            return sendFinal(problem(why->first, why->second, false, m_fhir));
        close();
    }

    // An answer after which the connection closes: what is left of the request is not read.
    void refuse(int status, const QString& message, const char* allow = nullptr)
    {
        auto r = problem(status, message, false, m_fhir);
        if (allow)
            r->set(http::field::allow, allow);
        sendFinal(r);
    }

    void sendFinal(const std::shared_ptr<Response>& r)
    {
        disarm();
        r->keep_alive(false);
        send(r);
    }

    // Written by the I/O side within the request's time: a desk that reads slowly holds
    // nothing but its own connection. Header and body go as one buffer: over TLS each buffer
    // written is a record and a system call of its own.
    void send(const std::shared_ptr<Response>& r)
    {
        m_writing = true;
        lowest().expires_after(limits().request);
        auto wire = std::make_shared<std::string>();
        {
            std::ostringstream out;
            out << *r;
            *wire = std::move(out).str();
        }
        const bool keepAlive = r->keep_alive();
        net::async_write(derived().stream(), net::buffer(*wire),
                         [self = derived().shared_from_this(), wire, keepAlive](error_code ec, size_t) {
                             self->m_writing = false;
                             if (ec || !keepAlive || self->m_host.stopping())
                                 return self->close();
                             self->waitForRequest(false);
                         });
    }

    SessionHost& m_host;
    std::shared_ptr<void> m_slot;
    std::string m_address;
    net::steady_timer m_deadline;
    unsigned m_deadlines = 0;
    std::optional<http::request_parser<http::string_body>> m_parser;
    QString m_desk, m_user;
    Job::Form m_form = Job::Form::Strings;
    bool m_fhir = false;        // a FHIR route: refusals are OperationOutcomes
    QString m_base;
    bool m_timedOut = false;
    bool m_busy = false;
    bool m_writing = false;
};

class PlainSession : public HttpSession<PlainSession>, public std::enable_shared_from_this<PlainSession>
{
public:
    PlainSession(beast::tcp_stream stream, SessionHost& host, beast::flat_buffer buffer, std::shared_ptr<void> slot,
                 std::string address)
        : HttpSession(host, std::move(buffer), std::move(slot), std::move(address), stream.get_executor())
        , m_stream(std::move(stream))
    {
    }
    static constexpr const char* kScheme = "http";
    beast::tcp_stream& stream() { return m_stream; }
    void run() { waitForRequest(true); }

private:
    beast::tcp_stream m_stream;
};

class TlsSession : public HttpSession<TlsSession>, public std::enable_shared_from_this<TlsSession>
{
public:
    TlsSession(beast::tcp_stream stream, net::ssl::context& tls, SessionHost& host, beast::flat_buffer buffer,
               std::shared_ptr<void> slot, std::string address)
        : HttpSession(host, std::move(buffer), std::move(slot), std::move(address), stream.get_executor())
        , m_stream(std::move(stream), tls)
    {
    }
    static constexpr const char* kScheme = "https";
    net::ssl::stream<beast::tcp_stream>& stream() { return m_stream; }

    void run()
    {
        lowest().expires_after(limits().handshake);
        m_stream.async_handshake(net::ssl::stream_base::server, m_buffer.data(),
                                 [self = shared_from_this()](error_code ec, size_t used) {
                                     if (ec)
                                         return self->close();
                                     self->m_buffer.consume(used);
                                     self->waitForRequest(true);
                                 });
    }

private:
    net::ssl::stream<beast::tcp_stream> m_stream;
};

// Reads the first bytes on the TLS port: a TLS client goes on to its handshake; anyone else
// is told in plain HTTP to use https://.
class Detector : public Session, public std::enable_shared_from_this<Detector>
{
public:
    Detector(tcp::socket socket, SessionHost& host, net::ssl::context& tls, std::shared_ptr<void> slot, std::string address)
        : m_stream(std::move(socket))
        , m_host(host)
        , m_tls(tls)
        , m_slot(std::move(slot))
        , m_address(std::move(address))
    {
        m_host.opened(this);
    }
    ~Detector() override { m_host.closed(this); }

    void run()
    {
        m_stream.expires_after(m_host.limits().handshake);
        beast::async_detect_ssl(m_stream, m_buffer, [self = shared_from_this()](error_code ec, bool isTls) {
            if (ec || self->m_host.stopping())
                return self->m_stream.close();
            if (isTls) {
                std::make_shared<TlsSession>(std::move(self->m_stream), self->m_tls, self->m_host, std::move(self->m_buffer),
                                             std::move(self->m_slot), self->m_address)
                    ->run();
                return;
            }
            auto r = response(400, "This port speaks HTTPS only: use https:// in the server's address.\n", false,
                              "text/plain; charset=utf-8");
            http::async_write(self->m_stream, *r, [self, r](error_code, size_t) { self->m_stream.close(); });
        });
    }

    void stop() override { m_stream.close(); }

private:
    beast::tcp_stream m_stream;
    SessionHost& m_host;
    net::ssl::context& m_tls;
    std::shared_ptr<void> m_slot;
    std::string m_address;
    beast::flat_buffer m_buffer;
};

} // namespace

void startSession(tcp::socket socket, SessionHost& host, net::ssl::context* tls, std::shared_ptr<void> slot)
{
    error_code ec;
    const std::string address = socket.remote_endpoint(ec).address().to_string();
    socket.set_option(tcp::no_delay(true), ec);
    if (tls) {
        std::make_shared<Detector>(std::move(socket), host, *tls, std::move(slot), address)->run();
        return;
    }
    std::make_shared<PlainSession>(beast::tcp_stream(std::move(socket)), host, beast::flat_buffer(), std::move(slot), address)
        ->run();
}

} // namespace zelvar::service
