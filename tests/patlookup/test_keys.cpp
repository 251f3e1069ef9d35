// The dialog from the keyboard and the wheel: Enter, the Down arrow, Tab, type-ahead, the
// Enter flag, double clicks, top-row growth and fetching, and the wheel hook.
#include "focuskeys.h"
#include "lookupfixture.h"

#include "browseprint/sharedfiles.h"
#include "services/windowhook.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QTest>
#include <QWheelEvent>

using namespace zelvar;
using namespace zelvar::test;

namespace {

void wheel(QWidget* target, int delta, Qt::Orientation orientation = Qt::Vertical)
{
    // As the window system sends it: spontaneous, to the widget under the pointer.
    const QPoint angle = orientation == Qt::Vertical ? QPoint(0, delta) : QPoint(delta, 0);
    QWheelEvent event(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(), angle,
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
        ASSERT_TRUE(keys::click(Qt::Key_Return, Qt::ControlModifier));
        ASSERT_TRUE(keys::click(Qt::Key_Return, Qt::ShiftModifier));
        EXPECT_EQ(server->requests().size(), before);
        ASSERT_TRUE(keys::click(Qt::Key_Return));
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
        ASSERT_TRUE(keys::click(Qt::Key_Down, Qt::AltModifier));
        EXPECT_TRUE(d.txtSearch->hasFocus());
        ASSERT_TRUE(keys::click(Qt::Key_Down, Qt::AltModifier | Qt::ShiftModifier));
        EXPECT_TRUE(d.grdPatient->hasFocus());
        d.txtSearch->setFocus();
        ASSERT_TRUE(keys::click(Qt::Key_Down));
        EXPECT_TRUE(d.grdPatient->hasFocus());
        d.cmdCancel_Click();
    });
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 0, {}));
    lookupWith(QStringLiteral("nobody"), [](Dialog& d) {
        activate(d);
        d.txtSearch->setFocus();
        ASSERT_TRUE(keys::click(Qt::Key_Down));
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
        ASSERT_TRUE(keys::click(Qt::Key_Tab));
        EXPECT_TRUE(d.cmdDisplay->hasFocus());
        d.cmdDisplay->setEnabled(false);
        d.grdPatient->setFocus();
        ASSERT_TRUE(keys::click(Qt::Key_Tab));
        EXPECT_TRUE(d.cmdOK->hasFocus());
        d.grdPatient->setFocus();
        ASSERT_TRUE(keys::click(Qt::Key_Backtab, Qt::ShiftModifier));
        EXPECT_TRUE(d.txtSearch->hasFocus());

        d.grdPatient->setFocus();
        ASSERT_TRUE(keys::click(Qt::Key_K, Qt::ShiftModifier));
        EXPECT_TRUE(d.txtSearch->hasFocus());
        EXPECT_EQ(d.txtSearch->text(), QStringLiteral("k"));
        EXPECT_EQ(d.txtSearch->cursorPosition(), 1);

        utils->inputFlagB = true;
        d.grdPatient->setFocus();
        ASSERT_TRUE(keys::click(Qt::Key_J));
        EXPECT_TRUE(d.grdPatient->hasFocus());
        EXPECT_EQ(d.txtSearch->text(), QStringLiteral("k"));
        d.cmdCancel_Click();
    });
}

// Catches a row chosen on the press, chosen twice by auto-repeat, chosen by an Enter that
// was pressed elsewhere, a zero key chosen instead of a beep, or the row left chosen by an
// Enter that follows the arrow at once.
TEST_F(KeysTest, shouldChooseOnceOnTheEnterRelease)
{
    const QString result = lookupWith(QStringLiteral("smith"), [this](Dialog& d) {
        activate(d);
        d.grdPatient->setFocus();
        // Released over the grid without a press there: nothing.
        ASSERT_TRUE(keys::release(Qt::Key_Return));
        EXPECT_TRUE(d.isVisible());
        ASSERT_TRUE(keys::press(Qt::Key_Return));
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(d.grdPatient, &repeat);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(platform.beeps, 0);
        ASSERT_TRUE(keys::release(Qt::Key_Return));
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(result, QStringLiteral("1001\u00E7\u00E7PATIENT,1"));

    // Enter straight after the arrows, before the grid's refresh: the row moved to, not the
    // one left.
    const QString quick = lookupWith(QStringLiteral("smith"), [this](Dialog& d) {
        activate(d);
        d.grdPatient->setFocus();
        ASSERT_TRUE(keys::click(Qt::Key_Down));
        ASSERT_TRUE(keys::click(Qt::Key_Down));
        ASSERT_TRUE(keys::enter());
    });
    EXPECT_EQ(quick, QStringLiteral("1003\u00E7\u00E7PATIENT,3"));
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
        // Over the grid's own scroll bar too, and a tilt of the wheel moves no row.
        wheel(d.grdPatient->verticalScrollBar(), -120);
        EXPECT_EQ(d.grdPatient->TopRow(), 6);
        wheel(d.grdPatient->viewport(), -120, Qt::Horizontal);
        wheel(d.grdPatient->horizontalScrollBar(), -120, Qt::Horizontal);
        EXPECT_EQ(d.grdPatient->TopRow(), 6);
        d.cmdCancel_Click();
    });
    EXPECT_EQ(services::hookedLookupWindow(), nullptr);
}

// Catches the focus left on Display once the record window it opened has closed: the lookup
// is active again, as after any window it opened, and the next key goes to the rows.
TEST_F(KeysTest, shouldActivateTheLookupAgainWhenTheRecordCloses)
{
    ModalDriver record(QStringLiteral("frmBrowsePrint"), {[](QWidget* w) {
                           activate(*w);
                           EXPECT_TRUE(keys::click(Qt::Key_Escape));
                       }});
    server->answerPrefix(QStringLiteral("|GET|SYS|"), {QStringLiteral("|OK||ALTPATRECORDDISPL=,")});
    server->answerPrefix(QStringLiteral("|GET|DEMOXML|"),
                         {QStringLiteral("|OK||<PatientRecord><Patient/></PatientRecord>"), QStringLiteral("|END|")});
    browseprint::setSharedFilesFolderForTesting(QStringLiteral(ZELVAR_DATA_DIR));
    const QString chosen = lookupWith(QStringLiteral("smith"), [&](Dialog& d) {
        activate(d);
        d.cmdDisplay->setFocus();
        ASSERT_TRUE(keys::click(Qt::Key_Return));
        EXPECT_EQ(record.shows, 1) << utils->reports.join(QLatin1Char('\n')).toStdString();
        activate(d);   // as the window system does when the record window goes
        EXPECT_EQ(QApplication::focusWidget(), d.grdPatient);
        ASSERT_TRUE(keys::enter());
    });
    browseprint::setSharedFilesFolderForTesting({});
    EXPECT_TRUE(chosen.startsWith(QStringLiteral("1001"))) << chosen.toStdString();
}

// Catches the wheel scrolling nothing over the rows in debug mode, where no hook is installed
// and the grid is left to scroll by itself.
TEST_F(KeysTest, shouldLeaveTheWheelToTheGridInDebugMode)
{
    qputenv("ZELVAR_DEBUG", "1");
    lookupWith(QStringLiteral("smith"), [](Dialog& d) {
        EXPECT_EQ(services::hookedLookupWindow(), nullptr);
        wheel(d.grdPatient->viewport(), -120);
        EXPECT_GT(d.grdPatient->TopRow(), 1);
        d.cmdCancel_Click();
    });
    qunsetenv("ZELVAR_DEBUG");
}

// Keyboard-only scenarios: every key goes where the focus is, and a key with no widget to go
// to fails the test.
class KeyScenarioTest : public LookupFixture
{
protected:
    static constexpr int kPages = 12;

    void SetUp() override
    {
        LookupFixture::SetUp();
        // SMITH: twelve pages of fifty; anything else finds nobody.
        server->setResponder([](const QString& request) -> std::optional<QStringList> {
            const QString first = QStringLiteral("|GET|KEY|SMITH|&PAT NAME|");
            if (!request.startsWith(first))
                return request.startsWith(QStringLiteral("|GET|KEY|")) ? patientPage(1, 0, {}) : std::optional<QStringList>();
            const QString key = request.mid(first.size());
            const int page = key.isEmpty() ? 1 : key.mid(1).toInt();
            const QString next = page == kPages ? QStringLiteral("--") : QStringLiteral("P%1").arg(page + 1, 2, 10, QLatin1Char('0'));
            return patientPage((page - 1) * 50 + 1, 50, next);
        });
    }

    // What the user's event loop does between two keys: the refresh timer ticks.
    static bool settle(Dialog& d)
    {
        return QTest::qWaitFor([&] { return !d.tmrRefresh->isActive(); });
    }

    static int highlightedRow(Dialog& d)
    {
        platform::GridValue row = d.grdPatient->NewHolder();
        platform::GridValue column = d.grdPatient->NewHolder();
        d.grdPatient->GetCurrentCell(row, column);
        return row.Value.toInt();
    }

    static QString answerFor(int row) { return QStringLiteral("%1\u00E7\u00E7PATIENT,%2").arg(1000 + row).arg(row); }
};

// Catches the focus lost after a fetched page (every later key goes nowhere) and Enter
// returning the row the dialog last synced instead of the highlighted one.
TEST_F(KeyScenarioTest, shouldReturnTheHighlightedRowAfterPagingThroughFetchedPages)
{
    int highlighted = 0;
    const QString result = lookupWith(QString(), [&](Dialog& d) {
        activate(d);
        ASSERT_TRUE(keys::type(QStringLiteral("smith")));
        ASSERT_TRUE(keys::click(Qt::Key_Return));
        ASSERT_TRUE(keys::click(Qt::Key_Down));
        ASSERT_TRUE(settle(d));
        // Through at least four fetched pages, each key straight after the last, until the
        // refresh timer's tick (not the key itself) has fetched a page.
        bool tickFetched = false;
        for (int i = 0; i < 80 && !(tickFetched && d.results().RowsLoaded >= 250); ++i) {
            ASSERT_TRUE(keys::click(Qt::Key_PageDown));
            const auto sent = server->requests().size();
            ASSERT_TRUE(settle(d));
            tickFetched = server->requests().size() > sent;
        }
        ASSERT_TRUE(tickFetched);
        ASSERT_GE(d.results().RowsLoaded, 250);
        highlighted = highlightedRow(d);
        ASSERT_TRUE(keys::enter());
    });
    EXPECT_GT(highlighted, 150);
    EXPECT_EQ(result, answerFor(highlighted));
    EXPECT_TRUE(utils->reports.isEmpty()) << utils->reports.join(QLatin1Char('\n')).toStdString();
}

// Catches the focus lost after a search that finds nothing or is not answered, and an
// unanswered search sent again by the refresh timer (the same request: its continuation key
// is empty) while the user waits.
TEST_F(KeyScenarioTest, shouldKeepTheSearchBoxAfterASearchThatBringsNoRows)
{
    lookupWith(QStringLiteral("smith"), [&](Dialog& d) {
        activate(d);
        ASSERT_EQ(QApplication::focusWidget(), d.grdPatient);
        ASSERT_TRUE(keys::click(Qt::Key_Down));
        ASSERT_TRUE(settle(d));
        // Typing in the grid starts a new search text.
        ASSERT_TRUE(keys::type(QStringLiteral("nobody")));
        ASSERT_TRUE(keys::click(Qt::Key_Return));
        EXPECT_EQ(platform.beeps, 1);
        ASSERT_TRUE(keys::type(QStringLiteral("x")));
        EXPECT_EQ(d.txtSearch->text(), QStringLiteral("nobodyx"));

        server->clearCalls();
        server->fail(QStringLiteral("|GET|KEY|"), host::ScriptedHostLink::Failure::NotAnswered);
        d.txtSearch->setText(QStringLiteral("smith"));
        ASSERT_TRUE(keys::click(Qt::Key_Return));
        QTest::qWait(20);
        EXPECT_EQ(server->requests().size(), 1);
        ASSERT_TRUE(keys::type(QStringLiteral("y")));
        EXPECT_EQ(d.txtSearch->text(), QStringLiteral("smithy"));
        ASSERT_TRUE(keys::click(Qt::Key_Escape));
    });
}

// Catches the grid left without the focus after a further page that is not answered, and
// the same page asked for again and again within one move.
TEST_F(KeyScenarioTest, shouldGoOnPagingAfterAnUnansweredFurtherPage)
{
    server->fail(QStringLiteral("|GET|KEY|SMITH|&PAT NAME|P02"), host::ScriptedHostLink::Failure::NotAnswered);
    lookupWith(QStringLiteral("smith"), [&](Dialog& d) {
        activate(d);
        ASSERT_TRUE(keys::click(Qt::Key_Down));
        for (int i = 0; i < 30 && server->requests().size() < 2; ++i) {
            ASSERT_TRUE(keys::click(Qt::Key_PageDown));
            ASSERT_TRUE(settle(d));
        }
        ASSERT_EQ(server->requests().size(), 2);
        const int before = highlightedRow(d);
        server->clearFailures();
        ASSERT_TRUE(keys::click(Qt::Key_PageDown));
        ASSERT_TRUE(settle(d));
        EXPECT_GT(highlightedRow(d), before);
        EXPECT_GE(d.results().RowsLoaded, 100);
        ASSERT_TRUE(keys::click(Qt::Key_Escape));
    });
}

// Catches Enter on a focused button doing nothing (only Space pressed it).
TEST_F(KeyScenarioTest, shouldPressTheFocusedButtonOnEnter)
{
    const struct { const char* button; const char* answer; } cases[] = {
        {"cmdOK", "1001\u00E7\u00E7PATIENT,1"},
        {"cmdCancel", "CANCEL"},
        {"cmdNewAcct", "NEWACCT"},
    };
    for (const auto& c : cases) {
        const QString result = lookupWith(QStringLiteral("smith"), [&](Dialog& d) {
            activate(d);
            d.findChild<QPushButton*>(QString::fromLatin1(c.button))->setFocus();
            ASSERT_TRUE(keys::enter());
        });
        EXPECT_EQ(result, QString::fromUtf8(c.answer)) << c.button;
    }

    lookupWith(QStringLiteral("smith"), [&](Dialog& d) {
        activate(d);
        server->clearCalls();
        d.cmdSearch->setFocus();
        ASSERT_TRUE(keys::enter());
        EXPECT_EQ(server->requests(), QStringList{QStringLiteral("|GET|KEY|SMITH|&PAT NAME|")});
        ASSERT_TRUE(keys::click(Qt::Key_Escape));
    });

    // Display opens the record of the row; its window is closed by Escape.
    ModalDriver record(QStringLiteral("frmBrowsePrint"), {[](QWidget* w) { w->hide(); }});
    server->answerPrefix(QStringLiteral("|GET|SYS|"), {QStringLiteral("|OK||ALTPATRECORDDISPL=,")});
    lookupWith(QStringLiteral("smith"), [&](Dialog& d) {
        activate(d);
        server->clearCalls();
        d.cmdDisplay->setFocus();
        ASSERT_TRUE(keys::enter());
        EXPECT_TRUE(server->requests().contains(QStringLiteral("|GET|SYS|ALTPATRECORDDISPL|")))
            << server->requests().join(QLatin1Char(' ')).toStdString();
        ASSERT_TRUE(keys::click(Qt::Key_Escape));
    });
}

// Catches an access key that selects its option 100 ms late (the Enter typed right after it
// searched by the old key), Tab landing on the first option instead of the checked one, and
// a prefix typed after a blank searched half by the prefix and half by the name key.
TEST_F(KeyScenarioTest, shouldChooseTheSearchKeyFromTheKeyboard)
{
    lookupWith(QString(), [&](Dialog& d) {
        activate(d);
        d.txtSearch->setFocus();
        ASSERT_TRUE(keys::type(QStringLiteral("smith")));
        ASSERT_TRUE(keys::click(Qt::Key_G, Qt::AltModifier));
        EXPECT_TRUE(d.optSearch[2]->isChecked());
        EXPECT_EQ(QApplication::focusWidget(), d.txtSearch);
        server->clearCalls();
        ASSERT_TRUE(keys::click(Qt::Key_Return));
        EXPECT_EQ(server->requests().value(0), QStringLiteral("|GET|KEY|SMITH|&GUAR|"));

        // Tab from the Search button lands on the checked option, and the next Tab leaves the group.
        d.cmdSearch->setFocus();
        ASSERT_TRUE(keys::click(Qt::Key_Tab));
        EXPECT_EQ(QApplication::focusWidget(), d.optSearch[2]);
        ASSERT_TRUE(keys::click(Qt::Key_Space));
        EXPECT_TRUE(d.optSearch[2]->isChecked());
        ASSERT_TRUE(keys::click(Qt::Key_Tab));
        EXPECT_EQ(QApplication::focusWidget(), d.grdPatient);

        d.txtSearch->setFocus();
        d.txtSearch->clear();
        ASSERT_TRUE(keys::type(QStringLiteral(" g=smith")));
        server->clearCalls();
        ASSERT_TRUE(keys::click(Qt::Key_Return));
        EXPECT_EQ(server->requests().value(0), QStringLiteral("|GET|KEY|SMITH|&GUAR|"));
        ASSERT_TRUE(keys::click(Qt::Key_Escape));
    });
}
