// The practice server's answer to any request.
#include "fuzzsupport.h"

#include "practice/practicehostlink.h"
#include "practice/sqlitestore.h"

#include <QTemporaryDir>

using namespace zelvar;

static practice::PracticeHostLink* practiceServer = nullptr;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initialise(argc, argv);
    static QTemporaryDir folder;
    auto store = std::make_shared<practice::SqliteStore>(folder.filePath(QStringLiteral("practice.db")));
    store->generate(300, 1);
    practiceServer = new practice::PracticeHostLink(store);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString request = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    practiceServer->answer(request);
    return 0;
}
