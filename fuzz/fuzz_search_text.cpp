// The search text check and the key a text chooses.
#include "fuzzsupport.h"

#include "patlookup/frmpatlookup.h"

#include <QLineEdit>

using namespace zelvar;

static patlookup::frmPatLookup* dialog = nullptr;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initialise(argc, argv);
    dialog = patlookup::frmPatLookup::Load().release();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    if (dialog->ValidateLookupText(text, true)) {
        dialog->SelectSearchByLetter(text);
        dialog->txtSearch->setText(text);
    }
    return 0;
}
