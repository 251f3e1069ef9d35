#include "gridcontrol.h"

#include "gridaccessible.h"
#include "gridpainting.h"
#include "platform/fonts.h"
#include "virtualkeys.h"

#include <QAccessible>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QToolTip>

#include <cmath>
#include <limits>
#include <utility>

namespace zelvar::platform {
namespace {

constexpr double kDefaultColumnWidth = 64;
// Column 0 holds the rows' keys; by default it is a narrow marker column, as a row header is.
constexpr double kDefaultKeyColumnWidth = 12;
constexpr double kGridFontPoints = 8.25;
constexpr int kMinZoom = 1;
constexpr int kMaxZoom = 1000;

int scaled(double base, int zoom)
{
    return qMax(1, int(std::lround(base * zoom / 100.0)));
}

} // namespace

GridControl::GridControl(QWidget* parent)
    : QTableView(parent)
    , m_model(std::make_unique<GridModel>())
{
    installGridAccessibility();
    setModel(m_model.get());
    m_header = new GridHeader(m_model.get(), this);
    setHorizontalHeader(m_header);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setHighlightSections(false);
    m_header->setSectionsClickable(false);
    m_header->setMinimumSectionSize(0);
    m_header->viewport()->installEventFilter(this);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setItemDelegate(new GridDelegate(m_model.get(), this));

    setSelectionMode(NoSelection);
    setEditTriggers(NoEditTriggers);
    setVerticalScrollMode(ScrollPerItem);
    setHorizontalScrollMode(ScrollPerPixel);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(true);

    m_lineStyle = new GridLineStyle;
    m_lineStyle->setParent(this);
    setStyle(m_lineStyle);

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &GridControl::onScrolled);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &GridControl::onCurrentChanged);

    setGridFont(designFont(kGridFontPoints));
    ensureWidths();
}

GridControl::~GridControl()
{
    // The views hold the model; let them go before it does, telling nobody: the window that
    // listens may be half gone by now.
    blockSignals(true);
    verticalScrollBar()->blockSignals(true);
    setModel(nullptr);
}

void GridControl::setContentModel(QAbstractItemModel* model, int firstColumn)
{
    if (m_content && m_content != m_model.get())
        disconnect(m_content, nullptr, this, nullptr);
    m_content = model;
    m_contentFirstColumn = qMax(0, firstColumn);
    if (model && model != m_model.get())
        announceContentChanges(*this, *model);
    if (QAccessible::isActive()) {
        QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::ModelReset);
        QAccessible::updateAccessibility(&event);
    }
}

QAbstractItemModel* GridControl::contentModel() const
{
    return m_content ? m_content.data() : m_model.get();
}

// -- shape ----------------------------------------------------------------------------------

void GridControl::SetRowCount(qint32 rows)
{
    rows = qBound(0, rows, kMaxRows);
    if (rows == 0)
        clearSpans();
    m_model->setGridRowCount(rows);
}

qint32 GridControl::RowCount() const
{
    return m_model->gridRowCount();
}

void GridControl::SetColCount(qint32 columns)
{
    m_model->setGridColCount(qMax(0, columns));
    ensureWidths();
}

qint32 GridControl::ColCount() const
{
    return m_model->gridColCount();
}

void GridControl::ensureWidths()
{
    const int sections = ColCount() + 1;
    const int old = int(m_baseWidths.size());
    m_baseWidths.resize(sections, kDefaultColumnWidth);
    if (old == 0 && sections > 0)
        m_baseWidths[0] = kDefaultKeyColumnWidth;
    for (int c = old; c < sections; ++c)
        m_header->resizeSection(c, scaled(m_baseWidths[c], zoom()));
}

void GridControl::SetColWidths(qint32 from, qint32 to, qint32 pixels)
{
    const int last = qMin(to, ColCount());
    for (int c = qMax(0, from); c <= last; ++c) {
        m_baseWidths[c] = qMax(0, pixels) * 100.0 / zoom();
        m_header->resizeSection(c, qMax(0, pixels));
    }
}

qint32 GridControl::ColWidth(qint32 column) const
{
    return column >= 0 && column <= ColCount() ? m_header->sectionSize(column) : 0;
}

qint32 GridControl::RowHeight(qint32 row) const
{
    return row == 0 ? m_header->height() : verticalHeader()->defaultSectionSize();
}

void GridControl::SetDefaultRowHeight(qint32 pixels)
{
    m_baseRowHeight = qMax(1, pixels) * 100.0 / zoom();
    applyZoom();
}

qint32 GridControl::SumColWidths(qint32 from, qint32 to, qint32 limit) const
{
    qint32 sum = 0;
    const int last = qMin(to, ColCount());
    for (int c = qMax(0, from); c <= last; ++c) {
        sum += m_header->sectionSize(c);
        if (limit > 0 && sum > limit)
            break;
    }
    return sum;
}

qint32 GridControl::SumRowHeights(qint32 from, qint32 to, qint32) const
{
    qint64 sum = from <= 0 && to >= 0 ? RowHeight(0) : 0;
    const qint64 first = qMax(1, from);
    const qint64 last = qMin(to, RowCount());
    if (last >= first)
        sum += (last - first + 1) * RowHeight(1);
    return qint32(qMin<qint64>(sum, std::numeric_limits<qint32>::max()));
}

void GridControl::SetCoveredCells(qint32 top, qint32 left, qint32 bottom, qint32 right)
{
    if (top < 1 || left < 0 || bottom < top || right < left || top > RowCount() || left > ColCount())
        return;
    const int rows = qMin(bottom, RowCount()) - top + 1;
    const int columns = qMin(right, ColCount()) - left + 1;
    // Spans cannot change while the grid paints: they are applied once the paint is done.
    m_pendingSpans.append({top - 1, left, rows, columns});
    if (!m_model->isPainting())
        applyPendingSpans();
}

void GridControl::applyPendingSpans()
{
    const QList<Span> pending = std::exchange(m_pendingSpans, {});
    for (const Span& s : pending) {
        if (rowSpan(s.row, s.column) != s.rows || columnSpan(s.row, s.column) != s.columns)
            setSpan(s.row, s.column, s.rows, s.columns);
    }
}

// -- painting -------------------------------------------------------------------------------

bool GridControl::LockUpdates(bool lock)
{
    const bool previous = m_locked;
    m_locked = lock;
    viewport()->setUpdatesEnabled(!lock);
    m_header->viewport()->setUpdatesEnabled(!lock);
    return previous;
}

void GridControl::Redraw(qint32)
{
    viewport()->update();
    m_header->viewport()->update();
}

void GridControl::RedrawRange(const GridRange& range)
{
    if (range.firstRow <= 0)
        m_header->viewport()->update();
    const int firstRow = qMax(1, range.firstRow);
    const int lastRow = qMin(range.lastRow, RowCount());
    const int firstColumn = qMax(0, range.firstColumn);
    const int lastColumn = qMin(range.lastColumn, ColCount());
    if (firstRow > lastRow || firstColumn > lastColumn)
        return;
    const int top = rowViewportPosition(firstRow - 1);
    const int bottom = rowViewportPosition(lastRow - 1) + rowHeight(lastRow - 1);
    const int left = columnViewportPosition(firstColumn);
    const int right = columnViewportPosition(lastColumn) + columnWidth(lastColumn);
    const QRect area = QRect(QPoint(left, top), QPoint(right, bottom)).intersected(viewport()->rect());
    if (!area.isEmpty())
        viewport()->update(area);
}

void GridControl::paintEvent(QPaintEvent* event)
{
    m_model->beginPaint();
    QTableView::paintEvent(event);
    m_model->endPaint();
    if (!m_pendingSpans.isEmpty())
        applyPendingSpans();
}

// -- position -------------------------------------------------------------------------------

qint32 GridControl::TopRow() const
{
    return m_topRow;
}

void GridControl::SetTopRow(qint32 row)
{
    verticalScrollBar()->setValue(qMax(1, row) - 1);
}

void GridControl::ScrollRows(qint32 direction, qint32 count)
{
    QScrollBar* bar = verticalScrollBar();
    if (direction == 1)
        bar->setValue(bar->value() - count);
    else if (direction == 3)
        bar->setValue(bar->value() + count);
}

void GridControl::onScrolled(int value)
{
    const qint32 newTop = value + 1;
    if (newTop == m_topRow)
        return;
    // The window hears of the new top row while TopRow still answers the old one.
    Q_EMIT OnTopRowChange(newTop);
    m_topRow = verticalScrollBar()->value() + 1;
    Q_EMIT OnTopRowChanged();
}

void GridControl::SetCurrentCell(qint32 row, qint32 column)
{
    if (row < 1 || row > RowCount() || column < 0 || column > ColCount())
        return;
    setCurrentIndex(m_model->index(row - 1, column));
}

bool GridControl::GetCurrentCell(GridValue& row, GridValue& column) const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return false;
    row.Value = current.row() + 1;
    column.Value = current.column();
    return true;
}

void GridControl::onCurrentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (previous.isValid()) {
        Q_EMIT OnLeftCell(previous.row() + 1, previous.column(), current.isValid() ? current.row() + 1 : 0,
                          current.isValid() ? current.column() : 0);
    }
    if (current.isValid())
        Q_EMIT OnInitCurrentCell(current.row() + 1, current.column());
}

// -- look -----------------------------------------------------------------------------------

void GridControl::SetColor(qint32 slot, Colour colour)
{
    m_colours.insert(slot, colour);
    if (slot == 4) {
        const QColor line = GridStyle::colourFromValue(colour);
        m_lineStyle->colour = line;
        m_header->setLineColour(line);
        Redraw();
    }
}

Colour GridControl::color(qint32 slot) const
{
    return m_colours.value(slot, 0);
}

void GridControl::setgridlinestyle(qint32 style)
{
    switch (style) {
    case 1: setGridStyle(Qt::DashLine); break;
    case 2: setGridStyle(Qt::DotLine); break;
    default: setGridStyle(Qt::SolidLine); break;
    }
}

void GridControl::SetScrollBarMode(qint32 bar, qint32 mode)
{
    const Qt::ScrollBarPolicy policy = mode ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
    if (bar == 1)
        setVerticalScrollBarPolicy(policy);
    else if (bar == 0)
        setHorizontalScrollBarPolicy(policy);
}

qint32 GridControl::VerticalBarTakesRoom(qint32) const
{
    switch (verticalScrollBarPolicy()) {
    case Qt::ScrollBarAlwaysOn: return 1;
    case Qt::ScrollBarAlwaysOff: return 0;
    default: return verticalScrollBar()->isVisibleTo(this) ? 1 : 0;
    }
}

void GridControl::SetZoom(qint32& percent)
{
    percent = qBound(kMinZoom, percent, kMaxZoom);
    m_model->setZoom(percent);
    applyZoom();
}

void GridControl::setGridFont(const QFont& font)
{
    m_gridFont = font;
    m_model->setBaseFont(font);
    const QFontMetrics metrics(font);
    m_baseRowHeight = metrics.height() + 4;
    m_baseHeaderHeight = metrics.height() + 6;
    applyZoom();
}

void GridControl::applyZoom()
{
    const int percent = zoom();
    QFont font = m_gridFont;
    font.setPointSizeF(qMax(1.0, m_gridFont.pointSizeF() * percent / 100.0));
    setFont(font);
    verticalHeader()->setDefaultSectionSize(scaled(m_baseRowHeight, percent));
    m_header->setFixedHeight(scaled(m_baseHeaderHeight, percent));
    for (int c = 0; c < m_baseWidths.size(); ++c)
        m_header->resizeSection(c, scaled(m_baseWidths[c], percent));
    Redraw();
}

// -- events ---------------------------------------------------------------------------------

bool GridControl::keyMessage(QKeyEvent* event, bool press)
{
    // The release half of an auto-repeat is no release: the key is still down.
    if (!press && event->isAutoRepeat())
        return false;
    const int key = virtualKey(event);
    int flags = 0;
    if (!press)
        flags = 0xC000;
    else if (event->isAutoRepeat())
        flags = 0x4000;
    Q_EMIT ProcessKeys(press ? 256 : 257, key, 1, flags);
    GridValue result{true};
    if (press)
        Q_EMIT KeyDown(key, 1, flags, result);
    else
        Q_EMIT KeyUp(key, 1, flags, result);
    return result.Value.isValid() && !result.Value.toBool();
}

bool GridControl::event(QEvent* event)
{
    // Keys are seen here, before the widget's own Tab handling can take them.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        if (keyMessage(static_cast<QKeyEvent*>(event), event->type() == QEvent::KeyPress)) {
            event->accept();
            return true;
        }
    }
    return QTableView::event(event);
}

QString GridControl::tipFor(int row, int column)
{
    return m_model->tip(row, column);
}

bool GridControl::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString text = index.isValid() ? tipFor(index.row() + 1, index.column()) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        return true;
    }
    return QTableView::viewportEvent(event);
}

bool GridControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_header->viewport()) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const int section = m_header->logicalIndexAt(mouse->position().toPoint());
            if (section >= 0)
                Q_EMIT OnLButtonDblClkRowCol(0, section, 0);
            return true;
        }
        if (event->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(event);
            const int section = m_header->logicalIndexAt(help->pos());
            const QString text = section >= 0 ? tipFor(0, section) : QString();
            if (text.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), text, m_header->viewport());
            return true;
        }
    }
    return QTableView::eventFilter(watched, event);
}

void GridControl::showEvent(QShowEvent* event)
{
    if (!m_initialised) {
        m_initialised = true;
        Q_EMIT OnGridInitialUpdate();
    }
    QTableView::showEvent(event);
}

void GridControl::focusInEvent(QFocusEvent* event)
{
    // Taking the focus does not make a cell current: the window decides which cell is.
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void GridControl::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // The focus moves to the cell by the numbering of the table screen readers are given, not
    // by the view's numbering of the grid's own model (which is what QTableView would send).
    if (QAccessible::isActive() && hasFocus()) {
        if (const int child = accessibleChildOf(*this, current); child >= 0) {
            QAccessibleEvent event(this, QAccessible::Focus);
            event.setChild(child);
            QAccessible::updateAccessibility(&event);
        }
    }
    QAbstractItemView::currentChanged(current, previous);
}

void GridControl::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        Q_EMIT OnLButtonDblClkRowCol(index.row() + 1, index.column(), 0);
    event->accept();
}

} // namespace zelvar::platform
