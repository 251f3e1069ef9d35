#pragma once

#include "host/standardutils.h"

#include <QStringList>

#include <functional>
#include <stdexcept>

namespace zelvar::test {

// The reference utilities object, with every report and message kept for the test to read,
// and a hook to make StrToArr fail on chosen texts.
class RecordingUtils : public host::StandardUtils
{
public:
    struct Message { QString text; QString title; };

    void ReportError(const QString& message) override
    {
        reports.append(message);
        if (eventLog)
            eventLog->append(QStringLiteral("report: ") + message);
    }
    void ShowMessage(const QString& message, int, int, const QString& title, int, int, int, int,
                     QVariant& result) override
    {
        messages.append({message, title});
        result = 1;
    }
    void StrToArr(const QString& text, const QString& delimiter, QStringList& pieces, bool& success) override
    {
        if (splitFails && splitFails(text)) {
            success = false;
            return;
        }
        host::StandardUtils::StrToArr(text, delimiter, pieces, success);
    }
    std::shared_ptr<ZelvarSettings> GetSettingsObject() override
    {
        if (throwOnSettings)
            throw std::runtime_error("settings object unavailable");
        return host::StandardUtils::GetSettingsObject();
    }

    QStringList ColorTable() override
    {
        ++colorTableReads;
        return host::StandardUtils::ColorTable();
    }

    QString GetMessageTitle() override
    {
        if (throwOnTitle)
            throw std::runtime_error("utilities unavailable");
        return host::StandardUtils::GetMessageTitle();
    }

    QStringList reports;
    QList<Message> messages;
    std::function<bool(const QString&)> splitFails;
    bool throwOnSettings = false;
    bool throwOnTitle = false;
    int colorTableReads = 0;
    QStringList* eventLog = nullptr;   // reports in order with other events, when set
};

} // namespace zelvar::test
