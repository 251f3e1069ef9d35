#pragma once

#include <QHostAddress>
#include <QString>

#include <functional>
#include <memory>

namespace zelvar::practice {
class ServedStore;
}

namespace zelvar::service {

struct ServerOptions
{
    QString certificate, key;               // PEM files
    QHostAddress address = QHostAddress::Any;
    quint16 port = 8743;                    // 0: any free port
    // Plain HTTP, on the loopback address only, and only when asked for (a port > 0).
    bool plainLoopback = false;
    quint16 plainPort = 0;
    int workers = 8;
    int headerSeconds = 10;                 // a request's header must arrive whole within this
    int requestSeconds = 10;                // and its body within this (and the answer be taken)
    int idleSeconds = 60;                   // a kept-alive connection with nothing to say is closed
    qsizetype maxBody = 1024 * 1024;
    int maxConnections = 1024;              // open at once, in all
    int maxConnectionsPerAddress = 64;      // and from one address
};

// Opens a store for one worker (each worker has its own connection to the database).
using StoreFactory = std::function<std::unique_ptr<practice::ServedStore>()>;

// The practice server as a service: the desks' requests over HTTP/1.1 with keep-alive and TLS,
// each desk known by its token, every search and record display written to the access log.
// One thread does all the reading and writing (Boost.Beast on Asio, with a deadline for each
// whole header, body and answer); a pool of workers answers, each with its own store, so that
// requests from several desks are answered at once. A request reaches a worker only once its
// desk is known and its body is in.
class PracticeServer
{
public:
    // Opens the listening sockets (and checks the store can be opened); throws
    // std::runtime_error with the reason when it cannot.
    PracticeServer(ServerOptions options, StoreFactory stores);
    ~PracticeServer();

    quint16 port() const;
    quint16 plainPort() const;

    // Serves until stop(); returns when every request already read has been answered and
    // every worker has finished.
    void run();
    // Stops accepting, closes the connections that wait or are still sending, and lets the
    // requests already read be answered. May be called from any thread or a signal handler.
    void stop();
    // Reads the certificate and key again: new connections get the new ones, connections in
    // flight keep theirs, and a pair that cannot be used leaves the one in use (the log says
    // why). May be called from any thread or a signal handler.
    void reload();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace zelvar::service
