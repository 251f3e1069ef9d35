#include "tls.h"

#include <QFile>
#include <QHostAddress>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvar::service {
namespace {

template<typename T, void (*Free)(T*)>
struct Owned
{
    T* p = nullptr;
    explicit Owned(T* value = nullptr) : p(value) {}
    ~Owned() { if (p) Free(p); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    T* get() const { return p; }
};

using Key = Owned<EVP_PKEY, EVP_PKEY_free>;
using Certificate = Owned<X509, X509_free>;

[[noreturn]] void fail(const QString& what)
{
    throw std::runtime_error(QString(what + QStringLiteral(": ") + tlsError()).toStdString());
}

// A file only its owner reads, created (or emptied) for writing.
FILE* openPrivate(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error(QString("cannot write " + path).toStdString());
    ::fchmod(fd, 0600);
    FILE* f = ::fdopen(fd, "w");
    if (!f) {
        ::close(fd);
        throw std::runtime_error(QString("cannot write " + path).toStdString());
    }
    return f;
}

EVP_PKEY* readKey(const QString& file)
{
    FILE* f = std::fopen(QFile::encodeName(file).constData(), "r");
    if (!f)
        throw std::runtime_error(QString("cannot read the key " + file).toStdString());
    EVP_PKEY* key = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    return key;
}

Certificate readCertificate(const QString& file)
{
    FILE* f = std::fopen(QFile::encodeName(file).constData(), "r");
    if (!f)
        throw std::runtime_error(QString("cannot read the certificate " + file).toStdString());
    Certificate certificate(PEM_read_X509(f, nullptr, nullptr, nullptr));
    std::fclose(f);
    if (!certificate.get())
        fail(QStringLiteral("not a PEM certificate: ") + file);
    return Certificate(X509_dup(certificate.get()));
}

} // namespace

QString tlsError()
{
    const unsigned long code = ERR_get_error();
    if (code == 0)
        return QStringLiteral("no reason given");
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return QString::fromLatin1(text);
}

TlsContext::TlsContext(const QString& certificateFile, const QString& keyFile)
    : m_context(boost::asio::ssl::context::tls_server)
{
    SSL_CTX* context = m_context.native_handle();
    // TLS 1.2 and 1.3 only; on 1.2, forward-secret AEAD suites only, the server's order first,
    // no compression, no renegotiation. TLS 1.3's suites are all of that kind.
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_COMPRESSION);
    if (SSL_CTX_set_cipher_list(context, "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:"
                                         "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-AES128-GCM-SHA256:"
                                         "ECDHE-RSA-AES256-GCM-SHA384:ECDHE-RSA-CHACHA20-POLY1305")
        != 1)
        fail(QStringLiteral("cannot choose the cipher suites"));
    if (SSL_CTX_use_certificate_chain_file(context, QFile::encodeName(certificateFile).constData()) != 1)
        fail(QStringLiteral("cannot use the certificate ") + certificateFile);
    if (SSL_CTX_use_PrivateKey_file(context, QFile::encodeName(keyFile).constData(), SSL_FILETYPE_PEM) != 1
        || SSL_CTX_check_private_key(context) != 1)
        fail(QStringLiteral("cannot use the key ") + keyFile);
}

QString makeSelfSignedCertificate(const QString& certificateFile, const QString& keyFile, const QString& hostName,
                                  KeyChoice keyChoice)
{
    Key key(keyChoice == KeyChoice::Keep ? readKey(keyFile) : EVP_EC_gen("P-256"));
    if (!key.get())
        fail(keyChoice == KeyChoice::Keep ? QStringLiteral("cannot read the key ") + keyFile : QStringLiteral("cannot make a key"));
    Certificate certificate(X509_new());
    X509* x = certificate.get();
    X509_set_version(x, 2);
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        fail(QStringLiteral("no random numbers"));
    serial[0] &= 0x7f;
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(x));
    BN_free(number);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    // Two years: long enough not to catch a practice out, short enough that a key that got
    // away does not serve for a decade.
    X509_gmtime_adj(X509_getm_notAfter(x), 2L * 365 * 24 * 3600);
    X509_set_pubkey(x, key.get());
    X509_NAME* name = X509_get_subject_name(x);
    const QByteArray common = hostName.toUtf8();
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Zelvar practice server"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(common.constData()), -1, -1, 0);
    X509_set_issuer_name(x, name);

    QString alternatives = QStringLiteral("DNS:localhost,IP:127.0.0.1,IP:::1");
    if (!QHostAddress(hostName).isNull())
        alternatives = QStringLiteral("IP:") + hostName + QLatin1Char(',') + alternatives;
    else if (hostName != QLatin1String("localhost"))
        alternatives = QStringLiteral("DNS:") + hostName + QLatin1Char(',') + alternatives;
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, x, x, nullptr, nullptr, 0);
    const QByteArray san = alternatives.toLatin1();
    for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, san.constData()},
                                     // A server's own certificate, which may sign nothing else; a
                                     // desk trusts it as it is (its file, or its pin).
                                     std::pair{NID_basic_constraints, "critical,CA:FALSE"},
                                     std::pair{NID_key_usage, "critical,digitalSignature,keyEncipherment"},
                                     std::pair{NID_ext_key_usage, "serverAuth"}}) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
        if (!extension)
            fail(QStringLiteral("cannot describe the certificate"));
        X509_add_ext(x, extension, -1);
        X509_EXTENSION_free(extension);
    }
    if (X509_sign(x, key.get(), EVP_sha256()) == 0)
        fail(QStringLiteral("cannot sign the certificate"));

    if (keyChoice == KeyChoice::New) {
        FILE* keyOut = openPrivate(keyFile);
        const bool keyWritten = PEM_write_PrivateKey(keyOut, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
        if (std::fclose(keyOut) != 0 || !keyWritten)
            throw std::runtime_error(QString("cannot write " + keyFile).toStdString());
    }
    FILE* certificateOut = std::fopen(QFile::encodeName(certificateFile).constData(), "w");
    if (!certificateOut)
        throw std::runtime_error(QString("cannot write " + certificateFile).toStdString());
    const bool certificateWritten = PEM_write_X509(certificateOut, x) == 1;
    if (std::fclose(certificateOut) != 0 || !certificateWritten)
        throw std::runtime_error(QString("cannot write " + certificateFile).toStdString());
    // The certificate is public: the desks are given it to check the server by.
    ::chmod(QFile::encodeName(certificateFile).constData(), 0644);
    return certificateFingerprint(certificateFile);
}

QString certificateFingerprint(const QString& certificateFile)
{
    const Certificate certificate = readCertificate(certificateFile);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate.get(), EVP_sha256(), digest, &length) != 1)
        fail(QStringLiteral("cannot read the certificate"));
    return QStringLiteral("SHA256:")
        + QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex(':').toUpper());
}

QString certificateKeyPin(const QString& certificateFile)
{
    const Certificate certificate = readCertificate(certificateFile);
    unsigned char* der = nullptr;
    const int size = i2d_PUBKEY(X509_get0_pubkey(certificate.get()), &der);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool hashed = size > 0 && EVP_Digest(der, size_t(size), digest, &length, EVP_sha256(), nullptr) == 1;
    OPENSSL_free(der);
    if (!hashed)
        fail(QStringLiteral("cannot read the certificate's key"));
    return QStringLiteral("sha256//") + QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toBase64());
}

} // namespace zelvar::service
