// The result grid's look: styles, the per-cell style answer, column fitting, zoom.
#include "frmpatlookup.h"

#include "component/conversions.h"
#include "component/references.h"
#include "component/strings.h"
#include "platform/trap.h"
#include "platform/messagebox.h"
#include "platform/twips.h"

#include <cmath>

using namespace zelvar::component;

namespace zelvar::patlookup {

namespace {

constexpr Colour kFrameColour = 0xC0C0C0;        // RGB(192, 192, 192)
constexpr Colour kGridColourSlot0 = 8421504;     // RGB(128, 128, 128)
constexpr Colour kCurrentRowColour = 0xB4B490;   // RGB(144, 180, 180)
constexpr Colour kFailedCellColour = 0xD2D2D2;   // RGB(210, 210, 210)

} // namespace

void frmPatLookup::grdPatient_OnGridInitialUpdate()
{
    platform::trapAndReport([&] {
        Colour colour = settings().GridFrameColor();
        if (colour == 0)
            colour = kFrameColour;
        grdPatient->SetColor(4, colour);
        grdPatient->SetColor(0, kGridColourSlot0);
        grdPatient->setgridlinestyle(0);
    }, QStringLiteral("ERR in ZelvarPatLookups.frmPatLookup.grdPatient_OnGridInitialUpdate "), platform::Beep::Yes);
}

void frmPatLookup::grdPatient_GetStyleRowCol(double Row, double Col, platform::GridStyle& Style, int,
                                             int StyleType, platform::GridValue& Result)
{
    const qint32 r = qint32(Row);
    const qint32 c = qint32(Col);
    if (StyleType != 0 || r < 0 || c < 0 || c > m_model.columnBound() || r > m_model.rowsLoaded()
        || grdPatient->RowCount() == 0)
        return;
    // Column 0 holds the continuation key (row 0) and the rows' keys, which carry no style
    // suffix: decoding them would only fail. It keeps the grid's own look, a narrow marker.
    if (c == 0)
        return;

    // Each step that fails is reported, leaves the cell blank on light grey, and the next
    // step still runs: a later step may yet give the cell its text or colours.
    const auto step = [&](const auto& body) {
        if (const std::optional<ErrorInfo> error = trapped(body)) {
            platform::reportToHost(QStringLiteral("Err in frmPatLookup.grdPatient_GetStyleRowCol ") + error->description);
            Style.setValue(QString());
            Style.setInterior(kFailedCellColour);
        }
    };

    const quint64 paint = grdPatient->gridModel().paintSerial();
    Result.Value = 1;
    QString x;
    step([&] { x = m_model.cell(c, r); });
    const qsizetype n = x.size();

    // The suffix's two colours, or the given style when both entries are empty.
    const auto colours = [&](qint32 styleId) {
        QString background;
        QString text;
        step([&] { background = m_model.colours().entry(charAt(x, n - 2), paint); });
        step([&] { text = m_model.colours().entry(charAt(x, n - 1), paint); });
        if (background.isEmpty() && text.isEmpty()) {
            step([&] { Style.setBaseStyle(styleId); });
        } else {
            step([&] { Style.setInterior(background); });
            step([&] { Style.setTextColor(text); });
        }
    };

    if (r == 0 && !x.isEmpty()) {
        step([&] { Style.setValue(Left(x, n - 3)); });
        step([&] { Style.setHorizontalAlignment(Right(x, 1)); });
        colours(HeaderStyleId);
    } else if (x.isEmpty()) {
        step([&] { Style.setBaseStyle(BaseStyleId); });
    } else if (x.back() == QChar(0x0002)) {
        step([&] { Style.setValue(Left(x, n - 1)); });
        step([&] { Style.setBaseStyle(BaseStyleId); });
    } else {
        step([&] { Style.setValue(Left(x, n - 3)); });
        step([&] { Style.setHorizontalAlignment(Right(x, 1)); });
        if (m_model.currentRow() == r) {
            step([&] {
                const QString text = m_model.colours().entry(charAt(x, n - 1), paint);
                if (text.isEmpty())
                    Style.setTextColor(Colour(0));
                else
                    Style.setTextColor(text);
            });
            step([&] {
                const Colour colour = settings().CurrentRowColor();
                Style.setInterior(colour == 0 ? kCurrentRowColour : colour);
            });
        } else {
            colours(BaseStyleId);
        }
    }
}

void frmPatLookup::FitColumnWidths()
{
    if (!GridReady)
        return;
    const qint32 columns = grdPatient->ColCount();
    if (grdPatient->SumColWidths(1, columns, 200) <= 0)
        return;
    float available = float(platform::pixelsToTwipsX(grdPatient->width(), this)) - 30.0f;
    if (grdPatient->VerticalBarTakesRoom(1) == 1)
        available -= float(settings().ScrollBarWidth());
    const float pixels = float(available / platform::twipsPerPixelX(this));
    const qint32 total = grdPatient->SumColWidths(1, columns, 0);
    const float factor = pixels / float(total + 2);
    const qint16 last = CInt(double(grdPatient->ColCount()));
    for (qint32 i = 1; i <= last; ++i) {
        const qint32 width = CLng(double(float(grdPatient->ColWidth(i)) * factor));
        grdPatient->SetColWidths(i, i, width);
    }
}

qint32 frmPatLookup::LastShownRow()
{
    const float height = float(platform::pixelsToTwipsY(grdPatient->height(), this));
    const double p = platform::twipsPerPixelY(this);
    const double heading = grdPatient->RowHeight(0);
    const double line = grdPatient->RowHeight(1);
    const double top = grdPatient->TopRow();
    const qint32 result = CLng((height - p * heading) / (p * line) + top - 1);
    return m_model.rowsLoaded() < result ? m_model.rowsLoaded() : result;
}

void frmPatLookup::cmdZoomIn_Click()
{
    if (m_zoomingIn || ZoomPercent > 500)
        return;
    m_zoomingIn = true;
    ZoomPercent += 9;
    grdPatient->SetZoom(ZoomPercent);
    m_zoomingIn = false;
}

void frmPatLookup::cmdZoomOut_Click()
{
    if (m_zoomingOut || ZoomPercent < 20)
        return;
    m_zoomingOut = true;
    ZoomPercent -= 9;
    grdPatient->SetZoom(ZoomPercent);
    m_zoomingOut = false;
}

} // namespace zelvar::patlookup
