#pragma once

#include "component/references.h"
#include "component/runtimeerror.h"
#include "platform/form.h"
#include "platform/grid/gridcontrol.h"
#include "replies/tabularreply.h"
#include "resultsmodel.h"
#include "services/windowhook.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace zelvar::patlookup {

class PatientReplyGrid;

// The patient lookup dialog. One lives for one PatientLookup call: Load() builds it and runs
// its load-time set-up, ShowLookup runs the first search and shows it modally (or answers at
// once for a single account), GetReturnValue gives the answer, and destroying it unloads it.
//
// The procedures keep the names the lookup has always used; each group lives in the file of
// its concern: search.cpp, loading.cpp, selection.cpp, presentation.cpp, navigation.cpp and
// layout.cpp.
class frmPatLookup : public platform::Form, private services::WheelTarget
{
    Q_OBJECT

public:
    static std::unique_ptr<frmPatLookup> Load();
    ~frmPatLookup() override;

    // -- search ---------------------------------------------------------------------------
    void ShowLookup(const QString& strAcc, const QString& SearchBy, bool AlwaysShowLookup,
                    const QString& Mode, bool AllowModeSwitch);
    void cmdSearch_Click();
    bool ValidateLookupText(const QString& text, bool Silent);
    void SelectSearchByLetter(const QString& text);
    static void DisableForms(bool Disable);
    void ClearGrid();
    static void FocusIfVisible(QWidget* control);

    // -- loading and paging ---------------------------------------------------------------
    void GetGridData(const SearchRequest& search);
    void GetGridDataMoreRows(const QString& text = {});
    void FitToResults();
    void EnsureRowsAhead();
    bool fetchAhead();
    void ShowGridDebug();
    void cmdMore_Click();
    void tmrRefresh_Timer();

    // -- selection ------------------------------------------------------------------------
    void SetReturnValue(double Row);
    QString GetReturnValue() const { return ReturnValue; }
    void HideLookup();
    void SyncCurrentRow();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdNewAcct_Click();
    void cmdDisplay_Click();

    // -- presentation ---------------------------------------------------------------------
    void grdPatient_OnGridInitialUpdate();
    void grdPatient_GetStyleRowCol(double Row, double Col, platform::GridStyle& Style, int ModifyType,
                                   int StyleType, platform::GridValue& Result);
    void FitColumnWidths();
    qint32 LastShownRow();
    void cmdZoomIn_Click();
    void cmdZoomOut_Click();

    // -- keys and scrolling ---------------------------------------------------------------
    void txtSearch_KeyPress(int& KeyAscii);
    void Form_KeyDown(int& KeyCode, int Shift);
    void optSearch_GotFocus(int Index);
    void grdPatient_KeyDown(double nChar, int nRepCnt, int nFlags, platform::GridValue& Result);
    void grdPatient_KeyUp(double nChar, int nRepCnt, int nFlags, platform::GridValue& Result);
    void grdPatient_ProcessKeys(int message, double nChar, int nRepCnt, double nFlags);
    void grdPatient_OnLButtonDblClkRowCol(double nRow, double nCol, int nFlags);
    void grdPatient_OnLeftCell();
    void grdPatient_OnTopRowChange(double nNewTopRow);
    void grdPatient_OnTopRowChanged();
    void ScrollGrid(bool ScrollUp) override;

    // -- layout, modes and life cycle -----------------------------------------------------
    void Form_Load() override;
    void Form_Activate();
    void Form_Resize();
    void Form_Unload() override;
    void ShowSearchMode();
    void PlaceModeCheckBox();
    void chkMode_Click();
    void optSearch_Click(int Index);
    void txtSearch_Change();
    void txtSearch_GotFocus();

    // For tests and the host: the result the dialog holds.
    const replies::SearchResults& results() const { return m_model.results(); }
    const ResultsModel& resultsModel() const { return m_model; }
    QString lastRequest() const { return m_model.request().toString(); }
    bool gridReady() const { return GridReady; }
    qint32 zoomPercent() const { return ZoomPercent; }
    qint32 currentRow() const { return m_model.currentRow(); }
    qint32 highestTopRow() const { return HighestTopRow; }
    QString mode() const { return m_mode; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    frmPatLookup();

    void createControls();
    void connectControls();
    // The controls the layout can put out of sight (under the grid, past the window's edge)
    // are Tab stops only while they can be seen.
    void placeTabStops();
    // The host link's answer to a request; false when it went unanswered.
    static bool sendToServer(const QString& request, QStringList& reply);
    // A search for the text by the key chosen in the present mode.
    SearchRequest searchRequest(const QString& text) const;
    // The status line's count: "Total: " once every row is loaded, else "Showing: " and the
    // last row in view.
    QString rowCountText();
    bool captionNamesPatientWindow() const;
    int selectedOption() const;
    void selectOption(int index);
    void selectWorkflowOption(int index);
    bool keyFromTextBox(QKeyEvent* event);
    bool dialogKeyPreview(QKeyEvent* event);
    void openHelp();
    void chooseRow(double row);

    // Outer size of the window in twips (with its frame once the window system has one).
    double outerWidthTwips() const;
    double outerHeightTwips() const;
    void setOuterSizeTwips(double width, double height);
    double innerWidthTwips() const;
    double innerHeightTwips() const;

public:
    // Controls, by their names.
    QFrame* frmSearch = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* txtSearch = nullptr;
    QPushButton* cmdSearch = nullptr;
    QGroupBox* frOptions = nullptr;
    std::array<QRadioButton*, 11> optSearch{};
    QLabel* lblMaxRows = nullptr;
    QCheckBox* chkMode = nullptr;
    QGroupBox* frOptionsW = nullptr;
    std::array<QRadioButton*, 3> optSearchW{};
    QPushButton* cmdMore = nullptr;
    QPushButton* cmdNewAcct = nullptr;
    platform::GridControl* grdPatient = nullptr;
    QFrame* fraNavigator = nullptr;
    QPushButton* cmdDisplay = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdZoomIn = nullptr;
    QPushButton* cmdZoomOut = nullptr;
    QLabel* lblStatus = nullptr;
    QTimer* tmrRefresh = nullptr;

private:
    // Search (what the dialog was opened with, and the key in use).
    QString m_mode;
    bool m_allowModeSwitch = false;
    QString SearchByCaption;
    bool SearchBusy = false;
    QString ReturnValue;

    // Loading and paging: the rows, and what the grid paints them from.
    ResultsModel m_model{&sendToServer};
    std::unique_ptr<PatientReplyGrid> m_replyGrid;
    qint32 VirtualRowCount = 200;
    qint32 VisibleRows = 24;
    bool GridReady = false;
    qint32 FitRowCount = 0;
    qint32 FitColumnCount = 0;

    // Selection.
    qint32 m_highlightedRow = 0;     // the row last painted as the current one

    // Presentation.
    qint32 BaseStyleId = 0;
    qint32 HeaderStyleId = 0;
    qint32 ZoomPercent = 100;
    bool m_zoomingIn = false;
    bool m_zoomingOut = false;
    platform::GridRange m_range;

    // Keys and scrolling.
    qint32 HighestTopRow = 0;
    bool m_topRowGuard = false;
    bool m_enterPressed = false;

};

} // namespace zelvar::patlookup
