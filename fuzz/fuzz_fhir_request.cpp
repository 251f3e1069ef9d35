// The FHIR interface's answer to any request target a client sends, through the desks' own
// search on a small practice.
#include "service/fhir.h"
#include "smallpractice.h"

#include <QCoreApplication>

#include <cstdint>
#include <string_view>

using namespace zelvar;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    fuzz::smallPractice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view target(reinterpret_cast<const char*>(data), size);
    const service::fhir::Reply reply = service::fhir::answer(target, QStringLiteral("https://h/fhir/R4"),
                                                             [](const QString& request) { return fuzz::smallPractice().answer(request); });
    if (reply.status < 200 || reply.status > 599 || reply.body.isEmpty())
        __builtin_trap();
    return 0;
}
