#include "core/failure.h"
#include "results/workbook.h"

#include <gtest/gtest.h>

using namespace larkspire;

TEST(SheetCells, fittingTakesTheLongestTextOfEachColumn)
{
    SheetCells cells;
    cells.set(1, 1, QStringLiteral("Stock Name"));
    cells.set(3, 1, QStringLiteral("A much longer company name"));
    cells.set(2, 3, QStringLiteral("x"));
    cells.fitColumns();
    EXPECT_EQ(cells.width(1), 27);
    EXPECT_EQ(cells.width(2), 0);
    EXPECT_EQ(cells.width(3), 2);
    EXPECT_THROW(cells.set(0, 1, QString()), Failure);
}
