#include "tls.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
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

// Writes a file whole or not at all: into a file beside it, renamed over it once written, so
// that a failure (a full disk, a signal) leaves the one before. The new file takes the mode
// given and the owner and group of ownerOf (or of what it replaces): a key renewed by root in
// /etc stays the service user's.
template<typename Write>
void writeReplacing(const QString& path, mode_t mode, const QString& ownerOf, Write&& write)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(QString("cannot write " + path).toStdString());
    ::fchmod(fd, mode);
    struct stat owner{};
    if (::stat(QFile::encodeName(ownerOf).constData(), &owner) == 0 || ::stat(target.constData(), &owner) == 0) {
        // Only root may give a file away; anyone else writes files of their own.
        [[maybe_unused]] const int ignored = ::fchown(fd, owner.st_uid, owner.st_gid);
    }
    FILE* f = ::fdopen(fd, "w");
    bool written = f && write(f);
    written = f && std::fflush(f) == 0 && ::fsync(fd) == 0 && written;
    if (f ? std::fclose(f) != 0 : ::close(fd) != 0)
        written = false;
    if (!written || ::rename(temporary.constData(), target.constData()) != 0) {
        ::unlink(temporary.constData());
        throw std::runtime_error(QString("cannot write " + path).toStdString());
    }
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

namespace {

// The names a desk may reach the server by (the host's, and the loopback's), and what the
// certificate is for.
void addServerExtensions(X509* x, const QString& hostName)
{
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
}

} // namespace

QString makeSelfSignedCertificate(const NewCertificate& request)
{
    const bool keep = request.keyChoice == KeyChoice::Keep;
    Key key(keep ? readKey(request.keyFile) : EVP_EC_gen("P-256"));
    if (!key.get())
        fail(keep ? QStringLiteral("cannot read the key ") + request.keyFile : QStringLiteral("cannot make a key"));
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
    // Two years: long enough not to catch a practice out, short enough that a key that got
    // away does not serve for a decade. An hour's grace before for clocks that are behind.
    time_t from = request.validFrom.isValid() ? time_t(request.validFrom.toSecsSinceEpoch()) : ::time(nullptr) - 3600;
    X509_time_adj_ex(X509_getm_notBefore(x), 0, 0, &from);
    X509_time_adj_ex(X509_getm_notAfter(x), 2 * 365, 0, &from);
    X509_set_pubkey(x, key.get());
    X509_NAME* name = X509_get_subject_name(x);
    const QByteArray common = request.hostName.toUtf8();
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Zelvar practice server"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(common.constData()), -1, -1, 0);
    X509_set_issuer_name(x, name);

    addServerExtensions(x, request.hostName);
    if (X509_sign(x, key.get(), EVP_sha256()) == 0)
        fail(QStringLiteral("cannot sign the certificate"));

    const QString keyOut = request.newKeyFile.isEmpty() ? request.keyFile : request.newKeyFile;
    const QString certificateOut = request.newCertificateFile.isEmpty() ? request.certificateFile : request.newCertificateFile;
    if (!keep) {
        writeReplacing(keyOut, 0600, request.keyFile, [&](FILE* f) {
            return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
        });
    }
    // The certificate is public: the desks are given it to check the server by.
    writeReplacing(certificateOut, 0644, request.certificateFile, [&](FILE* f) { return PEM_write_X509(f, x) == 1; });
    return certificateFingerprint(certificateOut);
}

QString certificateHostName(const QString& certificateFile)
{
    const Certificate certificate = readCertificate(certificateFile);
    char name[256] = {};
    if (X509_NAME_get_text_by_NID(X509_get_subject_name(certificate.get()), NID_commonName, name, sizeof name) <= 0)
        return QString();
    return QString::fromUtf8(name);
}

QDateTime certificateValidFrom(const QString& certificateFile)
{
    const Certificate certificate = readCertificate(certificateFile);
    struct tm when{};
    if (ASN1_TIME_to_tm(X509_get0_notBefore(certificate.get()), &when) != 1)
        fail(QStringLiteral("cannot read the certificate's dates"));
    return QDateTime(QDate(when.tm_year + 1900, when.tm_mon + 1, when.tm_mday),
                     QTime(when.tm_hour, when.tm_min, when.tm_sec), Qt::UTC);
}

QString nextFile(const QString& file)
{
    return file + QStringLiteral(".next");
}

ServedPair servedPair(const QString& certificateFile, const QString& keyFile, const QDateTime& now)
{
    const QString nextCertificate = nextFile(certificateFile);
    const QString nextKey = nextFile(keyFile);
    if (QFileInfo::exists(nextCertificate) && QFileInfo::exists(nextKey)) {
        try {
            const QDateTime from = certificateValidFrom(nextCertificate);
            if (from <= now)
                return {nextCertificate, nextKey, QDateTime()};
            return {certificateFile, keyFile, from};
        } catch (const std::exception&) {
            // A pending certificate that cannot be read is not taken; reloading it says why.
            return {nextCertificate, nextKey, QDateTime()};
        }
    }
    return {certificateFile, keyFile, QDateTime()};
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
