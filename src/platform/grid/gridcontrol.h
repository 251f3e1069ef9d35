#pragma once

#include "gridmodel.h"
#include "gridstyle.h"

#include <QPointer>
#include <QTableView>

#include <memory>

class QProxyStyle;

namespace zelvar::platform {

class GridHeader;
class GridLineStyle;

// A block of cells for the grid's range repaint: first and last column and row, grid numbering.
struct GridRange
{
    void initrange(qint32 firstColumn, qint32 firstRow, qint32 lastColumn, qint32 lastRow)
    {
        this->firstColumn = firstColumn;
        this->firstRow = firstRow;
        this->lastColumn = lastColumn;
        this->lastRow = lastRow;
    }
    qint32 firstColumn = 0;
    qint32 firstRow = 0;
    qint32 lastColumn = 0;
    qint32 lastRow = 0;
};

// The result and lookup windows' grid: a virtual grid that keeps no cell texts and asks its
// window for each cell as it paints (setStyleSource). Grid row 0 is the heading row, always in
// view; rows 1.. scroll. Rows have one height; nothing is sized from contents.
//
// The operations are the ones the windows drive the grid with, named for what they do; the
// comment on each gives the control's dispatch id the windows know it by. The notifications
// are raised at the same moments as the windows expect them.
class GridControl : public QTableView
{
    Q_OBJECT

public:
    explicit GridControl(QWidget* parent = nullptr);
    ~GridControl() override;

    GridModel& gridModel() { return *m_model; }
    // The window's answer for every cell painted (and every cell read through the model): it
    // fills the style for (grid row, column) and sets result.Value = 1 when it supplied it. A
    // plain call, made once per cell: the grid paints from nothing else.
    void setStyleSource(GridModel::StyleRequest source) { m_model->setStyleRequest(std::move(source)); }
    // Where the grid's tool tips come from: the window's answer for a cell (grid row, column).
    void setTipSource(GridModel::TipRequest source) { m_model->setTipRequest(std::move(source)); }

    // The model whose rows the window shows in the grid: its row r is grid row r + 1, its column
    // c grid column c + firstColumn. Screen readers are given its table, with the rows it holds,
    // not the empty rows the grid scrolls into before the next page is read (gridaccessible.h).
    // Without one they are given the grid's own cells.
    void setContentModel(QAbstractItemModel* model, int firstColumn);
    QAbstractItemModel* contentModel() const;
    int contentFirstColumn() const { return m_content ? m_contentFirstColumn : 0; }

    // -- shape ------------------------------------------------------------------------------
    // Rows after row 0, at most kMaxRows: every row costs the view a little memory, and a
    // count from the server must not be able to exhaust it.
    static constexpr qint32 kMaxRows = 2'000'000;
    void SetRowCount(qint32 rows);                       // 1 (write), 48
    qint32 RowCount() const;                             // 1 (read): rows after row 0
    void SetColCount(qint32 columns);                    // 49: columns after column 0
    qint32 ColCount() const;                             // 2
    void SetColWidths(qint32 from, qint32 to, qint32 pixels);   // 82
    qint32 ColWidth(qint32 column) const;                // 90, pixels
    qint32 RowHeight(qint32 row) const;                  // 89, pixels (row 0: the heading row)
    void SetDefaultRowHeight(qint32 pixels);             // the one height of rows 1..
    // Summed widths / heights in pixels; with limit > 0 the sum stops once it passes limit.
    qint32 SumColWidths(qint32 from, qint32 to, qint32 limit = 0) const;   // 94, 96
    qint32 SumRowHeights(qint32 from, qint32 to, qint32 limit = 0) const;  // 93
    void SetCoveredCells(qint32 top, qint32 left, qint32 bottom, qint32 right);  // 136: merge

    // -- painting ---------------------------------------------------------------------------
    bool LockUpdates(bool lock);                         // 116: returns the previous state
    bool updatesLocked() const { return m_locked; }
    void Redraw(qint32 mode = 2);                        // 117: the whole grid
    void RedrawRange(const GridRange& range);            // 119
    GridRange NewRange() const { return {}; }            // 20026

    // -- position ---------------------------------------------------------------------------
    qint32 TopRow() const;                               // 65
    void SetTopRow(qint32 row);
    void ScrollRows(qint32 direction, qint32 count);     // 125: 1 up, 3 down
    void SetCurrentCell(qint32 row, qint32 column);      // 107
    bool GetCurrentCell(GridValue& row, GridValue& column) const;   // 108
    GridValue NewHolder() const { return {}; }           // 20059

    // -- look -------------------------------------------------------------------------------
    StylesMap& GetStylesMap() { return m_model->styles(); }          // 175 "GetStylesMap"
    GridStyle NewStyle() const { return {}; }             // 172
    GridFont NewFont() const { return {}; }               // 20033
    void SetColor(qint32 slot, Colour colour);            // 162 "SetColor": slot 4 colours the grid lines
    Colour color(qint32 slot) const;
    void setgridlinestyle(qint32 style);                  // 175: 0 solid, 1 dashed, 2 dotted
    // 126: bar 1 vertical, 0 horizontal; mode 1 shows it, 0 hides it.
    void SetScrollBarMode(qint32 bar, qint32 mode);
    qint32 VerticalBarTakesRoom(qint32 = 1) const;        // 127: 1 when the vertical bar is shown
    void SetZoom(qint32& percent);                        // 132: fonts, row heights, widths
    qint32 zoom() const { return m_model->zoom(); }
    void setGridFont(const QFont& font);

Q_SIGNALS:
    void OnGridInitialUpdate();
    // Key down / up with the key code; set result.Value to false to refuse the key (Tab).
    void KeyDown(double key, int repeatCount, int flags, zelvar::platform::GridValue& result);
    void KeyUp(double key, int repeatCount, int flags, zelvar::platform::GridValue& result);
    // Every key message: message 256 press, 257 release; flags bit 15 = released, bit 14 = the
    // key was already down (an auto-repeat, or any release).
    void ProcessKeys(int message, double key, int repeatCount, double flags);
    void OnLButtonDblClkRowCol(double row, double column, int flags);
    void OnLeftCell(double row, double column, double newRow, double newColumn);
    void OnInitCurrentCell(double row, double column);
    void OnTopRowChange(double newTopRow);
    void OnTopRowChanged();

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void applyZoom();
    void ensureWidths();
    void onScrolled(int value);
    void onCurrentChanged(const QModelIndex& current, const QModelIndex& previous);
    bool keyMessage(QKeyEvent* event, bool press);
    void applyPendingSpans();
    QString tipFor(int row, int column);

    std::unique_ptr<GridModel> m_model;
    QPointer<QAbstractItemModel> m_content;
    int m_contentFirstColumn = 0;
    GridHeader* m_header = nullptr;
    GridLineStyle* m_lineStyle = nullptr;
    QList<double> m_baseWidths;          // column widths at 100 percent
    double m_baseRowHeight = 17;
    double m_baseHeaderHeight = 19;
    QFont m_gridFont;
    qint32 m_topRow = 1;
    bool m_locked = false;
    bool m_initialised = false;
    QHash<qint32, Colour> m_colours;
    struct Span { int row, column, rows, columns; };
    QList<Span> m_pendingSpans;
};

} // namespace zelvar::platform
