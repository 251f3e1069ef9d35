// The demo's front desk driven through its real windows: a search and a choice, a new patient
// who is already there (used, or created anyway and then found), a code lookup filling a field;
// the program's help without a display, and its desktop files.
#include "focuskeys.h"
#include "modaldriver.h"
#include "serverprocess.h"

#include "frontdesk.h"
#include "newpatientdialog.h"

#include "host/networkhostlink.h"
#include "practice/practicehostlink.h"
#include "practice/sqlitestore.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
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

    // The lookup's script: down to the account's row, then Enter, where the focus is. A list
    // led by a line that says what it is leaves the focus in the search box: Down goes on.
    static ModalDriver::Script pick(qint64 account, bool ledByALine = false)
    {
        return [account, ledByALine](QWidget* w) {
            activate(w);
            auto* grid = w->findChild<QAbstractItemView*>(QStringLiteral("grdPatient"));
            if (ledByALine) {
                ASSERT_EQ(QApplication::focusWidget(), w->findChild<QWidget*>(QStringLiteral("txtSearch")));
                ASSERT_TRUE(keys::click(Qt::Key_Down));
            }
            ASSERT_EQ(QApplication::focusWidget(), grid);
            const auto accountHere = [grid] {
                const QModelIndex at = grid->currentIndex();
                return grid->model()->index(at.row(), 2).data().toString();
            };
            for (int i = 0; i < 60 && accountHere() != QString::number(account); ++i) {
                ASSERT_TRUE(keys::click(Qt::Key_Down));
                QTest::qWait(5);
            }
            ASSERT_EQ(accountHere(), QString::number(account));
            ASSERT_TRUE(keys::enter());
        };
    }

    static QTemporaryDir* folder;
    static std::shared_ptr<practice::SqliteStore> store;
    std::shared_ptr<practice::PracticeHostLink> server = std::make_shared<practice::PracticeHostLink>(store);
    demo::FrontDesk desk{server};
};

QTemporaryDir* FrontDeskTest::folder = nullptr;
std::shared_ptr<practice::SqliteStore> FrontDeskTest::store;

} // namespace

// Catches a chosen patient that never reaches the desk's account summary, and a search key
// that stays chosen for the next search.
TEST_F(FrontDeskTest, shouldShowThePatientChosenInTheLookup)
{
    const practice::PatientRecordData known = *store->record(100500);
    desk.show();
    desk.txtFind->setText(known.patient.last + QStringLiteral(", ") + known.patient.first);
    desk.cmbSearchBy->setCurrentIndex(1);     // "Patient name", for this search only
    ModalDriver lookup(QStringLiteral("frmPatLookup"), {pick(known.patient.account)});
    desk.find();
    EXPECT_GT(desk.account(), 0);
    EXPECT_EQ(desk.cmbSearchBy->currentIndex(), 0);
    EXPECT_TRUE(desk.lblSummary->text().contains(known.patient.last)) << desk.lblSummary->text().toStdString();
    EXPECT_TRUE(desk.cmdDisplayRecord->isEnabled());
}

// Catches a date of birth, an SSN or a phone typed in the one box that finds no one (the box
// sent it as an account or a name, and the server searched it so), one search after another
// at the same desk.
TEST_F(FrontDeskTest, shouldFindAPatientByADateSsnOrPhoneTypedInTheBox)
{
    // A patient of their own for each form, so that each search must find its own.
    const std::function<QString(const practice::PatientRow&)> forms[] = {
        [](const practice::PatientRow& p) -> QString { return p.dob.toString(QStringLiteral("M/d/yy")); },
        [](const practice::PatientRow& p) -> QString { return p.dob.toString(QStringLiteral("MMM d yyyy")); },
        [](const practice::PatientRow& p) -> QString { return p.ssn.left(3) + QLatin1Char('-') + p.ssn.mid(3, 2) + QLatin1Char('-') + p.ssn.mid(5); },
        [](const practice::PatientRow& p) -> QString { return p.phone.left(3) + QLatin1Char('-') + p.phone.mid(3, 3) + QLatin1Char('-') + p.phone.mid(6); },
    };
    desk.show();
    qint64 account = 100900;
    for (const auto& form : forms) {
        const practice::PatientRow p = store->record(++account)->patient;
        const QString typed = form(p);
        activate(&desk);
        desk.txtFind->setFocus();
        desk.txtFind->clear();
        ASSERT_TRUE(keys::type(typed));
        ModalDriver lookup(QStringLiteral("frmPatLookup"), {pick(p.account, true)});
        ASSERT_TRUE(keys::enter());
        EXPECT_EQ(lookup.shows, 1) << typed.toStdString();
        EXPECT_FALSE(lookup.timedOut) << typed.toStdString();
        EXPECT_EQ(desk.account(), p.account) << typed.toStdString();
    }
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

// Catches Escape in the duplicate list registering the duplicate: closing the list goes back
// to the form, and so does Escape in the question that follows.
TEST_F(FrontDeskTest, shouldGoBackToTheFormWhenTheDuplicateListIsClosed)
{
    const practice::PatientRecordData known = *store->record(100800);
    const qint64 patients = store->patientCount();
    demo::NewPatientDialog dialog(desk.lookup(), desk.link());
    dialog.txtLast->setText(known.patient.last);
    dialog.txtFirst->setText(known.patient.first);
    dialog.txtDob->setText(known.patient.dob.toString(QStringLiteral("MM/dd/yyyy")));
    dialog.txtSsn->setText(known.patient.ssn);
    dialog.show();
    activate(&dialog);
    dialog.txtPolicy->setFocus();
    const auto escape = [](QWidget* w) {
        activate(w);
        ASSERT_TRUE(keys::click(Qt::Key_Escape));
    };
    ModalDriver list(QStringLiteral("frmLookupSch"), {escape});
    ModalDriver closed(QStringLiteral("DuplicatesClosed"), {escape});
    ASSERT_TRUE(keys::click(Qt::Key_Return, Qt::ControlModifier));
    EXPECT_EQ(list.shows, 1);
    EXPECT_EQ(closed.shows, 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.account(), 0);
    EXPECT_EQ(store->patientCount(), patients);
    EXPECT_TRUE(desk.lookup().DuplicatesWereShown());
}

// Catches a form whose Tab order is not the order on screen, a mnemonic that reaches no field,
// Enter saving a half-filled patient, and a missing field not named.
TEST_F(FrontDeskTest, shouldWalkTheNewPatientFormAsItReads)
{
    const qint64 patients = store->patientCount();
    demo::NewPatientDialog dialog(desk.lookup(), desk.link());
    dialog.fillFrom(QStringLiteral("smith john"));
    EXPECT_EQ(dialog.txtLast->text(), QStringLiteral("SMITH"));
    EXPECT_EQ(dialog.txtFirst->text(), QStringLiteral("JOHN"));
    dialog.show();
    activate(&dialog);
    dialog.txtLast->setFocus();
    QStringList walked{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(keys::click(Qt::Key_Tab));
        walked.append(QApplication::focusWidget()->objectName());
    }
    EXPECT_EQ(walked.join(QLatin1Char(' ')).toStdString(),
              "txtLast txtFirst txtMiddle txtDob txtSex cmdSexLookup txtSsn txtPhone txtStreet txtCity txtState txtZip "
              "txtPayor cmdPayorLookup txtPolicy cmdSave cmdCancel");
    for (const auto& [key, field] : {std::pair{Qt::Key_X, dialog.txtSex}, std::pair{Qt::Key_Y, dialog.txtPayor},
                                     std::pair{Qt::Key_L, dialog.txtLast}}) {
        ASSERT_TRUE(keys::click(key, Qt::AltModifier));
        EXPECT_EQ(QApplication::focusWidget(), field) << QKeySequence(key).toString().toStdString();
    }
    // Enter in the last name moves on; the date of birth is missing, and Ctrl+Enter says so.
    ASSERT_TRUE(keys::enter());
    EXPECT_EQ(QApplication::focusWidget(), dialog.txtFirst);
    EXPECT_TRUE(dialog.isVisible());
    QString said;
    ModalDriver missing(QStringLiteral("MissingField"), {[&said](QWidget* w) {
                            said = static_cast<QMessageBox*>(w)->text();
                            static_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
                        }});
    ASSERT_TRUE(keys::click(Qt::Key_Return, Qt::ControlModifier));
    EXPECT_EQ(said, QStringLiteral("Type the new patient's date of birth."));
    activate(&dialog);     // given back by the window manager once the box is gone
    EXPECT_EQ(QApplication::focusWidget(), dialog.txtDob);
    EXPECT_EQ(store->patientCount(), patients);

    // What the search box held goes to its own field.
    for (const auto& [typed, field, value] : {std::tuple{"2/10/69", dialog.txtDob, "02/10/1969"},
                                              std::tuple{"217.670.8292", dialog.txtPhone, "(217) 670-8292"},
                                              std::tuple{"123456789", dialog.txtSsn, "123-45-6789"}}) {
        demo::NewPatientDialog fresh(desk.lookup(), desk.link());
        fresh.fillFrom(QString::fromLatin1(typed));
        const QLineEdit* same = fresh.findChild<QLineEdit*>(field->objectName());
        EXPECT_EQ(same->text(), QString::fromLatin1(value)) << typed;
        EXPECT_TRUE(fresh.txtLast->text().isEmpty()) << typed;
    }
}

// Catches a failure the clerk cannot see: a desk the server refuses, then a server that is
// gone, showed an empty grid and nothing else. Each reason is told in a box over the lookup
// and stays in the status bar.
TEST(FrontDeskOverNetworkTest, shouldTellTheClerkWhyTheServerDoesNotAnswer)
{
    QTemporaryDir folder;
    ServerProcess server(QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("practice.db")), 200);
    ASSERT_TRUE(server.start());
    host::NetworkSettings settings;
    settings.server = QUrl(server.url());
    settings.token = server.token;
    settings.pinnedFingerprint = server.fingerprint;
    demo::FrontDesk desk(std::make_shared<host::NetworkHostLink>(settings));
    desk.show();
    zelvar::test::activate(desk);
    desk.txtFind->setFocus();
    ASSERT_TRUE(keys::type(QStringLiteral("smith")));

    const auto findAndRead = [&] {
        QString said;
        ModalDriver box(QStringLiteral("LinkFailure"), {[&said](QWidget* w) {
                            said = static_cast<QMessageBox*>(w)->text();
                            static_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
                        }});
        ModalDriver lookup(QStringLiteral("frmPatLookup"), {[](QWidget* w) {
                               zelvar::test::activate(*w);
                               ASSERT_TRUE(keys::click(Qt::Key_Escape));
                           }});
        zelvar::test::activate(desk);
        desk.txtFind->setFocus();
        EXPECT_TRUE(keys::enter());
        EXPECT_EQ(box.shows, 1);
        EXPECT_FALSE(box.timedOut);
        return said;
    };

    server.run({QStringLiteral("desk"), QStringLiteral("remove"), QStringLiteral("DESK1"), QStringLiteral("--db"), server.database()});
    QTest::qWait(1200);    // the server reads its desks four times a second
    const QString refused = QStringLiteral("The server refused this desk (401): ask the practice's IT person to add it again.");
    EXPECT_EQ(findAndRead(), refused);
    EXPECT_EQ(desk.statusBar()->currentMessage(), refused);

    server.kill();
    const QString gone = findAndRead();
    EXPECT_TRUE(gone.startsWith(QStringLiteral("The server at 127.0.0.1:%1 does not answer").arg(server.port))) << gone.toStdString();
    EXPECT_EQ(desk.statusBar()->currentMessage(), gone);
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
