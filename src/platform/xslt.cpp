#include "xslt.h"

#include "sharedfile.h"

#include <QFile>
#include <QHash>

#include <libxml/entities.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace zelvar::platform {
namespace {

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
constexpr qint64 kMegabyte = 1024 * 1024;

thread_local QString t_errors;
thread_local QStringList t_readableFolders;

// -- error collection -------------------------------------------------------------------------

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

// -- reading files ----------------------------------------------------------------------------

QString localPath(const char* url)
{
    QString path = QString::fromUtf8(url);
    if (path.startsWith(QLatin1String("file://")))
        path = path.mid(7);
    return path.contains(QLatin1String("://")) ? QString() : path;
}

// Every file the parser or the style sheet opens (the style sheet itself, xsl:import,
// xsl:include, document(), external entities) comes through the shared-file gate; nothing is
// fetched from the network.
xmlParserInputPtr loadThroughGate(const char* url, const char*, xmlParserCtxtPtr context)
{
    if (!url)
        return nullptr;
    const QString path = localPath(url);
    const QString inside = path.isEmpty() ? QString() : pathInsideFolders(path, t_readableFolders);
    const std::optional<QByteArray> bytes = inside.isEmpty() ? std::nullopt : readSharedFile(inside, t_readableFolders);
    if (!bytes)
        return nullptr;
    xmlParserInputBufferPtr buffer =
        xmlParserInputBufferCreateMem(bytes->constData(), int(bytes->size()), XML_CHAR_ENCODING_NONE);
    if (!buffer)
        return nullptr;
    xmlParserInputPtr input = xmlNewIOInputStream(context, buffer, XML_CHAR_ENCODING_NONE);
    if (!input) {
        xmlFreeParserInputBuffer(buffer);
        return nullptr;
    }
    // Relative names in what it includes resolve against it.
    input->filename = reinterpret_cast<char*>(xmlStrdup(reinterpret_cast<const xmlChar*>(QFile::encodeName(inside).constData())));
    return input;
}

int forbid(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char*)
{
    return 0;
}

int readInsideFolders(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value)
{
    if (!value)
        return 0;
    const QString path = localPath(value);
    return !path.isEmpty() && !pathInsideFolders(path, t_readableFolders).isEmpty() ? 1 : 0;
}

// -- the libraries' process-wide settings, put back on every way out ----------------------------

class LibrarySettings
{
public:
    LibrarySettings()
        : m_loader(xmlGetExternalEntityLoader())
        , m_generic(xmlGenericError)
        , m_genericContext(xmlGenericErrorContext)
        , m_structured(xmlStructuredError)
        , m_structuredContext(xmlStructuredErrorContext)
        , m_xsltGeneric(xsltGenericError)
        , m_xsltGenericContext(xsltGenericErrorContext)
        , m_loadExtDtd(xmlLoadExtDtdDefaultValue)
    {
        xmlSetExternalEntityLoader(loadThroughGate);
        xmlSetGenericErrorFunc(nullptr, collectError);
        xmlSetStructuredErrorFunc(nullptr, collectStructuredError);
        xsltSetGenericErrorFunc(nullptr, collectError);
        m_substitute = xmlSubstituteEntitiesDefault(0);
        xmlLoadExtDtdDefaultValue = 0;
    }
    ~LibrarySettings()
    {
        xmlSetExternalEntityLoader(m_loader);
        xmlSetGenericErrorFunc(m_genericContext, m_generic);
        xmlSetStructuredErrorFunc(m_structuredContext, m_structured);
        xsltSetGenericErrorFunc(m_xsltGenericContext, m_xsltGeneric);
        xmlSubstituteEntitiesDefault(m_substitute);
        xmlLoadExtDtdDefaultValue = m_loadExtDtd;
    }
    LibrarySettings(const LibrarySettings&) = delete;
    LibrarySettings& operator=(const LibrarySettings&) = delete;

private:
    xmlExternalEntityLoader m_loader;
    xmlGenericErrorFunc m_generic;
    void* m_genericContext;
    xmlStructuredErrorFunc m_structured;
    void* m_structuredContext;
    xmlGenericErrorFunc m_xsltGeneric;
    void* m_xsltGenericContext;
    int m_loadExtDtd;
    int m_substitute = 0;
};

// -- bounds on the record ---------------------------------------------------------------------

// The most attributes one start tag of the text has. The parser checks each attribute against
// all before it, so a tag with tens of thousands of them takes it many seconds: they are
// counted before the parse. Comments, CDATA, processing instructions and the document type
// are passed over.
int mostAttributesInOneTag(const QByteArray& xml)
{
    const char* p = xml.constData();
    const char* const end = p + xml.size();
    const auto skipPast = [&](const char* marker) {
        const char* found = static_cast<const char*>(memmem(p, size_t(end - p), marker, std::strlen(marker)));
        p = found ? found + std::strlen(marker) : end;
    };
    int most = 0;
    while (p < end) {
        p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)));
        if (!p)
            break;
        ++p;
        if (end - p >= 3 && std::memcmp(p, "!--", 3) == 0) {
            skipPast("-->");
        } else if (end - p >= 8 && std::memcmp(p, "![CDATA[", 8) == 0) {
            skipPast("]]>");
        } else if (p < end && *p == '?') {
            skipPast("?>");
        } else {
            // A start, end or declaration tag: count the = outside quotes up to its end.
            const bool declaration = p < end && *p == '!';
            char quote = 0;
            int depth = 0;
            int attributes = 0;
            for (; p < end; ++p) {
                const char c = *p;
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (declaration && c == '[') {
                    ++depth;
                } else if (declaration && c == ']') {
                    --depth;
                } else if (c == '>' && depth <= 0) {
                    break;
                } else if (c == '=' && !declaration) {
                    ++attributes;
                }
            }
            most = std::max(most, attributes);
        }
    }
    return most;
}

// What the record's entity references come to when they are expanded, wherever that happens
// (the parser leaves them as references; the transformation expands them as it reads text).
struct EntityUse
{
    qint64 references = 0;
    qint64 bytes = 0;
};

class EntityCounter
{
public:
    EntityCounter(xmlDocPtr doc, const XsltLimits& limits)
        : m_doc(doc)
        , m_limits(limits)
    {
    }

    // False as soon as a bound is passed.
    bool count(xmlNodePtr node, EntityUse& use, int depth = 0)
    {
        for (; node; node = node->next) {
            if (node->type == XML_ENTITY_REF_NODE) {
                ++use.references;
                use.bytes += expandedSize(node->name, depth);
            } else if (node->type == XML_ELEMENT_NODE) {
                for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
                    if (!count(attribute->children, use, depth + 1))
                        return false;
                }
                if (!count(node->children, use, depth + 1))
                    return false;
            }
            if (use.references > m_limits.maxEntityReferences || use.bytes > m_limits.maxExpandedEntityBytes)
                return false;
        }
        return true;
    }

private:
    qint64 expandedSize(const xmlChar* name, int depth)
    {
        xmlEntityPtr entity = xmlGetDocEntity(m_doc, name);
        if (!entity)
            return 0;
        if (const auto known = m_sizes.constFind(entity); known != m_sizes.constEnd())
            return *known;
        // Nested beyond reason counts as too much.
        if (depth > 64)
            return m_limits.maxExpandedEntityBytes + 1;
        qint64 size = 0;
        if (entity->children) {
            size = subtreeSize(entity->children, depth + 1);
        } else if (entity->content) {
            size = xmlStrlen(entity->content);
        }
        m_sizes.insert(entity, size);
        return size;
    }

    qint64 subtreeSize(xmlNodePtr node, int depth)
    {
        qint64 size = 0;
        for (; node && size <= m_limits.maxExpandedEntityBytes; node = node->next) {
            if (node->type == XML_ENTITY_REF_NODE)
                size += expandedSize(node->name, depth);
            else if (node->content)
                size += xmlStrlen(node->content);
            if (node->type == XML_ELEMENT_NODE)
                size += subtreeSize(node->children, depth + 1);
        }
        return size;
    }

    xmlDocPtr m_doc;
    const XsltLimits& m_limits;
    QHash<const void*, qint64> m_sizes;
};

// -- the transformation -----------------------------------------------------------------------

struct DocFree { void operator()(xmlDocPtr d) const { xmlFreeDoc(d); } };
struct SheetFree { void operator()(xsltStylesheetPtr s) const { xsltFreeStylesheet(s); } };
struct ContextFree { void operator()(xsltTransformContextPtr c) const { xsltFreeTransformContext(c); } };
struct PrefsFree { void operator()(xsltSecurityPrefsPtr p) const { xsltFreeSecurityPrefs(p); } };

XsltResult failure(const QString& error)
{
    XsltResult result;
    result.error = error;
    return result;
}

QString memoryError()
{
    return QStringLiteral("Preparing the record needed more memory than it may have.");
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / double(kMegabyte), 'g', 3);
}

XsltResult transformBounded(const QString& xmlText, const QString& styleSheetPath, const XsltLimits& limits)
{
    const QByteArray xml = xmlText.toUtf8();
    if (xml.size() > limits.maxInputBytes)
        return failure(QStringLiteral("The record is larger than %1 MB.").arg(megabytes(limits.maxInputBytes)));
    if (mostAttributesInOneTag(xml) > limits.maxAttributesPerElement)
        return failure(QStringLiteral("An element of the record has more than %1 attributes.").arg(limits.maxAttributesPerElement));

    LibrarySettings settings;
    std::unique_ptr<xmlDoc, DocFree> document(
        xmlReadMemory(xml.constData(), int(xml.size()), "record.xml", "UTF-8", kParseOptions));
    if (!document)
        return failure(QStringLiteral("The record is not well-formed XML. ") + t_errors);
    EntityUse use;
    if (!EntityCounter(document.get(), limits).count(document->children, use))
        return failure(QStringLiteral("The record's entity references expand to more than can be shown."));

    const std::optional<QByteArray> sheetText = readSharedFile(styleSheetPath, t_readableFolders);
    if (!sheetText)
        return failure(QStringLiteral("The style sheet cannot be read."));
    const QByteArray sheetUrl = QFile::encodeName(pathInsideFolders(styleSheetPath, t_readableFolders));
    xmlDocPtr sheetDoc = xmlReadMemory(sheetText->constData(), int(sheetText->size()), sheetUrl.constData(), nullptr,
                                       kParseOptions);
    std::unique_ptr<xsltStylesheet, SheetFree> sheet(sheetDoc ? xsltParseStylesheetDoc(sheetDoc) : nullptr);
    if (!sheet && sheetDoc)
        xmlFreeDoc(sheetDoc);
    if (!sheet)
        return failure(QStringLiteral("The style sheet cannot be read. ") + t_errors);

    std::unique_ptr<xsltSecurityPrefs, PrefsFree> prefs(xsltNewSecurityPrefs());
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_WRITE_FILE, forbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_CREATE_DIRECTORY, forbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_WRITE_NETWORK, forbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_READ_NETWORK, forbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_READ_FILE, readInsideFolders);

    std::unique_ptr<xsltTransformContext, ContextFree> context(xsltNewTransformContext(sheet.get(), document.get()));
    if (!context)
        return failure(QStringLiteral("The transformation cannot start."));
    xsltSetCtxtSecurityPrefs(prefs.get(), context.get());
    xsltSetCtxtParseOptions(context.get(), kParseOptions);
    context->maxTemplateDepth = limits.maxTemplateDepth;
    context->maxTemplateVars = limits.maxTemplateVars;

    std::unique_ptr<xmlDoc, DocFree> output(xsltApplyStylesheetUser(sheet.get(), document.get(), nullptr, nullptr,
                                                                     nullptr, context.get()));
    if (!output || context->state != XSLT_STATE_OK)
        return failure(QStringLiteral("The transformation failed. ") + t_errors);
    xmlChar* text = nullptr;
    int length = 0;
    if (xsltSaveResultToString(&text, &length, output.get(), sheet.get()) != 0 || !text)
        return failure(QStringLiteral("The transformation's result cannot be written."));
    XsltResult result;
    if (length > limits.isolation.maxOutputBytes) {
        result.error = QStringLiteral("The record's page is larger than %1 MB.").arg(megabytes(limits.isolation.maxOutputBytes));
    } else {
        result.output = QString::fromUtf8(reinterpret_cast<const char*>(text), length);
        result.ok = true;
    }
    xmlFree(text);
    return result;
}

// -- the child's allocator --------------------------------------------------------------------

qint64 g_allocated = 0;
qint64 g_allocationLimit = 0;
// The libraries carry on after some refused allocations (an XPath string that could not be
// built becomes a wrong value), so a refusal fails the whole transformation.
bool g_refused = false;

void* boundedMalloc(size_t size)
{
    if (g_allocated + qint64(size) > g_allocationLimit) {
        g_refused = true;
        return nullptr;
    }
    void* block = std::malloc(size);
    if (block)
        g_allocated += qint64(malloc_usable_size(block));
    return block;
}

void boundedFree(void* block)
{
    if (!block)
        return;
    g_allocated -= qint64(malloc_usable_size(block));
    std::free(block);
}

void* boundedRealloc(void* block, size_t size)
{
    const qint64 before = block ? qint64(malloc_usable_size(block)) : 0;
    if (g_allocated - before + qint64(size) > g_allocationLimit) {
        g_refused = true;
        return nullptr;
    }
    void* moved = std::realloc(block, size);
    if (moved)
        g_allocated += qint64(malloc_usable_size(moved)) - before;
    return moved;
}

char* boundedStrdup(const char* text)
{
    const size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(boundedMalloc(size));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
}

QByteArray encode(const XsltResult& result)
{
    return (result.ok ? QByteArray("1") : QByteArray("0")) + (result.ok ? result.output : result.error).toUtf8();
}

XsltResult decode(const QByteArray& bytes)
{
    XsltResult result;
    result.ok = bytes.startsWith('1');
    (result.ok ? result.output : result.error) = QString::fromUtf8(bytes.mid(1));
    return result;
}

} // namespace

XsltResult transformXmlInProcess(const QString& xmlText, const QString& styleSheetPath,
                                 const QStringList& readableFolders, const XsltLimits& limits)
{
    t_errors.clear();
    t_readableFolders = readableFolders;
    XsltResult result = transformBounded(xmlText, styleSheetPath, limits);
    t_readableFolders.clear();
    return result;
}

XsltResult transformXml(const QString& xmlText, const QString& styleSheetPath, const QStringList& readableFolders,
                        const XsltLimits& limits)
{
    // Refused before a process is started for it.
    if (qint64(xmlText.size()) > limits.maxInputBytes)
        return failure(QStringLiteral("The record is larger than %1 MB.").arg(megabytes(limits.maxInputBytes)));

    const IsolatedResult isolated = runIsolated([&] {
        // The child's own libraries: whatever they allocate counts against the limit.
        g_allocated = 0;
        g_allocationLimit = limits.maxMemoryBytes;
        g_refused = false;
        xmlMemSetup(boundedFree, boundedMalloc, boundedRealloc, boundedStrdup);
        xmlInitParser();
        const XsltResult result = transformXmlInProcess(xmlText, styleSheetPath, readableFolders, limits);
        return g_refused ? QByteArray("0") + memoryError().toUtf8() : encode(result);
    }, limits.isolation);

    switch (isolated.outcome) {
    case IsolatedResult::Outcome::Done:
        return decode(isolated.output);
    case IsolatedResult::Outcome::TimedOut:
        return failure(QStringLiteral("Preparing the record took longer than %1 seconds.")
                           .arg(double(limits.isolation.timeLimitMs) / 1000.0));
    case IsolatedResult::Outcome::TooLarge:
        return failure(QStringLiteral("The record's page is larger than %1 MB.").arg(megabytes(limits.isolation.maxOutputBytes)));
    case IsolatedResult::Outcome::Failed:
        break;
    }
    return failure(memoryError());
}

} // namespace zelvar::platform
