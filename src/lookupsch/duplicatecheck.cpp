// The duplicate patient check: the server's candidates for a new patient's data.
#include "frmlookupsch.h"

#include "component/references.h"

namespace zelvar::lookupsch {

using component::hostLink;

QString CheckForDuplicatePatient(const QString& strPatData)
{
    QString result;
    ErrorInfo error;
    // The window goes with this call on every way out: a duplicate list must never show
    // another patient's candidates.
    std::unique_ptr<frmLookupSch> window;
    if (!trapErrors([&] {
            window = frmLookupSch::Load();
            window->setWindowTitle(QStringLiteral("Duplicates Found"));
            window->ReturnValue.clear();

            QStringList replies;
            QString fourth;
            hostLink().GetServerStringData(QStringLiteral("|GET|DUPPAT|") + strPatData, replies, QString(), fourth);
            for (const QString& record : std::as_const(replies))
                window->AsyncReceive(record);

            if (window->Grids[0].RowCount != 0) {
                window->exec();
                result = window->ReturnValue;
            }
            window.reset();
        }, error)) {
        frmLookupSch::ReportLookupError(QStringLiteral("Error raised in frmLookupSch.CheckForDuplicatePatientImmediate: ")
                                        + error.description);
    }
    return result;
}

} // namespace zelvar::lookupsch
