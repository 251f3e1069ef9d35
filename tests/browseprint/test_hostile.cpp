// What the server sends is not trusted: hostile record input, a server that throws at every
// call, and a record window whose process ended before it put the page setup back.
#include "componentfixture.h"
#include "modaldriver.h"
#include "ownprocess.h"

#include "browseprint/frmbrowseprint.h"
#include "browseprint/pagesetup.h"
#include "browseprint/sharedfiles.h"
#include "platform/xslt.h"
#include "services/download.h"
#include "services/syssetting.h"

#include <zelvar/registry.h>

#include <QElapsedTimer>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QImage>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextDocument>

#include <libxml/parser.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zelvar;
using namespace zelvar::test;

namespace {

class HostileTest : public ComponentFixture
{
protected:
    void SetUp() override
    {
        ComponentFixture::SetUp();
        ASSERT_TRUE(shared.isValid() && config.isValid() && outside.isValid());
        browseprint::setSharedFilesFolderForTesting(shared.path());
        savedConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        server->answerPrefix(QStringLiteral("|GET|SYS|"), {QStringLiteral("ALTPATRECORDDISPL=T.xsl,")});
    }
    void TearDown() override
    {
        browseprint::setSharedFilesFolderForTesting({});
        qputenv("XDG_CONFIG_HOME", savedConfig);
        ComponentFixture::TearDown();
    }

    void sheet(const QString& body, const QString& namespaces = {})
    {
        QFile file(shared.filePath(QStringLiteral("T.xsl")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
                    + namespaces + "><xsl:output method=\"html\"/>" + body + "</xsl:stylesheet>")
                       .toUtf8());
    }

    // Displays a record with this XML; returns the document shown (empty when none was). The
    // script, if any, runs in the window before it is closed.
    QString display(const QString& xml, const std::function<void(browseprint::frmBrowsePrint&)>& script = {},
                    int withinMs = 10000)
    {
        server->answerPrefix(QStringLiteral("|GET|DEMOXML|"), {QStringLiteral("|OK||") + xml, QStringLiteral("|END|")});
        QString document;
        ModalDriver driver(QStringLiteral("frmBrowsePrint"), {[&](QWidget* w) {
                               auto* b = static_cast<browseprint::frmBrowsePrint*>(w);
                               document = b->documentText();
                               if (script)
                                   script(*b);
                               b->cmdClose->click();
                           }});
        QElapsedTimer timer;
        timer.start();
        lookup.ShowDisplayPatientInfo(QStringLiteral("1234"));
        EXPECT_LT(timer.elapsed(), withinMs);
        shows = driver.shows;
        return document;
    }

    // A picture of this size, as PNG.
    static void picture(const QString& path, QSize size)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::red);
        ASSERT_TRUE(image.save(path, "PNG"));
    }

    // The size of the picture the record view holds for a name (empty when it holds none).
    static QSize shownPicture(browseprint::frmBrowsePrint& window, const QString& name)
    {
        QTextDocument* doc = window.WebBrowser1->document();
        const QVariant value = doc->resource(QTextDocument::ImageResource, doc->baseUrl().resolved(QUrl(name)));
        QImage image = value.value<QImage>();
        if (image.isNull() && value.userType() == QMetaType::QPixmap)
            image = value.value<QPixmap>().toImage();
        if (image.isNull() && value.userType() == QMetaType::QByteArray)
            image.loadFromData(value.toByteArray());
        return image.isNull() ? QSize() : image.size();
    }

    static qint64 residentBytes()
    {
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly))
            return 0;
        return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
    }

    int shows = 0;

    QTemporaryDir shared;
    QTemporaryDir config;
    QTemporaryDir outside;
    QByteArray savedConfig;
};

const QString kEcho = QStringLiteral("<xsl:template match=\"/\"><html><head></head><body><xsl:value-of select=\".\"/></body></html></xsl:template>");

} // namespace

// Catches an entity expansion bomb blowing up, or external entities read from the disk.
TEST_F(HostileTest, shouldNotExpandEntities)
{
    sheet(kEcho);
    QString bomb = QStringLiteral("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">");
    for (int i = 1; i <= 9; ++i)
        bomb += QStringLiteral("<!ENTITY %1 \"&%2;&%2;&%2;&%2;&%2;&%2;&%2;&%2;&%2;&%2;\">").arg(QChar(u'a' + i)).arg(QChar(u'a' + i - 1));
    bomb += QStringLiteral("]><r>&j;</r>");
    const QString bombed = display(bomb);
    EXPECT_LT(bombed.size(), 100000);

    QFile secret(outside.filePath(QStringLiteral("secret.txt")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("TOP SECRET");
    secret.close();
    const QString external = display(QStringLiteral("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file://")
                                     + secret.fileName() + QStringLiteral("\">]><r>&x;</r>"));
    EXPECT_FALSE(external.contains(QLatin1String("TOP SECRET")));
}

// Catches a style sheet that reads files outside the shared folder or writes files at all.
TEST_F(HostileTest, shouldKeepStyleSheetsInsideTheFolder)
{
    QFile secret(outside.filePath(QStringLiteral("secret.xml")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("<s>TOP SECRET</s>");
    secret.close();
    sheet(QStringLiteral("<xsl:template match=\"/\"><html><head></head><body><xsl:value-of select=\"document('")
          + secret.fileName() + QStringLiteral("')\"/></body></html></xsl:template>"));
    EXPECT_FALSE(display(QStringLiteral("<r/>")).contains(QLatin1String("TOP SECRET")));

    const QString written = outside.filePath(QStringLiteral("written.html"));
    sheet(QStringLiteral("<xsl:template match=\"/\"><exsl:document href=\"") + written
              + QStringLiteral("\"><p>x</p></exsl:document><html><head></head></html></xsl:template>"),
          QStringLiteral("xmlns:exsl=\"http://exslt.org/common\" extension-element-prefixes=\"exsl\""));
    display(QStringLiteral("<r/>"));
    EXPECT_FALSE(QFile::exists(written));
    EXPECT_FALSE(utils->reports.isEmpty());
}

// Catches a record window that leaves the user's page setup changed for good when its process
// ends while it is open: the next display puts it back first.
TEST_F(HostileTest, shouldRestoreThePageSetupAfterAKilledWindow)
{
    const QString key = browseprint::kPageSetupKey;
    SetRegValue(HKEY_CURRENT_USER, key, QStringLiteral("header"), QStringLiteral("my header"));
    SetRegValue(HKEY_CURRENT_USER, key, QStringLiteral("footer"), QStringLiteral("my footer"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        browseprint::PageSetup setup;
        setup.prepare(QStringLiteral("77"));
        ::_exit(0);   // gone without putting anything back
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(QueryRegValue(HKEY_CURRENT_USER, key, QStringLiteral("header")), QVariant(QStringLiteral("Patient Record &bAcc# 77")));

    sheet(kEcho);
    display(QStringLiteral("<r/>"));
    EXPECT_EQ(QueryRegValue(HKEY_CURRENT_USER, key, QStringLiteral("header")), QVariant(QStringLiteral("my header")));
    EXPECT_EQ(QueryRegValue(HKEY_CURRENT_USER, key, QStringLiteral("footer")), QVariant(QStringLiteral("my footer")));
}

// Catches a server link that throws at any call site escaping an operation or leaving it
// without a report in its own words.
TEST_F(HostileTest, shouldReportAServerThatThrowsEverywhere)
{
    server->fail(QString(), host::ScriptedHostLink::Failure::Throw);
    const QString lost = QStringLiteral("The server connection was lost");
    EXPECT_EQ(lookup.PatientLookup(QStringLiteral("smith")), QString());
    EXPECT_EQ(lookup.CheckForDuplicatePatient({}, {}, QStringLiteral("A"), {}, {}, {}), QString());
    EXPECT_EQ(lookup.MiscLookup(QStringLiteral("GENDER"), {}), QString());
    EXPECT_NO_THROW(lookup.ShowDisplayPatientInfo(QStringLiteral("1234")));
    EXPECT_EQ(services::GetSysSetting(QStringLiteral("X")), QString());
    EXPECT_FALSE(services::DownloadAndSave(QStringLiteral("A.xsl"), QStringLiteral("FORMS"), outside.path()));
    const QStringList expected{
        QStringLiteral("ZelvarPatientLookup.clsPatLookup.PatientLookup Error: ") + lost,
        QStringLiteral("Error raised in frmLookupSch.CheckForDuplicatePatientImmediate: ") + lost,
        QStringLiteral("Error raised in frmLookupSch.MiscGridLookup: ") + lost,
        QStringLiteral(" GetSysSetting ALTPATRECORDDISPL, ") + lost,
        QStringLiteral("Document ") + shared.path() + QStringLiteral("/T.xsl"),
        QStringLiteral(" GetSysSetting X, ") + lost,
        QStringLiteral("ERR in DownloadAndSave, ") + lost,
    };
    // The record display reads the setting (reported), then finds no style sheet (told).
    EXPECT_EQ(utils->reports.value(0), expected[0]);
    EXPECT_EQ(utils->reports.value(1), expected[1]);
    EXPECT_EQ(utils->reports.value(2), expected[2]);
    EXPECT_EQ(utils->reports.value(3), expected[3]);
    EXPECT_EQ(utils->reports.value(4), expected[5]);
    EXPECT_EQ(utils->reports.value(5), expected[6]);
}


// Catches a picture named by record text read from outside the shared folder, on screen or in
// print, by any name: an absolute path, a path relative to the program's working folder, a
// file: URL, ../ against the shared folder, a link; one over 16 MB read whole; anything fetched
// from the network; and a name that is a pipe (by absolute path, or /dev/stdin held open)
// freezing the window for good. Qt's own image loading falls back to the name itself when the
// resource it is given is no picture, so this is run from two working folders that reach the
// outside picture by a relative name.
TEST_F(HostileTest, shouldShowAndPrintOnlyPicturesFromTheSharedFolder)
{
    const QString pdfimages = QStandardPaths::findExecutable(QStringLiteral("pdfimages"));
    if (pdfimages.isEmpty())
        GTEST_SKIP() << "pdfimages (poppler-utils) is not installed";
    // root/shared is the shared folder; root/outside holds the picture no record may show, and
    // root/outside/run is the second working folder.
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString folder = root.filePath(QStringLiteral("shared"));
    const QString away = root.filePath(QStringLiteral("outside"));
    ASSERT_TRUE(QDir().mkpath(folder) && QDir().mkpath(away + QStringLiteral("/run")));
    sheet(kEcho);
    ASSERT_TRUE(QFile::copy(shared.filePath(QStringLiteral("T.xsl")), folder + QStringLiteral("/T.xsl")));
    browseprint::setSharedFilesFolderForTesting(folder);

    picture(folder + QStringLiteral("/logo.png"), QSize(37, 23));
    const QString secret = away + QStringLiteral("/secret.png");
    picture(secret, QSize(41, 29));
    ASSERT_TRUE(QFile::link(secret, folder + QStringLiteral("/link.png")));
    const QString pipe = away + QStringLiteral("/pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QFile big(folder + QStringLiteral("/big.png"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    QByteArray png;
    {
        QImage image(QSize(43, 31), QImage::Format_RGB32);
        image.fill(Qt::blue);
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    big.write(png + QByteArray(17 * 1024 * 1024, '\0'));   // a valid picture, with 17 MB after it
    big.close();
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));

    const QStringList names{QStringLiteral("logo.png"),
                            secret,
                            QStringLiteral("outside/secret.png"),   // from the first working folder
                            QStringLiteral("../secret.png"),        // from the second
                            QUrl::fromLocalFile(secret).toString(),
                            QStringLiteral("../outside/secret.png"),   // against the shared folder
                            QStringLiteral("link.png"),
                            QStringLiteral("big.png"),
                            QStringLiteral("http://127.0.0.1:%1/remote.png").arg(listener.serverPort()),
                            pipe,
                            QStringLiteral("/dev/stdin")};
    QString record = QStringLiteral("<r>");
    for (const QString& name : names)
        record += QStringLiteral("&lt;img src=&quot;%1&quot;&gt;").arg(name.toHtmlEscaped());
    record += QStringLiteral("</r>");

    for (const QString& workingFolder : QStringList{root.path(), away + QStringLiteral("/run")}) {
        SCOPED_TRACE(workingFolder.toStdString());
        const QString pdf = root.filePath(QStringLiteral("record-%1.pdf").arg(QFileInfo(workingFolder).fileName()));
        IN_OWN_PROCESS(60, {
            ASSERT_TRUE(QDir::setCurrent(workingFolder));
            // Standard input is a pipe that is held open and never written: reading it waits for good.
            int held[2];
            ASSERT_EQ(::pipe(held), 0);
            ASSERT_EQ(::dup2(held[0], STDIN_FILENO), STDIN_FILENO);
            ModalDriver printDialog(QStringLiteral("PrintDialog"), {[&](QWidget* w) {
                                        auto* dialog = static_cast<QPrintDialog*>(w);
                                        if (auto* file = dialog->findChild<QLineEdit*>(QStringLiteral("filename")))
                                            file->setText(pdf);
                                        dialog->printer()->setOutputFileName(pdf);
                                        dialog->accept();
                                    }});
            QElapsedTimer sinceDisplay;
            sinceDisplay.start();
            display(record, [&](browseprint::frmBrowsePrint& w) {
                EXPECT_LT(sinceDisplay.elapsed(), 5000) << "the window took this long to appear";
                w.WebBrowser1->document()->size();   // laid out, as on screen
                EXPECT_EQ(shownPicture(w, names[0]), QSize(37, 23));
                for (const QString& refused : names.mid(1)) {
                    const QSize size = shownPicture(w, refused);
                    EXPECT_FALSE(size.isEmpty()) << "no placeholder for " << refused.toStdString();
                    EXPECT_NE(size, QSize(41, 29)) << refused.toStdString();
                    EXPECT_NE(size, QSize(43, 31)) << refused.toStdString();
                }
                w.WebBrowser1->grab();   // painted, as on screen
                w.cmdPrint->click();
            });
            EXPECT_EQ(shows, 1);
            EXPECT_FALSE(listener.waitForNewConnection(100));

            QProcess tool;
            tool.start(pdfimages, {QStringLiteral("-list"), pdf});
            ASSERT_TRUE(tool.waitForFinished(20000));
            const QString list = QString::fromUtf8(tool.readAllStandardOutput());
            // page num type width height ...: the logo, and nothing from outside.
            EXPECT_TRUE(QRegularExpression(QStringLiteral("image\\s+37\\s+23")).match(list).hasMatch()) << list.toStdString();
            EXPECT_FALSE(QRegularExpression(QStringLiteral("image\\s+41\\s+29")).match(list).hasMatch()) << list.toStdString();
            EXPECT_FALSE(QRegularExpression(QStringLiteral("image\\s+43\\s+31")).match(list).hasMatch()) << list.toStdString();
        });
    }
}

// Catches a picture that names a pipe hanging the window for good, and one that names an
// endless device growing memory until the desk dies.
TEST_F(HostileTest, shouldNeverBlockOrGrowOnPicturesThatAreNoFiles)
{
    sheet(kEcho);
    ASSERT_EQ(::mkfifo(QFile::encodeName(shared.filePath(QStringLiteral("pipe.png"))).constData(), 0600), 0);
    // An endless device inside the folder where this user may make one; /dev/zero by name always.
    const bool device = ::mknod(QFile::encodeName(shared.filePath(QStringLiteral("zero.png"))).constData(),
                                S_IFCHR | 0600, makedev(1, 5)) == 0;
    QString record = QStringLiteral("<r>&lt;img src=&quot;pipe.png&quot;&gt;&lt;img src=&quot;file:///dev/zero&quot;&gt;");
    if (device)
        record += QStringLiteral("&lt;img src=&quot;zero.png&quot;&gt;");
    record += QStringLiteral("</r>");
    IN_OWN_PROCESS(60, {
        const qint64 before = residentBytes();
        display(record, [](browseprint::frmBrowsePrint& w) { w.WebBrowser1->document()->size(); }, 5000);
        EXPECT_EQ(shows, 1);
        EXPECT_LT(residentBytes() - before, 100 * 1024 * 1024);
    });
}

// Catches records and style sheets that take the desk's time or memory without end, or whose
// result is too large to lay out, crashing or freezing the window or giving an empty page
// reported as shown. Each must end in the component's report within seconds.
TEST_F(HostileTest, shouldReportRecordsThatCannotBeShownWithinSeconds)
{
    QString amplified = QStringLiteral("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY big \"") + QString(100 * 1024, QLatin1Char('x'))
        + QStringLiteral("\">]><r><Name>");
    for (int i = 0; i < 2000; ++i)
        amplified += QStringLiteral("&big;");
    amplified += QStringLiteral("</Name></r>");
    QString attributes = QStringLiteral("<r");
    for (int i = 0; i < 40000; ++i)
        attributes += QStringLiteral(" a%1=\"1\"").arg(i);
    attributes += QStringLiteral("/>");

    const QString exponential = QStringLiteral(
        "<xsl:template match=\"/\"><html><head></head><body><xsl:call-template name=\"twice\"><xsl:with-param name=\"n\" select=\"40\"/>"
        "</xsl:call-template></body></html></xsl:template>"
        "<xsl:template name=\"twice\"><xsl:param name=\"n\"/><xsl:if test=\"$n &gt; 0\">"
        "<xsl:call-template name=\"twice\"><xsl:with-param name=\"n\" select=\"$n - 1\"/></xsl:call-template>"
        "<xsl:call-template name=\"twice\"><xsl:with-param name=\"n\" select=\"$n - 1\"/></xsl:call-template>"
        "</xsl:if></xsl:template>");
    const QString doubling = QStringLiteral(
        "<xsl:template match=\"/\"><html><head></head><body><xsl:call-template name=\"double\"><xsl:with-param name=\"s\" "
        "select=\"'0123456789012345678901234567890123456789'\"/><xsl:with-param name=\"n\" select=\"27\"/></xsl:call-template>"
        "</body></html></xsl:template>"
        "<xsl:template name=\"double\"><xsl:param name=\"s\"/><xsl:param name=\"n\"/><xsl:choose>"
        "<xsl:when test=\"$n &gt; 0\"><xsl:call-template name=\"double\"><xsl:with-param name=\"s\" select=\"concat($s, $s)\"/>"
        "<xsl:with-param name=\"n\" select=\"$n - 1\"/></xsl:call-template></xsl:when>"
        "<xsl:otherwise><xsl:value-of select=\"string-length($s)\"/></xsl:otherwise></xsl:choose></xsl:template>");

    const struct { const char* what; QString sheet; QString record; } cases[] = {
        {"an entity of 100 KB named 2,000 times", kEcho, amplified},
        {"40,000 attributes on one element", kEcho, attributes},
        {"a template that calls itself twice, 40 deep", exponential, QStringLiteral("<r/>")},
        {"a string doubled 27 times", doubling, QStringLiteral("<r/>")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sheet(c.sheet);
        utils->reports.clear();
        IN_OWN_PROCESS(60, {
            display(c.record);
            EXPECT_EQ(shows, 0);
            EXPECT_EQ(utils->reports.size(), 1) << utils->reports.join(QLatin1Char('\n')).toStdString();
            EXPECT_TRUE(utils->reports.value(0).startsWith(QStringLiteral("Error loading frmBrowsePrint The patient record cannot be shown.")))
                << utils->reports.value(0).toStdString();
        });
    }
}

// Catches the component leaving its own entity loader or error handlers in the libraries, so
// that the host's own XML reading fails after the first record.
TEST_F(HostileTest, shouldLeaveTheHostsXmlParsingAsItWas)
{
    const xmlExternalEntityLoader loader = xmlGetExternalEntityLoader();
    const xmlGenericErrorFunc errors = xmlGenericError;
    sheet(kEcho);
    display(QStringLiteral("<r>text</r>"));
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(xmlGetExternalEntityLoader(), loader);
    EXPECT_EQ(xmlGenericError, errors);

    QFile hostFile(outside.filePath(QStringLiteral("host.xml")));
    ASSERT_TRUE(hostFile.open(QIODevice::WriteOnly));
    hostFile.write("<settings><desk>front</desk></settings>");
    hostFile.close();
    xmlDocPtr doc = xmlReadFile(QFile::encodeName(hostFile.fileName()).constData(), nullptr, 0);
    EXPECT_NE(doc, nullptr);
    xmlFreeDoc(doc);
}
