// Keys, clicks and scrolling: the search box, the dialog's key preview, the grid's key and
// mouse notifications, the top-row notifications that fetch further rows, and the wheel.
#include "frmpatlookup.h"

#include "component/conversions.h"
#include "component/references.h"
#include "platform/grid/virtualkeys.h"
#include "platform/forms.h"
#include "platform/messagebox.h"
#include "platform/trap.h"
#include "services/keystate.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QUrl>

using namespace zelvar::component;

namespace zelvar::patlookup {

namespace {

using namespace platform::vk;
// The Shift argument of Alt alone.
constexpr int kAltAlone = 4;

// The Shift argument of a key handler: 1 Shift, 2 Ctrl, 4 Alt.
int shiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
        | (modifiers & Qt::AltModifier ? 4 : 0);
}

} // namespace

void frmPatLookup::txtSearch_KeyPress(int& KeyAscii)
{
    if (trapped([&] {
            if (!services::CtrlKeyDown() && !services::ShiftKeyDown() && !services::AltKeyDown() && KeyAscii == Enter) {
                KeyAscii = 0;
                if (cmdSearch->isEnabled())
                    cmdSearch_Click();
            }
        })) {
        KeyAscii = 0;
    }
}

void frmPatLookup::Form_KeyDown(int& KeyCode, int Shift)
{
    if (trapped([&] {
            if (Shift != kAltAlone && KeyCode == Down && grdPatient->isVisible() && m_model.rowsLoaded() >= 1) {
                grdPatient->setFocus();
                KeyCode = 0;
            }
        })) {
        KeyCode = 0;
    }
}

void frmPatLookup::optSearch_GotFocus(int)
{
    if (services::AltKeyDown() && txtSearch->isVisible() && txtSearch->isEnabled())
        txtSearch->setFocus();
}

void frmPatLookup::grdPatient_KeyDown(double nChar, int, int, platform::GridValue& Result)
{
    platform::trapAndReport([&] {
        const int key = int(nChar);
        if (key == Tab) {
            if (services::ShiftKeyDown()) {
                if (txtSearch->isVisible() && txtSearch->isEnabled())
                    txtSearch->setFocus(Qt::BacktabFocusReason);
            } else {
                for (QPushButton* target : {cmdDisplay, cmdOK, cmdCancel}) {
                    if (target->isVisible() && target->isEnabled()) {
                        target->setFocus(Qt::TabFocusReason);
                        break;
                    }
                }
            }
            Result.Value = false;
            return;
        }
        if (key == PageUp || key == PageDown || key == Up || key == Down)
            return;
        const bool blocked = utils().InputFlagA() || utils().InputFlagB() || utils().InputFlagC();
        if (!blocked && key >= Digit0 && key <= LetterZ) {
            // A new search text starts with the character typed.
            txtSearch->clear();
            txtSearch->setFocus();
            txtSearch->setText(QString(QChar(key)).toLower());
            txtSearch->setCursorPosition(int(txtSearch->text().size()));
            Result.Value = false;
        }
    }, QStringLiteral("Err in frmPatLookup.grdPatient_KeyDown "));
}

void frmPatLookup::grdPatient_KeyUp(double, int, int, platform::GridValue&)
{
    grdPatient->Redraw(2);
}

void frmPatLookup::grdPatient_ProcessKeys(int, double nChar, int, double nFlags)
{
    platform::trapAndReport([&] {
        if (int(nChar) != Enter)
            return;
        const int flags = int(nFlags);
        if (!(flags & ReleasedFlag) && !(flags & RepeatFlag)) {
            m_enterPressed = true;
        } else if ((flags & ReleasedFlag) && m_enterPressed) {
            m_enterPressed = false;
            // The row the grid is on now (Enter straight after an arrow key comes before the
            // refresh that follows the move).
            SyncCurrentRow();
            chooseRow(m_model.currentRow());
        }
    }, QStringLiteral("Err in frmPatLookup.grdPatient_ProcessKeys "));
}

void frmPatLookup::grdPatient_OnLButtonDblClkRowCol(double nRow, double, int)
{
    platform::trapAndReport([&] {
        if (nRow != 0)
            chooseRow(nRow);
    }, QStringLiteral("Err in frmPatLookup.grdPatient_OnLButtonDblClkRowCol "));
}

void frmPatLookup::grdPatient_OnLeftCell()
{
    platform::trapAndReport([&] {
        tmrRefresh->start();
        ShowGridDebug();
    }, QStringLiteral("Err in frmPatLookup.grdPatient_OnLeftCell "));
}

void frmPatLookup::grdPatient_OnTopRowChange(double nNewTopRow)
{
    if (grdPatient->RowCount() == 0)
        return;
    if (m_topRowGuard)
        return;
    m_topRowGuard = true;
    platform::trapAndReport([&] {
        if (nNewTopRow > HighestTopRow && !m_model.allLoaded()) {
            if (nNewTopRow - grdPatient->TopRow() > 0) {
                grdPatient->SetRowCount(CLng(grdPatient->RowCount() + (nNewTopRow - HighestTopRow)));
                HighestTopRow = CLng(nNewTopRow);
                ShowGridDebug();
            }
            EnsureRowsAhead();
        }
        tmrRefresh->start();
        ShowGridDebug();
    }, QStringLiteral("Err in frmPatLookup.grdPatient_OnTopRowChange "));
    // One failure must not stop the grid from ever fetching rows again.
    m_topRowGuard = false;
}

void frmPatLookup::grdPatient_OnTopRowChanged()
{
    platform::trapAndReport([&] {
        if (grdPatient->RowCount() != 0 && isVisible() && !m_model.allLoaded()) {
            lblStatus->setText(rowCountText());
            lblStatus->repaint();
        }
    }, QStringLiteral("Err in frmPatLookup.grdPatient_OnTopRowChanged "));
}

void frmPatLookup::ScrollGrid(bool ScrollUp)
{
    platform::trapAndReport([&] { grdPatient->ScrollRows(ScrollUp ? 1 : 3, 1); },
                            QStringLiteral("ERR in frmPatLookup.ScrollGrid     "), platform::Beep::Yes);
}

void frmPatLookup::openHelp()
{
    const QString file = component::helpFile();
    if (!file.isEmpty() && QFileInfo::exists(file))
        QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

bool frmPatLookup::keyFromTextBox(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    int keyAscii = Enter;
    txtSearch_KeyPress(keyAscii);
    return keyAscii == 0;
}

bool frmPatLookup::dialogKeyPreview(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        openHelp();
        return true;
    }
    // The grid handles its own keys; the preview is for the other controls.
    if (grdPatient->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == grdPatient)
        return false;
    int keyCode = event->key() == Qt::Key_Down ? Down : -1;
    if (keyCode < 0)
        return false;
    Form_KeyDown(keyCode, shiftState(event->modifiers()));
    return keyCode == 0;
}

bool frmPatLookup::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && isVisible() && (widget == this || isAncestorOf(widget)) && widget->window() == this) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (dialogKeyPreview(key))
                return true;
            if (widget == txtSearch && keyFromTextBox(key))
                return true;
        }
    } else if (event->type() == QEvent::FocusIn && !platform::givingFocusBack()) {
        if (watched == txtSearch)
            txtSearch_GotFocus();
        for (int i = 0; i < int(optSearch.size()); ++i) {
            if (watched == optSearch[i])
                optSearch_GotFocus(i);
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace zelvar::patlookup
