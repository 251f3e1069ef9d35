// A record's XML through the shipped style sheet, with every bound the record window applies,
// into the record window's own view, laid out as on screen.
#include "fuzzsupport.h"

#include "browseprint/frmbrowseprint.h"
#include "browseprint/recorddocument.h"
#include "platform/xslt.h"

#include <QTextDocument>

using namespace zelvar;

namespace {

browseprint::RecordBrowser& view()
{
    static browseprint::RecordBrowser browser;
    return browser;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initialise(argc, argv);
    view().setAllowedFolders({QStringLiteral(ZELVAR_DATA_DIR)}, QStringLiteral(ZELVAR_DATA_DIR));
    view().document()->setBaseUrl(QUrl::fromLocalFile(QStringLiteral(ZELVAR_DATA_DIR "/")));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString folder = QStringLiteral(ZELVAR_DATA_DIR);
    const QString xml = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    // Time and memory are the child process's bounds in the window; here they are the fuzzer's.
    const platform::XsltResult html = platform::transformXmlInProcess(xml, folder + QStringLiteral("/PR.xsl"), {folder});
    if (!html.ok)
        return 0;
    try {
        view().setHtml(browseprint::unescapeEntities(browseprint::insertBaseElement(html.output, folder)));
    } catch (const std::exception&) {
        return 0;
    }
    view().document()->size();
    return 0;
}
