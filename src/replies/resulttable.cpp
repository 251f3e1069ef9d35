#include "resulttable.h"

#include "component/runtimeerror.h"

using namespace zelvar::component;

namespace zelvar::replies {

void ResultTable::redim(qint32 columnBound, qint32 rowBound)
{
    if (columnBound < 0 || rowBound < 0)
        throw RuntimeError(RuntimeError::SubscriptOutOfRange);
    m_columnBound = columnBound;
    m_rowBound = rowBound;
    m_rows.clear();
    m_spans.clear();
}

void ResultTable::redimPreserve(qint32 columnBound, qint32 rowBound)
{
    if (!isDimensioned()) {
        redim(columnBound, rowBound);
        return;
    }
    if (columnBound != m_columnBound || rowBound < 0)
        throw RuntimeError(RuntimeError::SubscriptOutOfRange);
    m_rowBound = rowBound;
    if (m_rows.size() > size_t(rowBound) + 1)
        m_rows.resize(size_t(rowBound) + 1);
}

void ResultTable::reserveRows(qint32 row)
{
    // Geometric, as the rows' own growth: reserving each page's exact count would move every
    // row loaded so far on every page.
    if (row >= 0 && row <= m_rowBound && size_t(row) >= m_rows.capacity()) {
        m_rows.reserve(std::max(size_t(row) + 1, m_rows.capacity() * 2));
        const size_t spans = size_t(row + 1) * size_t(m_columnBound + 1);
        if (spans > m_spans.capacity())
            m_spans.reserve(std::max(spans, m_spans.capacity() * 2));
    }
}

void ResultTable::check(qint32 column, qint32 row) const
{
    if (column < 0 || column > m_columnBound || row < 0 || row > m_rowBound)
        throw RuntimeError(RuntimeError::SubscriptOutOfRange);
}

ResultTable::Row& ResultTable::rowForWriting(qint32 row)
{
    static_assert(std::is_nothrow_move_constructible_v<Row>, "rows must move, not copy, when the table grows");
    if (size_t(row) >= m_rows.size()) {
        // Rows arrive in order a page at a time; grow geometrically, not a row at a time.
        if (size_t(row) >= m_rows.capacity())
            m_rows.reserve(std::max(size_t(row) + 1, m_rows.capacity() * 2));
        m_rows.resize(size_t(row) + 1);
    }
    return m_rows[size_t(row)];
}

QString ResultTable::cell(qint32 column, qint32 row) const
{
    check(column, row);
    if (size_t(row) >= m_rows.size())
        return {};
    const Row& r = m_rows[size_t(row)];
    if (r.fromLine) {
        if (quint32(column) >= r.spanCount)
            return {};
        const Span span = m_spans[r.firstSpan + quint32(column)];
        return r.line.mid(span.start, span.length);
    }
    return column < r.cells.size() ? r.cells.at(column) : QString();
}

void ResultTable::setCell(qint32 column, qint32 row, const QString& text)
{
    check(column, row);
    Row& r = rowForWriting(row);
    if (r.fromLine) {
        // A row written cell by cell keeps its texts separately from then on.
        QStringList cells;
        cells.reserve(r.spanCount);
        for (quint32 k = 0; k < r.spanCount; ++k) {
            const Span span = m_spans[r.firstSpan + k];
            cells.append(r.line.mid(span.start, span.length));
        }
        r.cells = std::move(cells);
        r.line.clear();
        r.spanCount = 0;
        r.fromLine = false;
    }
    if (column >= r.cells.size())
        r.cells.resize(column + 1);
    r.cells[column] = text;
}

void ResultTable::setRow(qint32 row, const QString& line, const QVarLengthArray<Span, 12>& spans)
{
    check(qMax<qsizetype>(spans.size() - 1, 0), row);
    Row& r = rowForWriting(row);
    r.line = line;
    // A row written again leaves its old spans unused; rows are written once a page.
    r.firstSpan = quint32(m_spans.size());
    r.spanCount = quint32(spans.size());
    m_spans.insert(m_spans.end(), spans.begin(), spans.end());
    r.cells.clear();
    r.fromLine = true;
}

void ResultTable::setRow(qint32 row, QStringList cells)
{
    check(qMax<qsizetype>(cells.size() - 1, 0), row);
    Row& r = rowForWriting(row);
    r.line.clear();
    r.spanCount = 0;
    r.cells = std::move(cells);
    r.fromLine = false;
}

} // namespace zelvar::replies
