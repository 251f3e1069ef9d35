#pragma once

#include <QByteArray>
#include <QString>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zelvar::service {

// How long a desk may take and how much it may send.
struct TransportLimits
{
    std::chrono::seconds handshake{5};      // the TLS handshake, from the first byte
    std::chrono::seconds header{10};        // a request's header, whole, from its first byte
    std::chrono::seconds request{10};       // its body, and writing the answer
    std::chrono::seconds idle{60};          // a kept-alive connection with nothing to say
    std::uint32_t headerBytes = 16 * 1024;
    std::uint64_t bodyBytes = 1024 * 1024;
};

// What a worker answers: a status and a JSON body.
struct Answer
{
    int status = 200;
    QByteArray body;
    QByteArray allow;           // for 405
    const char* contentType = "application/json";
};

// A request for the workers: who asks, and what.
struct Job
{
    QString desk, user;
    QString clerk;          // the clerk as the host names them; empty when it does not
    std::string address;
    QByteArray body;
    // POST /v1/request: a request string; /v1/search, /v1/duplicates and /v1/record: a
    // search, a duplicate check or a record asked and answered as JSON; GET /fhir/R4/...: a
    // FHIR read or search of `target` (path and query), its links under `base`.
    enum class Form { Strings, Search, Duplicates, Record, Fhir } form = Form::Strings;
    std::string target;
    QString base;
    // Called on a worker thread; hands the answer back to the connection.
    std::function<void(Answer)> done;
};

// What every connection needs of the server. Called on the I/O thread only.
class SessionHost
{
public:
    virtual ~SessionHost() = default;
    virtual const TransportLimits& limits() const = 0;
    virtual bool stopping() const = 0;
    // The desk a bearer token belongs to, without asking the database.
    virtual std::optional<QString> deskOf(const QByteArray& token) const = 0;
    // Empty when the store answered a read and took a write within the last seconds; else
    // why not, in a sentence.
    virtual QString notReady() const = 0;
    // Counts a refused request; false once the address has been refused too often lately,
    // with the seconds it is to wait.
    virtual bool refused(const std::string& address, const QString& why, int& retryAfter) = 0;
    virtual void dispatch(Job job) = 0;
    // Open connections register so that a stop reaches them.
    virtual void opened(class Session* session) = 0;
    virtual void closed(class Session* session) = 0;
};

// One desk's connection, from the first byte to the close.
class Session
{
public:
    virtual ~Session() = default;
    // The server stops: a connection with no request under way closes now; one whose answer
    // is being made closes once it is written.
    virtual void stop() = 0;
};

// Starts the conversation on an accepted connection: on the TLS port the first bytes tell a
// TLS client (handshake, then HTTPS) from one speaking plain HTTP (told to use https://).
// `slot` is held for as long as the connection lives.
void startSession(boost::asio::ip::tcp::socket socket, SessionHost& host, boost::asio::ssl::context* tls,
                  std::shared_ptr<void> slot);

} // namespace zelvar::service
