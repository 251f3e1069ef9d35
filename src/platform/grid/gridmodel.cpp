#include "gridmodel.h"

#include <QBrush>

namespace zelvar::platform {

GridModel::GridModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void GridModel::setGridRowCount(int rows)
{
    rows = qMax(0, rows);
    if (rows == m_rows)
        return;
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else {
        beginRemoveRows({}, rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
    m_cached = false;
}

void GridModel::setGridColCount(int columns)
{
    columns = qMax(0, columns);
    if (columns == m_columns)
        return;
    // Model columns are 0..columns: column 0 plus `columns` more.
    if (columns > m_columns) {
        beginInsertColumns({}, m_columns + 1, columns);
        m_columns = columns;
        endInsertColumns();
    } else {
        beginRemoveColumns({}, columns + 1, m_columns);
        m_columns = columns;
        endRemoveColumns();
    }
    m_cached = false;
}

void GridModel::setBaseFont(const QFont& font)
{
    m_baseFont = font;
    m_fonts.clear();
}

void GridModel::setZoom(int percent)
{
    m_zoom = percent;
    m_fonts.clear();
}

quint32 GridModel::fontKey(const CellLook& look) const
{
    const qint16 points = look.font ? look.font->size() : 0;
    const bool bold = look.font && look.font->bold();
    const bool italic = look.font && look.font->italic();
    return quint32(quint16(points)) | (bold ? 1u << 16 : 0u) | (italic ? 1u << 17 : 0u)
        | (quint32(m_zoom & 0x3FF) << 18);
}

const QFont& GridModel::fontFor(const CellLook& look) const
{
    const qint16 points = look.font ? look.font->size() : 0;
    const bool bold = look.font && look.font->bold();
    const bool italic = look.font && look.font->italic();
    const quint32 key = fontKey(look);
    auto it = m_fonts.find(key);
    if (it == m_fonts.end()) {
        QFont font = m_baseFont;
        const double base = points > 0 ? double(points) : m_baseFont.pointSizeF();
        font.setPointSizeF(qMax(1.0, base * m_zoom / 100.0));
        font.setBold(bold);
        font.setItalic(italic);
        // Cell texts are short runs of Latin text: laid out from the font's glyphs and its
        // kerning, without the full shaping pass (a script that needs shaping still gets it).
        font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
        it = m_fonts.insert(key, font);
    }
    return it.value();
}

void GridModel::beginPaint()
{
    m_painting = true;
    ++m_paintSerial;
    m_cached = false;
}

void GridModel::endPaint()
{
    m_painting = false;
    m_cached = false;
}

const CellLook& GridModel::look(int gridRow, int column) const
{
    if (m_painting && m_cached && m_cachedRow == gridRow && m_cachedColumn == column)
        return m_cachedLook;

    GridStyle style;
    GridValue result;
    ++m_requests;
    if (m_request)
        m_request(gridRow, column, style, result);
    m_cachedLook = style.resolve(m_styles);
    m_cachedRow = gridRow;
    m_cachedColumn = column;
    m_cached = true;
    return m_cachedLook;
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns + 1;
}

QVariant GridModel::roleOf(const CellLook& look, int gridRow, int column, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        return look.value;
    case Qt::BackgroundRole:
        return look.interior ? QVariant(QBrush(*look.interior)) : QVariant();
    case Qt::ForegroundRole:
        return look.text ? QVariant(QBrush(*look.text)) : QVariant();
    case Qt::TextAlignmentRole:
        return look.alignment ? QVariant(int(*look.alignment | Qt::AlignVCenter)) : QVariant();
    case Qt::FontRole:
        return fontFor(look);
    case Qt::ToolTipRole:
        return m_tipRequest ? QVariant(m_tipRequest(gridRow, column)) : QVariant();
    case CellKindRole:
        return int(look.kind);
    case ChoiceListRole:
        return look.choiceList;
    default:
        return {};
    }
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || index.column() > m_columns)
        return {};
    if (role == Qt::ToolTipRole)
        return roleOf(CellLook(), index.row() + 1, index.column(), role);
    return roleOf(look(index.row() + 1, index.column()), index.row() + 1, index.column(), role);
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section > m_columns)
        return {};
    if (role == Qt::ToolTipRole)
        return roleOf(CellLook(), 0, section, role);
    return roleOf(look(0, section), 0, section, role);
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    // Read-only cells that can be current; no selection of their own.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

} // namespace zelvar::platform
