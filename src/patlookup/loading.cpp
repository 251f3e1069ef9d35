// Sending a search, loading its pages into the result table, and fitting the dialog to them.
#include "frmpatlookup.h"
#include "patientreplygrid.h"

#include "component/conversions.h"
#include "component/references.h"
#include "component/strings.h"
#include "platform/trap.h"
#include "platform/hourglass.h"
#include "platform/messagebox.h"
#include "platform/twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

using namespace zelvar::component;

namespace zelvar::patlookup {

namespace {

// The fitted width, in twips: the room beside the columns, and the narrowest widths.
constexpr double kModeSwitchMargin = 60;
constexpr double kWidthMargin = 350;
constexpr double kNarrowestWidth = 4200;
constexpr double kNarrowWidth = 4550;
constexpr double kPatientWindowWidth = 6645;

} // namespace

bool frmPatLookup::sendToServer(const QString& request, QStringList& reply)
{
    QString fourth;
    return hostLink().GetServerStringData(request, reply, QString(), fourth);
}

void frmPatLookup::GetGridData(const SearchRequest& search)
{
    if (!m_replyGrid) {
        m_replyGrid = std::make_unique<PatientReplyGrid>(*grdPatient);
        m_model.setReplyGrid(*m_replyGrid);
    }
    HighestTopRow = 0;

    QString errorText;
    switch (m_model.load(search, errorText)) {
    case ResultsModel::Page::Unanswered:
        // No rows: nothing to choose or display until a search is answered.
        cmdOK->setEnabled(false);
        cmdDisplay->setEnabled(false);
        platform::beep();
        DisableForms(false);
        GridReady = true;
        Form_Resize();
        GridReady = false;
        return;
    case ResultsModel::Page::Unreadable:
        platform::messageBox(errorText, platform::Critical, utils().GetMessageTitle());
        DisableForms(false);
        return;
    case ResultsModel::Page::Read:
        break;
    }

    grdPatient->LockUpdates(true);
    if (m_model.allLoaded()) {
        grdPatient->SetRowCount(m_model.rowsLoaded());
        // No rows at all reads as a zero key: nothing to total.
        lblStatus->setText(m_model.isPatientRow(1) ? rowCountText() : QString());
    } else {
        grdPatient->SetRowCount(VirtualRowCount);
    }
    FitToResults();
    if (GridReady)
        FitColumnWidths();
    grdPatient->LockUpdates(false);
    grdPatient->Redraw(2);
    if (!m_model.allLoaded())
        lblStatus->setText(rowCountText());
}

void frmPatLookup::GetGridDataMoreRows(const QString&)
{
    if (!m_model.canFetchMore({}))
        return;
    platform::HourglassPointer pointer;
    DisableForms(true);
    switch (m_model.loadMore()) {
    case ResultsModel::Page::Unanswered:
        break;
    case ResultsModel::Page::Read:
        if (m_model.allLoaded())
            grdPatient->SetRowCount(m_model.rowsLoaded());
        lblStatus->setText(rowCountText());
        break;
    case ResultsModel::Page::Unreadable:
        platform::messageBox(QStringLiteral("Error in Patient Lookup (GetGridDataMoreRows)"), platform::Critical,
                             utils().GetMessageTitle());
        break;
    }
    DisableForms(false);
}

// Characters 7 to 9 of the caption spelling "PAT" mark the window as the patient window, which
// keeps a width of its own (a caption the host's product name comes first in).
bool frmPatLookup::captionNamesPatientWindow() const
{
    return windowTitle().mid(6, 3).toUpper() == QLatin1String("PAT");
}

QString frmPatLookup::rowCountText()
{
    if (!m_model.allLoaded()) {
        const QString total = m_model.knownTotal();
        return QStringLiteral("Showing: ") + str(LastShownRow()) + (total.isEmpty() ? QString() : QStringLiteral(" of ") + total);
    }
    QString text = QStringLiteral("Total: ") + str(m_model.rowsLoaded());
    // The grid holds at most so many rows: the user is told where the list stops.
    if (grdPatient->RowCount() < m_model.rowsLoaded())
        text += QStringLiteral(" (the list shows the first ") + str(grdPatient->RowCount()) + QLatin1Char(')');
    return text;
}

void frmPatLookup::FitToResults()
{
    bool locked = false;
    const std::optional<ErrorInfo> error = trapped([&] {
        using namespace platform;
        const double x = twipsPerPixelX(this);
        const double y = twipsPerPixelY(this);

        FitRowCount = m_model.rowsLoaded();
        FitColumnCount = m_model.columnBound();
        locked = grdPatient->LockUpdates(true);
        grdPatient->SetScrollBarMode(0, 0);

        const qint32 rowHeight = CLng(grdPatient->RowHeight(1) * y);
        qint32 contentWidth = CLng(grdPatient->SumColWidths(0, FitColumnCount - 1, 0) * x + 5.0 * FitColumnCount);
        const qint32 gridHeight = mulLong(VisibleRows, rowHeight);

        const double screenHeight = pixelsToTwipsY(screen() ? screen()->availableGeometry().height() : 768, this);
        double height = outerHeightTwips();
        if (windowState() == Qt::WindowNoState) {
            const double wanted = pixelsToTwipsY(grdPatient->y(), this) + gridHeight + 550;
            height = wanted <= screenHeight - 600 ? wanted : screenHeight - 600;
        }

        contentWidth = addLong(contentWidth, settings().ExtraGridWidth());
        grdPatient->SetScrollBarMode(1, m_model.rowsLoaded() >= VisibleRows ? 1 : 0);

        double width = m_allowModeSwitch ? pixelsToTwipsX(chkMode->width(), this) + contentWidth + kModeSwitchMargin
                                         : contentWidth + kWidthMargin;
        if (width < kNarrowestWidth)
            width = kNarrowWidth;
        if (captionNamesPatientWindow())
            width = qMax(width, kPatientWindowWidth);

        if (windowState() == Qt::WindowNoState)
            setOuterSizeTwips(width, height);

        grdPatient->SetCurrentCell(1, 1);
        grdPatient->LockUpdates(locked);
        grdPatient->Redraw(2);
        GridReady = true;
    });
    if (error)
        platform::messageBox(QStringLiteral("LA ERROR"), platform::OkOnly, utils().GetMessageTitle());
}

bool frmPatLookup::fetchAhead()
{
    const auto shortOfRows = [this] {
        return qint64(grdPatient->TopRow()) + 2 * qint64(VisibleRows) > m_model.rowsLoaded();
    };
    if (!shortOfRows() || !m_model.canFetchMore({}))
        return false;
    // At most four pages for one notification or tick, and none after a page that brought
    // nothing (not answered, or unreadable): the next move of the user tries again.
    for (int fetch = 0; fetch < 4; ++fetch) {
        const qint32 before = m_model.rowsLoaded();
        GetGridDataMoreRows();
        ShowGridDebug();
        if (!shortOfRows() || !m_model.canFetchMore({}) || m_model.rowsLoaded() == before)
            break;
    }
    return true;
}

void frmPatLookup::EnsureRowsAhead()
{
    if (!GridReady)
        return;
    fetchAhead();
    grdPatient->Redraw(2);
}

void frmPatLookup::tmrRefresh_Timer()
{
    const bool ok = platform::trapAndReport([&] {
        if (fetchAhead())
            grdPatient->Redraw(2);
        // After a fetch as well: Enter must choose the row the user sees highlighted.
        SyncCurrentRow();
    }, QStringLiteral("Error in tmrRefresh: "));
    tmrRefresh->stop();
    if (ok)
        ShowGridDebug();
}

void frmPatLookup::ShowGridDebug()
{
    platform::GridValue row = grdPatient->NewHolder();
    platform::GridValue column = grdPatient->NewHolder();
    if (grdPatient->GetCurrentCell(row, column) && utils().IsDebugMode()) {
        setWindowTitle(QStringLiteral("curr R,C:") + row.Value.toString() + QLatin1Char(',') + column.Value.toString()
                       + QStringLiteral("; top row ") + str(grdPatient->TopRow()));
    }
    lblMaxRows->setText(QStringLiteral("data rows:") + str(m_model.rowsLoaded()) + QStringLiteral(" ___ grid rows:")
                        + str(grdPatient->RowCount()));
    lblMaxRows->repaint();
}

void frmPatLookup::cmdMore_Click()
{
    // The button has no handler of its own in the lookup's history; a failing page is still
    // reported here so that the dialog stays usable.
    platform::trapAndReport([&] {
        GetGridDataMoreRows();
        ShowGridDebug();
    }, QStringLiteral("Err in frmPatLookup.cmdMore_Click "), platform::Beep::Yes);
}

} // namespace zelvar::patlookup
