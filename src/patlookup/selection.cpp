// The current row, the return value, and the ways of leaving the dialog.
#include "frmpatlookup.h"

#include "browseprint/displaypatientinfo.h"
#include "component/conversions.h"
#include "component/references.h"
#include "component/strings.h"
#include "platform/trap.h"
#include "platform/messagebox.h"

#include <QCloseEvent>
#include <QPushButton>

#include <utility>

using namespace zelvar::component;

namespace zelvar::patlookup {

void frmPatLookup::SetReturnValue(double Row)
{
    platform::trapReportAndShow([&] {
        const qint32 r = CLng(Row);
        if (m_model.isPatientRow(r)) {
            const QString value = m_model.cell(1, r);
            ReturnValue = m_model.cell(0, r) + component::FieldDelimiter() + Left(value, value.size() - 3);
        } else {
            ReturnValue = QStringLiteral("CANCEL");
        }
    }, QStringLiteral("Error in Patient Lookup - SetReturnValue - "), QStringLiteral("Error in Patient Lookup"));
}

void frmPatLookup::HideLookup()
{
    hide();
}

void frmPatLookup::SyncCurrentRow()
{
    const qint32 current = m_model.currentRow();
    if (current < 1)
        return;
    // The whole row is painted as current: the one it was is painted again as it is now.
    const qint32 previous = std::exchange(m_highlightedRow, current);
    m_range.initrange(1, previous, FitColumnCount, previous);
    grdPatient->RedrawRange(m_range);
    if (current != previous) {
        m_range.initrange(1, current, FitColumnCount, current);
        grdPatient->RedrawRange(m_range);
    }
    // A row the grid offers ahead of the loaded ones has no key yet: nothing to choose there.
    cmdOK->setEnabled(m_model.isPatientRow(current));
    cmdDisplay->setEnabled(cmdOK->isEnabled());
}

void frmPatLookup::cmdOK_Click()
{
    SetReturnValue(m_model.currentRow());
    platform::trapReportAndShow([&] { HideLookup(); }, QStringLiteral("Error in Patient Lookup; OK button - "),
                                QStringLiteral("Error in Patient Lookup"));
}

void frmPatLookup::cmdCancel_Click()
{
    ReturnValue = QStringLiteral("CANCEL");
    HideLookup();
}

void frmPatLookup::cmdNewAcct_Click()
{
    ReturnValue = QStringLiteral("NEWACCT");
    // Unloaded at once: its hook and state go now; the answer is still read afterwards.
    unload();
    hide();
}

void frmPatLookup::cmdDisplay_Click()
{
    platform::trapAndReport([&] {
        if (!m_model.isPatientRow(m_model.currentRow()))
            return;
        browseprint::DisplayPatientInfo(m_model.cell(0, m_model.currentRow()));
        // The lookup is active again once the record window has closed, as after any window
        // it opened: the focus goes back to the rows.
        if (isVisible())
            Form_Activate();
    }, QStringLiteral("Error Opening Display from Patient Lookup : "));
}

void frmPatLookup::chooseRow(double row)
{
    SetReturnValue(row);
    if (ReturnValue == QLatin1String("CANCEL"))
        platform::beep();
    else
        HideLookup();
}

void frmPatLookup::closeEvent(QCloseEvent* event)
{
    // The close box (or the window menu): the answer is Cancel and the dialog only hides; it
    // is unloaded by the lookup that opened it. Closing by code changes nothing.
    if (event->spontaneous()) {
        ReturnValue = QStringLiteral("CANCEL");
        HideLookup();
        event->ignore();
        return;
    }
    // Not the dialog's own close handling, which would press Cancel.
    QWidget::closeEvent(event);
}

void frmPatLookup::reject()
{
    // Esc presses Cancel.
    cmdCancel_Click();
}

} // namespace zelvar::patlookup
