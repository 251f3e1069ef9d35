#include "scriptedhostlink.h"

#include <stdexcept>

namespace zelvar::host {

void ScriptedHostLink::answer(const QString& request, const QStringList& replies)
{
    m_exact.insert(request, replies);
}

void ScriptedHostLink::answerPrefix(const QString& prefix, const QStringList& replies)
{
    m_prefixes.insert(prefix, replies);
}

void ScriptedHostLink::fail(const QString& prefix, Failure failure)
{
    m_failures.append({prefix, failure});
}

QStringList ScriptedHostLink::requests() const
{
    QStringList out;
    for (const Call& call : m_calls)
        out.append(call.request);
    return out;
}

ScriptedHostLink::Failure ScriptedHostLink::failureFor(const QString& request) const
{
    for (const auto& [prefix, failure] : m_failures) {
        if (request.startsWith(prefix))
            return failure;
    }
    return Failure::None;
}

std::optional<QStringList> ScriptedHostLink::lookUp(const QString& request) const
{
    if (auto it = m_exact.constFind(request); it != m_exact.cend())
        return *it;
    const QString* best = nullptr;
    for (auto it = m_prefixes.cbegin(); it != m_prefixes.cend(); ++it) {
        if (request.startsWith(it.key()) && (!best || it.key().size() > best->size()))
            best = &it.key();
    }
    if (best)
        return m_prefixes.value(*best);
    if (m_responder)
        return m_responder(request);
    return std::nullopt;
}

std::optional<QStringList> ScriptedHostLink::serve(const QString& operation, const QString& request,
                                                   const QString& third, const QString& fourth)
{
    m_calls.append({operation, request, third, fourth});
    switch (failureFor(request)) {
    case Failure::Throw:
        throw std::runtime_error("The server connection was lost");
    case Failure::NotAnswered:
        return std::nullopt;
    case Failure::None:
        break;
    }
    return lookUp(request);
}

bool ScriptedHostLink::GetServerStringData(const QString& request, QStringList& replies, const QString& third,
                                           QString& fourth)
{
    const std::optional<QStringList> answer = serve(QStringLiteral("GetServerStringData"), request, third, fourth);
    if (!answer)
        return false;
    replies = *answer;
    return true;
}

bool ScriptedHostLink::GetServerString(const QString& request, QString& reply, const QString& third,
                                       QString& fourth)
{
    const std::optional<QStringList> answer = serve(QStringLiteral("GetServerString"), request, third, fourth);
    if (!answer)
        return false;
    reply = answer->join(QString());
    return true;
}

} // namespace zelvar::host
