#pragma once

#include "resulttable.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <zelvar/patlookup.h>

#include <limits>

// The patient search's tabular reply: a header line that counts the rows of this reply and
// names and sizes the columns, one line per row, and a trailer with the continuation key.
//
// The reader only reads: it fills the search's table and hands back what the dialog is to do
// with the grid and which messages it is to show or report, in the order they arose. Nothing
// here shows a window or touches a widget.
namespace zelvar::replies {

// What the reader keeps for the search in progress (the dialog owns it).
struct SearchResults
{
    ResultTable table;
    qint32 RowsLoaded = 0;
    qint32 ColumnBound = 0;
    bool AllLoaded = false;
    bool MoreAvailable = false;
    bool SingleHit = false;
    QString KnownTotal;     // the lines of the whole list as the first page's header gave them
                            // ("942", "1000+" for at least), empty when it gave none
};

// A message the reader leaves to its caller: a line for the host's error report, or a message
// box with its icon and title.
struct ReplyMessage
{
    enum Kind { Report, Box, CriticalBox };

    Kind kind = Box;
    QString text;
    QString title;          // a box's own title
    bool hostTitle = false; // a box titled with the host's message title instead
};

// How the page shapes the grid: untouched, one empty cell (an unreadable header), or the
// columns and rows the header counts.
enum class GridShape { Untouched, SingleCell, Counted };

// One page as read.
struct PageReading
{
    bool success = false;               // the whole page was taken in
    QString errorText;                  // a first page's failure, for the caller to show
    QList<ReplyMessage> messages;       // in the order they are to be shown or reported
    GridShape shape = GridShape::Untouched;
    qint32 gridColumns = 0;             // Counted: the columns after column 0
    qint32 gridRows = 0;                // Counted: the row count the header gives
    QList<qint32> columnWidths;         // Counted: the width of column 1, 2, ...
};

// The settings object's column width factor as a whole number, halves to even.
qint32 ColumnWidthFactor(ZelvarSettings& settings);

// Reads the first reply of a search into a fresh table, splitting its lines with the host's
// utilities and sizing its columns by the settings' width factor (a host that fails either
// fails the page, as an unreadable one). A grid holds at most gridRowLimit rows; where the
// header counts more, the rows read are the last ones the grid can show.
PageReading readFirstPage(const QStringList& lines, SearchResults& results, ZelvarUtils& utils,
                          ZelvarSettings& settings, qint32 gridRowLimit = std::numeric_limits<qint32>::max());

// Reads a further reply of the same search and appends its rows.
PageReading readFurtherPage(const QStringList& lines, SearchResults& results, ZelvarUtils& utils);

} // namespace zelvar::replies
