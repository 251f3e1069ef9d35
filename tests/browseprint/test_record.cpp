// The patient record: the request, the style sheet's whereabouts, the document steps, the page
// setup around the display, the printer list, and printing with the header and footer.
#include "accessibility.h"
#include "componentfixture.h"
#include "focuskeys.h"
#include "modaldriver.h"
#include "ownprocess.h"

#include "browseprint/frmbrowseprint.h"
#include "browseprint/pagesetup.h"
#include "browseprint/recorddocument.h"
#include "browseprint/sharedfiles.h"
#include "component/runtimeerror.h"

#include <zelvar/registry.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextDocument>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QTest>

using namespace zelvar;
using namespace zelvar::test;
using browseprint::frmBrowsePrint;

namespace {

const QString kRecord = QStringLiteral(
    "<PatientRecord><Practice><Name>Riverside</Name></Practice><Patient><Account>1234</Account>"
    "<Name><Last>SMITH</Last><First>JOHN</First></Name><SSN>123456789</SSN></Patient></PatientRecord>");

class RecordTest : public ComponentFixture
{
protected:
    void SetUp() override
    {
        ComponentFixture::SetUp();
        ASSERT_TRUE(shared.isValid() && config.isValid());
        QFile::copy(QStringLiteral(ZELVAR_DATA_DIR "/PR.xsl"), shared.filePath(QStringLiteral("PR.xsl")));
        browseprint::setSharedFilesFolderForTesting(shared.path());
        savedConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        server->answerPrefix(QStringLiteral("|GET|SYS|"), {QStringLiteral("|OK||ALTPATRECORDDISPL=,")});
        server->answerPrefix(QStringLiteral("|GET|DEMOXML|"),
                             {QStringLiteral("|OK||") + kRecord.left(40), QStringLiteral("|OK||") + kRecord.mid(40),
                              QStringLiteral("|END|<ignored/>")});
    }
    void TearDown() override
    {
        browseprint::setSharedFilesFolderForTesting({});
        qputenv("XDG_CONFIG_HOME", savedConfig);
        ComponentFixture::TearDown();
    }

    QString userFolder() const { return userData.path() + QStringLiteral("/ZelvarPatLookup/SharedFiles"); }

    // Shows the record of the account; the script runs in the window and closes it.
    void display(const QString& account, std::function<void(frmBrowsePrint&)> script = {})
    {
        ModalDriver driver(QStringLiteral("frmBrowsePrint"), {[script](QWidget* w) {
                               auto& window = *static_cast<frmBrowsePrint*>(w);
                               if (script)
                                   script(window);
                               window.cmdClose->click();
                           }});
        lookup.ShowDisplayPatientInfo(account);
        shows = driver.shows;
        EXPECT_FALSE(driver.timedOut);
    }

    void writeSheet(const QString& name, const QString& body)
    {
        QFile file(shared.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" "
                                  "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:output method=\"html\"/>")
                       .toUtf8()
                   + body.toUtf8() + "</xsl:stylesheet>");
    }

    QTemporaryDir shared;
    QTemporaryDir config;
    QByteArray savedConfig;
    int shows = 0;
};

} // namespace

// Catches the request's fields, the account not normalised, and the caption.
TEST_F(RecordTest, shouldRequestAndCaptionTheRecord)
{
    const struct { const char* account; const char* normalised; } cases[] = {
        {"1234", "1234"}, {"12/3", "12,3"}, {"12\\3", "12,3"},
    };
    for (const auto& c : cases) {
        QString caption;
        display(QString::fromLatin1(c.account), [&](frmBrowsePrint& w) { caption = w.windowTitle(); });
        EXPECT_EQ(caption, QStringLiteral("Patient Record ") + QString::fromLatin1(c.normalised));
        EXPECT_EQ(server->requests().last(), QStringLiteral("|GET|DEMOXML|") + QString::fromLatin1(c.normalised)
                                                 + QStringLiteral("|ZELVAR|FRONTDESK"));
    }
    EXPECT_EQ(shows, 1);
}

// Catches the new-patient and empty-account checks letting a request through.
TEST_F(RecordTest, shouldRefuseNewAndMissingAccounts)
{
    display(QStringLiteral("99?"));
    display(QStringLiteral(" / \\ "));
    EXPECT_EQ(shows, 0);
    EXPECT_TRUE(server->requests().isEmpty());
    ASSERT_EQ(platform.boxes.size(), 2);
    EXPECT_EQ(platform.boxes[0].prompt, QStringLiteral("You must save New Patient information first."));
    EXPECT_EQ(platform.boxes[1].prompt, QStringLiteral("Account is not selected."));
    EXPECT_EQ(platform.boxes[1].title, utils->messageTitle);
}

// Catches a default style sheet downloaded, an alternative present downloaded again, and an
// alternative missing not downloaded before it is used.
TEST_F(RecordTest, shouldFindOrFetchTheStyleSheet)
{
    QFile::remove(shared.filePath(QStringLiteral("PR.xsl")));
    display(QStringLiteral("1234"));
    EXPECT_EQ(shows, 0);
    EXPECT_EQ(platform.boxes.value(0).prompt, QStringLiteral("Document ") + shared.path()
                                                  + QStringLiteral("/PR.xsl was not loaded.\r\nMake sure you have this "
                                                                   "file in your application folder."));
    EXPECT_FALSE(server->requests().join(QLatin1Char(' ')).contains(QLatin1String("|GET|FILE|")));

    writeSheet(QStringLiteral("ALT.xsl"), QStringLiteral("<xsl:template match=\"/\"><html><head></head><body>alt</body></html></xsl:template>"));
    server->answer(QStringLiteral("|GET|SYS|ALTPATRECORDDISPL|"), {QStringLiteral("ALTPATRECORDDISPL=ALT.xsl,")});
    display(QStringLiteral("1234"));
    EXPECT_EQ(shows, 1);
    EXPECT_FALSE(server->requests().join(QLatin1Char(' ')).contains(QLatin1String("|GET|FILE|")));

    server->answer(QStringLiteral("|GET|SYS|ALTPATRECORDDISPL|"), {QStringLiteral("ALTPATRECORDDISPL=NEW.xsl,")});
    server->answer(QStringLiteral("|GET|FILE|NEW.xsl|FORMS"),
                   {QStringLiteral("|OK||200"),
                    QStringLiteral("|OK||<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"),
                    QStringLiteral("|OK||<xsl:template match=\"/\"><html><head></head><body>fetched f\u00FCr M\u00FCller</body></html></xsl:template></xsl:stylesheet>|END|")});
    QString document;
    display(QStringLiteral("1234"), [&](frmBrowsePrint& w) { document = w.documentText(); });
    EXPECT_TRUE(server->requests().contains(QStringLiteral("|GET|FILE|NEW.xsl|FORMS")));
    // Letters outside ASCII arrive as they were sent (the file is written as it declares itself).
    EXPECT_TRUE(document.contains(QStringLiteral("fetched f\u00FCr M\u00FCller"))) << document.toStdString();
    // Into the user's own folder, never the installed one.
    EXPECT_TRUE(QFile::exists(userFolder() + QStringLiteral("/NEW.xsl")));
    EXPECT_FALSE(QFile::exists(shared.filePath(QStringLiteral("NEW.xsl"))));

    // The user's own copy of a name comes first.
    QFile own(userFolder() + QStringLiteral("/ALT.xsl"));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
              "<xsl:template match=\"/\"><html><head></head><body>own</body></html></xsl:template></xsl:stylesheet>");
    own.close();
    server->answer(QStringLiteral("|GET|SYS|ALTPATRECORDDISPL|"), {QStringLiteral("ALTPATRECORDDISPL=ALT.xsl,")});
    display(QStringLiteral("1234"), [&](frmBrowsePrint& w) { document = w.documentText(); });
    EXPECT_TRUE(document.contains(QLatin1String("own")));

    // A name that is not a plain file name is refused, never fetched.
    server->answer(QStringLiteral("|GET|SYS|ALTPATRECORDDISPL|"), {QStringLiteral("ALTPATRECORDDISPL=../x.xsl,")});
    server->clearCalls();
    platform.boxes.clear();
    display(QStringLiteral("1234"));
    EXPECT_TRUE(platform.boxes.value(0).prompt.contains(QLatin1String("was not loaded.")));
    EXPECT_FALSE(server->requests().join(QLatin1Char(' ')).contains(QLatin1String("|GET|FILE|")));
}

// Catches the document steps: the join, the base element replaced or inserted, and the
// entity references turned back in their order.
TEST_F(RecordTest, shouldBuildTheDocumentStepByStep)
{
    EXPECT_EQ(browseprint::joinRecordReplies({QStringLiteral("|OK||<a>"), QStringLiteral("|OK||x|OK||</a>"),
                                              QStringLiteral("|OK||<dropped/>|END|")}),
              QStringLiteral("<a>x</a>"));
    EXPECT_EQ(browseprint::insertBaseElement(QStringLiteral("<html><head><base href=\"old\"><title/></head>"), QStringLiteral("/f")),
              QStringLiteral("<html><head><base href=\"/f/\" /><title/></head>"));
    EXPECT_EQ(browseprint::insertBaseElement(QStringLiteral("<html><head></head>"), QStringLiteral("/f")),
              QStringLiteral("<html><head><base href=\"/f/\" /></head>"));
    EXPECT_THROW(browseprint::insertBaseElement(QStringLiteral("<p>no head</p>"), QStringLiteral("/f")), component::RuntimeError);
    EXPECT_EQ(browseprint::unescapeEntities(QStringLiteral("&amp;amp; &amp;lt;b&gt; &quot;&apos;")), QStringLiteral("&amp; <b> \"'"));

    // The whole way, with the default style sheet: the SSN shows only its last four digits.
    QString document;
    display(QStringLiteral("1234"), [&](frmBrowsePrint& w) { document = w.documentText(); });
    EXPECT_TRUE(document.contains(QLatin1String("Patient Record")));
    EXPECT_TRUE(document.contains(QStringLiteral("<base href=\"") + shared.path() + QStringLiteral("/\" />")));
    EXPECT_TRUE(document.contains(QLatin1String("***-**-6789")));
    EXPECT_FALSE(document.contains(QLatin1String("123456789")));
}

// Catches a document with no place for the base element being shown, or reported otherwise.
TEST_F(RecordTest, shouldReportARecordThatCannotBeShown)
{
    writeSheet(QStringLiteral("BARE.xsl"), QStringLiteral("<xsl:template match=\"/\"><p>no head</p></xsl:template>"));
    server->answer(QStringLiteral("|GET|SYS|ALTPATRECORDDISPL|"), {QStringLiteral("ALTPATRECORDDISPL=BARE.xsl,")});
    display(QStringLiteral("1234"));
    EXPECT_EQ(shows, 0);
    EXPECT_EQ(utils->reports, QStringList({QStringLiteral("Error loading frmBrowsePrint Invalid procedure call or argument")}));

    // A template that calls itself for ever is stopped, and reported, in good time.
    writeSheet(QStringLiteral("LOOP.xsl"), QStringLiteral("<xsl:template match=\"/\"><xsl:call-template name=\"again\"/></xsl:template>"
                                                          "<xsl:template name=\"again\"><xsl:call-template name=\"again\"/></xsl:template>"));
    server->answer(QStringLiteral("|GET|SYS|ALTPATRECORDDISPL|"), {QStringLiteral("ALTPATRECORDDISPL=LOOP.xsl,")});
    utils->reports.clear();
    QElapsedTimer timer;
    timer.start();
    display(QStringLiteral("1234"));
    EXPECT_LT(timer.elapsed(), 10000);
    ASSERT_EQ(utils->reports.size(), 1);
    EXPECT_TRUE(utils->reports[0].startsWith(QStringLiteral("Error loading frmBrowsePrint ")));

    server->fail(QStringLiteral("|GET|DEMOXML|"), host::ScriptedHostLink::Failure::NotAnswered);
    server->answer(QStringLiteral("|GET|SYS|ALTPATRECORDDISPL|"), {QStringLiteral("ALTPATRECORDDISPL=,")});
    display(QStringLiteral("1234"));
    EXPECT_EQ(platform.boxes.last().prompt, QStringLiteral("GetServerStringData failed in frmBrowsePrint.Init"));
}

// Catches the page setup not in place during the display, or not put back after it (a digits
// header as a number, a missing footer as an empty text), also when the display fails.
TEST_F(RecordTest, shouldPutTheUsersPageSetupBack)
{
    const QString key = browseprint::kPageSetupKey;
    SetRegValue(HKEY_CURRENT_USER, key, QStringLiteral("header"), QStringLiteral("12345"));
    QVariant during;
    QVariant duringFooter;
    display(QStringLiteral("12/3"), [&](frmBrowsePrint&) {
        during = QueryRegValue(HKEY_CURRENT_USER, key, QStringLiteral("header"));
        duringFooter = QueryRegValue(HKEY_CURRENT_USER, key, QStringLiteral("footer"));
    });
    EXPECT_EQ(during, QVariant(QStringLiteral("Patient Record &bAcc# 12,3")));
    EXPECT_EQ(duringFooter, QVariant(QStringLiteral("&d&bPage &p of &P")));
    EXPECT_EQ(QueryRegValue(HKEY_CURRENT_USER, key, QStringLiteral("header")), QVariant(qint32(12345)));
    const QVariant footer = QueryRegValue(HKEY_CURRENT_USER, key, QStringLiteral("footer"));
    EXPECT_EQ(footer, QVariant(QString()));
}

// Catches printer lines in another form, item data off by one, or no first selection.
TEST_F(RecordTest, shouldListThePrinters)
{
    class TwoPrinters : public RecordingUtils
    {
    public:
        std::optional<QList<PrinterEntry>> GetPrinters(bool, bool, bool, bool) override
        {
            return QList<PrinterEntry>{{QStringLiteral("Front"), QStringLiteral("Laser 5"), QStringLiteral("lpt1")},
                                       {QStringLiteral("Back"), QStringLiteral("Ink"), QStringLiteral("usb2")}};
        }
    };
    lookup.InitPatLookup(server, std::make_shared<TwoPrinters>());
    auto window = frmBrowsePrint::Load();
    ASSERT_EQ(window->cmbPrinters->count(), 2);
    EXPECT_EQ(window->cmbPrinters->itemText(0), QStringLiteral("Front       Laser 5      PORT: lpt1"));
    EXPECT_EQ(window->cmbPrinters->itemData(1).toInt(), 2);
    EXPECT_EQ(window->cmbPrinters->currentIndex(), 0);

    class NoPrinters : public RecordingUtils
    {
    public:
        std::optional<QList<PrinterEntry>> GetPrinters(bool, bool, bool, bool) override { return std::nullopt; }
    };
    lookup.InitPatLookup(server, std::make_shared<NoPrinters>());
    auto empty = frmBrowsePrint::Load();
    EXPECT_EQ(empty->cmbPrinters->count(), 0);
    EXPECT_EQ(empty->cmbPrinters->currentIndex(), -1);
}

// Catches pages printed without the record's header and footer: the first page of a printed
// record carries "Patient Record" and the account at the top and "Page 1 of N" at the bottom.
TEST_F(RecordTest, shouldPrintTheHeaderAndFooterOnEveryPage)
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    QTextDocument document;
    QString body = QStringLiteral("<h1>Patient Record</h1>");
    for (int i = 0; i < 120; ++i)
        body += QStringLiteral("<p>Visit line %1</p>").arg(i);
    document.setHtml(body);
    const QString pdf = shared.filePath(QStringLiteral("record.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    browseprint::printRecord(document, nullptr, printer, QStringLiteral("Patient Record &bAcc# 12,3"),
                             QStringLiteral("&d&bPage &p of &P"), QStringLiteral("Patient Record 12,3"), QString());

    QProcess tool;
    tool.start(pdftotext, {QStringLiteral("-layout"), QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                           QStringLiteral("1"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(tool.waitForFinished(20000));
    const QStringList lines = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines.first().contains(QLatin1String("Patient Record")));
    EXPECT_TRUE(lines.first().contains(QLatin1String("Acc# 12,3")));
    QString last = lines.last().trimmed();
    for (qsizetype i = lines.size() - 1; i >= 0 && last.isEmpty(); --i)
        last = lines[i].trimmed();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("Page 1 of [2-9]")).match(last).hasMatch()) << last.toStdString();
}

// Catches a record printed to a file on A4 in a practice that prints on Letter, and a file
// written where the clerk was never told: Print to a PDF under an American locale makes a
// Letter page and says where the file is.
TEST_F(RecordTest, shouldPrintOnTheLocalesPaperAndSayWhereTheFileWent)
{
    struct Locale { const char* name; QPageSize::PageSizeId paper; };
    for (const Locale& c : {Locale{"en_US.UTF-8", QPageSize::Letter}, Locale{"fr_CA.UTF-8", QPageSize::Letter},
                            Locale{"es_MX", QPageSize::Letter}, Locale{"en_GB.UTF-8", QPageSize::A4},
                            Locale{"de_DE.UTF-8@euro", QPageSize::A4}, Locale{"C.UTF-8", QPageSize::A4},
                            Locale{"POSIX", QPageSize::A4}})
        EXPECT_EQ(browseprint::localPaper(QString::fromLatin1(c.name)), c.paper) << c.name;

    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (pdfinfo.isEmpty())
        GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
    const QByteArray saved[] = {qgetenv("LC_ALL"), qgetenv("LC_PAPER")};
    qunsetenv("LC_ALL");
    qputenv("LC_PAPER", "en_US.UTF-8");
    const QString pdf = shared.filePath(QStringLiteral("record 1234.pdf"));
    ModalDriver printDialog(QStringLiteral("PrintDialog"), {[&](QWidget* w) {
                                auto* dialog = static_cast<QPrintDialog*>(w);
                                EXPECT_EQ(dialog->printer()->pageLayout().pageSize().id(), QPageSize::Letter);
                                if (auto* file = dialog->findChild<QLineEdit*>(QStringLiteral("filename")))
                                    file->setText(pdf);
                                dialog->printer()->setOutputFileName(pdf);
                                dialog->accept();
                            }});
    display(QStringLiteral("1234"), [](frmBrowsePrint& w) { w.cmdPrint->click(); });
    for (const char* variable : {"LC_ALL", "LC_PAPER"}) {
        const QByteArray& value = saved[variable[3] == 'A' ? 0 : 1];
        value.isNull() ? qunsetenv(variable) : qputenv(variable, value);
    }

    QProcess tool;
    tool.start(pdfinfo, {pdf});
    ASSERT_TRUE(tool.waitForFinished(20000));
    const QString info = QString::fromUtf8(tool.readAllStandardOutput());
    EXPECT_TRUE(info.contains(QLatin1String("612 x 792 pts (letter)"))) << info.toStdString();
    ASSERT_FALSE(platform.boxes.isEmpty());
    EXPECT_EQ(platform.boxes.last().prompt.toStdString(), "The record was saved as " + pdf.toStdString() + ".");
}

// Catches Enter on a focused button doing nothing (Preview opened only with Space), and
// controls of the record window that a screen reader cannot name.
TEST_F(RecordTest, shouldOpenThePreviewFromTheKeyboard)
{
    int previews = 0;
    ModalDriver preview(QStringLiteral("PrintPreviewDialog"), {[&](QWidget* w) {
                            ++previews;
                            w->hide();
                        }});
    display(QStringLiteral("1234"), [](frmBrowsePrint& w) {
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        EXPECT_EQ(controlsWithoutAccessibleName(&w), QStringList());
        for (int i = 0; i < 6 && QApplication::focusWidget() != w.cmdPreview; ++i)
            ASSERT_TRUE(keys::click(Qt::Key_Tab));
        ASSERT_EQ(QApplication::focusWidget(), w.cmdPreview);
        ASSERT_TRUE(keys::enter());
    });
    EXPECT_EQ(previews, 1);
}

// Catches a user who is not root unable to get an alternative style sheet: the download wrote
// into the installed folder, which is not theirs to write.
TEST_F(RecordTest, shouldFetchIntoTheUsersOwnFolderAsAUserWhoIsNotRoot)
{
    const uid_t nobody = 65534;
    if (::geteuid() == 0) {
        // The installed folder as a package leaves it; the user's folders theirs.
        ASSERT_EQ(::chmod(QFile::encodeName(shared.path()).constData(), 0755), 0);
        for (const QString& own : {userData.path(), config.path()})
            ASSERT_EQ(::chown(QFile::encodeName(own).constData(), nobody, nobody), 0);
    }
    server->answer(QStringLiteral("|GET|SYS|ALTPATRECORDDISPL|"), {QStringLiteral("ALTPATRECORDDISPL=NEW.xsl,")});
    server->answer(QStringLiteral("|GET|FILE|NEW.xsl|FORMS"),
                   {QStringLiteral("|OK||200"),
                    QStringLiteral("|OK||<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                                   "<xsl:template match=\"/\"><html><head></head><body>fetched</body></html></xsl:template>"
                                   "</xsl:stylesheet>|END|")});
    IN_OWN_PROCESS(60, {
        if (::geteuid() == 0) {
            const bool dropped = ::setgroups(0, nullptr) == 0 && ::setresgid(nobody, nobody, nobody) == 0
                && ::setresuid(nobody, nobody, nobody) == 0;
            EXPECT_TRUE(dropped) << "could not become nobody";
        }
        EXPECT_NE(::geteuid(), 0u);
        EXPECT_FALSE(QFile(shared.filePath(QStringLiteral("mine"))).open(QIODevice::WriteOnly));
        QString document;
        display(QStringLiteral("1234"), [&](frmBrowsePrint& w) { document = w.documentText(); });
        EXPECT_EQ(shows, 1);
        EXPECT_TRUE(document.contains(QLatin1String("fetched")));
        EXPECT_TRUE(QFileInfo(userFolder() + QStringLiteral("/NEW.xsl")).isFile());
        EXPECT_TRUE(utils->reports.isEmpty()) << utils->reports.join(QLatin1Char('\n')).toStdString();
    });
}

// Catches the user's own page header erased when the value store is busy in another process
// during a display (a read that timed out was taken for an empty header), and a display held
// for every busy call.
TEST_F(RecordTest, shouldKeepTheUsersPageSetupWhileTheStoreIsBusy)
{
    const QString key = browseprint::kPageSetupKey;
    SetRegValue(HKEY_CURRENT_USER, key, QStringLiteral("header"), QStringLiteral("my header"));
    SetRegValue(HKEY_CURRENT_USER, key, QStringLiteral("footer"), QStringLiteral("my footer"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(config.path() + QStringLiteral("/ZelvarPatLookup/registry.db")).constData(), &db);
        const bool held = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
        (void)!::write(ready[1], held ? "1" : "0", 1);
        ::pause();   // until it is killed
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, '1');

    QElapsedTimer timer;
    timer.start();
    display(QStringLiteral("77"));
    const qint64 waited = timer.elapsed();
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);

    EXPECT_EQ(shows, 1);
    EXPECT_LT(waited, 9000);   // one wait for the store, not one per value
    ASSERT_EQ(utils->reports.size(), 1) << utils->reports.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(utils->reports[0].contains(QLatin1String("busy")));
    EXPECT_EQ(QueryRegValue(HKEY_CURRENT_USER, key, QStringLiteral("header")), QVariant(QStringLiteral("my header")));
    EXPECT_EQ(QueryRegValue(HKEY_CURRENT_USER, key, QStringLiteral("footer")), QVariant(QStringLiteral("my footer")));
}
