#pragma once
// Cutting a company name and eight figures out of a quote summary page by
// plain text search: the name from the page title, each figure from the
// "raw" value the page's embedded JSON gives for its key. Pure functions; no
// state is kept from one page to the next.
#include "core/failure.h"
#include "quotes/figure_table.h"
#include "quotes/number_format.h"

#include <QString>

#include <array>
#include <optional>

namespace larkspire {

// The page without tabs, carriage returns and line feeds. A page handed
// over (moved in) is cleaned in its own memory.
QString CleanQuotePage(QString page);

// A cleaned page, with the place where key searches begin worked out once:
// the page's own "QuoteSummaryStore" when it has one (the quotes of other
// instruments stand before it), else the start of the page.
class QuotePage final {
public:
    explicit QuotePage(QString cleaned = QString());
    const QString& text() const { return m_text; }
    // The text, for its memory to be used again; the page is empty after.
    QString takeText() { m_keyStart = -1; return std::exchange(m_text, QString()); }
    qsizetype keySearchStart() const;
    bool hasQuoteSummaryStore() const;

private:
    QString m_text;
    mutable qsizetype m_keyStart = -1;
    mutable bool m_hasStore = false;
};

struct QuoteTitle {
    bool TitleFound = false;
    std::optional<QString> Name;
};

// Looks for "<title>SYMBOL : Summary for " and takes the name up to the next
// "- Yahoo Finance" (its trailing blank kept, character references decoded).
QuoteTitle FindQuoteTitle(const QString& cleanedPage, const QString& upperSymbol);

// The raw value of a key: the text after `key":{"raw":` up to the next
// `,"fmt":`; nothing when either is missing.
std::optional<QString> FindRawValue(const QuotePage& page, QStringView key);

// The text without everything from "<" to the next ">" (both included).
QString StripTags(QStringView text);

// Decodes HTML character references: the common named ones and numeric ones.
QString DecodeCharacterReferences(const QString& text);


// The longest text a figure can be; a longer one is no figure.
constexpr qsizetype kMaxFigureChars = 40;

// The displayed text of one cell, or nothing when the page lacks the value
// or it is longer than a figure can be. Control characters are dropped.
// Throws a Failure ("Type mismatch" for a market capitalisation that is not
// a number) that the caller reports with the cell's last step.
std::optional<QString> QuoteCellValue(const QuotePage& page, const QuoteCell& cell, const NumberFormats& formats);
// The same for a raw value already found.
std::optional<QString> QuoteCellText(const QString& raw, const QuoteCell& cell, const NumberFormats& formats);

} // namespace larkspire
