#include "core/failure.h"
#include "results/workbook.h"
#include "support/full_disk.h"

#include <gtest/gtest.h>

using namespace larkspire;
using larkspire::test::FullDisk;

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

TEST(Workbook, aFullDiskIsAFailureThatNamesTheFile)
{
    FullDisk disk;
    if (!disk.usable())
        GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    disk.fill();
    SheetCells cells;
    for (int r = 1; r <= 200; ++r)
        cells.set(r, 1, QStringLiteral("Some company name %1").arg(r));
    const QString path = disk.filePath(QStringLiteral("w.xlsx"));
    try {
        writeXlsx(cells, path);
        ADD_FAILURE() << "a workbook was written onto a full disk";
    } catch (const Failure& f) {
        EXPECT_TRUE(f.description().contains(path)) << f.description().toStdString();
    }
}
