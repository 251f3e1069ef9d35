// The window itself: controls, load and unload, the buttons and Escape, error reports.
#include "frmlookupsch.h"

#include "component/references.h"
#include "platform/grid/virtualkeys.h"
#include "platform/buttons.h"
#include "platform/fonts.h"
#include "platform/forms.h"
#include "platform/messagebox.h"
#include "platform/twips.h"

#include <QFrame>
#include <QPushButton>

using namespace zelvar::component;

namespace zelvar::lookupsch {

namespace {


void setBackground(QWidget* widget, Colour colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, platform::GridStyle::colourFromValue(colour));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

frmLookupSch::frmLookupSch()
{
    setObjectName(QStringLiteral("frmLookupSch"));
    setFont(platform::designFont());

    grdLookupSch = new platform::GridControl(this);
    grdLookupSch->setObjectName(QStringLiteral("grdLookupSch"));
    platform::placeTwips(grdLookupSch, 120, 120, 9615, 2535);

    grdLookupSch->setAccessibleName(QStringLiteral("Rows to choose from"));
    grdLookupSch->setAccessibleDescription(QStringLiteral("Enter or a double click chooses the highlighted row."));

    frButtons = new QFrame(this);
    frButtons->setAccessibleName(QStringLiteral("Buttons"));
    frButtons->setObjectName(QStringLiteral("frButtons"));
    frButtons->setFrameShape(QFrame::NoFrame);
    platform::placeTwips(frButtons, 0, 0, 2055, 375);
    const QString captions[2] = {QStringLiteral("OK"), QStringLiteral("Cancel")};
    for (int i = 0; i < 2; ++i) {
        arrCmd[i] = new platform::CommandButton(captions[i], frButtons);
        arrCmd[i]->setObjectName(QStringLiteral("arrCmd_%1").arg(i));
        platform::placeTwips(arrCmd[i], i * 1080, 0, 975, 375);
        QPalette palette = arrCmd[i]->palette();
        palette.setColor(QPalette::Button, QColor(224, 224, 224));
        arrCmd[i]->setPalette(palette);
        connect(arrCmd[i], &QPushButton::clicked, this, [this, i] { arrCmd_Click(i); });
    }
    arrCmd[0]->setDefault(true);
    resize(platform::twipsToPixelsX(10035, this), platform::twipsToPixelsY(3535, this));

    using platform::GridControl;
    grdLookupSch->setStyleSource([this](int row, int column, platform::GridStyle& style, platform::GridValue& result) {
        GetStyleRowCol(row, column, style, 0, 0, result);
    });
    connect(grdLookupSch, &GridControl::OnInitCurrentCell, this, [this] { grdLookupSch_OnInitCurrentCell(); });
    grdLookupSch->setTipSource([this](int row, int column) { return OnCellTip(row, column); });
    connect(grdLookupSch, &GridControl::OnLButtonDblClkRowCol, this,
            [this](double row, double column, int) { OnLButtonDblClkRowCol(row, column); });
    connect(grdLookupSch, &GridControl::ProcessKeys, this,
            [this](int message, double key, int, double) { ProcessKeys(message, key); });
    // Enter is the grid's: it must not press the default button as well.
    connect(grdLookupSch, &GridControl::KeyDown, this, [](double key, int, int, platform::GridValue& result) {
        if (int(key) == platform::vk::Enter)
            result.Value = false;
    });
}

std::unique_ptr<frmLookupSch> frmLookupSch::Load()
{
    return load(new frmLookupSch());
}

frmLookupSch::~frmLookupSch()
{
    grdLookupSch->disconnect(this);
    unload();
}

void frmLookupSch::Form_Load()
{
    setBackground(this, component::layout().WindowBackColor());
    ReturnValue.clear();
    setBackground(frButtons, component::layout().WindowBackColor());
    Grids[0].RowCount = 0;
    Grids[0].ColCount = 0;
    RangeObject = grdLookupSch->NewRange();
    FontObject = grdLookupSch->NewFont();
}

void frmLookupSch::Form_Unload()
{
    ReturnValue.clear();
    ReturnAllColumns = false;
    CurrentRow = 0;
    PreviousRow = 0;
    Grids[0].ColCount = 0;
}

platform::GridControl& frmLookupSch::grid(int index)
{
    if (index != 0)
        throw RuntimeError(RuntimeError::SubscriptOutOfRange);
    return *grdLookupSch;
}

LookupGrid& frmLookupSch::slot(int index)
{
    if (index < 0 || index >= int(Grids.size()))
        throw RuntimeError(RuntimeError::SubscriptOutOfRange);
    return Grids[size_t(index)];
}

void frmLookupSch::arrCmd_Click(int Index)
{
    if (Index == 0) {
        SetReturnValue(CurrentRow);
        hide();
    } else {
        ReturnValue.clear();
        hide();
    }
}

void frmLookupSch::reject()
{
    // Escape, and the cancel button's key: no row.
    ReturnValue.clear();
    hide();
}

} // namespace zelvar::lookupsch
