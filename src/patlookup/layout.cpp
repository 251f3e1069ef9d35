// The dialog's controls and design, load, activation, resizing and unload, and the two modes.
#include "frmpatlookup.h"
#include "patientreplygrid.h"

#include "component/conversions.h"
#include "component/references.h"
#include "platform/buttons.h"
#include "platform/trap.h"
#include "platform/fonts.h"
#include "platform/forms.h"
#include "platform/grid/gridstyle.h"
#include "platform/messagebox.h"
#include "platform/twips.h"
#include "services/keystate.h"
#include "services/windowhook.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

using namespace zelvar::component;

namespace zelvar::patlookup {

namespace {

struct OptionDesign { const char* caption; int left; int width; int tabIndex; };

// optSearch, by index.
const OptionDesign kOptions[11] = {
    {"&Acct#", 60, 732, 3},      {"&Pat Name", 780, 1032, 4}, {"&Guar", 1815, 732, 5},
    {"&DOB", 2535, 735, 6},      {"P&olicy#", 3270, 852, 7},  {"&MR#", 5565, 672, 10},
    {"&SS#", 4125, 612, 8},      {"P&hone#", 6240, 900, 11},  {"&Trans#", 4725, 852, 9},
    {"&Claim#", 7140, 840, 25},  {"&Enc", 8010, 660, 31},
};

constexpr int kMedicalRecordOption = 5;

// optSearchW, by index.
const OptionDesign kWorkflowOptions[3] = {
    {"&Pat Name", 120, 1032, 29}, {"&Guar", 1212, 732, 27}, {"&Accession#", 2040, 1152, 28},
};

constexpr double kClientWidth = 11160;
constexpr double kClientHeight = 4980;


QColor toColor(Colour colour)
{
    return platform::GridStyle::colourFromValue(colour);
}

void setColours(QWidget* widget, Colour back, Colour fore)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, toColor(back));
    palette.setColor(QPalette::WindowText, toColor(fore));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QIcon zoomIcon(bool in)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 40, 40), 1.6));
    painter.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    painter.drawLine(QPointF(9.5, 9.5), QPointF(14.5, 14.5));
    painter.drawLine(QPointF(3.8, 6), QPointF(8.2, 6));
    if (in)
        painter.drawLine(QPointF(6, 3.8), QPointF(6, 8.2));
    return QIcon(pixmap);
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption)
{
    // Enter presses the focused button; elsewhere it belongs to the search box and the grid,
    // never to a default button.
    auto* b = new platform::CommandButton(caption, parent);
    b->setObjectName(name);
    return b;
}

} // namespace

frmPatLookup::frmPatLookup()
{
    setObjectName(QStringLiteral("frmPatLookup"));
    setWindowTitle(QStringLiteral("Patient Lookup"));
    setSizeGripEnabled(false);
    setFont(platform::designFont());
    createControls();
    connectControls();
}

std::unique_ptr<frmPatLookup> frmPatLookup::Load()
{
    return load(new frmPatLookup());
}

frmPatLookup::~frmPatLookup()
{
    // No grid notification may reach a dialog whose controls are being destroyed.
    grdPatient->disconnect(this);
    tmrRefresh->stop();
    unload();
    qApp->removeEventFilter(this);
}

void frmPatLookup::createControls()
{
    resize(platform::twipsToPixelsX(kClientWidth, this), platform::twipsToPixelsY(kClientHeight, this));

    frmSearch = new QFrame(this);
    frmSearch->setObjectName(QStringLiteral("frmSearch"));
    frmSearch->setFrameShape(QFrame::NoFrame);
    platform::placeTwips(frmSearch, 120, 80, 2175, 576);
    Label1 = new QLabel(QStringLiteral("&Look For:"), frmSearch);
    Label1->setObjectName(QStringLiteral("Label1"));
    platform::placeTwips(Label1, 0, 0, 972, 252);
    txtSearch = new QLineEdit(frmSearch);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    platform::placeTwips(txtSearch, 0, 200, 1365, 285);
    Label1->setBuddy(txtSearch);
    cmdSearch = button(frmSearch, QStringLiteral("cmdSearch"), QStringLiteral("Search"));
    platform::placeTwips(cmdSearch, 1410, 180, 735, 348);

    frOptions = new QGroupBox(QStringLiteral("Search by"), this);
    frOptions->setObjectName(QStringLiteral("frOptions"));
    platform::placeTwips(frOptions, 2340, 120, 8775, 552);
    for (int i = 0; i < int(optSearch.size()); ++i) {
        optSearch[i] = new platform::OptionButton(QString::fromLatin1(kOptions[i].caption), frOptions);
        optSearch[i]->setObjectName(QStringLiteral("optSearch_%1").arg(i));
        platform::placeTwips(optSearch[i], kOptions[i].left, 240, kOptions[i].width, 255);
    }
    optSearch[10]->setToolTip(QStringLiteral("Encounter"));
    lblMaxRows = new QLabel(QStringLiteral("0"), frOptions);
    lblMaxRows->setObjectName(QStringLiteral("lblMaxRows"));
    platform::placeTwips(lblMaxRows, 4920, -120, 2412, 252);

    chkMode = new QCheckBox(QStringLiteral("Workflow search"), this);
    chkMode->setObjectName(QStringLiteral("chkMode"));
    platform::placeTwips(chkMode, 9840, 180, 1032, 432);

    frOptionsW = new QGroupBox(QStringLiteral("Search by"), this);
    frOptionsW->setObjectName(QStringLiteral("frOptionsW"));
    platform::placeTwips(frOptionsW, 2820, 2220, 3312, 552);
    for (int i = 0; i < int(optSearchW.size()); ++i) {
        optSearchW[i] = new platform::OptionButton(QString::fromLatin1(kWorkflowOptions[i].caption), frOptionsW);
        optSearchW[i]->setObjectName(QStringLiteral("optSearchW_%1").arg(i));
        platform::placeTwips(optSearchW[i], kWorkflowOptions[i].left, 240, kWorkflowOptions[i].width, 255);
    }

    cmdMore = button(this, QStringLiteral("cmdMore"), QStringLiteral("More rows"));
    platform::placeTwips(cmdMore, 9600, 720, 972, 252);
    cmdNewAcct = button(this, QStringLiteral("cmdNewAcct"), QStringLiteral("New Account"));
    platform::placeTwips(cmdNewAcct, 9360, 1080, 1215, 330);

    grdPatient = new platform::GridControl(this);
    grdPatient->setObjectName(QStringLiteral("grdPatient"));
    platform::placeTwips(grdPatient, 120, 720, 6612, 1248);
    // The dialog's wheel hook, when installed, takes every vertical turn over the dialog before
    // the grid sees it (one row a turn); without it (debug mode) the grid scrolls on its own.

    fraNavigator = new QFrame(this);
    fraNavigator->setObjectName(QStringLiteral("fraNavigator"));
    fraNavigator->setFrameShape(QFrame::NoFrame);
    platform::placeTwips(fraNavigator, 1920, 3180, 4080, 444);
    cmdDisplay = button(fraNavigator, QStringLiteral("cmdDisplay"), QStringLiteral("Displa&y"));
    platform::placeTwips(cmdDisplay, 0, 40, 1068, 348);
    cmdOK = button(fraNavigator, QStringLiteral("cmdOK"), QStringLiteral("O&K"));
    platform::placeTwips(cmdOK, 1140, 40, 1068, 348);
    cmdCancel = button(fraNavigator, QStringLiteral("cmdCancel"), QStringLiteral("Cancel"));
    platform::placeTwips(cmdCancel, 2280, 40, 1068, 348);
    cmdZoomIn = button(fraNavigator, QStringLiteral("cmdZoomIn"), QString());
    cmdZoomIn->setIcon(zoomIcon(true));
    cmdZoomIn->setToolTip(QStringLiteral(" Zoom In "));
    platform::placeTwips(cmdZoomIn, 3480, 52, 300, 315);
    cmdZoomOut = button(fraNavigator, QStringLiteral("cmdZoomOut"), QString());
    cmdZoomOut->setIcon(zoomIcon(false));
    cmdZoomOut->setToolTip(QStringLiteral(" Zoom Out "));
    platform::placeTwips(cmdZoomOut, 3780, 52, 300, 315);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    platform::placeTwips(lblStatus, 180, 3480, 2412, 192);

    tmrRefresh = new QTimer(this);
    tmrRefresh->setObjectName(QStringLiteral("tmrRefresh"));
    tmrRefresh->setSingleShot(true);
    tmrRefresh->setInterval(1);

    // What a screen reader says where a caption is missing or says little.
    frmSearch->setAccessibleName(QStringLiteral("Search"));
    txtSearch->setAccessibleName(QStringLiteral("Look For"));
    txtSearch->setAccessibleDescription(
        QStringLiteral("The text to search for. A letter and an equals sign in front, such as G=, choose the search key."));
    lblMaxRows->setAccessibleName(QStringLiteral("Rows loaded"));
    grdPatient->setAccessibleName(QStringLiteral("Patients found"));
    grdPatient->setAccessibleDescription(
        QStringLiteral("Enter or a double click chooses the highlighted patient; typing starts a new search."));
    fraNavigator->setAccessibleName(QStringLiteral("Choose"));
    cmdZoomIn->setAccessibleName(QStringLiteral("Zoom In"));
    cmdZoomOut->setAccessibleName(QStringLiteral("Zoom Out"));
    // The count line is read as what it says ("Showing: 50 of 942"); a name would be read
    // instead of it.
    lblStatus->setAccessibleDescription(QStringLiteral("How many patients the list holds."));
    cmdMore->setAccessibleDescription(QStringLiteral("Fetches the next page of patients."));
    cmdNewAcct->setAccessibleDescription(QStringLiteral("Closes the lookup to create a new account."));

    // Tab order by the design's tab indexes; the grid follows the search options.
    QList<std::pair<int, QWidget*>> order{{1, txtSearch}, {2, cmdSearch}, {12, grdPatient}, {13, cmdDisplay},
                                          {14, cmdOK}, {15, cmdCancel}, {16, cmdZoomIn}, {17, cmdZoomOut},
                                          {20, cmdNewAcct}, {24, cmdMore}, {30, chkMode}};
    for (int i = 0; i < int(optSearch.size()); ++i)
        order.append({kOptions[i].tabIndex, optSearch[i]});
    for (int i = 0; i < int(optSearchW.size()); ++i)
        order.append({kWorkflowOptions[i].tabIndex, optSearchW[i]});
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

void frmPatLookup::Form_Load()
{
    const std::optional<ErrorInfo> error = trapped([&] {
        services::HookLookupWindow(this, this);
        lblMaxRows->hide();
        cmdMore->hide();
        const Colour fore = component::layout().WindowForeColor();
        QPalette status = lblStatus->palette();
        status.setColor(QPalette::WindowText, toColor(fore));
        lblStatus->setPalette(status);
        VirtualRowCount = 200;
        ZoomPercent = 100;
        const Colour back = component::layout().WindowBackColor();
        setColours(this, back, fore);
        setColours(fraNavigator, back, fore);
        for (QRadioButton* option : optSearch)
            setColours(option, component::layout().WindowBackColor(), component::layout().WindowForeColor());
        for (QRadioButton* option : optSearchW)
            setColours(option, component::layout().WindowBackColor(), component::layout().WindowForeColor());
        for (QWidget* w : {static_cast<QWidget*>(chkMode), static_cast<QWidget*>(Label1),
                           static_cast<QWidget*>(frmSearch), static_cast<QWidget*>(frOptions),
                           static_cast<QWidget*>(frOptionsW)})
            setColours(w, component::layout().WindowBackColor(), component::layout().WindowForeColor());
        frOptionsW->move(frOptions->pos());
        VisibleRows = 24;
        m_range = grdPatient->NewRange();
        // The grid's styles.
        platform::GridStyle style = grdPatient->NewStyle();
        platform::StylesMap& styles = grdPatient->GetStylesMap();
        style.setInterior(Colour(0xFFFFFF));
        style.setTextColor(Colour(0x000000));
        BaseStyleId = styles.registerStyle(QStringLiteral("Base"), style, false);
        style.setInterior(Colour(0xC8C8C8));
        style.setTextColor(Colour(0x000000));
        HeaderStyleId = styles.registerStyle(QStringLiteral("Header"), style, false);
    });
    // Keys reach the dialog before its controls.
    qApp->installEventFilter(this);
    if (error) {
        platform::beep();
        platform::reportToHost(QStringLiteral("ERR in frmPatLookup.Form_Load   ") + error->description);
    }
}

void frmPatLookup::Form_Activate()
{
    m_model.forgetSingleHit();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (m_model.rowsLoaded() > 0) {
        if (!m_model.isPatientRow(1)) {
            if (txtSearch->isVisible() && txtSearch->isEnabled())
                txtSearch->setFocus();
        } else {
            FocusIfVisible(grdPatient);
        }
    }
}

double frmPatLookup::innerWidthTwips() const { return platform::pixelsToTwipsX(width(), this); }
double frmPatLookup::innerHeightTwips() const { return platform::pixelsToTwipsY(height(), this); }
double frmPatLookup::outerWidthTwips() const { return platform::pixelsToTwipsX(frameGeometry().width(), this); }
double frmPatLookup::outerHeightTwips() const { return platform::pixelsToTwipsY(frameGeometry().height(), this); }

void frmPatLookup::setOuterSizeTwips(double width, double height)
{
    const QSize frame = frameGeometry().size() - size();
    resize(qMax(1, platform::twipsToPixelsX(width, this) - frame.width()),
           qMax(1, platform::twipsToPixelsY(height, this) - frame.height()));
    // A hidden window hears of its new size only when shown; the layout is needed now.
    if (!isVisible())
        Form_Resize();
}

void frmPatLookup::Form_Resize()
{
    using namespace platform;
    const double gridLeft = pixelsToTwipsX(grdPatient->x(), this);
    const double gridTop = pixelsToTwipsY(grdPatient->y(), this);
    const double navigatorHeight = pixelsToTwipsY(fraNavigator->height(), this);

    const double gridWidth = innerWidthTwips() - 2 * gridLeft;
    if (gridWidth > 0)
        grdPatient->resize(twipsToPixelsX(gridWidth, this), grdPatient->height());
    const double gridHeight = innerHeightTwips() - gridTop - navigatorHeight;
    if (gridHeight > 0)
        grdPatient->resize(grdPatient->width(), twipsToPixelsY(gridHeight, this));
    if (outerWidthTwips() - 1100 > 0)
        fraNavigator->move(grdPatient->x() + grdPatient->width() - fraNavigator->width(), fraNavigator->y());
    if (outerHeightTwips() - 750 > 0)
        fraNavigator->move(fraNavigator->x(), grdPatient->y() + grdPatient->height());
    lblStatus->move(lblStatus->x(), fraNavigator->y() + cmdOK->y());
    if (GridReady) {
        PlaceModeCheckBox();
        FitColumnWidths();
    }
    placeTabStops();
}

void frmPatLookup::placeTabStops()
{
    for (QWidget* control : {static_cast<QWidget*>(cmdNewAcct), static_cast<QWidget*>(cmdMore),
                             static_cast<QWidget*>(chkMode)})
        platform::takeFocusOnlyInSight(control);
}

void frmPatLookup::Form_Unload()
{
    platform::trapAndReport([&] {
        services::UnhookLookupWindow(this);
        GridReady = false;
    }, QStringLiteral("ERR in frmPatLookup.Form_Unload   "), platform::Beep::Yes);
}

void frmPatLookup::ShowSearchMode()
{
    if (m_mode == QLatin1String("W")) {
        frOptionsW->show();
        frOptions->hide();
        chkMode->setChecked(true);
        setWindowTitle(QStringLiteral("Patient Lookup   -   Workflow"));
    } else {
        frOptionsW->hide();
        frOptions->show();
        chkMode->setChecked(false);
        setWindowTitle(QStringLiteral("Patient Lookup"));
    }
    chkMode->setVisible(m_allowModeSwitch);
    PlaceModeCheckBox();
    placeTabStops();
}

void frmPatLookup::PlaceModeCheckBox()
{
    using namespace platform;
    // isVisibleTo: the frames count as shown even while the dialog itself is hidden.
    const QGroupBox* frame = frOptions->isVisibleTo(this) ? frOptions : frOptionsW;
    const double frameTop = pixelsToTwipsY(frame->y(), this);
    const double frameHeight = pixelsToTwipsY(frame->height(), this);
    const double boxHeight = pixelsToTwipsY(chkMode->height(), this);
    const double boxWidth = pixelsToTwipsX(chkMode->width(), this);
    const double a = innerWidthTwips() - boxWidth - 30;
    const double b = pixelsToTwipsX(frame->x() + frame->width(), this);
    chkMode->move(twipsToPixelsX(qMax(a, b), this), twipsToPixelsY(frameTop + frameHeight - boxHeight, this));
}

void frmPatLookup::chkMode_Click()
{
    m_mode = chkMode->isChecked() ? QStringLiteral("W") : QString();
    if (txtSearch->text().isEmpty())
        cmdSearch->setEnabled(m_mode == QLatin1String("W"));
    ShowSearchMode();
}

void frmPatLookup::optSearch_Click(int Index)
{
    SearchByCaption = QString::fromLatin1(kOptions[Index].caption);
    if (services::AltKeyDown() && txtSearch->isVisible() && txtSearch->isEnabled())
        txtSearch->setFocus();
}

void frmPatLookup::txtSearch_Change()
{
    cmdSearch->setEnabled(!(m_mode.isEmpty() && txtSearch->text().trimmed().isEmpty()));
}

void frmPatLookup::txtSearch_GotFocus()
{
    txtSearch->setSelection(0, int(txtSearch->text().size()));
}

SearchRequest frmPatLookup::searchRequest(const QString& text) const
{
    SearchRequest request;
    request.text = text;
    // The medical record number is the one key whose text is sent as typed.
    request.keepCase = SearchByCaption == QLatin1String(kOptions[kMedicalRecordOption].caption);
    if (m_mode != QLatin1String("W")) {
        request.key = SearchByCaption;
        return request;
    }
    request.workflow = true;
    for (size_t i = 0; i < optSearchW.size(); ++i) {
        if (optSearchW[i]->isChecked())
            request.key = QString::fromLatin1(kWorkflowOptions[i].caption);
    }
    return request;
}

void frmPatLookup::selectOption(int index)
{
    // Selecting by code records the caption as a click does (through the toggle).
    optSearch[index]->setChecked(true);
}

void frmPatLookup::selectWorkflowOption(int index)
{
    optSearchW[index]->setChecked(true);
}

int frmPatLookup::selectedOption() const
{
    for (int i = 0; i < int(optSearch.size()); ++i) {
        if (optSearch[i]->isChecked())
            return i;
    }
    return -1;
}

void frmPatLookup::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void frmPatLookup::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // After the window is up, so that the focus it sets stays.
    QTimer::singleShot(0, this, [this] {
        if (isVisible())
            Form_Activate();
    });
}

} // namespace zelvar::patlookup

namespace zelvar::patlookup {

void frmPatLookup::connectControls()
{
    connect(cmdSearch, &QPushButton::clicked, this, [this] { cmdSearch_Click(); });
    connect(txtSearch, &QLineEdit::textChanged, this, [this] { txtSearch_Change(); });
    for (int i = 0; i < int(optSearch.size()); ++i) {
        connect(optSearch[i], &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked)
                optSearch_Click(i);
        });
    }
    connect(chkMode, &QCheckBox::toggled, this, [this] { chkMode_Click(); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(cmdNewAcct, &QPushButton::clicked, this, [this] { cmdNewAcct_Click(); });
    connect(cmdDisplay, &QPushButton::clicked, this, [this] { cmdDisplay_Click(); });
    connect(cmdMore, &QPushButton::clicked, this, [this] { cmdMore_Click(); });
    connect(cmdZoomIn, &QPushButton::clicked, this, [this] { cmdZoomIn_Click(); });
    connect(cmdZoomOut, &QPushButton::clicked, this, [this] { cmdZoomOut_Click(); });
    connect(tmrRefresh, &QTimer::timeout, this, [this] { tmrRefresh_Timer(); });

    using platform::GridControl;
    // The grid paints the model's rows (column 0 holds the keys); screen readers read them.
    grdPatient->setContentModel(&m_model, 1);
    grdPatient->setStyleSource([this](int row, int column, platform::GridStyle& style, platform::GridValue& result) {
        grdPatient_GetStyleRowCol(row, column, style, 0, 0, result);
    });
    connect(grdPatient, &GridControl::OnGridInitialUpdate, this, &frmPatLookup::grdPatient_OnGridInitialUpdate);
    connect(grdPatient, &GridControl::KeyDown, this, &frmPatLookup::grdPatient_KeyDown);
    connect(grdPatient, &GridControl::KeyUp, this, &frmPatLookup::grdPatient_KeyUp);
    connect(grdPatient, &GridControl::ProcessKeys, this, &frmPatLookup::grdPatient_ProcessKeys);
    connect(grdPatient, &GridControl::OnLButtonDblClkRowCol, this, &frmPatLookup::grdPatient_OnLButtonDblClkRowCol);
    // The row the user is on, as the grid moves it (by key, click or call, or because the rows
    // it was on are gone), before the window's own handling of the move.
    connect(grdPatient, &GridControl::OnLeftCell, this, [this](double, double, double newRow, double) {
        m_model.setCurrentRow(qint32(newRow));
    });
    connect(grdPatient, &GridControl::OnInitCurrentCell, this, [this](double row, double) {
        m_model.setCurrentRow(qint32(row));
    });
    connect(grdPatient, &GridControl::OnLeftCell, this, [this] { grdPatient_OnLeftCell(); });
    connect(grdPatient, &GridControl::OnTopRowChange, this, &frmPatLookup::grdPatient_OnTopRowChange);
    connect(grdPatient, &GridControl::OnTopRowChanged, this, &frmPatLookup::grdPatient_OnTopRowChanged);
}

} // namespace zelvar::patlookup
