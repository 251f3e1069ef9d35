// A system setting read out of any reply.
#include "fuzzsupport.h"

#include "services/syssetting.h"

using namespace zelvar;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initialise(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString reply = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    fuzz::server()->answer(QStringLiteral("|GET|SYS|ALTPATRECORDDISPL|"), {reply});
    services::GetSysSetting(QStringLiteral("ALTPATRECORDDISPL"));
    services::GetSysSetting(reply.left(20));
    fuzz::server()->clearCalls();
    return 0;
}
