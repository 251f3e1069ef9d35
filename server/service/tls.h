#pragma once

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

// A self-signed server certificate (not an authority's) for the host name (and localhost,
// 127.0.0.1 and ::1), valid for two years, with its key (readable by its owner only). Returns the certificate's fingerprint.
// A new key, or the key in keyFile kept (a renewed certificate: desks that pin the key go on
// trusting the server).
enum class KeyChoice { New, Keep };
QString makeSelfSignedCertificate(const QString& certificateFile, const QString& keyFile, const QString& hostName,
                                  KeyChoice keyChoice = KeyChoice::New);

// "sha256//BASE64" of the certificate's public key, as a desk pins it (and libcurl writes it).
QString certificateKeyPin(const QString& certificateFile);

// "SHA256:AB:CD:..." of the certificate in the file, as a desk pins it.
QString certificateFingerprint(const QString& certificateFile);

// The last OpenSSL error, in words.
QString tlsError();

} // namespace zelvar::service
