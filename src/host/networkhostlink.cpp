#include "networkhostlink.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>
#include <QSslSocket>

namespace zelvar::host {
namespace {

constexpr qsizetype kMaxHeader = 16 * 1024;
constexpr qsizetype kMaxBody = 64 * 1024 * 1024;

bool isLoopback(const QString& host)
{
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

QByteArray normalisedFingerprint(const QString& text)
{
    QString hex = text.trimmed().toUpper();
    if (hex.startsWith(QLatin1String("SHA256:")))
        hex = hex.mid(7);
    hex.remove(QLatin1Char(':'));
    return hex.toLatin1();
}

// Requests that may be sent again when a kept-alive connection turns out to be closed: a
// repeat does what the first would have done.
bool repeatable(const QString& request)
{
    return request.startsWith(QLatin1String("|GET|")) || request.startsWith(QLatin1String("|PUT|CHOICE|"));
}

} // namespace

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
    if (!s.pinnedFingerprint.isEmpty() && normalisedFingerprint(s.pinnedFingerprint).size() != 64)
        return QStringLiteral("The pinned fingerprint is SHA256: and 32 hexadecimal pairs.");
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
    if (const QString problem = checkSettings(m_settings); !problem.isEmpty()) {
        m_lastError = problem;
        replies = {problem};
        return false;
    }
    const QByteArray body = request.toUtf8();
    QByteArray path = m_settings.server.path(QUrl::FullyEncoded).toLatin1();
    if (path.endsWith('/'))
        path.chop(1);
    const QByteArray message = "POST " + path + "/v1/request HTTP/1.1\r\n"
        + "Host: " + m_settings.server.authority(QUrl::FullyEncoded).toLatin1() + "\r\n"
        + "Authorization: Bearer " + m_settings.token.toLatin1() + "\r\n"
        + "X-Zelvar-User: " + m_settings.user.toUtf8().replace('\r', ' ').replace('\n', ' ') + "\r\n"
        + "Content-Type: text/plain; charset=utf-8\r\n"
        + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;

    QString why;
    Outcome outcome = attempt(message, replies, why);
    // A kept-alive connection the server had closed: once more, on a new one.
    if (outcome == Outcome::NotSent && repeatable(request))
        outcome = attempt(message, replies, why);
    if (outcome == Outcome::Answered)
        return true;
    m_lastError = QStringLiteral("The practice server did not answer: ") + why;
    replies = {m_lastError};
    return false;
}

NetworkHostLink::Outcome NetworkHostLink::attempt(const QByteArray& message, QStringList& replies, QString& why)
{
    QDeadlineTimer deadline(m_settings.requestTimeoutMs);
    // A connection the server closed while it was idle shows so once its events are read.
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->waitForReadyRead(0);
        m_socket->readAll();    // nothing is owed to this desk between requests
    }
    m_buffer.clear();
    const bool reused = m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    if (!reused) {
        m_socket.reset();
        m_buffer.clear();
        if (!connectTo(deadline, why))
            return Outcome::Failed;
    }
    m_socket->write(message);
    while (m_socket->bytesToWrite() > 0) {
        if (deadline.hasExpired() || !m_socket->waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime())))) {
            why = m_socket->state() == QAbstractSocket::ConnectedState ? QStringLiteral("the request could not be sent in time")
                                                                       : QStringLiteral("the connection closed");
            m_socket.reset();
            return reused ? Outcome::NotSent : Outcome::Failed;
        }
    }
    int status = 0;
    QByteArray body;
    bool keepAlive = true;
    bool anyByte = false;
    if (!readResponse(deadline, status, body, keepAlive, anyByte, why)) {
        m_socket.reset();
        return reused && !anyByte && why == QLatin1String("the connection closed") ? Outcome::NotSent : Outcome::Failed;
    }
    if (!keepAlive)
        m_socket.reset();

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    const QJsonObject object = document.object();
    if (status != 200) {
        const QString said = object.value(QStringLiteral("error")).toString();
        if (status == 401)
            why = QStringLiteral("it refused this desk (its token is missing or not known)");
        else if (status == 503)
            why = QStringLiteral("it cannot reach its database");
        else
            why = QStringLiteral("it answered HTTP %1").arg(status);
        if (!said.isEmpty() && status != 401)
            why += QStringLiteral(": ") + said;
        else if (parseError.error != QJsonParseError::NoError && !body.isEmpty())
            why += QStringLiteral(": ") + QString::fromUtf8(body.left(200)).section(QLatin1Char('\n'), 0, 0);
        return Outcome::Failed;
    }
    const QJsonValue list = object.value(QStringLiteral("replies"));
    if (parseError.error != QJsonParseError::NoError || !list.isArray()
        || !object.value(QStringLiteral("answered")).isBool()) {
        why = QStringLiteral("its answer is not one this desk understands");
        return Outcome::Failed;
    }
    QStringList out;
    for (const QJsonValue& v : list.toArray()) {
        if (!v.isString()) {
            why = QStringLiteral("its answer is not one this desk understands");
            return Outcome::Failed;
        }
        out.append(v.toString());
    }
    if (!object.value(QStringLiteral("answered")).toBool()) {
        why = out.join(QLatin1Char(' '));
        return Outcome::Failed;
    }
    replies = out;
    return Outcome::Answered;
}

bool NetworkHostLink::connectTo(const QDeadlineTimer& deadline, QString& why)
{
    const bool tls = m_settings.server.scheme() == QLatin1String("https");
    const QString host = m_settings.server.host();
    const quint16 port = quint16(m_settings.server.port(tls ? 443 : 80));
    const int connectMs = int(qMin<qint64>(m_settings.connectTimeoutMs, qMax<qint64>(1, deadline.remainingTime())));
    if (!tls) {
        m_socket = std::make_unique<QTcpSocket>();
        m_socket->connectToHost(host, port);
        if (!m_socket->waitForConnected(connectMs)) {
            why = QStringLiteral("cannot connect to %1:%2 (%3)").arg(host).arg(port).arg(m_socket->errorString());
            m_socket.reset();
            return false;
        }
        return true;
    }
    if (!QSslSocket::supportsSsl()) {
        why = QStringLiteral("this machine has no TLS library for Qt");
        return false;
    }
    auto socket = std::make_unique<QSslSocket>();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    const bool pinned = !m_settings.pinnedFingerprint.isEmpty();
    if (pinned) {
        // The pin is the check: the certificate may be self-signed and name another host.
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    } else {
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!m_settings.caFile.isEmpty()) {
            const QList<QSslCertificate> authorities = QSslCertificate::fromPath(m_settings.caFile);
            if (authorities.isEmpty()) {
                why = QStringLiteral("no certificate could be read from %1").arg(m_settings.caFile);
                return false;
            }
            configuration.setCaCertificates(authorities);
        }
    }
    socket->setSslConfiguration(configuration);
    socket->connectToHostEncrypted(host, port);
    if (!socket->waitForConnected(connectMs)) {
        why = QStringLiteral("cannot connect to %1:%2 (%3)").arg(host).arg(port).arg(socket->errorString());
        return false;
    }
    if (!socket->waitForEncrypted(int(qMax<qint64>(1, deadline.remainingTime())))) {
        QStringList errors;
        for (const QSslError& e : socket->sslHandshakeErrors())
            errors.append(e.errorString());
        why = QStringLiteral("the secure connection to %1:%2 failed (%3)")
                  .arg(host)
                  .arg(port)
                  .arg(errors.isEmpty() ? socket->errorString() : errors.join(QStringLiteral("; ")));
        return false;
    }
    if (pinned) {
        const QByteArray presented = socket->peerCertificate().digest(QCryptographicHash::Sha256).toHex().toUpper();
        if (presented != normalisedFingerprint(m_settings.pinnedFingerprint)) {
            why = QStringLiteral("the server's certificate is not the pinned one (it presented SHA256:%1)")
                      .arg(QString::fromLatin1(presented));
            return false;
        }
    }
    m_socket = std::move(socket);
    return true;
}

bool NetworkHostLink::readResponse(const QDeadlineTimer& deadline, int& status, QByteArray& body, bool& keepAlive,
                                   bool& anyByte, QString& why)
{
    // More bytes, or the reason there are none.
    const auto fill = [&]() -> bool {
        while (m_socket->bytesAvailable() == 0) {
            if (m_socket->state() != QAbstractSocket::ConnectedState) {
                why = QStringLiteral("the connection closed");
                return false;
            }
            if (deadline.hasExpired()) {
                why = QStringLiteral("no answer within %1 seconds").arg(m_settings.requestTimeoutMs / 1000.0);
                return false;
            }
            if (!m_socket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))
                && m_socket->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
                why = m_socket->errorString();
                return false;
            }
        }
        m_buffer += m_socket->readAll();
        anyByte = true;
        return true;
    };
    qsizetype headerEnd;
    while ((headerEnd = m_buffer.indexOf("\r\n\r\n")) < 0) {
        if (m_buffer.size() > kMaxHeader) {
            why = QStringLiteral("its answer's header is too large");
            return false;
        }
        if (!fill())
            return false;
    }
    const QList<QByteArray> lines = m_buffer.left(headerEnd).split('\n');
    const QList<QByteArray> start = lines.first().trimmed().split(' ');
    bool ok = false;
    status = start.size() >= 2 ? start[1].toInt(&ok) : 0;
    if (!ok || !start[0].startsWith("HTTP/1.")) {
        why = QStringLiteral("it does not speak HTTP");
        return false;
    }
    qsizetype length = -1;
    keepAlive = start[0] == "HTTP/1.1";
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length")
            length = value.toLongLong(&ok);
        else if (name == "connection")
            keepAlive = value.toLower() != "close";
    }
    if (length < 0 || length > kMaxBody) {
        why = QStringLiteral("its answer has no usable length");
        return false;
    }
    m_buffer.remove(0, headerEnd + 4);
    while (m_buffer.size() < length) {
        if (!fill())
            return false;
    }
    body = m_buffer.left(length);
    m_buffer.remove(0, length);
    return true;
}

} // namespace zelvar::host
