// The duplicate patient check: the server's candidates for a new patient's data.
#include "frmlookupsch.h"

#include "component/references.h"
#include "platform/trap.h"

namespace zelvar::lookupsch {

using component::hostLink;

QString frmLookupSch::RunLookup(const QString& request, const std::function<void(frmLookupSch&)>& prepare, bool* shown)
{
    std::unique_ptr<frmLookupSch> window = Load();
    prepare(*window);
    QStringList replies;
    QString fourth;
    hostLink().GetServerStringData(request, replies, QString(), fourth);
    for (const QString& record : std::as_const(replies))
        window->AsyncReceive(record);
    QString result;
    if (window->Grids[0].RowCount != 0) {
        if (shown)
            *shown = true;
        window->exec();
        result = window->ReturnValue;
    }
    return result;
}

QString CheckForDuplicatePatient(const QString& strPatData)
{
    QString result;
    bool& shown = component::references().duplicatesShown;
    shown = false;
    platform::trapAndReport([&] {
        result = frmLookupSch::RunLookup(QStringLiteral("|GET|DUPPAT|") + strPatData, [](frmLookupSch& window) {
            window.setWindowTitle(QStringLiteral("Duplicates Found"));
            window.ReturnValue.clear();
        }, &shown);
    }, QStringLiteral("Error raised in frmLookupSch.CheckForDuplicatePatientImmediate: "), platform::Beep::Yes);
    return result;
}

} // namespace zelvar::lookupsch
