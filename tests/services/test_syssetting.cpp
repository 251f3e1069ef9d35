// Reading a system setting out of the server's reply.
#include "componentfixture.h"

#include "services/syssetting.h"

using namespace zelvar;
using namespace zelvar::test;

using SysSettingTest = ComponentFixture;

// Catches a value that stops at the key's own comma instead of the reply's last one, a "^"
// not cutting, a key matched without regard to case, and a reply without the key reported.
TEST_F(SysSettingTest, shouldReadTheValueAsTheRepliesHaveIt)
{
    const struct { const char* setting; const char* reply; const char* value; } cases[] = {
        {"ALTPATRECORDDISPL", "|OK||ALTPATRECORDDISPL=PR2.xsl,", "PR2.xsl"},
        {"ALTPATRECORDDISPL", "ALTPATRECORDDISPL=,", ""},
        {"ALTPATRECORDDISPL", "ALTPATRECORDDISPL=PR2.xsl^B,", "PR2.xsl"},
        {"ALTPATRECORDDISPL", "ALTPATRECORDDISPL=^B,", ""},
        {"A", "A=1,B=2,", "1,B=2"},
        {"DISPL", "ALTPATRECORDDISPL=x,", "x"},
        {"altpatrecorddispl", "ALTPATRECORDDISPL=x,", ""},
        {"OTHER", "ALTPATRECORDDISPL=x,", ""},
    };
    for (const auto& c : cases) {
        server->answer(QStringLiteral("|GET|SYS|%1|").arg(QString::fromLatin1(c.setting)), {QString::fromLatin1(c.reply)});
        EXPECT_EQ(services::GetSysSetting(QString::fromLatin1(c.setting)), QString::fromLatin1(c.value)) << c.reply;
    }
    EXPECT_TRUE(utils->reports.isEmpty());
    EXPECT_EQ(server->calls().last().operation, QStringLiteral("GetServerString"));
}

// Catches a missing comma not reported in the function's words, and a channel failure that
// reports twice or beeps twice.
TEST_F(SysSettingTest, shouldReportFailuresInItsOwnWords)
{
    server->answer(QStringLiteral("|GET|SYS|ALTPATRECORDDISPL|"), {QStringLiteral("ALTPATRECORDDISPL=PR2.xsl")});
    EXPECT_EQ(services::GetSysSetting(QStringLiteral("ALTPATRECORDDISPL")), QString());
    EXPECT_EQ(utils->reports, QStringList({QStringLiteral(" GetSysSetting ALTPATRECORDDISPL, Invalid procedure call or argument")}));

    utils->reports.clear();
    platform.beeps = 0;
    server->fail(QStringLiteral("|GET|SYS|"), host::ScriptedHostLink::Failure::NotAnswered);
    EXPECT_EQ(services::GetSysSetting(QStringLiteral("ALTPATRECORDDISPL")), QString());
    EXPECT_EQ(utils->reports, QStringList({QStringLiteral("Failed to get |GET|SYS|ALTPATRECORDDISPL|")}));
    EXPECT_EQ(platform.beeps, 1);
}
