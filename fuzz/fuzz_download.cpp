// A file transfer joined and written into a scratch folder; the file name comes from the input.
#include "fuzzsupport.h"

#include "services/download.h"

#include <QDir>
#include <QTemporaryDir>

using namespace zelvar;

static QTemporaryDir* folder = nullptr;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initialise(argc, argv);
    folder = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList replies = fuzz::lines(data, size);
    const QString name = replies.isEmpty() ? QString() : replies.takeFirst().left(40);
    fuzz::server()->answer(QStringLiteral("|GET|FILE|") + name + QStringLiteral("|FORMS"), replies);
    services::DownloadAndSave(name, QStringLiteral("FORMS"), folder->path());
    fuzz::server()->clearCalls();
    // Nothing may ever be written outside the folder.
    const QDir parent = QDir(folder->path() + QStringLiteral("/.."));
    if (parent.entryList(QDir::Files | QDir::Hidden).size() > 64)
        __builtin_trap();
    return 0;
}
