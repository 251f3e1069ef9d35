#include "connection.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace zelvar::service {
namespace {

constexpr qsizetype kMaxHeader = 16 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Error";
    }
}

ReadFailure bad(int status, const char* reason)
{
    return {ReadFailure::Bad, status, reason};
}

} // namespace

Connection::Connection(int fd, QString peer, ssl_ctx_st* tls)
    : m_fd(fd), m_peer(std::move(peer)), m_context(tls)
{
    idleSince = std::chrono::steady_clock::now();
}

Connection::~Connection()
{
    if (m_ssl) {
        SSL_shutdown(m_ssl);
        SSL_free(m_ssl);
    }
    ::close(m_fd);
}

bool Connection::open(QString& why)
{
    if (!m_context) {
        m_open = true;
        return true;
    }
    // A TLS client begins with a handshake record (22); anything else is someone speaking
    // plain HTTP to the TLS port, who is told where to go instead of being left hanging.
    unsigned char first = 0;
    const ssize_t peeked = ::recv(m_fd, &first, 1, MSG_PEEK);
    if (peeked <= 0) {
        why = QStringLiteral("closed before the handshake");
        return false;
    }
    if (first != 22) {
        write(httpResponse(400, "text/plain; charset=utf-8",
                           "This port speaks HTTPS only: use https:// in the server's address.\n", false));
        why = QStringLiteral("plain HTTP on the TLS port");
        return false;
    }
    m_ssl = SSL_new(m_context);
    if (!m_ssl || SSL_set_fd(m_ssl, m_fd) != 1) {
        why = QStringLiteral("out of memory");
        return false;
    }
    if (SSL_accept(m_ssl) != 1) {
        char text[256] = "handshake failed";
        if (const unsigned long code = ERR_get_error())
            ERR_error_string_n(code, text, sizeof text);
        ERR_clear_error();
        why = QStringLiteral("TLS handshake failed: ") + QString::fromLatin1(text);
        return false;
    }
    m_open = true;
    return true;
}

qsizetype Connection::receive()
{
    char chunk[16 * 1024];
    qsizetype got = 0;
    if (m_ssl) {
        const int n = SSL_read(m_ssl, chunk, sizeof chunk);
        if (n <= 0) {
            const int error = SSL_get_error(m_ssl, n);
            ERR_clear_error();
            return error == SSL_ERROR_ZERO_RETURN ? 0 : -1;
        }
        got = n;
    } else {
        ssize_t n;
        do {
            n = ::recv(m_fd, chunk, sizeof chunk, 0);
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
            return n == 0 ? 0 : -1;
        got = n;
    }
    m_buffer.append(chunk, got);
    return got;
}

bool Connection::hasReadAhead() const
{
    return !m_buffer.isEmpty() || (m_ssl && SSL_pending(m_ssl) > 0);
}

ReadFailure Connection::readRequest(HttpRequest& request, qsizetype maxBody)
{
    request = HttpRequest();
    qsizetype headerEnd = -1;
    while ((headerEnd = m_buffer.indexOf("\r\n\r\n")) < 0) {
        if (m_buffer.size() > kMaxHeader)
            return bad(431, "The request's header is too large.");
        const qsizetype n = receive();
        if (n == 0)
            return {m_buffer.isEmpty() ? ReadFailure::Closed : ReadFailure::Bad, 400, "The request ended early."};
        if (n < 0)
            return {ReadFailure::TimedOut, 408, {}};
    }
    if (headerEnd > kMaxHeader)
        return bad(431, "The request's header is too large.");
    const QList<QByteArray> lines = m_buffer.left(headerEnd).split('\n');
    const QList<QByteArray> start = lines.first().trimmed().split(' ');
    if (start.size() != 3)
        return bad(400, "The request line is not HTTP.");
    request.method = start[0];
    request.target = start[1];
    request.version = start[2];
    if (request.version != "HTTP/1.1" && request.version != "HTTP/1.0")
        return bad(505, "The server speaks HTTP/1.1.");
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return bad(400, "A header line has no name.");
        const QByteArray name = line.left(colon).trimmed().toLower();
        if (request.headers.contains(name) && (name == "content-length" || name == "authorization"))
            return bad(400, "A header that must come once came twice.");
        request.headers.insert(name, line.mid(colon + 1).trimmed());
    }
    if (request.headers.contains("transfer-encoding"))
        return bad(501, "Send the request with a Content-Length, not in chunks.");
    qsizetype length = 0;
    if (request.headers.contains("content-length")) {
        bool ok = false;
        length = request.headers.value("content-length").toLongLong(&ok);
        if (!ok || length < 0)
            return bad(400, "The Content-Length is not a length.");
        if (length > maxBody)
            return bad(413, "The request is too large.");
    } else if (request.method == "POST") {
        return bad(411, "A request needs its Content-Length.");
    }
    m_buffer.remove(0, headerEnd + 4);
    while (m_buffer.size() < length) {
        const qsizetype n = receive();
        if (n == 0)
            return bad(400, "The request ended early.");
        if (n < 0)
            return {ReadFailure::TimedOut, 408, {}};
    }
    request.body = m_buffer.left(length);
    m_buffer.remove(0, length);
    const QByteArray connection = request.headers.value("connection").toLower();
    request.keepAlive = request.version == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";
    return {};
}

bool Connection::write(const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        if (m_ssl) {
            const int n = SSL_write(m_ssl, bytes.constData() + sent, int(bytes.size() - sent));
            if (n <= 0) {
                ERR_clear_error();
                return false;
            }
            sent += n;
        } else {
            const ssize_t n = ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            sent += n;
        }
    }
    return true;
}

QByteArray httpResponse(int status, const QByteArray& contentType, const QByteArray& body, bool keepAlive,
                        const QByteArray& extraHeaders)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "Cache-Control: no-store\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += extraHeaders;
    out += "\r\n";
    out += body;
    return out;
}

} // namespace zelvar::service
