// Receiving the lookup reply's records into the cell table and the grid's shape.
#include "frmlookupsch.h"

#include "component/conversions.h"
#include "component/references.h"
#include "component/strings.h"
#include "platform/messagebox.h"
#include "platform/trap.h"
#include "replies/tabularreply.h"

#include <algorithm>

using namespace zelvar::component;

namespace zelvar::lookupsch {

namespace {

constexpr int kEarlyPaintRow = 40;

// The row count of a header: exactly five decimal digits. Anything else ("8E08" would be
// 800 million rows) is a type mismatch, and the count stays as it was.
qint32 announcedRows(const QString& header)
{
    const QString count = Mid(header, 7, 5);
    if (count.size() != 5 || !std::all_of(count.begin(), count.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        throw RuntimeError(RuntimeError::TypeMismatch);
    return count.toInt();
}

} // namespace

void frmLookupSch::AsyncReceive(const QString& strData)
{
    if (trapped([&] {
            const QString kind = Mid(strData, 2, 2);
            if (kind == QLatin1String("GH"))
                winRecvGridAsync(strData, true, false);
            else if (kind == QLatin1String("GC"))
                winRecvGridAsync(strData, true, true);
            else if (kind == QLatin1String("GR"))
                winRecvGridAsync(strData, false, false);
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

// Each step that fails is reported and passed over; the next step still runs.
static void step(const std::function<void()>& body)
{
    if (const std::optional<ErrorInfo> error = trapped(body)) {
        platform::beep();
        platform::reportToHost(QStringLiteral("Error raised in frmLookupSch.winRecvGridAsync: ") + error->description
                               + QStringLiteral(" ___ ") + str(error->number));
    }
}

void frmLookupSch::winRecvGridAsync(const QString& strData, bool header, bool clear)
{
    step([&] { LoadGridIndex = CInt(Mid(strData, 5, 1)); });
    if (header)
        receiveHeader(strData, clear);
    else
        receiveRow(strData);
}

void frmLookupSch::receiveHeader(const QString& strData, bool clear)
{
    step([&] { grid(LoadGridIndex).LockUpdates(true); });
    if (clear)
        step([&] { ClearGrid(grid(LoadGridIndex)); });
    step([&] { slot(LoadGridIndex).ColCount = utils().CountPieces(strData, tab); });
    step([&] { slot(LoadGridIndex).RowCount = announcedRows(strData); });
    step([&] { grid(LoadGridIndex).SetRowCount(slot(LoadGridIndex).RowCount); });
    step([&] { grid(LoadGridIndex).SetColCount(slot(LoadGridIndex).ColCount - 1); });
    step([&] {
        LookupGrid& g = slot(LoadGridIndex);
        g.Cells = replies::ResultTable();
        g.Cells.redim(g.ColCount, g.RowCount);
    });
    step([&] {
        const QString first = utils().GetPiece(strData, tab, 1);
        slot(LoadGridIndex).Cells.setCell(0, 0, Left(first, first.size() - 2));
    });
    qint32 columns = 0;
    step([&] { columns = slot(LoadGridIndex).ColCount; });
    for (qint32 i = 2; i <= columns; ++i) {
        QString field;
        step([&] { field = utils().GetPiece(strData, tab, CInt(double(i))); });
        const qint32 c = i - 1;
        step([&] {
            const qint32 width = mulLong(CLng(Right(field, 2)), replies::ColumnWidthFactor(settings()));
            grid(LoadGridIndex).SetColWidths(c, c, width);
        });
        step([&] { slot(LoadGridIndex).Cells.setCell(c, 0, Left(field, field.size() - 2)); });
    }
    LoadRow = 1;
}

void frmLookupSch::receiveRow(const QString& strData)
{
    // The record's fields are found by one pass over its text: the cells are the stretches
    // between successive tabs. A record with fewer fields than the header leaves the missing
    // cells empty (reported once).
    const QString record = strData + tab;
    step([&] {
        LookupGrid& g = slot(LoadGridIndex);
        QVarLengthArray<replies::ResultTable::Span, 12> spans;
        const qsizetype firstTab = record.indexOf(QLatin1Char('\t'));
        const qsizetype keyStart = qMin<qsizetype>(6, firstTab);
        spans.append({quint32(keyStart), quint32(firstTab - keyStart)});
        qsizetype p1 = firstTab;
        bool missing = false;
        for (qint32 i = 2; i <= g.ColCount; ++i) {
            const qsizetype p2 = p1 >= 0 ? record.indexOf(QLatin1Char('\t'), p1 + 1) : -1;
            if (p2 < 0) {
                missing = true;
                spans.append({0, 0});
                p1 = -1;
                continue;
            }
            spans.append({quint32(p1 + 1), quint32(p2 - p1 - 1)});
            p1 = p2;
        }
        g.Cells.setRow(LoadRow, record, spans);
        if (missing)
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
