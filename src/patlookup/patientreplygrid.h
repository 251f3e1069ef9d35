#pragma once

#include "buildgrid.h"

#include "platform/grid/gridcontrol.h"

namespace zelvar::patlookup {

// The page's grid calls, made on the dialog's result grid.
class PatientReplyGrid : public ReplyGrid
{
public:
    explicit PatientReplyGrid(platform::GridControl& grid) : m_grid(grid) {}

    bool LockUpdates(bool lock) override { return m_grid.LockUpdates(lock); }
    void SetRowCount(qint32 rows) override { m_grid.SetRowCount(rows); }
    qint32 MaxRows() const override { return platform::GridControl::kMaxRows; }
    void SetColCount(qint32 columns) override { m_grid.SetColCount(columns); }
    void SetColWidths(qint32 from, qint32 to, qint32 width) override { m_grid.SetColWidths(from, to, width); }

private:
    platform::GridControl& m_grid;
};

} // namespace zelvar::patlookup
