#pragma once

#include "replygrid.h"
#include "resulttable.h"

#include <QString>
#include <QStringList>

// The patient search's tabular reply: a header line that counts the rows of this reply and
// names and sizes the columns, one line per row, and a trailer with the continuation key.
namespace zelvar::replies {

// What the parser keeps for the search in progress (the dialog owns it).
struct SearchResults
{
    ResultTable table;
    qint32 RowsLoaded = 0;
    qint32 ColumnBound = 0;
    bool AllLoaded = false;
    bool MoreAvailable = false;
    bool SingleHit = false;
};

// The settings object's column width factor as a whole number, halves to even.
qint32 ColumnWidthFactor();

// Parses the first reply of a search into a fresh table. Returns true only when the whole
// reply was taken in; otherwise errorText says why for the caller to show (it may be empty
// when the parser has already shown its message).
bool BuildGrid(const QStringList& lines, QString& errorText, SearchResults& results, ReplyGrid& grid);

// Parses a further reply of the same search and appends its rows. Shows its own messages.
bool BuildGridMoreRows(const QStringList& lines, SearchResults& results, ReplyGrid& grid);

} // namespace zelvar::replies
