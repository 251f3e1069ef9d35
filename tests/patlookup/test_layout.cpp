// The dialog's controls, modes and layout.
#include "accessibility.h"
#include "focuskeys.h"
#include "lookupfixture.h"

#include "platform/form.h"
#include "platform/twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace zelvar;
using namespace zelvar::test;

using LayoutTest = LookupFixture;

// Catches controls missing, misnamed or with other captions than the ones clerks know.
TEST_F(LayoutTest, shouldCarryEveryControlWithItsNameAndCaption)
{
    std::unique_ptr<Dialog> d = Dialog::Load();
    const struct { const char* name; const char* caption; } buttons[] = {
        {"cmdSearch", "Search"}, {"cmdDisplay", "Displa&y"}, {"cmdOK", "O&K"}, {"cmdCancel", "Cancel"},
        {"cmdNewAcct", "New Account"}, {"cmdMore", "More rows"},
    };
    for (const auto& b : buttons) {
        auto* button = d->findChild<QPushButton*>(QString::fromLatin1(b.name));
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->text(), QString::fromLatin1(b.caption));
    }
    const char* options[] = {"&Acct#", "&Pat Name", "&Guar", "&DOB", "P&olicy#", "&MR#", "&SS#", "P&hone#",
                             "&Trans#", "&Claim#", "&Enc"};
    for (int i = 0; i < 11; ++i) {
        auto* option = d->findChild<QRadioButton*>(QStringLiteral("optSearch_%1").arg(i));
        ASSERT_NE(option, nullptr);
        EXPECT_EQ(option->text(), QString::fromLatin1(options[i]));
    }
    EXPECT_EQ(d->optSearch[10]->toolTip(), QStringLiteral("Encounter"));
    EXPECT_EQ(d->findChild<QRadioButton*>(QStringLiteral("optSearchW_2"))->text(), QStringLiteral("&Accession#"));
    EXPECT_NE(d->findChild<QWidget*>(QStringLiteral("grdPatient")), nullptr);
    EXPECT_EQ(d->cmdZoomIn->toolTip(), QStringLiteral(" Zoom In "));
    EXPECT_FALSE(d->cmdMore->isVisibleTo(d.get()));
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Patient Lookup"));
    // The workflow keys share the normal ones' place.
    EXPECT_EQ(d->frOptionsW->pos(), d->frOptions->pos());
    EXPECT_EQ(d->grdPatient->x(), platform::twipsToPixelsX(120, d.get()));
}

// Catches a control a screen reader cannot name (the zoom buttons have only a picture, the
// status line is often blank), and a grid whose cells read otherwise than they paint.
TEST_F(LayoutTest, shouldNameEveryControlForAScreenReader)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 3, {}));
    lookupWith(QStringLiteral("patient"), [](Dialog& d) {
        EXPECT_EQ(controlsWithoutAccessibleName(&d), QStringList());
        // The table read is the window's: its first column the names, after the grid's keys.
        QAbstractItemModel* grid = d.grdPatient->model();
        EXPECT_EQ(accessibleCellText(d.grdPatient, 2, 0), grid->data(grid->index(1, 1)).toString());
        EXPECT_EQ(accessibleCellText(d.grdPatient, 2, 0), QStringLiteral("PATIENT,2"));
        EXPECT_EQ(accessibleCellText(d.grdPatient, 0, 0), grid->headerData(1, Qt::Horizontal).toString());
        d.cmdCancel_Click();
    });
}

// Catches the mode switch's captions, frames, visibility and Search enabling.
TEST_F(LayoutTest, shouldSwitchBetweenNormalAndWorkflowMode)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 3, {}));
    lookupWith(QStringLiteral(""), [](Dialog& d) {
        EXPECT_FALSE(d.chkMode->isVisible());
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Patient Lookup   -   Workflow"));
        EXPECT_TRUE(d.frOptionsW->isVisible());
        EXPECT_FALSE(d.frOptions->isVisible());
        EXPECT_TRUE(d.cmdSearch->isEnabled());   // an empty workflow search is allowed
        d.cmdCancel_Click();
    }, {}, false, QStringLiteral("W"), false);

    lookupWith(QStringLiteral(""), [](Dialog& d) {
        EXPECT_TRUE(d.chkMode->isVisible());
        EXPECT_FALSE(d.cmdSearch->isEnabled());
        d.chkMode->setChecked(true);
        EXPECT_EQ(d.mode(), QStringLiteral("W"));
        EXPECT_TRUE(d.cmdSearch->isEnabled());
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Patient Lookup   -   Workflow"));
        d.txtSearch->setText(QStringLiteral("   "));
        EXPECT_TRUE(d.cmdSearch->isEnabled());
        d.chkMode->setChecked(false);
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Patient Lookup"));
        EXPECT_TRUE(d.frOptions->isVisible());
        d.txtSearch->clear();
        d.txtSearch->setText(QStringLiteral("   "));
        EXPECT_FALSE(d.cmdSearch->isEnabled());
        d.cmdCancel_Click();
    }, {}, false, {}, true);
}

// Catches resize steps that set negative sizes at the narrow limits, and the button row not
// following the grid's right and bottom edges.
TEST_F(LayoutTest, shouldLayOutTheGridAndButtonRowOnResize)
{
    std::unique_ptr<Dialog> d = Dialog::Load();
    d->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d.get()));
    d->resize(900, 500);
    const int margin = d->grdPatient->x();
    EXPECT_EQ(d->grdPatient->width(), 900 - 2 * margin);
    EXPECT_EQ(d->grdPatient->y() + d->grdPatient->height() + d->fraNavigator->height(), 500);
    EXPECT_EQ(d->fraNavigator->x() + d->fraNavigator->width(), d->grdPatient->x() + d->grdPatient->width());
    EXPECT_EQ(d->fraNavigator->y(), d->grdPatient->y() + d->grdPatient->height());

    const QRect grid = d->grdPatient->geometry();
    const QPoint navigator = d->fraNavigator->pos();
    d->resize(2 * margin - 2, d->grdPatient->y() + d->fraNavigator->height() - 2);
    EXPECT_EQ(d->grdPatient->width(), grid.width());
    EXPECT_EQ(d->grdPatient->height(), grid.height());
    EXPECT_EQ(d->fraNavigator->pos(), navigator);   // under 1100 / 750 twips: stays
}

// Catches the status line lying over the buttons of a narrow lookup (a click at a button's
// middle landed on the label), and Tab landing on a control nobody can see: New Account lies
// under the grid, and Space there opened a new account unseen.
TEST_F(LayoutTest, shouldKeepEveryControlInSightWhereItIsClickedOrFocused)
{
    server->answerPrefix(QStringLiteral("|GET|KEY|"), patientPage(1, 3, {}));
    lookupWith(QStringLiteral("patient"), [](Dialog& d) {
        activate(d);
        for (QPushButton* button : d.fraNavigator->findChildren<QPushButton*>()) {
            const QPoint middle = button->mapTo(&d, button->rect().center());
            EXPECT_EQ(d.childAt(middle), button) << button->objectName().toStdString();
        }
        EXPECT_FALSE(platform::inSight(d.cmdNewAcct));
        d.txtSearch->setFocus();
        for (int i = 0; i < 30; ++i) {
            ASSERT_TRUE(keys::click(Qt::Key_Tab));
            QWidget* focus = QApplication::focusWidget();
            EXPECT_TRUE(platform::inSight(focus)) << focus->objectName().toStdString();
        }
        // Where nothing covers it, in a window wide enough to hold it, it is a Tab stop again.
        d.grdPatient->hide();
        d.resize(platform::twipsToPixelsX(12000, &d), d.height());
        EXPECT_TRUE(platform::inSight(d.cmdNewAcct));
        EXPECT_EQ(d.cmdNewAcct->focusPolicy(), Qt::StrongFocus);
        d.cmdCancel_Click();
    });
}
