// The tests' scripted server.
#include "host/scriptedhostlink.h"

#include <gtest/gtest.h>

using zelvar::host::ScriptedHostLink;

// Catches a prefix answer beating an exact one, a shorter prefix beating a longer one, or an
// unknown request answered.
TEST(ScriptedHostLink, shouldAnswerExactThenLongestPrefix)
{
    ScriptedHostLink link;
    link.answer(QStringLiteral("|GET|KEY|SMITH|Name|"), {QStringLiteral("exact")});
    link.answerPrefix(QStringLiteral("|GET|KEY|"), {QStringLiteral("short")});
    link.answerPrefix(QStringLiteral("|GET|KEY|SMITH"), {QStringLiteral("long")});

    QStringList replies;
    QString fourth;
    ASSERT_TRUE(link.GetServerStringData(QStringLiteral("|GET|KEY|SMITH|Name|"), replies, {}, fourth));
    EXPECT_EQ(replies, QStringList({QStringLiteral("exact")}));
    ASSERT_TRUE(link.GetServerStringData(QStringLiteral("|GET|KEY|SMITH|Name|K02"), replies, {}, fourth));
    EXPECT_EQ(replies, QStringList({QStringLiteral("long")}));
    ASSERT_TRUE(link.GetServerStringData(QStringLiteral("|GET|KEY|JONES|Name|"), replies, {}, fourth));
    EXPECT_EQ(replies, QStringList({QStringLiteral("short")}));
    EXPECT_FALSE(link.GetServerStringData(QStringLiteral("|GET|SYS|X|"), replies, {}, fourth));
    EXPECT_EQ(link.requests().size(), 4);
}

// Catches scripted failures that do not happen, or calls that go unrecorded when they fail.
TEST(ScriptedHostLink, shouldFailAsScriptedAndRecordEveryCall)
{
    ScriptedHostLink link;
    link.answerPrefix(QStringLiteral("|GET|"), {QStringLiteral("a"), QStringLiteral("b")});
    link.fail(QStringLiteral("|GET|SYS|"), ScriptedHostLink::Failure::NotAnswered);
    link.fail(QStringLiteral("|GET|FILE|"), ScriptedHostLink::Failure::Throw);

    QString reply;
    QString fourth;
    EXPECT_FALSE(link.GetServerString(QStringLiteral("|GET|SYS|X|"), reply, {}, fourth));
    QStringList replies;
    EXPECT_THROW(link.GetServerStringData(QStringLiteral("|GET|FILE|PR.xsl|FORMS"), replies, {}, fourth),
                 std::exception);
    ASSERT_TRUE(link.GetServerString(QStringLiteral("|GET|OTHER|"), reply, QStringLiteral("3rd"), fourth));
    EXPECT_EQ(reply, QStringLiteral("ab"));

    ASSERT_EQ(link.calls().size(), 3);
    EXPECT_EQ(link.calls()[0].operation, QStringLiteral("GetServerString"));
    EXPECT_EQ(link.calls()[1].operation, QStringLiteral("GetServerStringData"));
    EXPECT_EQ(link.calls()[2].third, QStringLiteral("3rd"));
}
