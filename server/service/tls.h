#pragma once

#include <QDateTime>
#include <QString>

#include <boost/asio/ssl/context.hpp>

namespace zelvar::service {

// The server's side of TLS: its certificate and key, TLS 1.2 or newer.
class TlsContext
{
public:
    // Throws std::runtime_error with OpenSSL's reason when the files cannot be used.
    TlsContext(const QString& certificateFile, const QString& keyFile);

    boost::asio::ssl::context& context() { return m_context; }

private:
    boost::asio::ssl::context m_context;
};

// A new key, or the key in keyFile kept (a renewed certificate: desks that pin the key go on
// trusting the server).
enum class KeyChoice { New, Keep };

struct NewCertificate
{
    QString certificateFile, keyFile;           // the pair in use
    // Where the new pair goes, when not over the pair in use (a pending pair). The files
    // written take the owner and group of the pair in use.
    QString newCertificateFile, newKeyFile;
    QString hostName;
    KeyChoice keyChoice = KeyChoice::New;
    QDateTime validFrom;                        // from now, when not given
};

// A self-signed server certificate (not an authority's) for the host name (and localhost,
// 127.0.0.1 and ::1), valid for two years, with its key (0600). Each file is written whole or
// not at all. Returns the certificate's fingerprint.
QString makeSelfSignedCertificate(const NewCertificate& request);

// The certificate's subject name (the host it was made for), empty when it has none.
QString certificateHostName(const QString& certificateFile);
// When the certificate's validity begins.
QDateTime certificateValidFrom(const QString& certificateFile);

// A pair made with a new key waits beside the pair in use, as FILE.next, until the day its
// certificate becomes valid: until then the server presents the pair in use, so that desks
// have time to learn the new key's pin. The pair to present now, and when the pending one
// takes over (not valid when none waits).
struct ServedPair
{
    QString certificate, key;
    QDateTime pendingFrom;
};
QString nextFile(const QString& file);
ServedPair servedPair(const QString& certificateFile, const QString& keyFile, const QDateTime& now);

// "sha256//BASE64" of the certificate's public key, as a desk pins it (and libcurl writes it).
QString certificateKeyPin(const QString& certificateFile);

// "SHA256:AB:CD:..." of the certificate in the file, as a desk pins it.
QString certificateFingerprint(const QString& certificateFile);

// The last OpenSSL error, in words.
QString tlsError();

} // namespace zelvar::service
