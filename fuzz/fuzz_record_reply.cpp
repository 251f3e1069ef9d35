// The record's replies joined, given their base element and their entities turned back.
#include "fuzzsupport.h"

#include "browseprint/recorddocument.h"

using namespace zelvar;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initialise(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString joined = browseprint::joinRecordReplies(fuzz::lines(data, size));
    QString document;
    try {
        document = browseprint::insertBaseElement(joined, QStringLiteral("/shared"));
    } catch (const std::exception&) {
        return 0;
    }
    browseprint::unescapeEntities(document);
    return 0;
}
