#pragma once
// One quote page read once: the name, the eight figures as the window shows
// them and as the page's own raw numbers, and what they mean (currency,
// exchange, kind of instrument, market state, the time and price of the
// regular session). The window's cells, the command line's rows, JSON, CSV
// and the workbook are all views of this value.
#include "core/cell.h"
#include "core/failure.h"
#include "quotes/quote_page.h"
#include "quotes/quote_reading.h"

#include <QLocale>
#include <QString>

#include <array>
#include <optional>

namespace larkspire {

struct QuoteFigure {
    std::optional<QString> text;   // the window's cell text; nothing when the page lacks it
    std::optional<QString> raw;    // the page's raw value text, when it is a JSON number
    std::optional<CellNumber> number; // the text as a number, when a sheet can show it exactly so
    std::optional<Failure> failure; // why the cell could not be shown (reported with its step)
};

struct Quote {
    QString symbol;                     // upper case, as asked for
    QuoteLayout layout = QuoteLayout::NotAQuotePage;
    bool found = false;                 // the page is a quote page of the symbol
    std::optional<QString> name;
    std::array<QuoteFigure, kFigureCount> figures; // by the cell's sub-item, from 1 at index 0
    std::optional<QString> currency;    // as the page writes it: "USD", "GBp"
    std::optional<QString> exchange;    // "NasdaqGS"
    std::optional<QString> quoteType;   // "EQUITY", "ETF", ...
    std::optional<QString> marketState; // "REGULAR", "CLOSED", ...
    std::optional<qint64> time;         // the regular session's last price, UTC seconds
    std::optional<QString> price;       // the regular session's price, raw number text
    std::optional<QString> change;      // raw number text
    std::optional<QString> changePercent; // a fraction as the page writes it (-0.0163993)
    qint64 retrieved = 0;               // when the page came, UTC seconds (set by the caller)
    QString source;                     // where it came from: "list" or "page" (set by the caller)

    const QuoteFigure& figure(int subItem) const { return figures[size_t(subItem - 1)]; }
};

// The longest currency, exchange, type or state text taken from a page.
constexpr qsizetype kMaxContextChars = 40;

// Reads a cleaned page for the symbol (upper case): every figure with its
// display and its raw number, and the context from the page's own price
// object (or, in the 2023 layout, its header). Never throws; a cell that
// cannot be shown carries its failure.
Quote readQuote(const QuotePage& cleaned, const QString& upperSymbol, const NumberFormats& formats);

// The sheet format of a market capitalisation shown in billions ("584.94B").
inline constexpr char kBillionsFormat[] = "0.00,,,\"B\"";

// Reads a quote from an object of the service's own JSON that holds the
// eight keys as {"raw": ...} pairs and the context keys as the page's price
// object has them: each figure exactly as a page's would be.
Quote readQuoteObject(QString object, const QString& upperSymbol, std::optional<QString> name,
                      const NumberFormats& formats);

// Whether a figure as the window shows it is a number, and under which
// number format a spreadsheet shows exactly that text, decided by how the
// window shows it:
//  - a plain number as shown ("26.18", "27.248", "500"): its own digits,
//    shown with as many decimals ("0.00", "0.000", "0");
//  - otherwise, a figure in the "Standard" format ("86,227,835.00"): the
//    page's raw number, shown "#,##0.00";
//  - a market capitalisation in billions ("584.94B"): the page's raw
//    number, shown `0.00,,,"B"`.
// Anything else (markup kept as cut, a text, a number with leading zeros)
// is no number. A number with an exponent or with more decimals than a
// spreadsheet holds is a number without a sheet format (a text there).
std::optional<CellNumber> figureNumber(CellDisplay display, const QString& shown, const QString& raw);

// What a row of the window means, in one line: "AAPL - Apple Inc. - USD,
// NasdaqGS - 4:00 PM EST, closed - regular price 240.36". The time is shown
// in the local time zone, with its date when it is not today's.
QString describeQuote(const Quote& quote, const QLocale& locale = QLocale::system());

} // namespace larkspire
