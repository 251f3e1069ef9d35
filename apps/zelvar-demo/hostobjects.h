#pragma once

#include "host/standardutils.h"

#include <zelvar/patlookup.h>

#include <functional>
#include <memory>

// The demo's host objects: the server link and the utilities, each telling the traffic pane
// what passes through it.
namespace zelvar::demo {

using Logger = std::function<void(const QString&)>;
// Hears after every request: why it was not answered, in words for the clerk, or an empty
// text when it was answered.
using LinkWatcher = std::function<void(const QString& failure)>;

class LoggingLink : public HostLink
{
public:
    LoggingLink(std::shared_ptr<HostLink> server, Logger log, LinkWatcher watcher = {});

    bool GetServerStringData(const QString& request, QStringList& replies, const QString& third,
                             QString& fourth) override;
    bool GetServerString(const QString& request, QString& reply, const QString& third, QString& fourth) override;
    QString ContextValue1() override { return m_server->ContextValue1(); }
    QString ContextValue2() override { return m_server->ContextValue2(); }

private:
    void tell(bool answered, const QString& reply);

    std::shared_ptr<HostLink> m_server;
    Logger m_log;
    LinkWatcher m_watcher;
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
