#include "pagesetup.h"

#include "services/valuestore.h"

#include <zelvar/registry.h>

#include <QAbstractTextDocumentLayout>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>

#include <memory>

namespace zelvar::browseprint {
namespace {

const QString kHeader = QStringLiteral("header");
const QString kFooter = QStringLiteral("footer");

QString expandPart(const QString& part, const PageContext& c)
{
    QString out;
    for (qsizetype i = 0; i < part.size(); ++i) {
        if (part[i] != u'&' || i + 1 >= part.size()) {
            out += part[i];
            continue;
        }
        const QChar code = part[++i];
        const QLocale locale;
        switch (code.unicode()) {
        case u'd': out += locale.toString(c.now.date(), QLocale::ShortFormat); break;
        case u'D': out += locale.toString(c.now.date(), QLocale::LongFormat); break;
        case u't': out += locale.toString(c.now.time(), QLocale::ShortFormat); break;
        case u'T': out += c.now.time().toString(QStringLiteral("HH:mm:ss")); break;
        case u'p': out += QString::number(c.page); break;
        case u'P': out += QString::number(c.pages); break;
        case u'w': out += c.title; break;
        case u'u': out += c.url; break;
        case u'&': out += u'&'; break;
        default:
            out += u'&';
            out += code;
            break;
        }
    }
    return out;
}

// Splits at "&b" but not at "&&b" (an ampersand followed by b).
QStringList splitParts(const QString& codes)
{
    QStringList parts{QString()};
    for (qsizetype i = 0; i < codes.size(); ++i) {
        if (codes[i] == u'&' && i + 1 < codes.size()) {
            if (codes[i + 1] == u'b') {
                parts.append(QString());
                ++i;
                continue;
            }
            parts.last() += codes[i];
            parts.last() += codes[++i];
            continue;
        }
        parts.last() += codes[i];
    }
    return parts;
}

void drawLine(QPainter& painter, const QRectF& area, const PageLine& line)
{
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, line.left);
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignVCenter, line.centre);
    painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter, line.right);
}


// The user's own header and footer are kept in the store until they are put back, so that a
// record window whose process ended before it could put them back is made good at the next one.
const QString kPendingKey = QStringLiteral("Software\\Zelvar\\ZelvarPatLookup\\PageSetupSaved");
const QString kPending = QStringLiteral("pending");

using services::ValueStoreTransaction;

// Puts back what a window that never closed left pending. False when the store failed.
bool restorePending(ValueStoreTransaction& store)
{
    const std::optional<QVariant> pending = store.read(HKEY_CURRENT_USER, kPendingKey, kPending);
    if (!pending)
        return false;
    if (pending->toString() != QLatin1String("1"))
        return true;
    const std::optional<QVariant> header = store.read(HKEY_CURRENT_USER, kPendingKey, kHeader);
    const std::optional<QVariant> footer = store.read(HKEY_CURRENT_USER, kPendingKey, kFooter);
    return header && footer && store.write(HKEY_CURRENT_USER, kPageSetupKey, kHeader, *header)
        && store.write(HKEY_CURRENT_USER, kPageSetupKey, kFooter, *footer)
        && store.write(HKEY_CURRENT_USER, kPendingKey, kPending, QStringLiteral("0"));
}

QString asText(const QVariant& value)
{
    return value.typeId() == QMetaType::Int ? QString::number(value.toInt()) : value.toString();
}

} // namespace

QString pageSetupValue(const QString& name)
{
    return asText(QueryRegValue(HKEY_CURRENT_USER, kPageSetupKey, name));
}

bool PageSetup::prepare(const QString& account)
{
    // One transaction: the user's values are read, kept aside and replaced together, or the
    // store is left exactly as it was. A value that cannot be read is never taken for empty.
    m_prepared = services::inValueStoreTransaction([&](ValueStoreTransaction& store) {
        if (!restorePending(store))
            return false;
        const std::optional<QVariant> header = store.read(HKEY_CURRENT_USER, kPageSetupKey, kHeader);
        const std::optional<QVariant> footer = store.read(HKEY_CURRENT_USER, kPageSetupKey, kFooter);
        if (!header || !footer)
            return false;
        m_savedHeader = asText(*header);
        m_savedFooter = asText(*footer);
        return store.write(HKEY_CURRENT_USER, kPendingKey, kHeader, m_savedHeader)
            && store.write(HKEY_CURRENT_USER, kPendingKey, kFooter, m_savedFooter)
            && store.write(HKEY_CURRENT_USER, kPendingKey, kPending, QStringLiteral("1"))
            && store.write(HKEY_CURRENT_USER, kPageSetupKey, kHeader, QString(QStringLiteral("Patient Record &bAcc# ") + account))
            && store.write(HKEY_CURRENT_USER, kPageSetupKey, kFooter, QStringLiteral("&d&bPage &p of &P"));
    });
    return m_prepared;
}

bool PageSetup::restore()
{
    if (!m_prepared)
        return true;
    m_prepared = false;
    // When this fails, the copy kept aside puts the user's values back at the next display.
    return services::inValueStoreTransaction([&](ValueStoreTransaction& store) {
        return store.write(HKEY_CURRENT_USER, kPageSetupKey, kHeader, m_savedHeader)
            && store.write(HKEY_CURRENT_USER, kPageSetupKey, kFooter, m_savedFooter)
            && store.write(HKEY_CURRENT_USER, kPendingKey, kPending, QStringLiteral("0"));
    });
}

QPageSize::PageSizeId localPaper(QString localeName)
{
    if (localeName.isEmpty()) {
        for (const char* variable : {"LC_ALL", "LC_PAPER", "LANG"}) {
            localeName = qEnvironmentVariable(variable);
            if (!localeName.isEmpty())
                break;
        }
    }
    // "en_US.UTF-8@euro": the territory is what stands between the underscore and the rest.
    const QString territory = localeName.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0)
                                  .section(QLatin1Char('_'), 1, 1).toUpper();
    static const QStringList letter{QStringLiteral("US"), QStringLiteral("CA"), QStringLiteral("MX"), QStringLiteral("PH"),
                                    QStringLiteral("PR"), QStringLiteral("CL"), QStringLiteral("CO"), QStringLiteral("VE"),
                                    QStringLiteral("CR"), QStringLiteral("GT"), QStringLiteral("NI"), QStringLiteral("PA"),
                                    QStringLiteral("SV"), QStringLiteral("DO"), QStringLiteral("BZ")};
    return letter.contains(territory) ? QPageSize::Letter : QPageSize::A4;
}

void useLocalPaper(QPrinter& printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        printer.setPageSize(QPageSize(localPaper()));
}

PageLine expandPageCodes(const QString& codes, const PageContext& context)
{
    const QStringList parts = splitParts(codes);
    PageLine line;
    line.left = expandPart(parts.value(0), context);
    line.centre = expandPart(parts.value(1), context);
    line.right = expandPart(parts.mid(2).join(QString()), context);
    return line;
}

void printRecord(const QTextDocument& document, QObject* resourceLoader, QPrinter& printer, const QString& header,
                 const QString& footer, const QString& title, const QString& url)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    QFont lineFont(QStringLiteral("Tahoma"));
    lineFont.setPointSizeF(8.0);
    painter.setFont(lineFont);
    const qreal lineHeight = painter.fontMetrics().height() * 1.6;
    const qreal contentTop = lineHeight * 1.5;
    const QSizeF contentSize(page.width(), page.height() - 2 * contentTop);

    // A copy keeps the pictures it was given, not those the screen loaded: it loads them again,
    // through the same gate.
    std::unique_ptr<QTextDocument> laidOut(document.clone(resourceLoader));
    laidOut->setBaseUrl(document.baseUrl());
    laidOut->documentLayout()->setPaintDevice(&printer);
    laidOut->setPageSize(contentSize);
    const int pages = qMax(1, laidOut->pageCount());

    PageContext context;
    context.pages = pages;
    context.title = title;
    context.url = url;
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            printer.newPage();
        context.page = p + 1;
        painter.setFont(lineFont);
        painter.setPen(Qt::black);
        drawLine(painter, QRectF(0, 0, page.width(), lineHeight), expandPageCodes(header, context));
        drawLine(painter, QRectF(0, page.height() - lineHeight, page.width(), lineHeight),
                 expandPageCodes(footer, context));

        painter.save();
        painter.translate(0, contentTop - p * contentSize.height());
        const QRectF visible(0, p * contentSize.height(), contentSize.width(), contentSize.height());
        painter.setClipRect(visible);
        QAbstractTextDocumentLayout::PaintContext paint;
        paint.clip = visible;
        laidOut->documentLayout()->draw(&painter, paint);
        painter.restore();
    }
    painter.end();
}

} // namespace zelvar::browseprint
