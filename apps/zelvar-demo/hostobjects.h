#pragma once

#include "host/standardutils.h"

#include <zelvar/patlookup.h>

#include <functional>
#include <memory>

// The demo's host objects: the server link and the utilities, each telling the traffic pane
// what passes through it.
namespace zelvar::demo {

using Logger = std::function<void(const QString&)>;

class LoggingLink : public HostLink
{
public:
    LoggingLink(std::shared_ptr<HostLink> server, Logger log);

    bool GetServerStringData(const QString& request, QStringList& replies, const QString& third,
                             QString& fourth) override;
    bool GetServerString(const QString& request, QString& reply, const QString& third, QString& fourth) override;
    QString ContextValue1() override { return m_server->ContextValue1(); }
    QString ContextValue2() override { return m_server->ContextValue2(); }

private:
    std::shared_ptr<HostLink> m_server;
    Logger m_log;
};

// The reference utilities, with error reports shown in the traffic pane as well.
class LoggingUtils : public host::StandardUtils
{
public:
    explicit LoggingUtils(Logger log) : m_log(std::move(log)) {}
    void ReportError(const QString& message) override;

private:
    Logger m_log;
};

} // namespace zelvar::demo
