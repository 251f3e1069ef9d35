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

bool request(const QString& text, QStringList& replies)
{
    QString fourth;
    return hostLink().GetServerStringData(text, replies, QString(), fourth);
}

} // namespace

void frmPatLookup::GetGridData(const SearchRequest& search)
{
    if (!m_replyGrid)
        m_replyGrid = std::make_unique<PatientReplyGrid>(*grdPatient);
    m_model.rows.AllLoaded = false;
    m_model.request = search;
    HighestTopRow = 0;

    QStringList replies;
    if (!request(search.toString(), replies)) {
        // An unanswered search has no pages to follow: without this the refresh timer would
        // send the same request again for every tick, each waiting for the link's timeout.
        m_model.rows.AllLoaded = true;
        platform::beep();
        DisableForms(false);
        GridReady = true;
        Form_Resize();
        GridReady = false;
        return;
    }

    QString errorText;
    if (!BuildGrid(replies, errorText, m_model.rows, *m_replyGrid)) {
        platform::messageBox(errorText, platform::Critical, utils().GetMessageTitle());
        DisableForms(false);
        return;
    }

    grdPatient->LockUpdates(true);
    if (m_model.rows.AllLoaded) {
        grdPatient->SetRowCount(m_model.rows.RowsLoaded);
        // No rows at all reads as a zero key: nothing to total.
        const bool zeroKey = m_model.rows.table.rowBound() < 1 || Val(m_model.rows.table.cell(0, 1)) == 0.0;
        lblStatus->setText(zeroKey ? QString() : rowCountText());
    } else {
        grdPatient->SetRowCount(VirtualRowCount);
    }
    FitToResults();
    if (GridReady)
        FitColumnWidths();
    grdPatient->LockUpdates(false);
    grdPatient->Redraw(2);
    if (!m_model.rows.AllLoaded)
        lblStatus->setText(rowCountText());
}

void frmPatLookup::GetGridDataMoreRows(const QString&)
{
    if (m_model.rows.AllLoaded)
        return;
    platform::HourglassPointer pointer;
    DisableForms(true);

    QStringList replies;
    if (!request(m_model.request.from(m_model.rows.table.cell(0, 0)).toString(), replies)) {
        DisableForms(false);
        return;
    }
    if (BuildGridMoreRows(replies, m_model.rows, *m_replyGrid)) {
        if (m_model.rows.AllLoaded)
            grdPatient->SetRowCount(m_model.rows.RowsLoaded);
        lblStatus->setText(rowCountText());
    } else {
        platform::messageBox(QStringLiteral("Error in Patient Lookup (GetGridDataMoreRows)"), platform::Critical,
                             utils().GetMessageTitle());
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
    if (!m_model.rows.AllLoaded) {
        const QString& total = m_model.rows.KnownTotal;
        return QStringLiteral("Showing: ") + str(LastShownRow()) + (total.isEmpty() ? QString() : QStringLiteral(" of ") + total);
    }
    QString text = QStringLiteral("Total: ") + str(m_model.rows.RowsLoaded);
    // The grid holds at most so many rows: the user is told where the list stops.
    if (grdPatient->RowCount() < m_model.rows.RowsLoaded)
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

        FitRowCount = m_model.rows.RowsLoaded;
        FitColumnCount = m_model.rows.ColumnBound;
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
        grdPatient->SetScrollBarMode(1, m_model.rows.RowsLoaded >= VisibleRows ? 1 : 0);

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
        return qint64(grdPatient->TopRow()) + 2 * qint64(VisibleRows) > m_model.rows.RowsLoaded;
    };
    if (!shortOfRows() || m_model.rows.AllLoaded)
        return false;
    // At most four pages for one notification or tick, and none after a page that brought
    // nothing (not answered, or unreadable): the next move of the user tries again.
    for (int fetch = 0; fetch < 4; ++fetch) {
        const qint32 before = m_model.rows.RowsLoaded;
        GetGridDataMoreRows();
        ShowGridDebug();
        if (!shortOfRows() || m_model.rows.AllLoaded || m_model.rows.RowsLoaded == before)
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
    lblMaxRows->setText(QStringLiteral("data rows:") + str(m_model.rows.RowsLoaded) + QStringLiteral(" ___ grid rows:")
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
