#pragma once

#include <zelvar/patlookup.h>

#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace zelvar::host {

// How a desk reaches the practice server.
struct NetworkSettings
{
    QUrl server;                    // https://host:port, or http://127.0.0.1:port on the server's own machine
    QString token;                  // the desk's token
    QString caFile;                 // certificates to trust (PEM); empty: the system's
    QString pinnedFingerprint;      // "sha256//BASE64": this server key, in every certificate made from
                                    // it; or "SHA256:AB:CD:...": this certificate and no other;
                                    // several, separated by ';': any of them
    int connectTimeoutMs = 3000;
    int requestTimeoutMs = 10000;
    QString user;                   // ContextValue1: the clerk
    QString workstation;            // ContextValue2
};

// A server link over the practice server's HTTPS service, on libcurl. Synchronous, as the
// component asks: one kept-alive connection, opened again when the server has closed it (a
// request that must not be repeated, a new patient, goes on a connection of its own). Every
// failure (no server, a refused token, a certificate that does not check, a timeout, an
// answer that is not one) returns "not answered" (false) with the reason as the reply text;
// nothing hangs past the timeouts and nothing throws.
class NetworkHostLink : public HostLink
{
public:
    explicit NetworkHostLink(NetworkSettings settings);
    ~NetworkHostLink() override;

    bool GetServerStringData(const QString& request, QStringList& replies, const QString& third,
                             QString& fourth) override;
    bool GetServerString(const QString& request, QString& reply, const QString& third, QString& fourth) override;
    QString ContextValue1() override { return m_settings.user; }
    QString ContextValue2() override { return m_settings.workstation; }

    // The reason the last request was not answered, as the traffic log and the reply text
    // give it, and the same in a sentence for the clerk that says what to do about it (both
    // empty after a request that was answered).
    QString lastError() const { return m_lastError; }
    QString failureMessage() const { return m_failureMessage; }

    // A settings text's problem (an address that is not https, a pin that is not one), or empty.
    static QString checkSettings(const NetworkSettings& settings);

private:
    struct Transfer;
    bool exchange(const QString& request, QStringList& replies);
    bool post(const QString& request, QStringList& replies, QString& why);

    NetworkSettings m_settings;
    std::unique_ptr<Transfer> m_transfer;
    QString m_lastError;
    QString m_failureMessage;
};

} // namespace zelvar::host
