// The practice server's answer to any request.
#include "fuzzsupport.h"
#include "smallpractice.h"

using namespace zelvar;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initialise(argc, argv);
    fuzz::smallPractice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString request = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    fuzz::smallPractice().answer(request);
    return 0;
}
