#include "gridaccessible.h"

#include "gridcontrol.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QHeaderView>
#include <QPointer>

namespace zelvar::platform {
namespace {

// The table's rows and columns: the content model's, as far as the grid can show them.
struct Content
{
    explicit Content(const GridControl* grid)
        : grid(grid)
        , model(grid ? grid->contentModel() : nullptr)
        , firstColumn(grid ? grid->contentFirstColumn() : 0)
    {
    }

    int rows() const { return model ? qMax(0, qMin(model->rowCount(), grid->RowCount())) : 0; }
    int columns() const
    {
        return model ? qMax(0, qMin(model->columnCount(), grid->ColCount() + 1 - firstColumn)) : 0;
    }
    bool holds(int row, int column) const { return row >= 0 && row < rows() && column >= 0 && column < columns(); }
    QModelIndex gridIndex(int row, int column) const { return grid->model()->index(row, column + firstColumn); }
    QString text(int row, int column) const
    {
        return row < 0 ? model->headerData(column, Qt::Horizontal).toString()
                       : model->data(model->index(row, column)).toString();
    }
    // The row the grid's current cell is on, -1 when it is on none of the table's.
    int currentRow() const
    {
        const QModelIndex current = grid->currentIndex();
        return current.isValid() && current.row() < rows() ? current.row() : -1;
    }

    const GridControl* grid;
    QAbstractItemModel* model;
    int firstColumn;
};

// The table's children are numbered row by row, the headings first: (row + 1) * columns + column.
int childIndex(int row, int column, int columns)
{
    return (row + 1) * columns + column;
}

QRect globalRect(const QWidget* widget, const QRect& local)
{
    return QRect(widget->mapToGlobal(local.topLeft()), local.size());
}

// One cell of a grid's table, or (row -1) a column's heading. It reads the content model
// afresh on every question, so it holds nothing that can go stale but its place.
class GridCell : public QAccessibleInterface, public QAccessibleTableCellInterface
{
public:
    GridCell(GridControl* grid, int row, int column)
        : m_grid(grid)
        , m_row(row)
        , m_column(column)
    {
    }

    bool isValid() const override
    {
        const Content content(m_grid);
        return m_grid && (m_row < 0 ? m_column < content.columns() : content.holds(m_row, m_column));
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_grid ? m_grid->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_grid); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? Content(m_grid).text(m_row, m_column) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return m_row < 0 ? QAccessible::ColumnHeader : QAccessible::Cell; }

    QRect rect() const override
    {
        if (!isValid() || !m_grid->isVisible())
            return {};
        const Content content(m_grid);
        if (m_row < 0) {
            const QHeaderView* header = m_grid->horizontalHeader();
            const int section = m_column + content.firstColumn;
            return globalRect(header->viewport(), QRect(header->sectionViewportPosition(section), 0,
                                                        header->sectionSize(section), header->height()));
        }
        return globalRect(m_grid->viewport(), m_grid->visualRect(content.gridIndex(m_row, m_column)));
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.readOnly = true;
        const Content content(m_grid);
        if (m_row >= 0) {
            const QModelIndex index = content.gridIndex(m_row, m_column);
            state.focusable = state.selectable = true;
            state.selected = content.currentRow() == m_row;
            state.focused = m_grid->hasFocus() && m_grid->currentIndex() == index;
            state.offscreen = !m_grid->viewport()->rect().intersects(m_grid->visualRect(index));
        }
        state.invisible = !m_grid->isVisible();
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TableCellInterface && m_row >= 0 ? static_cast<QAccessibleTableCellInterface*>(this)
                                                                     : nullptr;
    }

    bool isSelected() const override { return Content(m_grid).currentRow() == m_row; }
    QList<QAccessibleInterface*> columnHeaderCells() const override
    {
        // The headings are the table's first children, one per column.
        QAccessibleInterface* heading = parent() ? parent()->child(m_column) : nullptr;
        return heading ? QList<QAccessibleInterface*>{heading} : QList<QAccessibleInterface*>{};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    const GridControl* grid() const { return m_grid; }
    int row() const { return m_row; }
    int column() const { return m_column; }

private:
    QPointer<GridControl> m_grid;
    int m_row;
    int m_column;
};

// The grid as a table: the content model's rows, as many as are loaded, with the headings as
// the first row of children. The current row counts as the selected one: it is the row Enter
// or OK chooses.
class GridTable : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit GridTable(GridControl* grid)
        : QAccessibleWidget(grid, QAccessible::Table)
    {
    }
    ~GridTable() override { forgetCells(); }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    int childCount() const override
    {
        const Content content(grid());
        return (content.rows() + 1) * content.columns();
    }
    QAccessibleInterface* child(int index) const override
    {
        const int columns = Content(grid()).columns();
        if (index < 0 || columns == 0 || index >= childCount())
            return nullptr;
        return cell(index / columns - 1, index % columns);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const auto* cell = dynamic_cast<const GridCell*>(child);
        if (!cell || cell->grid() != grid() || !cell->isValid())
            return -1;
        return childIndex(cell->row(), cell->column(), Content(grid()).columns());
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const Content content(grid());
        const QHeaderView* header = grid()->horizontalHeader();
        const QPoint inHeader = header->viewport()->mapFromGlobal(QPoint(x, y));
        if (header->viewport()->rect().contains(inHeader)) {
            const int column = header->logicalIndexAt(inHeader.x()) - content.firstColumn;
            return column >= 0 && column < content.columns() ? cell(-1, column) : nullptr;
        }
        const QModelIndex index = grid()->indexAt(grid()->viewport()->mapFromGlobal(QPoint(x, y)));
        return child(accessibleChildOf(*grid(), index));
    }
    QAccessibleInterface* focusChild() const override
    {
        if (!grid()->hasFocus())
            return nullptr;
        return child(accessibleChildOf(*grid(), grid()->currentIndex()));
    }

    // -- the table ------------------------------------------------------------------------
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override
    {
        return Content(grid()).holds(row, column) ? cell(row, column) : nullptr;
    }
    QString columnDescription(int column) const override
    {
        const Content content(grid());
        return column >= 0 && column < content.columns() ? content.text(-1, column) : QString();
    }
    QString rowDescription(int) const override { return {}; }
    int columnCount() const override { return Content(grid()).columns(); }
    int rowCount() const override { return Content(grid()).rows(); }

    int selectedRowCount() const override { return Content(grid()).currentRow() < 0 ? 0 : 1; }
    QList<int> selectedRows() const override
    {
        const int row = Content(grid()).currentRow();
        return row < 0 ? QList<int>{} : QList<int>{row};
    }
    bool isRowSelected(int row) const override { return row >= 0 && Content(grid()).currentRow() == row; }
    int selectedCellCount() const override { return selectedRowCount() * columnCount(); }
    QList<QAccessibleInterface*> selectedCells() const override
    {
        QList<QAccessibleInterface*> cells;
        const int row = Content(grid()).currentRow();
        for (int column = 0; row >= 0 && column < columnCount(); ++column)
            cells.append(cell(row, column));
        return cells;
    }
    // Choosing a row makes it current, as the arrow keys do; there is always one current row.
    bool selectRow(int row) override
    {
        const Content content(grid());
        if (!content.holds(row, 0))
            return false;
        const QModelIndex current = grid()->currentIndex();
        const int column = current.isValid() ? current.column() - content.firstColumn : 0;
        grid()->setCurrentIndex(content.gridIndex(row, content.holds(row, column) ? column : 0));
        return true;
    }
    bool unselectRow(int) override { return false; }
    int selectedColumnCount() const override { return 0; }
    QList<int> selectedColumns() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectColumn(int) override { return false; }

    // A cell is its place in the table. Where rows come or go, the cells from there on may now
    // show other rows, and are let go; the cells before keep showing theirs (the grid adds its
    // empty rows at the end as the user scrolls, one at a time: a screen reader must still find
    // the cell it was just told has the focus). Any other change of shape lets every cell go.
    void modelChange(QAccessibleTableModelChangeEvent* event) override
    {
        switch (event->modelChangeType()) {
        case QAccessibleTableModelChangeEvent::DataChanged:
            break;
        case QAccessibleTableModelChangeEvent::RowsInserted:
        case QAccessibleTableModelChangeEvent::RowsRemoved:
            forgetCells(event->firstRow());
            break;
        default:
            forgetCells();
            break;
        }
    }

private:
    GridControl* grid() const { return static_cast<GridControl*>(widget()); }

    QAccessibleInterface* cell(int row, int column) const
    {
        const int index = childIndex(row, column, Content(grid()).columns());
        if (const auto known = m_cells.constFind(index); known != m_cells.constEnd())
            return QAccessible::accessibleInterface(known.value());
        auto* made = new GridCell(grid(), row, column);
        m_cells.insert(index, QAccessible::registerAccessibleInterface(made));
        return made;
    }

    // Lets go of the cells on rows fromRow and after (-1: the headings too).
    void forgetCells(int fromRow = -1)
    {
        for (auto it = m_cells.begin(); it != m_cells.end();) {
            const auto* cell = static_cast<const GridCell*>(QAccessible::accessibleInterface(it.value()));
            if (cell && cell->row() < fromRow) {
                ++it;
                continue;
            }
            QAccessible::deleteAccessibleInterface(it.value());
            it = m_cells.erase(it);
        }
    }

    mutable QHash<int, QAccessible::Id> m_cells;
};

QAccessibleInterface* gridTableFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(GridControl::staticMetaObject.className()))
        return new GridTable(static_cast<GridControl*>(object));
    return nullptr;
}

} // namespace

void installGridAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(gridTableFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void announceContentChanges(GridControl& grid, QAbstractItemModel& model)
{
    using Event = QAccessibleTableModelChangeEvent;
    const auto announce = [grid = &grid](Event::ModelChangeType type, int firstRow, int lastRow, int firstColumn,
                                         int lastColumn) {
        if (!QAccessible::isActive())
            return;
        Event event(grid, type);
        event.setFirstRow(firstRow);
        event.setLastRow(lastRow);
        event.setFirstColumn(firstColumn);
        event.setLastColumn(lastColumn);
        QAccessible::updateAccessibility(&event);
    };
    const auto whole = [announce] { announce(Event::ModelReset, -1, -1, -1, -1); };
    const auto rows = [announce](Event::ModelChangeType type) {
        return [announce, type](const QModelIndex&, int first, int last) { announce(type, first, last, -1, -1); };
    };
    const auto columns = [announce](Event::ModelChangeType type) {
        return [announce, type](const QModelIndex&, int first, int last) { announce(type, -1, -1, first, last); };
    };
    QObject::connect(&model, &QAbstractItemModel::modelReset, &grid, whole);
    QObject::connect(&model, &QAbstractItemModel::layoutChanged, &grid, whole);
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &grid, rows(Event::RowsInserted));
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, &grid, rows(Event::RowsRemoved));
    QObject::connect(&model, &QAbstractItemModel::columnsInserted, &grid, columns(Event::ColumnsInserted));
    QObject::connect(&model, &QAbstractItemModel::columnsRemoved, &grid, columns(Event::ColumnsRemoved));
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &grid,
                     [announce](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                         announce(Event::DataChanged, topLeft.row(), bottomRight.row(), topLeft.column(),
                                  bottomRight.column());
                     });
}

int accessibleChildOf(const GridControl& grid, const QModelIndex& gridIndex)
{
    const Content content(&grid);
    const int column = gridIndex.column() - content.firstColumn;
    if (!gridIndex.isValid() || !content.holds(gridIndex.row(), column))
        return -1;
    return childIndex(gridIndex.row(), column, content.columns());
}

} // namespace zelvar::platform
