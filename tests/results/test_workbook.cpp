#include "core/failure.h"
#include "results/sheet_numbers.h"
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

TEST(SheetNumbers, aFiguresValueIsTheNearestDoubleToItsDigitsWhateverTheirLength)
{
    const NumberFormats formats(QLocale::c());
    const QString longPlain = QStringLiteral("0.") + QString(13, QLatin1Char('1')); // 15 characters
    const QString longRaw = QStringLiteral("12345678901234567890123456789012345678901234567890123456789012345678.5");
    for (const auto& [shown, raw] : std::vector<std::pair<QString, QString>>{
             {QStringLiteral("26.18"), QString()},
             {QStringLiteral("-0.3"), QString()},
             {longPlain, QString()},
             {QStringLiteral("86,227,835.00"), QStringLiteral("86227835.0000001")},
             {formats.standard(longRaw), longRaw}}) {
        const auto cell = numberCellOf(shown, raw, formats);
        ASSERT_TRUE(cell) << shown.toStdString();
        const double expected = QLocale::c().toDouble(raw.isEmpty() ? shown : raw);
        EXPECT_EQ(cell->value, expected) << shown.toStdString();
    }
}
