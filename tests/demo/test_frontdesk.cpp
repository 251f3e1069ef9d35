// The demo's front desk driven through its real windows: a search and a choice, a new patient
// who is already there (used, or created anyway and then found), a code lookup filling a field;
// the program's help without a display, and its desktop files.
#include "focuskeys.h"
#include "modaldriver.h"

#include "frontdesk.h"
#include "newpatientdialog.h"

#include "practice/practicehostlink.h"
#include "practice/sqlitestore.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace zelvar;
using namespace zelvar::test;

namespace {

class FrontDeskTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        folder = new QTemporaryDir;
        store = std::make_shared<practice::SqliteStore>(folder->filePath(QStringLiteral("practice.db")));
        store->generate(2000, 11);
    }
    static void TearDownTestSuite()
    {
        store.reset();
        delete folder;
    }

    static void activate(QWidget* w)
    {
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    }

    static QTemporaryDir* folder;
    static std::shared_ptr<practice::SqliteStore> store;
    std::shared_ptr<practice::PracticeHostLink> server = std::make_shared<practice::PracticeHostLink>(store);
    demo::FrontDesk desk{server};
};

QTemporaryDir* FrontDeskTest::folder = nullptr;
std::shared_ptr<practice::SqliteStore> FrontDeskTest::store;

} // namespace

// Catches a chosen patient that never reaches the desk's account summary.
TEST_F(FrontDeskTest, shouldShowThePatientChosenInTheLookup)
{
    const practice::PatientRecordData known = *store->record(100500);
    desk.show();
    desk.txtFind->setText(known.patient.last + QStringLiteral(", ") + known.patient.first);
    ModalDriver pick(QStringLiteral("frmPatLookup"), {[&](QWidget* w) {
                         activate(w);
                         // Down to the patient's row, then Enter, where the focus is.
                         auto* grid = w->findChild<QAbstractItemView*>(QStringLiteral("grdPatient"));
                         ASSERT_EQ(QApplication::focusWidget(), grid);
                         const auto accountHere = [grid] {
                             const QModelIndex at = grid->currentIndex();
                             return grid->model()->index(at.row(), 2).data().toString();
                         };
                         for (int i = 0; i < 60 && accountHere() != QString::number(known.patient.account); ++i) {
                             ASSERT_TRUE(keys::click(Qt::Key_Down));
                             QTest::qWait(5);
                         }
                         ASSERT_TRUE(keys::enter());
                     }});
    desk.find();
    EXPECT_GT(desk.account(), 0);
    EXPECT_TRUE(desk.lblSummary->text().contains(known.patient.last)) << desk.lblSummary->text().toStdString();
    EXPECT_TRUE(desk.cmdDisplayRecord->isEnabled());
}

// Catches a new patient registered without the duplicate check, the existing patient not
// offered, and "Create anyway" registering one a search cannot find.
TEST_F(FrontDeskTest, shouldCheckForTheNewPatientBeforeRegisteringThem)
{
    const practice::PatientRecordData known = *store->record(100700);
    const auto fill = [&](demo::NewPatientDialog& d) {
        d.txtLast->setText(known.patient.last);
        d.txtFirst->setText(known.patient.first);
        d.txtDob->setText(known.patient.dob.toString(QStringLiteral("MM/dd/yyyy")));
        d.txtSsn->setText(known.patient.ssn);
    };
    for (const char* answer : {"cmdUseExisting", "cmdCreateAnyway"}) {
        demo::NewPatientDialog dialog(desk.lookup(), desk.link());
        fill(dialog);
        ModalDriver list(QStringLiteral("frmLookupSch"), {[](QWidget* w) {
                             w->findChild<QPushButton*>(QStringLiteral("arrCmd_0"))->click();
                         }});
        ModalDriver choice(QStringLiteral("DuplicateChoice"), {[answer](QWidget* w) {
                               w->findChild<QPushButton*>(QString::fromLatin1(answer))->click();
                           }});
        dialog.cmdSave->click();
        EXPECT_EQ(list.shows, 1) << answer;
        EXPECT_EQ(choice.shows, 1) << answer;
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << answer;
        if (QByteArray(answer) == "cmdUseExisting") {
            EXPECT_EQ(dialog.account(), known.patient.account);
        } else {
            EXPECT_GT(dialog.account(), 102000);
            practice::SearchQuery q;
            q.text = known.patient.last + QStringLiteral(", ") + known.patient.first;
            q.pageSize = 2000;
            bool found = false;
            for (const practice::PatientRow& r : store->search(q).rows)
                found = found || r.account == dialog.account();
            EXPECT_TRUE(found);
        }
    }
}

// Catches a code lookup that does not fill the field it was opened from.
TEST_F(FrontDeskTest, shouldFillAFieldFromItsCodeLookup)
{
    demo::NewPatientDialog dialog(desk.lookup(), desk.link());
    dialog.show();
    ModalDriver lookup(QStringLiteral("frmLookupSch"), {[](QWidget* w) {
                           activate(w);
                           ASSERT_TRUE(keys::click(Qt::Key_Down));
                           ASSERT_TRUE(keys::click(Qt::Key_Down));
                           ASSERT_TRUE(keys::enter());
                       }});
    dialog.cmdPayorLookup->click();
    EXPECT_EQ(lookup.shows, 1);
    EXPECT_EQ(dialog.txtPayor->text(), QStringLiteral("LKS"));   // the third payor
}

// Catches a program that needs a display (and aborts without one) only to print its usage.
TEST(DemoProgram, shouldAnswerHelpWithoutADisplay)
{
    QProcess demo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    demo.setProcessEnvironment(env);
    demo.start(QStringLiteral(ZELVAR_DEMO_PROGRAM), {QStringLiteral("--help")});
    ASSERT_TRUE(demo.waitForFinished(20000));
    EXPECT_EQ(demo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(demo.exitCode(), 0);
    EXPECT_TRUE(demo.readAllStandardOutput().contains("--scenario"));
}

// Catches desktop files that a software centre or a menu would refuse.
TEST(DemoProgram, shouldShipValidDesktopFiles)
{
    const struct { const char* tool; QStringList arguments; } checks[] = {
        {"appstreamcli", {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral(ZELVAR_DEMO_DATA "/org.zelvar.PatLookupDemo.metainfo.xml")}},
        {"desktop-file-validate", {QStringLiteral(ZELVAR_DEMO_DATA "/org.zelvar.PatLookupDemo.desktop")}},
    };
    for (const auto& c : checks) {
        const QString tool = QStandardPaths::findExecutable(QString::fromLatin1(c.tool));
        if (tool.isEmpty()) {
            ADD_FAILURE() << c.tool << " is not installed (tools/deps.sh installs it)";
            continue;
        }
        QProcess check;
        check.start(tool, c.arguments);
        ASSERT_TRUE(check.waitForFinished(30000));
        EXPECT_EQ(check.exitCode(), 0) << c.tool << ": " << check.readAllStandardOutput().toStdString()
                                       << check.readAllStandardError().toStdString();
    }
}
