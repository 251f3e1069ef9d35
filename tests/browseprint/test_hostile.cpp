// What the server sends is not trusted: hostile record input, a server that throws at every
// call, and a record window whose process ended before it put the page setup back.
#include "componentfixture.h"
#include "modaldriver.h"

#include "browseprint/frmbrowseprint.h"
#include "browseprint/pagesetup.h"
#include "browseprint/sharedfiles.h"
#include "platform/xslt.h"
#include "services/download.h"
#include "services/syssetting.h"

#include <zelvar/registry.h>

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

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
    }

    void sheet(const QString& body, const QString& namespaces = {})
    {
        QFile file(shared.filePath(QStringLiteral("T.xsl")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
                    + namespaces + "><xsl:output method=\"html\"/>" + body + "</xsl:stylesheet>")
                       .toUtf8());
    }

    // Displays a record with this XML; returns the document shown (empty when none was).
    QString display(const QString& xml)
    {
        server->answerPrefix(QStringLiteral("|GET|DEMOXML|"), {QStringLiteral("|OK||") + xml, QStringLiteral("|END|")});
        QString document;
        ModalDriver driver(QStringLiteral("frmBrowsePrint"), {[&](QWidget* w) {
                               auto* b = static_cast<browseprint::frmBrowsePrint*>(w);
                               document = b->documentText();
                               b->cmdClose->click();
                           }});
        QElapsedTimer timer;
        timer.start();
        lookup.ShowDisplayPatientInfo(QStringLiteral("1234"));
        EXPECT_LT(timer.elapsed(), 10000);
        return document;
    }

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
