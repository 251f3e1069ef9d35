// The code table lookup, the row's return string, and the ways of choosing a row.
#include "frmlookupsch.h"

#include "component/conversions.h"
#include "component/references.h"
#include "component/strings.h"
#include "platform/trap.h"
#include "platform/grid/virtualkeys.h"
#include "platform/messagebox.h"

using namespace zelvar::component;

namespace zelvar::lookupsch {

namespace {

// A cell's visible text: the value without its seven-character style suffix.
QString visibleText(const QString& value)
{
    return Left(value, value.size() - 7);
}

QString captionFor(const QString& code)
{
    if (code.isEmpty())
        throw RuntimeError(RuntimeError::InvalidProcedureCall);
    return code.left(1).toUpper() + code.mid(1).toLower() + QStringLiteral(" Lookup");
}

} // namespace

QString MiscGridLookup(const QString& strCode, const QString& strAcctNum, bool blnReturnAllColumns)
{
    QString result;
    platform::trapAndReport([&] {
        const QString request = QStringLiteral("|GET|ASCODE|") + strCode + QLatin1Char('|') + strAcctNum
            + QLatin1Char('|');
        const QString caption = captionFor(strCode);
        result = frmLookupSch::RunLookup(request, [&](frmLookupSch& window) {
            window.ReturnValue.clear();
            window.ReturnAllColumns = blnReturnAllColumns;
            window.setWindowTitle(caption);
        });
    }, QStringLiteral("Error raised in frmLookupSch.MiscGridLookup: "), platform::Beep::Yes);
    return result;
}

void frmLookupSch::SetReturnValue(double Row)
{
    platform::trapAndReport([&] {
        const qint32 r = CLng(Row);
        const LookupGrid& g = Grids[0];
        const QString d = component::FieldDelimiter();
        QString result;
        if (ReturnAllColumns) {
            const QString first = g.Cells.cell(1, r);
            if (first.size() >= 7) {
                result = visibleText(first);
                for (qint32 c = 2; c <= g.ColCount - 1; ++c) {
                    const QString value = g.Cells.cell(c, r);
                    result += d;
                    if (value.size() >= 7)
                        result += visibleText(value);
                }
            }
        } else {
            const QString a = g.Cells.cell(1, r);
            const QString b = g.Cells.cell(2, r);
            const QString key = g.Cells.cell(0, r);
            if (a.size() >= 7)
                result = visibleText(a);
            if (b.size() >= 7)
                result += d + visibleText(b);
            if (b.size() < 7 || visibleText(b).isEmpty())
                result += d + key;
        }
        ReturnValue = result;
    }, QStringLiteral("Error raised in frmLookupSch.SetReturnValue: "), platform::Beep::Yes);
}

bool frmLookupSch::IsCurrentRowSelectable()
{
    const LookupGrid& g = Grids[0];
    return grdLookupSch->RowCount() >= CurrentRow && CurrentRow <= g.Cells.rowBound() && CurrentRow != 0
        && g.Cells.cell(1, CurrentRow).size() >= 4;
}

void frmLookupSch::OnLButtonDblClkRowCol(double Row, double Col)
{
    if (Row > 0 && Col > 0) {
        SetReturnValue(Row);
        hide();
    }
}

void frmLookupSch::ProcessKeys(int message, double key)
{
    // Acted on when the key goes down; its release finds the window hidden.
    if (message != platform::vk::KeyDownMessage || int(key) != platform::vk::Enter)
        return;
    if (IsCurrentRowSelectable()) {
        SetReturnValue(CurrentRow);
        hide();
    } else {
        platform::beep();
    }
}

} // namespace zelvar::lookupsch
