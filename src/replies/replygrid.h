#pragma once

#include <QtGlobal>

namespace zelvar::replies {

// The grid calls the reply parser makes around its work: painting suspended while rows are
// stored, the grid's row and column counts, the column widths from the headings and the
// heading range. The result grid implements it; NullReplyGrid stands in where no grid is shown.
class ReplyGrid
{
public:
    virtual ~ReplyGrid() = default;

    // Suspends (true) or resumes (false) painting; returns the previous state.
    virtual bool LockUpdates(bool lock) = 0;
    virtual void SetRowCount(qint32 rows) = 0;
    virtual qint32 RowCount() = 0;
    // The number of columns after column 0.
    virtual void SetColCount(qint32 columns) = 0;
    // Width of columns from..to, in the grid's units.
    virtual void SetColWidths(qint32 from, qint32 to, qint32 width) = 0;
    // The range object's "initrange" with the four numbers the parser passes.
    virtual void InitRange(qint32 a, qint32 b, qint32 c, qint32 d) = 0;
};

// A grid that only keeps its row count.
class NullReplyGrid : public ReplyGrid
{
public:
    bool LockUpdates(bool lock) override
    {
        const bool previous = m_locked;
        m_locked = lock;
        return previous;
    }
    void SetRowCount(qint32 rows) override { m_rows = rows; }
    qint32 RowCount() override { return m_rows; }
    void SetColCount(qint32) override {}
    void SetColWidths(qint32, qint32, qint32) override {}
    void InitRange(qint32, qint32, qint32, qint32) override {}

private:
    bool m_locked = false;
    qint32 m_rows = 0;
};

} // namespace zelvar::replies
