#include "frmpatlookup.h"

#include "component/runtimeerror.h"

namespace zelvar::patlookup {

frmPatLookup::frmPatLookup()
{
    setObjectName(QStringLiteral("frmPatLookup"));
}

frmPatLookup::~frmPatLookup() = default;

std::unique_ptr<frmPatLookup> frmPatLookup::Load()
{
    return std::unique_ptr<frmPatLookup>(new frmPatLookup());
}

void frmPatLookup::ShowLookup(const QString&, const QString&, bool, const QString&, bool)
{
    // The search, result grid and selection of this dialog are not in this build yet; say so
    // through the caller's error report rather than return an answer nobody chose.
    throw RuntimeError(RuntimeError::ActionNotSupported);
}

QString frmPatLookup::GetReturnValue() const
{
    return m_returnValue;
}

} // namespace zelvar::patlookup
