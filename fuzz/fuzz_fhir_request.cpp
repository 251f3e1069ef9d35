// The FHIR interface's answer to any request target a client sends, through the desks' own
// search on a small practice.
#include "practice/practicehostlink.h"
#include "practice/sqlitestore.h"
#include "service/fhir.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdint>
#include <string_view>

using namespace zelvar;

static practice::PracticeHostLink* practiceServer = nullptr;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir folder;
    auto store = std::make_shared<practice::SqliteStore>(folder.filePath(QStringLiteral("practice.db")));
    store->generate(300, 1);
    practiceServer = new practice::PracticeHostLink(store);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view target(reinterpret_cast<const char*>(data), size);
    const service::fhir::Reply reply = service::fhir::answer(target, QStringLiteral("https://h/fhir/R4"),
                                                             [](const QString& request) { return practiceServer->answer(request); });
    if (reply.status < 200 || reply.status > 599 || reply.body.isEmpty())
        __builtin_trap();
    return 0;
}
