// The dialog from the keyboard and the wheel: Enter, the Down arrow, Tab, type-ahead, the
// Enter flag, double clicks, top-row growth and fetching, and the wheel hook.
#include "lookupfixture.h"

#include "services/windowhook.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTest>
#include <QWheelEvent>

using namespace zelvar;
using namespace zelvar::test;

namespace {

void activate(QWidget& window)
{
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
}

void wheel(QWidget* target, int delta)
{
    // As the window system sends it: spontaneous, so that it travels up to the dialog.
    QWheelEvent event(QPointF(10, 10), target->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(target, &event);
}

} // namespace

class KeysTest : public LookupFixture
{
protected:
    void SetUp() override
    {
        LookupFixture::SetUp();
        server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 50, QStringLiteral("P02")));
        for (int page = 2; page <= 5; ++page) {
            server->answerPrefix(QStringLiteral("|GET|KEY|SMITH|&PAT NAME|P%1").arg(page, 2, 10, QLatin1Char('0')),
                                 patientPage((page - 1) * 50 + 1, 50,
                                             page == 5 ? QStringLiteral("--")
                                                       : QStringLiteral("P%1").arg(page + 1, 2, 10, QLatin1Char('0'))));
        }
    }
};

// Catches Enter with a modifier searching, Enter adding a character, or plain Enter not
// searching.
TEST_F(KeysTest, shouldSearchOnPlainEnterOnly)
{
    lookupWith(QStringLiteral("smith"), [this](Dialog& d) {
        activate(d);
        d.txtSearch->setFocus();
        d.txtSearch->setText(QStringLiteral("jones"));
        const int before = int(server->requests().size());
        QTest::keyClick(d.txtSearch, Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClick(d.txtSearch, Qt::Key_Return, Qt::ShiftModifier);
        EXPECT_EQ(server->requests().size(), before);
        QTest::keyClick(d.txtSearch, Qt::Key_Return);
        EXPECT_EQ(server->requests().size(), before + 1);
        EXPECT_EQ(server->requests().last(), QStringLiteral("|GET|KEY|JONES|&PAT NAME|"));
        EXPECT_EQ(d.txtSearch->text(), QStringLiteral("jones"));
        d.cmdCancel_Click();
    });
}

// Catches the Down arrow not moving to the grid with rows, moving with none, or the Alt
// rule read the wrong way round.
TEST_F(KeysTest, shouldMoveDownIntoTheGridOnlyWithRows)
{
    lookupWith(QStringLiteral("smith"), [](Dialog& d) {
        activate(d);
        d.txtSearch->setFocus();
        QTest::keyClick(d.txtSearch, Qt::Key_Down, Qt::AltModifier);
        EXPECT_TRUE(d.txtSearch->hasFocus());
        QTest::keyClick(d.txtSearch, Qt::Key_Down, Qt::AltModifier | Qt::ShiftModifier);
        EXPECT_TRUE(d.grdPatient->hasFocus());
        d.txtSearch->setFocus();
        QTest::keyClick(d.txtSearch, Qt::Key_Down);
        EXPECT_TRUE(d.grdPatient->hasFocus());
        d.cmdCancel_Click();
    });
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 0, {}));
    lookupWith(QStringLiteral("nobody"), [](Dialog& d) {
        activate(d);
        d.txtSearch->setFocus();
        QTest::keyClick(d.txtSearch, Qt::Key_Down);
        EXPECT_TRUE(d.txtSearch->hasFocus());
        d.cmdCancel_Click();
    });
}

// Catches Tab going to a hidden or disabled button, Shift+Tab not going back, and type-ahead
// that keeps the old text, the wrong case, or ignores the utilities' blockers.
TEST_F(KeysTest, shouldTabOutAndTypeAheadFromTheGrid)
{
    lookupWith(QStringLiteral("smith"), [this](Dialog& d) {
        activate(d);
        d.grdPatient->setFocus();
        QTest::keyClick(d.grdPatient, Qt::Key_Tab);
        EXPECT_TRUE(d.cmdDisplay->hasFocus());
        d.cmdDisplay->setEnabled(false);
        d.grdPatient->setFocus();
        QTest::keyClick(d.grdPatient, Qt::Key_Tab);
        EXPECT_TRUE(d.cmdOK->hasFocus());
        d.grdPatient->setFocus();
        QTest::keyClick(d.grdPatient, Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_TRUE(d.txtSearch->hasFocus());

        d.grdPatient->setFocus();
        QTest::keyClick(d.grdPatient, Qt::Key_K, Qt::ShiftModifier);
        EXPECT_TRUE(d.txtSearch->hasFocus());
        EXPECT_EQ(d.txtSearch->text(), QStringLiteral("k"));
        EXPECT_EQ(d.txtSearch->cursorPosition(), 1);

        utils->inputFlagB = true;
        d.grdPatient->setFocus();
        QTest::keyClick(d.grdPatient, Qt::Key_J);
        EXPECT_TRUE(d.grdPatient->hasFocus());
        EXPECT_EQ(d.txtSearch->text(), QStringLiteral("k"));
        d.cmdCancel_Click();
    });
}

// Catches a row chosen on the press, chosen twice by auto-repeat, chosen by an Enter that
// was pressed elsewhere, or a zero key chosen instead of a beep.
TEST_F(KeysTest, shouldChooseOnceOnTheEnterRelease)
{
    const QString result = lookupWith(QStringLiteral("smith"), [this](Dialog& d) {
        activate(d);
        d.grdPatient->setFocus();
        // Released over the grid without a press there: nothing.
        QTest::keyRelease(d.grdPatient, Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
        QTest::keyPress(d.grdPatient, Qt::Key_Return);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(d.grdPatient, &repeat);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(platform.beeps, 0);
        QTest::keyRelease(d.grdPatient, Qt::Key_Return);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(result, QStringLiteral("1001\u00E7\u00E7PATIENT,1"));
}

// Catches a double click on the heading row choosing, and one on a zero key closing.
TEST_F(KeysTest, shouldChooseByDoubleClickButNotOnTheHeadings)
{
    QStringList reply = patientPage(1, 3, {});
    reply[2] = patientRow(QStringLiteral("0"), {QStringLiteral("No matchAB0"), QString()});
    server->answerPrefix(QStringLiteral("|GET|KEY|"), reply);
    const QString result = lookupWith(QStringLiteral("smith"), [this](Dialog& d) {
        d.grdPatient_OnLButtonDblClkRowCol(0, 1, 0);
        EXPECT_TRUE(d.isVisible());
        d.grdPatient_OnLButtonDblClkRowCol(2, 1, 0);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(platform.beeps, 1);
        d.grdPatient_OnLButtonDblClkRowCol(3, 1, 0);
    });
    EXPECT_EQ(result, QStringLiteral("1003\u00E7\u00E7PATIENT,3"));
}

// Catches rows not added as the top row passes its highest point, added again on the way
// back, and pages not fetched ahead of the user.
TEST_F(KeysTest, shouldGrowTheGridAndFetchAheadAsTheTopRowMoves)
{
    lookupWith(QStringLiteral("smith"), [this](Dialog& d) {
        EXPECT_EQ(d.grdPatient->RowCount(), 200);
        const auto tick = [&] { return QTest::qWaitFor([&] { return !d.tmrRefresh->isActive(); }); };
        d.grdPatient->SetTopRow(2);
        EXPECT_EQ(d.grdPatient->RowCount(), 202);   // 0 -> 2
        EXPECT_TRUE(tick());                        // the refresh timer's tick
        EXPECT_EQ(d.results().RowsLoaded, 50);      // 2 + 48 does not pass the 50 loaded
        d.grdPatient->SetTopRow(3);
        EXPECT_TRUE(tick());
        EXPECT_EQ(d.results().RowsLoaded, 100);     // 3 + 48 does
        d.grdPatient->SetTopRow(5);
        EXPECT_EQ(d.grdPatient->RowCount(), 205);   // from 2 to 5: 3 more (1 of them at 3)
        EXPECT_EQ(d.highestTopRow(), 5);
        d.grdPatient->SetTopRow(3);
        d.grdPatient->SetTopRow(5);
        EXPECT_EQ(d.grdPatient->RowCount(), 205);
        EXPECT_EQ(server->requests().size(), 2);
        d.cmdCancel_Click();
    });
}

// Catches wheel events scrolling by their distance instead of one row each, and a second
// dialog taking the hook from the first.
TEST_F(KeysTest, shouldScrollOneRowPerWheelEventAndHookOneDialog)
{
    lookupWith(QStringLiteral("smith"), [](Dialog& d) {
        EXPECT_EQ(services::hookedLookupWindow(), &d);
        std::unique_ptr<Dialog> second = Dialog::Load();
        EXPECT_EQ(services::hookedLookupWindow(), &d);
        second.reset();

        wheel(d.grdPatient->viewport(), -120);
        EXPECT_EQ(d.grdPatient->TopRow(), 2);
        for (int i = 0; i < 4; ++i)
            wheel(d.grdPatient->viewport(), -15);   // a fine-grained wheel: a row per event
        EXPECT_EQ(d.grdPatient->TopRow(), 6);
        wheel(d.grdPatient->viewport(), 360);
        EXPECT_EQ(d.grdPatient->TopRow(), 5);
        d.cmdCancel_Click();
    });
    EXPECT_EQ(services::hookedLookupWindow(), nullptr);
}

// Catches a lookup that cannot be done from the keyboard alone: find a patient on the third
// page and return it using keys only.
TEST_F(KeysTest, shouldFindAPatientOnTheThirdPageWithKeysOnly)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 0, {}));
    server->answer(QStringLiteral("|GET|KEY|SMITH|&PAT NAME|"), patientPage(1, 50, QStringLiteral("P02")));
    const QString result = lookupWith(QStringLiteral(""), [](Dialog& d) {
        activate(d);
        d.txtSearch->setFocus();
        QTest::keyClicks(d.txtSearch, QStringLiteral("smith"));
        QTest::keyClick(d.txtSearch, Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);   // the grid already has it
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(d.grdPatient, Qt::Key_PageDown);
        // The dialog takes the new current row at the refresh timer's tick.
        const auto settle = [&] { return QTest::qWaitFor([&] { return !d.tmrRefresh->isActive(); }); };
        ASSERT_TRUE(settle());
        while (d.currentRow() < 123) {
            QTest::keyClick(d.grdPatient, Qt::Key_Down);
            ASSERT_TRUE(settle());
        }
        while (d.currentRow() > 123) {
            QTest::keyClick(d.grdPatient, Qt::Key_Up);
            ASSERT_TRUE(settle());
        }
        EXPECT_GE(d.results().RowsLoaded, 150);
        QTest::keyPress(d.grdPatient, Qt::Key_Return);
        QTest::keyRelease(d.grdPatient, Qt::Key_Return);
    });
    EXPECT_EQ(result, QStringLiteral("1123\u00E7\u00E7PATIENT,123"));
    EXPECT_TRUE(utils->reports.isEmpty()) << utils->reports.join(QLatin1Char('\n')).toStdString();
}
