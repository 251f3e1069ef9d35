#include "hostobjects.h"

namespace zelvar::demo {

LoggingLink::LoggingLink(std::shared_ptr<HostLink> server, Logger log)
    : m_server(std::move(server))
    , m_log(std::move(log))
{
}

bool LoggingLink::GetServerStringData(const QString& request, QStringList& replies, const QString& third, QString& fourth)
{
    m_log(QStringLiteral("→ ") + request);
    const bool answered = m_server->GetServerStringData(request, replies, third, fourth);
    if (!answered)
        m_log(QStringLiteral("← (not answered)"));
    for (const QString& reply : std::as_const(replies))
        m_log(QStringLiteral("← ") + reply);
    return answered;
}

bool LoggingLink::GetServerString(const QString& request, QString& reply, const QString& third, QString& fourth)
{
    m_log(QStringLiteral("→ ") + request);
    const bool answered = m_server->GetServerString(request, reply, third, fourth);
    m_log(answered ? QStringLiteral("← ") + reply : QStringLiteral("← (not answered)"));
    return answered;
}

void LoggingUtils::ReportError(const QString& message)
{
    host::StandardUtils::ReportError(message);
    m_log(QStringLiteral("report: ") + message);
}

} // namespace zelvar::demo
