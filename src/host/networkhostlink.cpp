#include "networkhostlink.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <mutex>

namespace zelvar::host {
namespace {

constexpr qsizetype kMaxBody = 64 * 1024 * 1024;

bool isLoopback(const QString& host)
{
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

// A pin of the server's public key, as libcurl writes one: "sha256//" and the base64 of the
// key's SHA-256. It outlives certificates renewed from the same key.
const QLatin1String kKeyPinPrefix("sha256//");

bool isKeyPin(const QString& text)
{
    return text.trimmed().startsWith(kKeyPinPrefix);
}

// What is compared with what the server presents: the key pin's digest (hex), or the
// certificate's fingerprint (hex).
struct Pin
{
    QByteArray hex;
    bool key = false;
};

Pin pinOf(const QString& text)
{
    if (isKeyPin(text))
        return {QByteArray::fromBase64(text.trimmed().mid(kKeyPinPrefix.size()).toLatin1()).toHex().toUpper(), true};
    QString hex = text.trimmed().toUpper();
    if (hex.startsWith(QLatin1String("SHA256:")))
        hex = hex.mid(7);
    hex.remove(QLatin1Char(':'));
    return {hex.toLatin1(), false};
}

// One pin, or several separated by ';' as libcurl takes them: while a server changes to a new
// key, its desks pin the old and the new.
std::vector<Pin> pinsOf(const QString& text)
{
    std::vector<Pin> pins;
    for (const QString& part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        pins.push_back(pinOf(part));
    return pins;
}

// Requests that may be sent again when a kept-alive connection turns out to be closed: a
// repeat does what the first would have done. libcurl sends a request again on a new
// connection when a kept-alive one was closed under it, so the others never use one.
bool repeatable(const QString& request)
{
    return request.startsWith(QLatin1String("|GET|")) || request.startsWith(QLatin1String("|PUT|CHOICE|"));
}

size_t collect(char* data, size_t size, size_t count, void* target)
{
    auto* body = static_cast<QByteArray*>(target);
    if (body->size() + qsizetype(size * count) > kMaxBody)
        return 0;   // the transfer stops with a write error
    body->append(data, qsizetype(size * count));
    return size * count;
}

} // namespace

// One easy handle for the link's life: libcurl keeps its connection alive between requests.
struct NetworkHostLink::Transfer
{
    CURL* curl = nullptr;
    std::vector<Pin> pins;      // empty when the certificate is checked by a CA
    QByteArray presented;       // what the server presented (hex), in the form of the first pin
    bool matched = false;
    char error[CURL_ERROR_SIZE] = {};

    Transfer()
    {
        static std::once_flag initialised;
        std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        curl = curl_easy_init();
    }
    ~Transfer() { curl_easy_cleanup(curl); }

    // The pin is checked where OpenSSL checks the chain, inside the handshake: nothing, not the
    // token, is sent to a server whose certificate is not the pinned one. The certificate may
    // be self-signed and name another host.
    static int checkPin(X509_STORE_CTX* store, void* arg)
    {
        auto* self = static_cast<Transfer*>(arg);
        X509* leaf = X509_STORE_CTX_get0_cert(store);
        if (!leaf)
            return 0;
        QByteArray keyDigest, certificateDigest;
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        // The digest of the key as DER SubjectPublicKeyInfo, as libcurl's key pins are.
        unsigned char* der = nullptr;
        const int size = i2d_PUBKEY(X509_get0_pubkey(leaf), &der);
        if (size > 0 && EVP_Digest(der, size_t(size), digest, &length, EVP_sha256(), nullptr) == 1)
            keyDigest = QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex().toUpper();
        OPENSSL_free(der);
        if (X509_digest(leaf, EVP_sha256(), digest, &length) == 1)
            certificateDigest = QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex().toUpper();
        self->presented = self->pins.front().key ? keyDigest : certificateDigest;
        self->matched = std::any_of(self->pins.begin(), self->pins.end(), [&](const Pin& pin) {
            return !pin.hex.isEmpty() && pin.hex == (pin.key ? keyDigest : certificateDigest);
        });
        return self->matched ? 1 : 0;
    }
    static CURLcode setUpTls(CURL*, void* context, void* arg)
    {
        SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(context), &Transfer::checkPin, arg);
        return CURLE_OK;
    }
};

NetworkHostLink::NetworkHostLink(NetworkSettings settings)
    : m_settings(std::move(settings))
{
}

NetworkHostLink::~NetworkHostLink() = default;

QString NetworkHostLink::checkSettings(const NetworkSettings& s)
{
    const QString scheme = s.server.scheme();
    if (!s.server.isValid() || s.server.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return QStringLiteral("The server's address is https://HOST:PORT.");
    if (scheme == QLatin1String("http") && !isLoopback(s.server.host()))
        return QStringLiteral("Plain http is only for a server on this machine; use https://.");
    const std::vector<Pin> pins = pinsOf(s.pinnedFingerprint);
    if (std::any_of(pins.begin(), pins.end(), [](const Pin& pin) { return pin.hex.size() != 64; }))
        return QStringLiteral("The pin is the server's key (sha256// and 44 base64 characters) or its certificate's "
                              "fingerprint (SHA256: and 32 hexadecimal pairs); several are separated by ';'.");
    if (s.token.isEmpty())
        return QStringLiteral("The desk has no token.");
    return {};
}

bool NetworkHostLink::GetServerStringData(const QString& request, QStringList& replies, const QString&, QString&)
{
    return exchange(request, replies);
}

bool NetworkHostLink::GetServerString(const QString& request, QString& reply, const QString&, QString&)
{
    QStringList replies;
    const bool answered = exchange(request, replies);
    reply = replies.join(QString());
    return answered;
}

bool NetworkHostLink::exchange(const QString& request, QStringList& replies)
{
    replies.clear();
    m_lastError.clear();
    m_failureMessage.clear();
    if (const QString problem = checkSettings(m_settings); !problem.isEmpty()) {
        m_lastError = problem;
        m_failureMessage = QStringLiteral("This desk's server settings are not usable: ") + problem;
        replies = {problem};
        return false;
    }
    QString why;
    if (post(request, replies, why))
        return true;
    m_lastError = QStringLiteral("The practice server did not answer: ") + why;
    if (m_failureMessage.isEmpty())
        m_failureMessage = m_lastError;
    replies = {m_lastError};
    return false;
}

bool NetworkHostLink::post(const QString& request, QStringList& replies, QString& why)
{
    if (!m_transfer)
        m_transfer = std::make_unique<Transfer>();
    Transfer& t = *m_transfer;
    CURL* curl = t.curl;
    if (!curl) {
        why = QStringLiteral("libcurl could not start");
        return false;
    }
    const bool tls = m_settings.server.scheme() == QLatin1String("https");
    const QString host = m_settings.server.host();
    const int port = m_settings.server.port(tls ? 443 : 80);
    QUrl url = m_settings.server;
    QString path = url.path();
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/v1/request"));
    const QByteArray address = url.toEncoded();
    const QByteArray body = request.toUtf8();

    curl_slist* headers = nullptr;
    const QByteArray authorization = "Authorization: Bearer " + m_settings.token.toLatin1();
    const QByteArray user = "X-Zelvar-User: " + m_settings.user.toUtf8().replace('\r', ' ').replace('\n', ' ');
    headers = curl_slist_append(headers, authorization.constData());
    headers = curl_slist_append(headers, user.constData());
    headers = curl_slist_append(headers, "Content-Type: text/plain; charset=utf-8");
    headers = curl_slist_append(headers, "Expect:");   // the body goes at once, never after a 100 Continue
    QByteArray answer;
    t.error[0] = 0;
    t.presented.clear();
    t.matched = false;
    t.pins = pinsOf(m_settings.pinnedFingerprint);

    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, t.error);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(m_settings.connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(m_settings.requestTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, repeatable(request) ? 0L : 1L);
    if (tls) {
        curl_easy_setopt(curl, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        if (!t.pins.empty()) {
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
            curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &Transfer::setUpTls);
            curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &t);
        } else {
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
            if (!m_settings.caFile.isEmpty())
                curl_easy_setopt(curl, CURLOPT_CAINFO, QFile::encodeName(m_settings.caFile).constData());
        }
    }
    const CURLcode result = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);

    if (result != CURLE_OK) {
        const QString said = QString::fromUtf8(t.error).trimmed();
        const QString where = QStringLiteral("%1:%2").arg(host).arg(port);
        // Past the connection and the handshake (a kept-alive connection has neither), the
        // request was on its way.
        curl_off_t sending = 0;
        curl_easy_getinfo(curl, CURLINFO_PRETRANSFER_TIME_T, &sending);
        if (!t.presented.isEmpty() && !t.matched) {
            why = t.pins.front().key ? QStringLiteral("the server's key is not the pinned one (it presented sha256//%1)")
                                 .arg(QString::fromLatin1(QByteArray::fromHex(t.presented).toBase64()))
                           : QStringLiteral("the server's certificate is not the pinned one (it presented SHA256:%1)")
                                 .arg(QString::fromLatin1(t.presented));
            m_failureMessage = QStringLiteral("The server at %1 is not the practice's server this desk was set up for "
                                              "(its certificate is another): ask the practice's IT person.").arg(where);
        } else if (result == CURLE_OPERATION_TIMEDOUT && sending > 0) {
            why = QStringLiteral("no answer within %1 seconds").arg(m_settings.requestTimeoutMs / 1000.0);
            m_failureMessage = QStringLiteral("The server at %1 did not answer within %2 seconds: try again, and tell "
                                              "the practice's IT person if it goes on.").arg(where).arg(m_settings.requestTimeoutMs / 1000.0);
        } else if (result == CURLE_COULDNT_CONNECT || result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_OPERATION_TIMEDOUT) {
            why = QStringLiteral("cannot connect to %1 (%2)").arg(where, said);
            m_failureMessage = QStringLiteral("The server at %1 does not answer: check this computer's network, or ask "
                                              "the practice's IT person whether the server is running.").arg(where);
        }
        else if (result == CURLE_PEER_FAILED_VERIFICATION || result == CURLE_SSL_CONNECT_ERROR
                 || result == CURLE_SSL_CACERT_BADFILE || result == CURLE_SSL_CERTPROBLEM)
            why = QStringLiteral("the secure connection to %1 failed (%2)").arg(where, said);
        else if (result == CURLE_WRITE_ERROR)
            why = QStringLiteral("its answer is too large");
        else if (result == CURLE_GOT_NOTHING || result == CURLE_RECV_ERROR || result == CURLE_SEND_ERROR
                 || result == CURLE_PARTIAL_FILE)
            why = QStringLiteral("the connection closed");
        else
            why = said.isEmpty() ? QString::fromUtf8(curl_easy_strerror(result)) : said;
        return false;
    }

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(answer, &parseError);
    const QJsonObject object = document.object();
    if (status != 200) {
        const QString said = object.value(QStringLiteral("error")).toString();
        if (status == 401) {
            why = QStringLiteral("it refused this desk (its token is missing or not known)");
            m_failureMessage = QStringLiteral("The server refused this desk (401): ask the practice's IT person to add it again.");
        } else if (status == 503) {
            why = QStringLiteral("it cannot reach its database");
            m_failureMessage = QStringLiteral("The server cannot reach the practice database (503): ask the practice's IT person.");
        } else if (status == 429) {
            why = QStringLiteral("it answered HTTP %1").arg(status);
            m_failureMessage = QStringLiteral("The server refused too many requests from this computer (429): "
                                              "wait a minute, then try again.");
        } else {
            why = QStringLiteral("it answered HTTP %1").arg(status);
        }
        if (!said.isEmpty() && status != 401)
            why += QStringLiteral(": ") + said;
        else if (parseError.error != QJsonParseError::NoError && !answer.isEmpty())
            why += QStringLiteral(": ") + QString::fromUtf8(answer.left(200)).section(QLatin1Char('\n'), 0, 0);
        return false;
    }
    const QJsonValue list = object.value(QStringLiteral("replies"));
    if (parseError.error != QJsonParseError::NoError || !list.isArray()
        || !object.value(QStringLiteral("answered")).isBool()) {
        why = QStringLiteral("its answer is not one this desk understands");
        return false;
    }
    QStringList out;
    for (const QJsonValue& v : list.toArray()) {
        if (!v.isString()) {
            why = QStringLiteral("its answer is not one this desk understands");
            return false;
        }
        out.append(v.toString());
    }
    if (!object.value(QStringLiteral("answered")).toBool()) {
        why = out.join(QLatin1Char(' '));
        m_failureMessage = why;     // the server's own words on this request
        return false;
    }
    replies = out;
    return true;
}

} // namespace zelvar::host
