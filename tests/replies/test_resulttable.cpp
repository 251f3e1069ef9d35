// The result table's bounds and storage.
#include "component/runtimeerror.h"
#include "replies/resulttable.h"

#include <gtest/gtest.h>

using namespace zelvar::component;

using namespace zelvar;
using namespace zelvar::replies;

// Catches reads outside the bounds answering instead of raising "Subscript out of range",
// including before the first search has sized the table.
TEST(ResultTable, shouldRaiseSubscriptOutOfRangeOutsideItsBounds)
{
    ResultTable table;
    EXPECT_THROW(table.cell(0, 0), RuntimeError);
    table.redim(3, 4);
    EXPECT_EQ(table.cell(3, 4), QString());
    EXPECT_THROW(table.cell(4, 0), RuntimeError);
    EXPECT_THROW(table.cell(0, 5), RuntimeError);
    EXPECT_THROW(table.setCell(-1, 0, QStringLiteral("x")), RuntimeError);
    EXPECT_THROW(table.redim(3, -1), RuntimeError);
}

// Catches an enlargement that loses rows, or one that lets the columns change.
TEST(ResultTable, shouldKeepRowsWhenEnlargedAndFixItsColumns)
{
    ResultTable table;
    table.redim(2, 2);
    table.setRow(1, {QStringLiteral("K1"), QStringLiteral("A"), QStringLiteral("B")});
    table.redimPreserve(2, 10);
    EXPECT_EQ(table.cell(2, 1), QStringLiteral("B"));
    table.setCell(1, 10, QStringLiteral("Z"));
    EXPECT_EQ(table.cell(1, 10), QStringLiteral("Z"));
    EXPECT_THROW(table.redimPreserve(3, 12), RuntimeError);
    EXPECT_EQ(table.rowBound(), 10);

    table.redim(2, 2);
    EXPECT_EQ(table.cell(2, 1), QString());
}

// Catches a table that allocates its whole bound up front: a header claiming a huge count
// must not cost memory before any row arrives.
TEST(ResultTable, shouldCostNothingForRowsNotWritten)
{
    ResultTable table;
    table.redim(10, 2'000'000'000);
    EXPECT_EQ(table.cell(10, 1'999'999'999), QString());
}
