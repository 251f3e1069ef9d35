#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <chrono>

struct ssl_st;
struct ssl_ctx_st;

namespace zelvar::service {

// One request as it arrived. Header names are in lower case.
struct HttpRequest
{
    QByteArray method, target, version;
    QHash<QByteArray, QByteArray> headers;
    QByteArray body;
    bool keepAlive = true;
};

// Why no request could be read: the peer left, said nothing in time, or sent what is not HTTP.
struct ReadFailure
{
    enum Kind { None, Closed, TimedOut, Bad } kind = None;
    int status = 400;           // for Bad: the status to answer with
    QByteArray reason;
};

// A desk's connection: a socket, TLS on it when the port speaks TLS, and what was read ahead.
// Reads and writes block, each for at most the timeout the socket was given.
class Connection
{
public:
    Connection(int fd, QString peer, ssl_ctx_st* tls);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The TLS handshake, when the port speaks TLS. A client that speaks plain HTTP to it is
    // told so in plain HTTP, and the connection is not usable.
    bool open(QString& why);
    bool isOpen() const { return m_open; }

    ReadFailure readRequest(HttpRequest& request, qsizetype maxBody);
    bool write(const QByteArray& bytes);
    // Bytes already read (or decrypted) that belong to the next request.
    bool hasReadAhead() const;

    int fd() const { return m_fd; }
    const QString& peer() const { return m_peer; }
    std::chrono::steady_clock::time_point idleSince;

private:
    // Appends what arrives; 0 when the peer closed, -1 on timeout or error.
    qsizetype receive();

    int m_fd;
    QString m_peer;
    ssl_ctx_st* m_context;
    ssl_st* m_ssl = nullptr;
    bool m_open = false;
    QByteArray m_buffer;
};

// A whole response, with its length and whether the connection stays.
QByteArray httpResponse(int status, const QByteArray& contentType, const QByteArray& body, bool keepAlive,
                        const QByteArray& extraHeaders = {});

} // namespace zelvar::service
