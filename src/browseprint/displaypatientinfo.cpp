#include "displaypatientinfo.h"

#include "frmbrowseprint.h"
#include "recorddocument.h"

#include "component/references.h"
#include "platform/messagebox.h"

namespace zelvar::browseprint {

using component::utils;

void DisplayPatientInfo(const QString& AcctNo)
{
    const QString account = normaliseAccount(AcctNo);
    if (AcctNo.endsWith(QLatin1Char('?'))) {
        platform::messageBox(QStringLiteral("You must save New Patient information first."), platform::OkOnly,
                             utils().GetMessageTitle());
        return;
    }
    if (QString(account).remove(QLatin1Char(',')).trimmed().isEmpty()) {
        platform::messageBox(QStringLiteral("Account is not selected."), platform::OkOnly, utils().GetMessageTitle());
        return;
    }
    std::unique_ptr<frmBrowsePrint> window = frmBrowsePrint::Load();
    window->Init(account);
}

} // namespace zelvar::browseprint
