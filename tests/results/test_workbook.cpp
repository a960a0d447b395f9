#include "results/quote_row.h"
#include <QJsonDocument>
#include <QJsonArray>
#include "results/records.h"
#include "core/failure.h"
#include "quotes/quote.h"
#include "results/result_table.h"
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
        Cell cell = Cell::ofText(shown);
        cell.number = figureNumber(CellDisplay::Standard, shown, raw);
        ASSERT_TRUE(cell.number) << shown.toStdString();
        const SheetValue value = sheetValueOf(cell);
        ASSERT_TRUE(value.number) << shown.toStdString();
        const double expected = QLocale::c().toDouble(raw.isEmpty() ? shown : raw);
        EXPECT_EQ(*value.number, expected) << shown.toStdString();
    }
}

TEST(SheetNumbers, aNumberTheSheetCannotHoldStaysTheTextThePageGave)
{
    // No number the page did not give: beyond a double's range is text, not 0.
    for (const char* digits : {"1e999", "-1e999", "1.2E+400"}) {
        Cell cell = Cell::ofText(QString::fromLatin1(digits));
        cell.number = CellNumber{cell.text, QStringLiteral("General")};
        const SheetValue value = sheetValueOf(cell);
        EXPECT_FALSE(value.number) << digits;
        EXPECT_EQ(value.text, cell.text);
    }
    Cell time = Cell::ofText(QStringLiteral("2023-11-14T22:13:20Z"));
    time.time = 1700000000;
    const SheetValue at = sheetValueOf(time);
    ASSERT_TRUE(at.number);
    EXPECT_DOUBLE_EQ(*at.number, 45244.925925925927);
    EXPECT_EQ(at.text, QStringLiteral("2023-11-14 22:13:20"));
}

TEST(JsonRecords, everyNumberWrittenFitsAFiniteDoubleAndTheDocumentStaysJson)
{
    auto number = [](const char* digits) {
        Cell c = Cell::ofText(QString::fromLatin1(digits));
        c.number = CellNumber{c.text, QStringLiteral("General")};
        return c;
    };
    const std::pair<Cell, const char*> cases[] = {
        {number("145.37"), "145.37"},  {number("-3.21001"), "-3.21001"}, {number("1e999"), "null"},
        {number("-1e999"), "null"},    {number("1.2E+400"), "null"},    {number("1e-999e2"), "null"},
        {Cell::ofText(std::nullopt), "null"}, {Cell::ofText(QStringLiteral("A \"B\"\n")), "\"A \\\"B\\\"\\n\""},
    };
    std::vector<JsonEntry> entries;
    for (const auto& [cell, expected] : cases) {
        const QByteArray one = jsonRecords({QStringLiteral("v")}, {JsonEntry{QStringLiteral("S"), std::nullopt, {cell}}}, true);
        EXPECT_EQ(one, "{\"v\":" + QByteArray(expected) + "}\n") << cell.text.toStdString();
        entries.push_back(JsonEntry{QStringLiteral("S"), std::nullopt, {cell}});
    }
    entries.push_back(JsonEntry{QStringLiteral("GONE"), QStringLiteral("Not Found (HTTP 404)"), {}});
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(jsonRecords({QStringLiteral("v")}, entries, false), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(doc.array().size(), qsizetype(std::size(cases)) + 1);
}

TEST(QuoteRows, aTimeNoCalendarHoldsIsNullInJsonAndEmptyInText)
{
    Quote quote;
    quote.symbol = QStringLiteral("AAA");
    quote.found = true;
    quote.retrieved = 1700000000;
    for (const auto& [seconds, json, csv] :
         {std::tuple<qint64, const char*, const char*>{1700000000, "\"2023-11-14T22:13:20Z\"", "2023-11-14T22:13:20Z"},
          {253402300800LL, "null", ""}, {9000000000000000000LL, "null", ""}}) {
        quote.time = seconds;
        const CellRow row = fieldRow(quote, {QStringLiteral("symbol"), QStringLiteral("time")});
        EXPECT_EQ(jsonRecords({QStringLiteral("symbol"), QStringLiteral("time")}, {JsonEntry{quote.symbol, std::nullopt, row}}, true),
                  "{\"symbol\":\"AAA\",\"time\":" + QByteArray(json) + "}\n");
        EXPECT_EQ(commaSeparatedText(ResultTable{{QStringLiteral("symbol"), QStringLiteral("time")}, {row}}),
                  "symbol,time\r\nAAA," + QByteArray(csv) + "\r\n");
    }
}
