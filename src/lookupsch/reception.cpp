// Receiving the lookup reply's records into the cell table and the grid's shape.
#include "frmlookupsch.h"

#include "component/conversions.h"
#include "component/references.h"
#include "component/strings.h"
#include "platform/messagebox.h"
#include "platform/trap.h"
#include "replies/lookuprecords.h"
#include "replies/tabularreply.h"

#include <functional>
#include <optional>

using namespace zelvar::component;

namespace zelvar::lookupsch {

namespace {

constexpr int kEarlyPaintRow = 40;

// Each step that fails is reported and passed over; the next step still runs.
void reportFailure(const ErrorInfo& error)
{
    platform::beep();
    platform::reportToHost(QStringLiteral("Error raised in frmLookupSch.winRecvGridAsync: ") + error.description
                           + QStringLiteral(" ___ ") + str(error.number));
}

void step(const std::function<void()>& body)
{
    if (const std::optional<ErrorInfo> error = trapped(body))
        reportFailure(*error);
}

} // namespace

void frmLookupSch::AsyncReceive(const QString& strData)
{
    if (trapped([&] {
            switch (replies::lookupRecordKind(strData)) {
            case replies::LookupRecord::Header: winRecvGridAsync(strData, true, false); break;
            case replies::LookupRecord::ClearingHeader: winRecvGridAsync(strData, true, true); break;
            case replies::LookupRecord::Row: winRecvGridAsync(strData, false, false); break;
            case replies::LookupRecord::Other: break;
            }
        })) {
        platform::beep();
    }
}

void frmLookupSch::ClearGrid(platform::GridControl& grid)
{
    grid.SetRowCount(0);
    grid.SetColCount(0);
    grid.Redraw(1);
}

void frmLookupSch::winRecvGridAsync(const QString& strData, bool header, bool clear)
{
    step([&] { LoadGridIndex = replies::lookupGridIndex(strData); });
    if (header)
        receiveHeader(strData, clear);
    else
        receiveRow(strData);
}

void frmLookupSch::receiveHeader(const QString& strData, bool clear)
{
    step([&] { grid(LoadGridIndex).LockUpdates(true); });
    if (clear) {
        step([&] { ClearGrid(grid(LoadGridIndex)); });
        CurrentRow = 0;     // the grid has no current cell until the rows are in
    }
    std::optional<qint32> widthFactor;
    step([&] { widthFactor = replies::ColumnWidthFactor(settings()); });
    qint32 known = 0;
    step([&] { known = slot(LoadGridIndex).ColCount; });
    replies::LookupHeader h;
    step([&] { h = replies::readLookupHeader(strData, utils(), widthFactor, known); });
    for (const ErrorInfo& failure : h.failures)
        reportFailure(failure);

    if (h.columnCount)
        step([&] { slot(LoadGridIndex).ColCount = *h.columnCount; });
    if (h.rowCount)
        step([&] { slot(LoadGridIndex).RowCount = *h.rowCount; });
    step([&] { grid(LoadGridIndex).SetRowCount(slot(LoadGridIndex).RowCount); });
    step([&] { grid(LoadGridIndex).SetColCount(slot(LoadGridIndex).ColCount - 1); });
    step([&] {
        LookupGrid& g = slot(LoadGridIndex);
        g.Cells = replies::ResultTable();
        g.Cells.redim(g.ColCount, g.RowCount);
    });
    for (qint32 c = 0; c < qint32(h.headings.size()); ++c) {
        if (c > 0 && h.widths.at(c - 1))
            step([&] { grid(LoadGridIndex).SetColWidths(c, c, *h.widths.at(c - 1)); });
        step([&] { slot(LoadGridIndex).Cells.setCell(c, 0, h.headings.at(c)); });
    }
    LoadRow = 1;
}

void frmLookupSch::receiveRow(const QString& strData)
{
    // A record with fewer fields than the header leaves the missing cells empty (reported
    // once).
    step([&] {
        LookupGrid& g = slot(LoadGridIndex);
        const replies::LookupRow row = replies::readLookupRow(strData, g.ColCount);
        g.Cells.setRow(LoadRow, row.text, row.cells);
        if (!row.complete)
            throw RuntimeError(RuntimeError::InvalidProcedureCall);
    });
    if (LoadRow == kEarlyPaintRow) {
        step([&] { grid(LoadGridIndex).LockUpdates(false); });
        step([&] { grid(LoadGridIndex).Redraw(2); });
    }
    qint32 rowCount = 0;
    step([&] { rowCount = slot(LoadGridIndex).RowCount; });
    if (LoadRow < rowCount) {
        step([&] { grid(LoadGridIndex).LockUpdates(true); });
        ++LoadRow;
        return;
    }
    finishLoad();
}

void frmLookupSch::finishLoad()
{
    step([&] { grid(LoadGridIndex).LockUpdates(false); });
    CurrentRow = 1;
    step([&] { grid(LoadGridIndex).SetCurrentCell(1, 1); });
    step([&] {
        const qint32 columns = slot(LoadGridIndex).ColCount;
        if (LoadRow <= kEarlyPaintRow) {
            grid(LoadGridIndex).Redraw(2);
            RangeObject.initrange(1, 0, columns, LoadRow);
        } else {
            // Rows up to 40 were painted early; only the rest need it.
            RangeObject.initrange(1, kEarlyPaintRow + 1, columns, LoadRow);
            grid(LoadGridIndex).RedrawRange(RangeObject);
        }
    });
    step([&] { ResizeForm(); });
}

} // namespace zelvar::lookupsch
