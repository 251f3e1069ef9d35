// The lookup grid's look: each cell from its style suffix, the current row, tool tips, and the
// window's size from its data.
#include "frmlookupsch.h"

#include "component/conversions.h"
#include "component/references.h"
#include "component/strings.h"
#include "platform/trap.h"
#include "platform/twips.h"

#include <QFrame>

using namespace zelvar::component;

namespace zelvar::lookupsch {

namespace {

constexpr Colour kHighlightText = 0xFFFFFF;     // RGB(255, 255, 255)
constexpr Colour kHighlightBack = 0x6A240A;     // RGB(10, 36, 106)
constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kBlack = 0x000000;

struct FontShape { qint16 size; bool bold; bool italic; };

// Font codes "0" to "8": 8, 10 and 12 points, each plain, bold and italic.
bool fontForCode(QChar code, FontShape& shape)
{
    const int n = code.unicode() - u'0';
    if (n < 0 || n > 8)
        return false;
    shape = {qint16(8 + 2 * (n / 3)), n % 3 == 1, n % 3 == 2};
    return true;
}

} // namespace

void frmLookupSch::GetStyleRowCol(double Row, double Col, platform::GridStyle& Style, int, int StyleType,
                                  platform::GridValue& Result)
{
    const qint32 r = qint32(Row);
    const qint32 c = qint32(Col);
    LookupGrid& g = Grids[0];
    if (r < 0 || StyleType != 0 || c == 0 || c > g.ColCount || r > g.RowCount)
        return;

    // A failing step blanks the cell in white and black, and the next step still runs.
    const auto step = [&](const std::function<void()>& body) {
        if (trapped(body)) {
            Style.setValue(QString());
            Style.setInterior(kWhite);
            Style.setTextColor(kBlack);
        }
    };

    QString value;
    step([&] { value = g.Cells.cell(c, r); });
    if (value.isEmpty()) {
        step([&] { grdLookupSch->LockUpdates(false); });
        return;
    }
    if (r == 0) {
        styleHeading(value, c, Style, step);
        return;
    }

    const qsizetype n = value.size();
    const QString text = n >= 7 ? value.left(n - 7) : QString();
    QString suffix;
    step([&] { suffix = Right(value, 7); if (suffix.size() < 7) throw RuntimeError(RuntimeError::InvalidProcedureCall); });

    step([&] {
        const qint32 rowSpan = CInt(Mid(suffix, 1, 1));
        const qint32 columnSpan = CInt(Mid(suffix, 2, 1));
        if (rowSpan >= 2 || columnSpan >= 2)
            grdLookupSch->SetCoveredCells(r, c, r + qMax(rowSpan, 1) - 1, c + qMax(columnSpan, 1) - 1);
    });
    step([&] {
        FontShape shape{};
        if (fontForCode(charAt(suffix, 3), shape)) {
            FontObject.setSize(shape.size);
            FontObject.setBold(shape.bold);
            FontObject.setItalic(shape.italic);
        }
        Style.setFont(FontObject);
    });
    step([&] {
        const QString withoutFirst = Mid(text, 2);
        switch (charAt(suffix, 4).unicode()) {
        case u'0':
            Style.setCellKind(platform::CellKind::Text);
            Style.setValue(text);
            Result.Value = 1;
            break;
        case u'1':
            Style.setCellKind(platform::CellKind::Static);
            Style.setValue(text);
            break;
        case u'2':
        case u'5':
            Style.setCellKind(platform::CellKind::Text);
            Style.setValue(text);
            break;
        case u'3':
            Style.setCellKind(platform::CellKind::Text);
            Style.setValue(withoutFirst);
            break;
        case u'9':
            Style.setCellKind(platform::CellKind::Text);
            Style.setValue(withoutFirst);
            break;
        case u'4':
        case u'6':
            Style.setCellKind(platform::CellKind::DropDown);
            Style.setValue(text.left(1));
            Style.setChoiceList(text.isEmpty() ? QStringLiteral("no data") : withoutFirst);
            break;
        case u'7':
            Style.setCellKind(platform::CellKind::List);
            Style.setChoiceList(text);
            break;
        case u'8':
            Style.setCellKind(platform::CellKind::DropDown);
            Style.setChoiceList(text);
            break;
        default:
            break;
        }
    });
    step([&] { Style.setHorizontalAlignment(QString(charAt(suffix, 7))); });
    step([&] { Style.setInterior(paintColour(charAt(suffix, 5))); });
    step([&] { Style.setTextColor(paintColour(charAt(suffix, 6))); });
    if (r == CurrentRow) {
        Style.setTextColor(kHighlightText);
        Style.setInterior(kHighlightBack);
    }
    step([&] { Result.Value = 1; });
}

QString frmLookupSch::paintColour(QChar code)
{
    return m_colours.entry(code, grdLookupSch->gridModel().paintSerial());
}

void frmLookupSch::styleHeading(const QString& value, qint32 column, platform::GridStyle& Style,
                                const std::function<void(const std::function<void()>&)>& step)
{
    const qsizetype n = value.size();
    step([&] { Style.setValue(Left(value, n - 3)); });
    int alignment = 0;
    step([&] {
        alignment = CInt(Right(value, 1));
        Style.setHorizontalAlignment(QString::number(alignment % 3));
    });
    step([&] { Style.setInterior(paintColour(charAt(value, n - 2))); });
    step([&] { Style.setTextColor(paintColour(charAt(value, n - 1))); });
}

void frmLookupSch::grdLookupSch_OnInitCurrentCell()
{
    platform::trapAndReport([&] {
        platform::GridValue row = grdLookupSch->NewHolder();
        platform::GridValue column = grdLookupSch->NewHolder();
        if (!grdLookupSch->GetCurrentCell(row, column))
            return;
        const qint32 current = row.Value.toInt();
        if (current < 1)
            return;
        PreviousRow = CurrentRow;
        CurrentRow = current;
        RangeObject.initrange(0, PreviousRow, Grids[0].ColCount, PreviousRow);
        grdLookupSch->RedrawRange(RangeObject);
        if (CurrentRow != PreviousRow) {
            RangeObject.initrange(0, CurrentRow, Grids[0].ColCount, CurrentRow);
            grdLookupSch->RedrawRange(RangeObject);
        }
    }, QStringLiteral("Error raised in frmLookupSch.grdLookupSch_OnInitCurrentCell: "), platform::Beep::Yes);
}

QString frmLookupSch::OnCellTip(double Row, double Col)
{
    // No tip, silently, when the cell has no such text (not the tip of the cell before).
    QString tip;
    trapped([&] {
        const qint32 r = qint32(Row);
        const QString value = Grids[0].Cells.cell(qint32(Col), r);
        tip = r != 0 ? Left(value, value.size() - 7) : Left(value, value.size() - 3);
    });
    return tip;
}

void frmLookupSch::ResizeForm()
{
    platform::trapAndReport([&] {
        using namespace platform;
        const LookupGrid& g = Grids[0];
        double gridWidth = twipsPerPixelX(this) * grdLookupSch->SumColWidths(0, g.ColCount - 1) + 37;
        const double contentHeight = twipsPerPixelY(this) * grdLookupSch->SumRowHeights(0, g.RowCount) + 37;
        if (contentHeight > 2550) {
            grdLookupSch->SetScrollBarMode(1, 1);
            gridWidth += settings().ScrollBarWidth();
        } else {
            grdLookupSch->SetScrollBarMode(1, 0);
        }
        grdLookupSch->SetScrollBarMode(0, 0);
        if (gridWidth < 5000)
            gridWidth = 5000;
        grdLookupSch->resize(twipsToPixelsX(gridWidth, this), grdLookupSch->height());

        const double windowWidth = gridWidth + 300;
        const double windowHeight = pixelsToTwipsY(grdLookupSch->height(), this)
            + pixelsToTwipsY(grdLookupSch->y(), this) + 880;
        const QSize frame = frameGeometry().size() - size();
        resize(twipsToPixelsX(windowWidth, this) - frame.width(), twipsToPixelsY(windowHeight, this) - frame.height());

        const double buttonsTop = windowHeight - pixelsToTwipsY(frButtons->height(), this) - 400;
        const double buttonsLeft = windowWidth - pixelsToTwipsX(frButtons->width(), this) - 180;
        frButtons->move(twipsToPixelsX(buttonsLeft, this), twipsToPixelsY(buttonsTop, this));
    }, QStringLiteral("Error raised in frmLookupSch.ResizeForm: "), platform::Beep::Yes);
}

} // namespace zelvar::lookupsch
