#pragma once
// Which of the service's page layouts a quote page is, and where its name and
// its own eight figures stand in it:
//  - 2018: title "SYM : Summary for NAME - Yahoo Finance"; figures in the
//    embedded JSON, from "QuoteSummaryStore" on when the page has one.
//  - 2019 to 2022: title "NAME (SYM) ... - Yahoo Finance"; the same JSON,
//    figures from its "QuoteSummaryStore".
//  - since late 2024: the same kind of title; figures in the "price" object
//    of the embedded data fetch of /v10/finance/quoteSummary/SYM.
//  - a later title with neither source (2023): the name, no figures.
// Figures are never taken from another instrument's data.
#include "quotes/quote_page.h"
#include "quotes/json_scan.h"
#include "quotes/text_search.h"

#include <QString>

#include <optional>

namespace larkspire {

enum class QuoteLayout { NotAQuotePage, Summary2018, EmbeddedStore, FetchedData, NoFigures };

struct QuoteReading {
    QuoteLayout layout = QuoteLayout::NotAQuotePage;
    QuoteTitle title;
    // Where the eight keys are read (QuoteCellValue); empty without figures.
    QuotePage figures;
};

// Names longer than this (far beyond any company's) are cut to it.
constexpr qsizetype kMaxNameChars = 1000;

QuoteReading ReadQuotePage(const QuotePage& cleaned, const QString& upperSymbol);

// The name of a later title "NAME (SYM) ... - Yahoo Finance" whose last
// parenthesised group is the symbol (letter case ignored); nothing for any
// other page.
std::optional<QString> FindLaterQuoteTitle(const QString& cleanedPage, const QString& upperSymbol);

// The "price" object of the page's embedded quoteSummary fetch for the
// symbol, decoded from its JSON string; nothing when the page has none.
std::optional<QString> FetchedPriceObject(const QString& cleanedPage, const QString& upperSymbol);

} // namespace larkspire
