#include "frmbrowseprint.h"

#include "recorddocument.h"
#include "sharedfiles.h"

#include "component/references.h"
#include "component/runtimeerror.h"
#include "component/strings.h"
#include "platform/trap.h"
#include "platform/buttons.h"
#include "platform/fonts.h"
#include "platform/forms.h"
#include "platform/hourglass.h"
#include "platform/messagebox.h"
#include "platform/twips.h"
#include "platform/xslt.h"
#include "services/download.h"
#include "services/syssetting.h"

#include <zelvar/registry.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>

using namespace zelvar::component;

namespace zelvar::browseprint {

namespace {


} // namespace

QVariant RecordBrowser::loadResource(int type, const QUrl& name)
{
    const QUrl resolved = document()->baseUrl().resolved(name);
    return m_resources.loadResource(type, resolved);
}

frmBrowsePrint::frmBrowsePrint()
{
    setObjectName(QStringLiteral("frmBrowsePrint"));
    setWindowTitle(QStringLiteral("Patient Record"));
    setFont(platform::designFont());
    resize(platform::twipsToPixelsX(10305, this), platform::twipsToPixelsY(7995, this));

    WebBrowser1 = new RecordBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setOpenLinks(false);
    WebBrowser1->setAccessibleName(QStringLiteral("Patient record"));
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setAccessibleName(QStringLiteral("Print"));
    platform::placeTwips(Frame1, 60, 7200, 10215, 735);
    cmdPrint = new platform::CommandButton(QStringLiteral("Print"), Frame1);
    cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    platform::placeTwips(cmdPrint, 120, 240, 1215, 375);
    cmdPreview = new platform::CommandButton(QStringLiteral("Preview"), Frame1);
    cmdPreview->setObjectName(QStringLiteral("cmdPreview"));
    platform::placeTwips(cmdPreview, 1560, 240, 1215, 375);
    cmbPrinters = new QComboBox(Frame1);
    cmbPrinters->setObjectName(QStringLiteral("cmbPrinters"));
    cmbPrinters->setAccessibleName(QStringLiteral("Printer"));
    cmbPrinters->setAccessibleDescription(QStringLiteral("The printer that Print uses."));
    platform::placeTwips(cmbPrinters, 4620, 300, 4095, 315);
    cmdClose = new platform::CommandButton(QStringLiteral("Close"), Frame1);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    platform::placeTwips(cmdClose, 8880, 240, 1215, 375);
    setTabOrder(cmdPrint, cmdPreview);
    setTabOrder(cmdPreview, cmbPrinters);
    setTabOrder(cmbPrinters, cmdClose);

    connect(cmdPrint, &QPushButton::clicked, this, &frmBrowsePrint::cmdPrint_Click);
    connect(cmdPreview, &QPushButton::clicked, this, &frmBrowsePrint::cmdPreview_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmBrowsePrint::cmdClose_Click);
}

std::unique_ptr<frmBrowsePrint> frmBrowsePrint::Load()
{
    return load(new frmBrowsePrint());
}

frmBrowsePrint::~frmBrowsePrint()
{
    unload();
}

void frmBrowsePrint::Form_Load()
{
    platform::HourglassPointer pointer;
    platform::trapAndReport([&] {
        cmbPrinters->clear();
        m_printers = utils().GetPrinters(true, true, false, true);
        if (!m_printers || m_printers->isEmpty())
            return;
        const QFontMetrics metrics(cmbPrinters->font());
        int widest = 0;
        for (qsizetype i = 0; i < m_printers->size(); ++i) {
            const PrinterEntry& entry = m_printers->at(i);
            const QString line = entry.first + QStringLiteral("       ") + entry.second + QStringLiteral("      PORT: ")
                + entry.port;
            cmbPrinters->addItem(line, int(i + 1));
            widest = qMax(widest, metrics.horizontalAdvance(line));
        }
        if (widest > 0)
            cmbPrinters->view()->setMinimumWidth(widest + 20);
        cmbPrinters->setCurrentIndex(0);
    }, QStringLiteral("Error loading frmBrowsePrint "));
}

void frmBrowsePrint::Form_Unload()
{
    m_printers.reset();
}

void frmBrowsePrint::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void frmBrowsePrint::Form_Resize()
{
    using namespace platform;
    if (const std::optional<ErrorInfo> error = trapped([&] {
            const double innerWidth = pixelsToTwipsX(width(), this);
            const double innerHeight = pixelsToTwipsY(height(), this);
            const double frameHeight = pixelsToTwipsY(Frame1->height(), this);
            const double browserWidth = innerWidth - 60;
            if (browserWidth < 0)
                throw RuntimeError(RuntimeError::InvalidProcedureCall);
            WebBrowser1->setGeometry(WebBrowser1->x(), twipsToPixelsY(30, this), twipsToPixelsX(browserWidth, this),
                                     WebBrowser1->height());
            if (pixelsToTwipsY(frameGeometry().height(), this) - frameHeight - 100 > 0)
                WebBrowser1->resize(WebBrowser1->width(), twipsToPixelsY(innerHeight - frameHeight - 100, this));
            Frame1->setGeometry(WebBrowser1->x(), WebBrowser1->height() + twipsToPixelsY(50, this),
                                WebBrowser1->width(), Frame1->height());
            const double closeLeft = pixelsToTwipsX(Frame1->width() - cmdClose->width(), this) - 100;
            if (closeLeft > 0)
                cmdClose->move(twipsToPixelsX(closeLeft, this), cmdClose->y());
        })) {
        platform::reportToHost(error->description + QStringLiteral(" in Form_Resize - frmBrowsePrint"));
    }
}

void frmBrowsePrint::printOn(QPrinter& printer)
{
    printRecord(*WebBrowser1->document(), WebBrowser1->resources(), printer, pageSetupValue(QStringLiteral("header")),
                pageSetupValue(QStringLiteral("footer")), windowTitle(), QString());
}

void frmBrowsePrint::trapPrintErrors(const std::function<void()>& body)
{
    if (const std::optional<ErrorInfo> error = trapped(body)) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        platform::reportToHost(QStringLiteral("Error Print in Browseprint ") + error->description);
    }
}

void frmBrowsePrint::cmdPrint_Click()
{
    trapPrintErrors([this] {
        QPrinter printer(QPrinter::HighResolution);
        useLocalPaper(printer);
        QPrintDialog dialog(&printer, this);
        dialog.setObjectName(QStringLiteral("PrintDialog"));
        if (dialog.exec() != QDialog::Accepted)
            return;
        printOn(printer);
        // A record printed to a file went where nobody saw it go: the clerk is told where.
        if (!printer.outputFileName().isEmpty())
            platform::messageBox(QStringLiteral("The record was saved as ")
                                     + QDir::toNativeSeparators(QFileInfo(printer.outputFileName()).absoluteFilePath())
                                     + QLatin1Char('.'),
                                 platform::Information, utils().GetMessageTitle());
    });
}

void frmBrowsePrint::cmdPreview_Click()
{
    trapPrintErrors([this] {
        QPrinter printer(QPrinter::HighResolution);
        useLocalPaper(printer);
        QPrintPreviewDialog preview(&printer, this);
        preview.setObjectName(QStringLiteral("PrintPreviewDialog"));
        connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) { printOn(*target); });
        preview.exec();
    });
}

void frmBrowsePrint::cmdClose_Click()
{
    unload();
    hide();
}

void frmBrowsePrint::prepareDocument(const QString& account, const QString& folder, const QString& styleSheet)
{
    const QString request = QStringLiteral("|GET|DEMOXML|") + account + QLatin1Char('|') + hostLink().ContextValue1()
        + QLatin1Char('|') + hostLink().ContextValue2();
    setWindowTitle(QStringLiteral("Patient Record ") + account);
    QStringList replies;
    QString fourth;
    if (!hostLink().GetServerStringData(request, replies, QString(), fourth)) {
        platform::messageBox(QStringLiteral("GetServerStringData failed in frmBrowsePrint.Init"), platform::OkOnly,
                             QStringLiteral("Zelvar"));
        return;
    }
    XmlText = joinRecordReplies(replies);
    const platform::XsltResult transformed =
        platform::transformXml(XmlText, folder + QLatin1Char('/') + styleSheet, SharedFilesFolders());
    if (!transformed.ok) {
        throw RuntimeError(RuntimeError::AutomationError,
                           QStringLiteral("The patient record cannot be shown. ") + transformed.error.trimmed());
    }
    const QString document = insertBaseElement(transformed.output, folder);

    if (!m_pageSetup.prepare(account)) {
        // The display goes on; printing then uses the user's own header and footer.
        utils().ReportError(QStringLiteral("The page setup store is busy or cannot be written: the record prints with "
                                           "your own page header and footer."));
    }
    m_document = unescapeEntities(document);
    WebBrowser1->setAllowedFolders(SharedFilesFolders(), folder);
    WebBrowser1->document()->setBaseUrl(QUrl::fromLocalFile(folder + QLatin1Char('/')));
    WebBrowser1->setHtml(m_document);
    exec();
}

void frmBrowsePrint::Init(const QString& account)
{
    const std::optional<ErrorInfo> error = trapped([&] {
        QString styleSheet = services::GetSysSetting(QStringLiteral("ALTPATRECORDDISPL"));
        const bool plainName = !styleSheet.contains(QLatin1Char('/')) && !styleSheet.contains(QLatin1Char('\\'))
            && styleSheet != QLatin1String("..") && styleSheet != QLatin1String(".");
        const bool ownSheet = !styleSheet.isEmpty();
        if (!ownSheet) {
            styleSheet = QStringLiteral("PR.xsl");
        } else if (plainName && FolderHolding(styleSheet).isEmpty()) {
            // Fetched into the user's own folder: the installed one is not the user's to write.
            QDir().mkpath(UserSharedFilesFolder());
            services::DownloadAndSave(styleSheet, QStringLiteral("FORMS"), UserSharedFilesFolder());
        }
        // A name that is no plain file name never reaches outside the folders.
        const QString folder = plainName ? FolderHolding(styleSheet) : QString();
        if (folder.isEmpty()) {
            const QString expected = ownSheet ? UserSharedFilesFolder() : InstalledSharedFilesFolder();
            platform::messageBox(QStringLiteral("Document ") + expected + QLatin1Char('/') + styleSheet
                                     + QStringLiteral(" was not loaded.") + crlf
                                     + QStringLiteral("Make sure you have this file in your application folder."),
                                 platform::Critical, utils().GetMessageTitle());
            return;
        }
        prepareDocument(account, folder, styleSheet);
    });
    // The user's page header and footer come back on every way out once they were replaced.
    bool putBack = true;
    const std::optional<ErrorInfo> restoreError = trapped([&] { putBack = m_pageSetup.restore(); });
    if (!restoreError && !putBack) {
        platform::reportToHost(QStringLiteral("The page setup store is busy or cannot be written: your own page header "
                                              "and footer come back at the next record display."));
    }
    if (error) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        platform::reportToHost(QStringLiteral("Error loading frmBrowsePrint ") + error->description);
    } else if (restoreError) {
        platform::reportToHost(QStringLiteral("Error loading frmBrowsePrint ") + restoreError->description);
    }
}

} // namespace zelvar::browseprint
