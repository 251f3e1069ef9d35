// The component's operations: error trapping and report texts, and the per-thread references.
#include "componentfixture.h"

#include "component/references.h"
#include "component/runtimeerror.h"
#include "services/windowhook.h"

#include <QApplication>
#include <QWidget>

#include <thread>

using namespace zelvar;
using namespace zelvar::test;

namespace {

bool lookupDialogLoaded()
{
    for (QWidget* w : QApplication::allWidgets()) {
        if (w->objectName() == QLatin1String("frmPatLookup"))
            return true;
    }
    return false;
}


} // namespace

using PatLookupTest = ComponentFixture;

// Catches a missing beep, a beep after the report, or the wrong report text.
TEST_F(PatLookupTest, shouldBeepThenReportWhenDuplicateCheckOrMiscLookupFails)
{
    server->fail(QStringLiteral("|GET|DUPPAT|"), host::ScriptedHostLink::Failure::Throw);
    EXPECT_EQ(lookup.CheckForDuplicatePatient({}, {}, {}, {}, {}, {}), QString());
    EXPECT_EQ(lookup.MiscLookup(QString(), {}), QString());

    const QStringList expected{
        QStringLiteral("beep"),
        QStringLiteral("report: Error raised in frmLookupSch.CheckForDuplicatePatientImmediate: The server connection was lost"),
        QStringLiteral("beep"),
        QStringLiteral("report: Error raised in frmLookupSch.MiscGridLookup: Invalid procedure call or argument"),
    };
    EXPECT_EQ(platform.events, expected);
}

// Catches a trapped lookup error that escapes to the host, beeps, or leaves the dialog loaded
// (its wheel hook would then block every later dialog).
TEST_F(PatLookupTest, shouldReportLookupErrorsAndUnloadTheDialog)
{
    server->fail(QStringLiteral("|GET|KEY|"), host::ScriptedHostLink::Failure::Throw);
    EXPECT_EQ(lookup.PatientLookup(QStringLiteral("smith")), QString());
    EXPECT_EQ(lookup.PatientLookupExtended(QStringLiteral("1/2"), QStringLiteral("A"), true, QStringLiteral("W"), true),
              QString());

    const QString expected = QStringLiteral("ZelvarPatientLookup.clsPatLookup.PatientLookup Error: ")
        + QStringLiteral("The server connection was lost");
    EXPECT_EQ(utils->reports, QStringList({expected, expected}));
    EXPECT_EQ(platform.beeps, 0);
    EXPECT_FALSE(lookupDialogLoaded());
    EXPECT_EQ(services::hookedLookupWindow(), nullptr);
}

// Catches ShowDisplayPatientInfo trapping what it must pass on to the host.
TEST_F(PatLookupTest, shouldLetRecordDisplayErrorsReachTheHost)
{
    utils->throwOnTitle = true;
    EXPECT_THROW(lookup.ShowDisplayPatientInfo(QStringLiteral("99?")), std::exception);
    EXPECT_TRUE(utils->reports.isEmpty());
}

// Catches InitPatLookup swallowing a failing host call, or keeping half of a new set.
TEST_F(PatLookupTest, shouldLetInitErrorsReachTheHost)
{
    auto failing = std::make_shared<RecordingUtils>();
    failing->throwOnSettings = true;
    EXPECT_THROW(lookup.InitPatLookup(server, failing), std::exception);
}

// Catches references that are process-wide: a second thread must see its own, uninitialised
// set, and its own InitPatLookup must not replace this thread's.
TEST_F(PatLookupTest, shouldKeepReferencesPerThread)
{
    utils->helpFile = QStringLiteral("main.hlp");
    lookup.InitPatLookup(server, utils);

    bool otherStartedEmpty = false;
    bool otherGotItsOwn = false;
    QString otherResult = QStringLiteral("unset");
    std::thread other([&] {
        const component::References& refs = component::references();
        otherStartedEmpty = !refs.hostLink && !refs.utils && !refs.settings && !refs.layout && refs.helpFile.isEmpty();
        // Not initialised here: the server link is not set.
        PatLookup local;
        try {
            component::hostLink();
        } catch (const component::RuntimeError& e) {
            otherResult = QString::number(e.number());
        }

        auto ownUtils = std::make_shared<RecordingUtils>();
        ownUtils->helpFile = QStringLiteral("other.hlp");
        local.InitPatLookup(std::make_shared<host::ScriptedHostLink>(), ownUtils);
        otherGotItsOwn = component::references().utils == ownUtils
            && component::helpFile() == QStringLiteral("other.hlp");
    });
    other.join();

    EXPECT_TRUE(otherStartedEmpty);
    EXPECT_TRUE(otherGotItsOwn);
    EXPECT_EQ(otherResult, QStringLiteral("91"));
    EXPECT_EQ(component::references().utils, utils);
    EXPECT_EQ(component::references().hostLink, server);
    EXPECT_EQ(component::helpFile(), QStringLiteral("main.hlp"));
}

// Catches a second InitPatLookup that keeps any of the first set.
TEST_F(PatLookupTest, shouldReplaceAllReferencesOnSecondInit)
{
    auto server2 = std::make_shared<host::ScriptedHostLink>();
    auto utils2 = std::make_shared<RecordingUtils>();
    utils2->helpFile = QStringLiteral("second.hlp");
    lookup.InitPatLookup(server2, utils2);

    const component::References& refs = component::references();
    EXPECT_EQ(refs.hostLink, server2);
    EXPECT_EQ(refs.utils, utils2);
    EXPECT_EQ(refs.settings, utils2->GetSettingsObject());
    EXPECT_EQ(refs.layout, utils2->GetLayoutObject());
    EXPECT_EQ(refs.helpFile, QStringLiteral("second.hlp"));
}
