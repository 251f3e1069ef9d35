// The patient lookup's search: the key chosen for each text and SearchBy, the request sent,
// refused texts, the single-hit answer, and the return strings.
#include "lookupfixture.h"

#include <QCloseEvent>
#include <QTest>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>

using namespace zelvar;
using namespace zelvar::test;

using SearchTest = LookupFixture;

// Catches a key chosen from the wrong rule, a text sent with its prefix or blanks, a request
// not upper-cased (or upper-cased for the medical record number), and the workflow marker.
TEST_F(SearchTest, shouldSendTheKeyChosenForEachTextAndSearchBy)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 3, {}));
    const struct { const char* text; const char* searchBy; const char* mode; const char* request; } cases[] = {
        {"smith", "", "", "|GET|KEY|SMITH|&PAT NAME|"},
        {"123/4", "", "", "|GET|KEY|123/4|&ACCT#|"},
        {" /55", "", "", "|GET|KEY| /55|&ACCT#|"},
        {"g= jones ", "", "", "|GET|KEY|JONES|&GUAR|"},
        {"x=5", "", "", "|GET|KEY|5|&PAT NAME|"},
        {"m=abc", "", "", "|GET|KEY|abc|&MR#|"},
        {"d=01/02/1990", "", "", "|GET|KEY|01/02/1990|&DOB|"},
        {"123", "guar", "", "|GET|KEY|123|&GUAR|"},
        {"smith", "&guar", "", "|GET|KEY|SMITH|&GUAR|"},
        {"smith", "guarantor", "", "|GET|KEY|SMITH|&PAT NAME|"},
        {"smith", "&Acct#", "", "|GET|KEY|SMITH|&ACCT#|"},
        {"123", "&pat name", "", "|GET|KEY|123|&PAT NAME|"},
        {"smith", "", "W", "|GET|KEY|SMITH|&PAT NAMEWRK|"},
        {"", "", "W", "|GET|KEY||&PAT NAMEWRK|"},
    };
    for (const auto& c : cases) {
        server->clearCalls();
        lookupWith(QString::fromLatin1(c.text), cancel, QString::fromLatin1(c.searchBy), false,
                   QString::fromLatin1(c.mode));
        ASSERT_FALSE(server->requests().isEmpty()) << c.text;
        EXPECT_EQ(server->requests().first(), QString::fromLatin1(c.request)) << c.text << " / " << c.searchBy;
    }
}

// Catches a refused text being searched, or the wrong message for each kind of refusal.
TEST_F(SearchTest, shouldRefuseIllegalTextsWithoutShowing)
{
    EXPECT_EQ(lookupWith(QStringLiteral("smi|th"), cancel), QStringLiteral("CANCEL"));
    EXPECT_EQ(lookupWith(QStringLiteral("caf\u00E9"), cancel), QStringLiteral("CANCEL"));
    EXPECT_EQ(shows, 0);
    EXPECT_TRUE(server->requests().isEmpty());
    ASSERT_EQ(utils->messages.size(), 2);
    EXPECT_EQ(utils->messages[0].title, QStringLiteral("Invalid Format"));
    EXPECT_EQ(utils->messages[0].text,
              QStringLiteral("Invalid characters.\r\nFollowing characters \r\n|\r\n are illegal in Lookups."));
    EXPECT_EQ(utils->messages[1].text, QStringLiteral("Invalid characters.\r\n\u00E9 is illegal in Lookups."));
}

// Catches the single-hit shortcut missing, showing the dialog anyway, or applying to a name
// search or to AlwaysShowLookup.
TEST_F(SearchTest, shouldAnswerASingleAccountWithoutShowing)
{
    server->answer(QStringLiteral("|GET|KEY|1234|&ACCT#|"),
                   {patientHeader(1), patientRow(QStringLiteral("1234"), {QStringLiteral("DOE,JANEAB0")}),
                    patientTrailer({})});
    EXPECT_EQ(lookupWith(QStringLiteral("1234"), cancel), QStringLiteral("1234\u00E7\u00E7DOE,JANE"));
    EXPECT_EQ(shows, 0);

    EXPECT_EQ(lookupWith(QStringLiteral("1234"), cancel, {}, true), QStringLiteral("CANCEL"));
    EXPECT_EQ(shows, 1);

    server->answer(QStringLiteral("|GET|KEY|DOE|&PAT NAME|"),
                   {patientHeader(1), patientRow(QStringLiteral("1234"), {QStringLiteral("DOE,JANEAB0")}),
                    patientTrailer({})});
    lookupWith(QStringLiteral("doe"), cancel);
    EXPECT_EQ(shows, 1);
}

// Catches wrong return strings for OK, a zero key, Cancel, the close box and New Account,
// and a configured delimiter not used.
TEST_F(SearchTest, shouldReturnWhatEachWayOutGives)
{
    QStringList reply = patientPage(1, 3, {});
    reply[2] = patientRow(QStringLiteral("0"), {QStringLiteral("No patients foundAB0"), QString()});
    server->answerPrefix(QStringLiteral("|GET|KEY|"), reply);

    EXPECT_EQ(lookupWith(QStringLiteral("patient"), [](Dialog& d) { d.cmdOK_Click(); }),
              QStringLiteral("1001\u00E7\u00E7PATIENT,1"));
    utils->settings().fieldDelimiter = QStringLiteral("|~");
    EXPECT_EQ(lookupWith(QStringLiteral("patient"), [](Dialog& d) {
                  d.grdPatient->SetCurrentCell(3, 1);
                  d.SyncCurrentRow();
                  d.cmdOK_Click();
              }),
              QStringLiteral("1003|~PATIENT,3"));
    EXPECT_EQ(lookupWith(QStringLiteral("patient"), [](Dialog& d) {
                  d.grdPatient->SetCurrentCell(2, 1);
                  d.SyncCurrentRow();
                  EXPECT_FALSE(d.cmdOK->isEnabled());
                  EXPECT_FALSE(d.cmdDisplay->isEnabled());
                  d.cmdOK_Click();
              }),
              QStringLiteral("CANCEL"));
    EXPECT_EQ(lookupWith(QStringLiteral("patient"), cancel), QStringLiteral("CANCEL"));
    EXPECT_EQ(lookupWith(QStringLiteral("patient"), [](Dialog& d) { closeBox(d); }),
              QStringLiteral("CANCEL"));
    EXPECT_EQ(lookupWith(QStringLiteral("patient"), [](Dialog& d) { d.cmdNewAcct->click(); }),
              QStringLiteral("NEWACCT"));
}

// Catches the close box unloading the dialog (it must only hide), and closing by code
// being taken for the close box.
TEST_F(SearchTest, shouldOnlyHideOnTheCloseBox)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 3, {}));
    lookupWith(QStringLiteral("patient"), [](Dialog& d) {
        QCloseEvent byCode;
        QApplication::sendEvent(&d, &byCode);
        EXPECT_TRUE(byCode.isAccepted());
        EXPECT_EQ(d.GetReturnValue(), QString());
        d.show();
        closeBox(d);
        EXPECT_EQ(d.GetReturnValue(), QStringLiteral("CANCEL"));
        EXPECT_FALSE(d.isVisible());
    });
}

// Catches a search started while another runs, texts re-keyed wrongly by the Search button,
// and the focus after a search.
TEST_F(SearchTest, shouldSearchAgainFromTheSearchButton)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 3, {}));
    server->answer(QStringLiteral("|GET|KEY|NOBODY|&PAT NAME|"),
                   {patientHeader(1), patientRow(QStringLiteral("0"), {QStringLiteral("No patients foundAB0")}),
                    patientTrailer({})});
    lookupWith(QStringLiteral("smith"), [this](Dialog& d) {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
        d.txtSearch->setText(QStringLiteral("123/4"));
        d.cmdSearch_Click();
        EXPECT_EQ(server->requests().last(), QStringLiteral("|GET|KEY|123/4|&ACCT#|"));
        EXPECT_TRUE(d.grdPatient->hasFocus());
        d.txtSearch->setText(QStringLiteral("s=123456789"));
        d.cmdSearch_Click();
        EXPECT_EQ(server->requests().last(), QStringLiteral("|GET|KEY|123456789|&SS#|"));
        EXPECT_EQ(d.txtSearch->text(), QStringLiteral("123456789"));
        // The SS# key stays chosen; a prefix goes back to names.
        d.txtSearch->setText(QStringLiteral("p=nobody"));
        d.cmdSearch_Click();
        EXPECT_TRUE(d.txtSearch->hasFocus());
        EXPECT_EQ(d.txtSearch->selectedText(), QStringLiteral("nobody"));
        d.cmdCancel_Click();
    });
}
