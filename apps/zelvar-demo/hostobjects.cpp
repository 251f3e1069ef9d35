#include "hostobjects.h"

#include "host/networkhostlink.h"

namespace zelvar::demo {

LoggingLink::LoggingLink(std::shared_ptr<HostLink> server, Logger log, LinkWatcher watcher)
    : m_server(std::move(server))
    , m_log(std::move(log))
    , m_watcher(std::move(watcher))
{
}

void LoggingLink::tell(bool answered, const QString& reply)
{
    if (!m_watcher)
        return;
    if (answered) {
        m_watcher(QString());
        return;
    }
    // The network link knows why in words for the clerk; any other link says it in its reply.
    QString why;
    if (const auto* network = dynamic_cast<const host::NetworkHostLink*>(m_server.get()))
        why = network->failureMessage();
    if (why.isEmpty())
        why = reply.isEmpty() ? QStringLiteral("The practice server did not answer.") : reply;
    m_watcher(why);
}

bool LoggingLink::GetServerStringData(const QString& request, QStringList& replies, const QString& third, QString& fourth)
{
    m_log(QStringLiteral("→ ") + request);
    const bool answered = m_server->GetServerStringData(request, replies, third, fourth);
    if (!answered)
        m_log(QStringLiteral("← (not answered)"));
    for (const QString& reply : std::as_const(replies))
        m_log(QStringLiteral("← ") + reply);
    tell(answered, replies.value(0));
    return answered;
}

bool LoggingLink::GetServerString(const QString& request, QString& reply, const QString& third, QString& fourth)
{
    m_log(QStringLiteral("→ ") + request);
    const bool answered = m_server->GetServerString(request, reply, third, fourth);
    m_log(answered ? QStringLiteral("← ") + reply : QStringLiteral("← (not answered)"));
    tell(answered, reply);
    return answered;
}

void LoggingUtils::ReportError(const QString& message)
{
    host::StandardUtils::ReportError(message);
    m_log(QStringLiteral("report: ") + message);
}

} // namespace zelvar::demo
