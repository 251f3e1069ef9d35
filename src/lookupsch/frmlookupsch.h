#pragma once

#include "component/references.h"
#include "component/runtimeerror.h"
#include "platform/form.h"
#include "platform/grid/gridcontrol.h"
#include "replies/resulttable.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QFrame;
class QPushButton;

namespace zelvar::lookupsch {

// The code lookup and duplicate list window's two ways in. Each loads the window, sends its
// request, shows the rows when there are any and returns the chosen row (or an empty string).
// strPatData: SSN, Account, PatName, DOB, Policy and MedRec joined with tabs.
QString CheckForDuplicatePatient(const QString& strPatData);
QString MiscGridLookup(const QString& strCode, const QString& strAcctNum, bool blnReturnAllColumns = false);

// What one grid slot received: the announced rows, the columns and the cell texts, which keep
// their style suffixes. Column 0 holds each row's plain value; row 0 the headings.
struct LookupGrid
{
    qint32 RowCount = 0;
    qint32 ColCount = 0;
    replies::ResultTable Cells;
};

// The window: one grid above the OK and Cancel buttons, filled from self-describing reply
// records ("GH"/"GC" header, "GR" rows) and painted from the cells' suffixes. Each entry
// procedure loads a fresh window and unloads it on every way out.
//
// The procedures keep their historical names; each group lives in the file of its concern:
// window.cpp, reception.cpp, presentation.cpp, duplicatecheck.cpp and codelookup.cpp.
class frmLookupSch : public platform::Form
{
    Q_OBJECT

public:
    static std::unique_ptr<frmLookupSch> Load();
    ~frmLookupSch() override;

    // -- reception ------------------------------------------------------------------------
    void AsyncReceive(const QString& strData);
    void winRecvGridAsync(const QString& strData, bool header, bool clear);
    void ClearGrid(platform::GridControl& grid);

    // -- presentation ---------------------------------------------------------------------
    void GetStyleRowCol(double Row, double Col, platform::GridStyle& Style, int ModifyType, int StyleType,
                        platform::GridValue& Result);
    void grdLookupSch_OnInitCurrentCell();
    // The tool tip of a cell: its text without the style suffix.
    QString OnCellTip(double Row, double Col);
    void ResizeForm();

    // -- choosing -------------------------------------------------------------------------
    void SetReturnValue(double Row);
    bool IsCurrentRowSelectable();
    void arrCmd_Click(int Index);
    void OnLButtonDblClkRowCol(double Row, double Col);
    void ProcessKeys(int message, double key);

    // Loads a window, lets `prepare` set it up, sends the request, receives every record and
    // shows the window when rows came; returns the chosen row or an empty string. The window
    // is unloaded on every way out, so no later lookup can show its rows.
    static QString RunLookup(const QString& request, const std::function<void(frmLookupSch&)>& prepare,
                             bool* shown = nullptr);

    QString ReturnValue;
    bool ReturnAllColumns = false;
    std::array<LookupGrid, 2> Grids;

    // Controls, by their names.
    platform::GridControl* grdLookupSch = nullptr;
    QFrame* frButtons = nullptr;
    std::array<QPushButton*, 2> arrCmd{};

    qint32 currentRow() const { return CurrentRow; }
    qint32 loadRow() const { return LoadRow; }
    const platform::GridRange& lastRange() const { return RangeObject; }

    // Escape and Cancel: no row.
    void reject() override;

private:
    frmLookupSch();
    void Form_Load() override;
    void Form_Unload() override;
    // The grid of an index; this window has grid 0 only.
    platform::GridControl& grid(int index);
    LookupGrid& slot(int index);
    void receiveHeader(const QString& strData, bool clear);
    void receiveRow(const QString& strData);
    void finishLoad();
    // A colour-table entry, read once per paint.
    QString paintColour(QChar code);
    void styleHeading(const QString& value, qint32 column, platform::GridStyle& style,
                      const std::function<void(const std::function<void()>&)>& step);

    qint32 CurrentRow = 0;
    qint32 PreviousRow = 0;
    qint32 LoadRow = 0;
    qint32 LoadGridIndex = 0;
    platform::GridRange RangeObject;
    platform::GridFont FontObject;
    component::PaintColours m_colours;
};

} // namespace zelvar::lookupsch
