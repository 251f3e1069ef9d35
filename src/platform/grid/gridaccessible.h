#pragma once

#include <QModelIndex>

namespace zelvar::platform {

class GridControl;

// What a screen reader is told of a grid: a table of what the window shows in it (the grid's
// content model, see GridControl::setContentModel), its first row the columns' headings. The
// grid itself scrolls through more rows than are loaded, asking for the next page as the user
// comes near the end; those rows are empty and are not in the table.
//
// Installs the table for every GridControl; once is enough, more calls do nothing.
void installGridAccessibility();

// Tells screen readers of every change to model, the grid's content model, as a change to the
// grid's table. (The grid's own model is announced by the view.)
void announceContentChanges(GridControl& grid, QAbstractItemModel& model);

// The table's child that shows the grid's cell at gridIndex (an index of the grid's own model),
// or -1 when the table has no such cell.
int accessibleChildOf(const GridControl& grid, const QModelIndex& gridIndex);

} // namespace zelvar::platform
