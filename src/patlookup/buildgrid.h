#pragma once

#include "replies/tabularreply.h"

#include <QList>
#include <QtGlobal>

#include <limits>
#include <utility>

// The dialog's side of reading a page of results: the reader fills the table, and these
// apply what it read to the grid and show its messages, with painting suspended throughout.
namespace zelvar::patlookup {

// The grid calls made around a page: painting suspended while rows are stored, the grid's
// row and column counts, the column widths from the headings and the heading range. The
// result grid implements it; NullReplyGrid stands in where no grid is shown.
class ReplyGrid
{
public:
    virtual ~ReplyGrid() = default;

    // Suspends (true) or resumes (false) painting; returns the previous state.
    virtual bool LockUpdates(bool lock) = 0;
    virtual void SetRowCount(qint32 rows) = 0;
    // The most rows the grid can hold.
    virtual qint32 MaxRows() const { return std::numeric_limits<qint32>::max(); }
    // The number of columns after column 0.
    virtual void SetColCount(qint32 columns) = 0;
    // Width of columns from..to, in the grid's units.
    virtual void SetColWidths(qint32 from, qint32 to, qint32 width) = 0;
};

// A grid that is not there.
class NullReplyGrid : public ReplyGrid
{
public:
    bool LockUpdates(bool lock) override { return std::exchange(m_locked, lock); }
    void SetRowCount(qint32) override {}
    void SetColCount(qint32) override {}
    void SetColWidths(qint32, qint32, qint32) override {}

private:
    bool m_locked = false;
};

// Shows and reports a reader's messages in their order.
void showReplyMessages(const QList<replies::ReplyMessage>& messages);

// Reads the first reply of a search into a fresh table and shapes the grid. Returns true only
// when the whole reply was taken in; otherwise errorText says why for the caller to show (it
// may be empty when a message has already been shown).
bool BuildGrid(const QStringList& lines, QString& errorText, replies::SearchResults& results, ReplyGrid& grid);

// Reads a further reply of the same search and appends its rows. Shows its own messages.
bool BuildGridMoreRows(const QStringList& lines, replies::SearchResults& results, ReplyGrid& grid);

} // namespace zelvar::patlookup
