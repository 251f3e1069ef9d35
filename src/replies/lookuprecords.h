#pragma once

#include "component/runtimeerror.h"
#include "resulttable.h"

#include <QList>
#include <QString>
#include <QVarLengthArray>

#include <optional>

#include <zelvar/patlookup.h>

// The code-table lookup's reply, read one record at a time as it arrives: a header ("GH", or
// "GC" which clears the grid first) that counts the rows and names and sizes the columns, then
// a row record ("GR") per row. Each record's fifth character is the grid it is for.
//
// The readers only read. A step that fails (a host utility that throws, a count that is not
// one) is handed back with what was read around it, for the window to report; the window keeps
// what it had where a reading is missing.
namespace zelvar::replies {

enum class LookupRecord { Other, Header, ClearingHeader, Row };

// What a record is, from its third and fourth characters.
LookupRecord lookupRecordKind(const QString& record);

// The grid a record is for; Type mismatch when its fifth character is no number.
qint32 lookupGridIndex(const QString& record);

struct LookupHeader
{
    std::optional<qint32> columnCount;          // the record's fields, as the host counts them
    std::optional<qint32> rowCount;             // the five-digit count at positions 7 to 11
    // Column 0's heading and then column 1's, 2's...: each field less its last two characters.
    // A heading the host could not give is empty.
    QStringList headings;
    // The width of column 1, 2...: the field's last two digits times the width factor; none
    // where they are no number.
    QList<std::optional<qint32>> widths;
    QList<component::ErrorInfo> failures;       // in the order they arose
};

// Reads a header with the host's utilities. `knownColumns` is the count the window holds,
// used for the headings when the host cannot count this record's; without a width factor no
// width is read.
LookupHeader readLookupHeader(const QString& record, ZelvarUtils& utils, std::optional<qint32> widthFactor,
                              qint32 knownColumns);

struct LookupRow
{
    QString text;                                   // the record with a tab closing its last field
    QVarLengthArray<ResultTable::Span, 12> cells;   // the key (less its prefix), then each field
    bool complete = true;                           // false: fewer fields than the header's columns
};

// Finds a row record's cells in one pass over its text: the cells are the stretches between
// successive tabs. Where the record has fewer fields than `columns`, the missing cells are
// empty; fields past them are left out.
LookupRow readLookupRow(const QString& record, qint32 columns);

} // namespace zelvar::replies
