// The reference utilities object: the splitting the reply readers rely on, colours, reports.
#include "host/standardutils.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelvar;
using zelvar::host::StandardUtils;

// Catches pieces counted from 0, a missing last or empty piece, an out-of-range index that
// answers something, and a split that reuses the caller's list but leaves old pieces behind.
TEST(StandardUtils, shouldSplitAsTheReadersExpect)
{
    StandardUtils utils;
    const QString tab = QStringLiteral("\t");
    const QString text = QStringLiteral("a\t\tc\t");

    EXPECT_EQ(utils.CountPieces(text, tab), 3);
    EXPECT_EQ(utils.CountPieces(QString(), tab), 0);
    EXPECT_EQ(utils.CountPieces(QStringLiteral("a|b||c"), QStringLiteral("||")), 1);

    const struct { qint16 index; const char* piece; } pieces[] = {
        {1, "a"}, {2, ""}, {3, "c"}, {4, ""}, {5, ""}, {0, ""}, {-1, ""},
    };
    for (const auto& p : pieces)
        EXPECT_EQ(utils.GetPiece(text, tab, p.index), QString::fromLatin1(p.piece)) << p.index;
    EXPECT_EQ(utils.GetPiece(QStringLiteral("|GR|001|x"), QStringLiteral("|"), 3), QStringLiteral("001"));

    QStringList out;
    bool success = false;
    utils.StrToArr(text, tab, out, success);
    EXPECT_TRUE(success);
    EXPECT_EQ(out, QStringList({QStringLiteral("a"), QString(), QStringLiteral("c"), QString()}));
    EXPECT_EQ(out.size(), utils.CountPieces(text, tab) + 1);

    utils.StrToArr(text, QString(), out, success);
    EXPECT_FALSE(success);

    // The list is written over, not appended to: a longer list shrinks, strings it shares with
    // a copy leave the copy alone, and a text that is one of the pieces splits whole.
    QStringList reused{QStringLiteral("old1"), QStringLiteral("old2"), QStringLiteral("old3"),
                       QStringLiteral("old4"), QStringLiteral("old5")};
    const QStringList copy = reused;
    utils.StrToArr(QStringLiteral("x	yy"), tab, reused, success);
    EXPECT_EQ(reused, QStringList({QStringLiteral("x"), QStringLiteral("yy")}));
    EXPECT_EQ(copy.at(0), QStringLiteral("old1"));
    reused = {QStringLiteral("p	q	r")};
    utils.StrToArr(reused.at(0), tab, reused, success);
    EXPECT_EQ(reused, QStringList({QStringLiteral("p"), QStringLiteral("q"), QStringLiteral("r")}));
}

// Catches a table whose letters are shifted (entry 1 must be "A") or whose entries are not
// decimal colour texts.
TEST(StandardUtils, shouldOfferTwentySixColoursFromEntryOne)
{
    StandardUtils utils;
    const QStringList table = utils.ColorTable();
    ASSERT_EQ(table.size(), 27);
    EXPECT_TRUE(table[0].isEmpty());
    EXPECT_EQ(table[1], QStringLiteral("16777215"));   // A white
    EXPECT_EQ(table[2], QStringLiteral("0"));          // B black
    for (int i = 1; i <= 26; ++i) {
        bool ok = false;
        table[i].toUInt(&ok);
        EXPECT_TRUE(ok) << i;
    }
}

// Catches reports that never reach the log file, or a log placed outside the state folder.
TEST(StandardUtils, shouldLogReportsUnderTheStateFolder)
{
    QTemporaryDir state;
    ASSERT_TRUE(state.isValid());
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", state.path().toUtf8());

    StandardUtils utils;
    utils.ReportError(QStringLiteral("Error in MiscLookup boom"));
    QFile log(state.path() + QStringLiteral("/ZelvarPatLookup/errors.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("Error in MiscLookup boom"));

    qputenv("XDG_STATE_HOME", saved);
}

