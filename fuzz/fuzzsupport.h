#pragma once

// What every fuzz target shares: a widget application on the offscreen platform, the component
// initialised with the reference utilities and a scripted server, message boxes and beeps
// taken over, and the input as reply lines.

#include "host/scriptedhostlink.h"
#include "host/standardutils.h"

#include <zelvar/patlookup.h>
#include <zelvar/platform.h>

#include <QApplication>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace zelvar::fuzz {

class QuietUtils : public host::StandardUtils
{
public:
    void ReportError(const QString&) override {}
    void ShowMessage(const QString&, int, int, const QString&, int, int, int, int, QVariant& result) override { result = 1; }
};

inline std::shared_ptr<host::ScriptedHostLink>& server()
{
    static std::shared_ptr<host::ScriptedHostLink> link;
    return link;
}

inline void initialise(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    platform::setMessageBoxHandler([](const QString&, int, const QString&) { return 1; });
    platform::setBeepHandler([] {});
    server() = std::make_shared<host::ScriptedHostLink>();
    PatLookup().InitPatLookup(server(), std::make_shared<QuietUtils>());
}

inline QStringList lines(const uint8_t* data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(QLatin1Char('\n'));
}

} // namespace zelvar::fuzz
