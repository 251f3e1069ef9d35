#pragma once

#include <zelvar/patlookup.h>

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace zelvar::host {

// A server link that answers from a table and records every request. Requests are matched
// exactly first, then by the longest registered prefix, then by the responder function; a
// request nobody answers is "not answered" (false). Failures can be scripted per request.
class ScriptedHostLink : public HostLink
{
public:
    enum class Failure { None, NotAnswered, Throw };

    struct Call
    {
        QString operation;   // "GetServerStringData" or "GetServerString"
        QString request;
        QString third;
        QString fourth;
    };

    using Responder = std::function<std::optional<QStringList>(const QString& request)>;

    void answer(const QString& request, const QStringList& replies);
    void answerPrefix(const QString& prefix, const QStringList& replies);
    void setResponder(Responder responder) { m_responder = std::move(responder); }
    // Makes requests that start with prefix fail; an empty prefix makes every request fail.
    void fail(const QString& prefix, Failure failure);
    void clearFailures() { m_failures.clear(); }

    const QList<Call>& calls() const { return m_calls; }
    QStringList requests() const;
    void clearCalls() { m_calls.clear(); }

    bool GetServerStringData(const QString& request, QStringList& replies, const QString& third,
                             QString& fourth) override;
    bool GetServerString(const QString& request, QString& reply, const QString& third, QString& fourth) override;
    QString ContextValue1() override { return contextValue1; }
    QString ContextValue2() override { return contextValue2; }

    QString contextValue1 = QStringLiteral("ZELVAR");
    QString contextValue2 = QStringLiteral("FRONTDESK");

private:
    std::optional<QStringList> lookUp(const QString& request) const;
    Failure failureFor(const QString& request) const;
    std::optional<QStringList> serve(const QString& operation, const QString& request, const QString& third,
                                     const QString& fourth);

    QMap<QString, QStringList> m_exact;
    QMap<QString, QStringList> m_prefixes;
    QList<std::pair<QString, Failure>> m_failures;
    Responder m_responder;
    QList<Call> m_calls;
};

} // namespace zelvar::host
