#pragma once
// The figures of a row, in one table. Each row says where the page (and the
// service's quote list) gives the figure, which cell of the window's row it
// fills, its column header and data field name, how the window shows it
// (which also decides the number format a sheet shows it under), and the
// window's step numbers for it. The window's columns, the field names, the
// counts and the sheet formats all derive from this table: a new figure is
// one more row.
//
// The window's step numbers (the error report's "at line N"), in steps of 2,
// with the room each part has:
//   100-130  the load sequence before the columns (PushButton17_Click: the run's
//            steps 100-122 before the cells)
//   132-134  the symbol list's column and width
//   136      the results list's first column header; 138-152 the figures' headers (headerStep)
//   154      the first column's width; 156-170 the figures' widths (widthStep)
//   172-178  the display option
//   In the run (PushButton17_Click): 100-118 up to reading the page, 122-134 the
//   row, each figure's cell before its lastStep (146-228, by 10s or 12s), 230-240
//   the end.
//   300-398  kept for figures added later: a new row takes its headerStep,
//            widthStep and lastStep here, so no number is used twice.
#include <array>

namespace larkspire {

// How the window shows a figure: as cut from the page, without markup, in
// the "Standard" format (grouped, two decimals), or in billions ("584.94B").
enum class CellDisplay { AsCut, WithoutTags, Standard, Billions };

struct QuoteCell {
    const char* key;    // the page's and the quote list's key
    int subItem;        // the window's cell: sub-item 1.., column subItem + 1
    const char* header; // the window's column header
    const char* field;  // the data field name (--fields, JSON)
    CellDisplay display;
    int headerStep;     // the window's step adding its column
    int widthStep;      // the window's step setting its column's width
    int lastStep;       // the step a failure of this cell is reported with
};

// In the order a page's figures are read (the window's cell steps).
inline constexpr std::array<QuoteCell, 8> QuoteCellTable{{
    {"postMarketPrice", 1, "Stock Price", "postMarketPrice", CellDisplay::AsCut, 138, 156, 146},
    {"regularMarketOpen", 2, "Open", "open", CellDisplay::WithoutTags, 140, 158, 156},
    {"regularMarketDayLow", 4, "Low", "low", CellDisplay::AsCut, 144, 162, 168},
    {"regularMarketDayHigh", 3, "High", "high", CellDisplay::AsCut, 142, 160, 180},
    {"regularMarketVolume", 5, " Volume", "volume", CellDisplay::Standard, 146, 164, 192},
    {"averageDailyVolume3Month", 6, "Avg Vol", "averageVolume", CellDisplay::Standard, 148, 166, 204},
    {"marketCap", 7, "Mkt Cap", "marketCap", CellDisplay::Billions, 150, 168, 216},
    {"regularMarketPreviousClose", 8, "Prev Close", "previousClose", CellDisplay::AsCut, 152, 170, 228},
}};

constexpr int kFigureCount = int(QuoteCellTable.size());

// The figure that fills a sub-item of the window's row.
constexpr const QuoteCell& figureAt(int subItem)
{
    for (const QuoteCell& cell : QuoteCellTable)
        if (cell.subItem == subItem)
            return cell;
    return QuoteCellTable[0];
}

// The window's steps for its first column, the symbol or the name.
constexpr int kFirstHeaderStep = 136;
constexpr int kFirstWidthStep = 154;

} // namespace larkspire
