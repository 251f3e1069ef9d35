#include "xslt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <memory>
#include <mutex>

namespace zelvar::platform {
namespace {

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
constexpr int kMaxTemplateDepth = 1000;
constexpr int kMaxTemplateVars = 100000;

thread_local QString t_errors;
thread_local QString t_readableFolder;

void collectError(void*, const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (t_errors.size() < 4000)
        t_errors += QString::fromUtf8(buffer);
}

void collectStructuredError(void*, xmlError* error)
{
    if (error && error->message && t_errors.size() < 4000)
        t_errors += QString::fromUtf8(error->message);
}

bool insideReadableFolder(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QString folder = QFileInfo(t_readableFolder).canonicalFilePath();
    return !canonical.isEmpty() && !folder.isEmpty() && canonical.startsWith(folder + QLatin1Char('/'));
}

QString localPath(const char* url)
{
    QString path = QString::fromUtf8(url);
    if (path.startsWith(QLatin1String("file://")))
        path = path.mid(7);
    return path.contains(QLatin1String("://")) ? QString() : path;
}

// Nothing is fetched from the network, and only files inside the readable folder are opened:
// the style sheet itself and what it includes or reads there.
xmlParserInputPtr loadInsideFolder(const char* url, const char*, xmlParserCtxtPtr context)
{
    if (!url)
        return nullptr;
    const QString path = localPath(url);
    if (path.isEmpty() || !insideReadableFolder(path))
        return nullptr;
    return xmlNewInputFromFile(context, QFile::encodeName(QFileInfo(path).canonicalFilePath()).constData());
}

int forbid(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char*)
{
    return 0;
}

// The style sheet may read only below the shared files folder.
int readInsideFolder(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value)
{
    if (!value || t_readableFolder.isEmpty())
        return 0;
    const QString path = localPath(value);
    return !path.isEmpty() && insideReadableFolder(path) ? 1 : 0;
}

void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(loadInsideFolder);
        xmlSubstituteEntitiesDefault(0);
        xmlLoadExtDtdDefaultValue = 0;
        xsltMaxDepth = kMaxTemplateDepth;
        xsltMaxVars = kMaxTemplateVars;
    });
}

struct DocFree { void operator()(xmlDocPtr d) const { xmlFreeDoc(d); } };
struct SheetFree { void operator()(xsltStylesheetPtr s) const { xsltFreeStylesheet(s); } };
struct ContextFree { void operator()(xsltTransformContextPtr c) const { xsltFreeTransformContext(c); } };
struct PrefsFree { void operator()(xsltSecurityPrefsPtr p) const { xsltFreeSecurityPrefs(p); } };

} // namespace

XsltResult transformXml(const QString& xmlText, const QString& styleSheetPath, const QString& readableFolder)
{
    initialiseOnce();
    t_errors.clear();
    t_readableFolder = readableFolder;
    xmlSetGenericErrorFunc(nullptr, collectError);
    xsltSetGenericErrorFunc(nullptr, collectError);
    xmlSetStructuredErrorFunc(nullptr, collectStructuredError);

    XsltResult result;
    const QByteArray xml = xmlText.toUtf8();
    std::unique_ptr<xmlDoc, DocFree> document(
        xmlReadMemory(xml.constData(), int(xml.size()), "record.xml", "UTF-8", kParseOptions));
    const QByteArray sheetPath = QFile::encodeName(styleSheetPath);
    xmlDocPtr sheetDoc = xmlReadFile(sheetPath.constData(), nullptr, kParseOptions);
    std::unique_ptr<xsltStylesheet, SheetFree> sheet(sheetDoc ? xsltParseStylesheetDoc(sheetDoc) : nullptr);
    if (!sheet && sheetDoc)
        xmlFreeDoc(sheetDoc);
    if (!document || !sheet) {
        result.error = !document ? QStringLiteral("The record is not well-formed XML. ") + t_errors
                                 : QStringLiteral("The style sheet cannot be read. ") + t_errors;
        return result;
    }

    std::unique_ptr<xsltSecurityPrefs, PrefsFree> prefs(xsltNewSecurityPrefs());
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_WRITE_FILE, forbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_CREATE_DIRECTORY, forbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_WRITE_NETWORK, forbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_READ_NETWORK, forbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_READ_FILE, readInsideFolder);

    std::unique_ptr<xsltTransformContext, ContextFree> context(xsltNewTransformContext(sheet.get(), document.get()));
    if (!context) {
        result.error = QStringLiteral("The transformation cannot start.");
        return result;
    }
    xsltSetCtxtSecurityPrefs(prefs.get(), context.get());
    xsltSetCtxtParseOptions(context.get(), kParseOptions);
    context->maxTemplateDepth = kMaxTemplateDepth;
    context->maxTemplateVars = kMaxTemplateVars;

    std::unique_ptr<xmlDoc, DocFree> output(xsltApplyStylesheetUser(sheet.get(), document.get(), nullptr, nullptr,
                                                                     nullptr, context.get()));
    if (!output || context->state != XSLT_STATE_OK) {
        result.error = QStringLiteral("The transformation failed. ") + t_errors;
        return result;
    }
    xmlChar* text = nullptr;
    int length = 0;
    if (xsltSaveResultToString(&text, &length, output.get(), sheet.get()) != 0) {
        result.error = QStringLiteral("The transformation's result cannot be written.");
        return result;
    }
    result.output = QString::fromUtf8(reinterpret_cast<const char*>(text), length);
    xmlFree(text);
    result.ok = true;
    return result;
}

} // namespace zelvar::platform
