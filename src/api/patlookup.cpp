#include <zelvar/patlookup.h>

#include "browseprint/displaypatientinfo.h"
#include "component/patientdata.h"
#include "component/references.h"
#include "component/runtimeerror.h"
#include "lookupsch/frmlookupsch.h"
#include "patlookup/frmpatlookup.h"
#include "platform/trap.h"

namespace zelvar {
namespace {

const QString kPatientLookupError = QStringLiteral("ZelvarPatientLookup.clsPatLookup.PatientLookup Error: ");

} // namespace

QString PatLookup::CheckForDuplicatePatient(const QString& SSN, const QString& Account, const QString& PatName,
                                            const QString& DOB, const QString& Policy, const QString& MedRec)
{
    QString result;
    platform::trapAndReport([&] {
        result = lookupsch::CheckForDuplicatePatient(component::joinPatientData(SSN, Account, PatName, DOB, Policy, MedRec));
    }, QStringLiteral("Error in CheckForDuplicatePatient "), platform::Beep::Yes);
    return result;
}

bool PatLookup::DuplicatesWereShown() const
{
    return component::references().duplicatesShown;
}

QString PatLookup::MiscLookup(const QString& MiscCode, const QString& AcctNumber, bool ReturnAllColumns)
{
    QString result;
    platform::trapAndReport([&] { result = lookupsch::MiscGridLookup(MiscCode, AcctNumber, ReturnAllColumns); },
                            QStringLiteral("Error in MiscLookup "), platform::Beep::Yes);
    return result;
}

void PatLookup::InitPatLookup(std::shared_ptr<HostLink> HostLinkRef, std::shared_ptr<ZelvarUtils> UtilsRef)
{
    component::References& refs = component::references();
    refs.utils = std::move(UtilsRef);
    refs.hostLink = std::move(HostLinkRef);
    ZelvarUtils& utils = component::utils();
    refs.settings = utils.GetSettingsObject();
    refs.layout = utils.GetLayoutObject();
    refs.helpFile = utils.GetHelpFile();
}

QString PatLookup::PatientLookup(const QString& strAcc, const QString& SearchBy, bool AlwaysShowLookup)
{
    return PatientLookupExtended(strAcc, SearchBy, AlwaysShowLookup, QString(), false);
}

QString PatLookup::PatientLookupExtended(const QString& strAcc, const QString& SearchBy, bool AlwaysShowLookup,
                                         const QString& Mode, bool AllowModeSwitch)
{
    QString result;
    // The dialog is unloaded on every way out, after a trapped error too: a dialog left loaded
    // would keep its mouse-wheel hook and no later dialog could have one.
    platform::trapAndReport([&] {
        std::unique_ptr<patlookup::frmPatLookup> dialog = patlookup::frmPatLookup::Load();
        dialog->ShowLookup(strAcc, SearchBy, AlwaysShowLookup, Mode, AllowModeSwitch);
        result = dialog->GetReturnValue();
    }, kPatientLookupError);
    return result;
}

void PatLookup::ShowDisplayPatientInfo(const QString& AcctNo)
{
    browseprint::DisplayPatientInfo(AcctNo);
}

} // namespace zelvar
