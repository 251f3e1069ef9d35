// A file transfer joined and written into a scratch folder; the file name comes from the input.
#include "fuzzsupport.h"

#include "services/download.h"

#include <QDir>
#include <QTemporaryDir>

using namespace zelvar;

// The scratch folder sits alone in a folder of its own, so that anything written beside it
// is seen (and nothing else on the machine is counted).
static QTemporaryDir* root = nullptr;
static QString folder;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initialise(argc, argv);
    root = new QTemporaryDir;
    folder = root->filePath(QStringLiteral("scratch"));
    QDir().mkpath(folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList replies = fuzz::lines(data, size);
    const QString name = replies.isEmpty() ? QString() : replies.takeFirst().left(40);
    fuzz::server()->answer(QStringLiteral("|GET|FILE|") + name + QStringLiteral("|FORMS"), replies);
    services::DownloadAndSave(name, QStringLiteral("FORMS"), folder);
    fuzz::server()->clearCalls();
    // Nothing may ever be written outside the folder.
    if (QDir(root->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
        != QStringList{QStringLiteral("scratch")})
        __builtin_trap();
    return 0;
}
