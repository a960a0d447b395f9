#include "quotes/quote_reading.h"

#include "core/plain_text.h"
#include "quotes/json_scan.h"
#include "quotes/text_search.h"

#include <QByteArray>


namespace larkspire {

namespace {

// How far around a fetch's URL the script tag that holds it may reach; a
// longer tag or URL is no fetch of the service's.
constexpr qsizetype kTagReach = 8192;
constexpr QStringView kTitleOpen = u"<title>";
constexpr QStringView kDataUrl = u"data-url="; // the attribute that holds a fetch's URL

bool isBlank(QChar c) { return c == u' ' || c == u'\u00A0'; }

QStringView trimmedBlanks(QStringView text) { return trimmedBy(text, isBlank); }

// The symbol a quoteSummary URL names: the path element after the marker,
// percent-decoded as UTF-8.
QString symbolOfFetchUrl(const QString& url, qsizetype afterMarker)
{
    qsizetype end = afterMarker;
    while (end < url.size() && url[end] != u'?' && url[end] != u'#' && url[end] != u'/')
        ++end;
    return QString::fromUtf8(QByteArray::fromPercentEncoding(url.mid(afterMarker, end - afterMarker).toUtf8()));
}

const QString kFetchMarker = QStringLiteral("/v10/finance/quoteSummary/");

} // namespace

std::optional<QString> FindLaterQuoteTitle(const QString& cleanedPage, const QString& upperSymbol)
{
    const qsizetype open = indexOfIgnoringCase(cleanedPage, kTitleOpen);
    if (open < 0)
        return std::nullopt;
    const qsizetype start = open + kTitleOpen.size();
    const qsizetype close = indexOfIgnoringCase(cleanedPage, u"</title>", start);
    if (close < 0)
        return std::nullopt;
    const QString decoded = DecodeCharacterReferences(cleanedPage.mid(start, close - start));
    QStringView title = trimmedBlanks(decoded);
    static const QString tail = QStringLiteral("- Yahoo Finance");
    if (!title.endsWith(tail, Qt::CaseInsensitive))
        return std::nullopt;
    title.chop(tail.size());
    // The symbol is the last parenthesised group; the name may hold groups of its own.
    const qsizetype groupEnd = title.lastIndexOf(u')');
    if (groupEnd < 0)
        return std::nullopt;
    const qsizetype groupStart = title.left(groupEnd).lastIndexOf(u'(');
    if (groupStart < 0)
        return std::nullopt;
    const QStringView symbol = title.mid(groupStart + 1, groupEnd - groupStart - 1);
    if (symbol.isEmpty() || symbol.compare(upperSymbol, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return trimmedBlanks(title.left(groupStart)).toString();
}

std::optional<QString> FetchedPriceObject(const QString& cleanedPage, const QString& upperSymbol)
{
    const QStringView page(cleanedPage);
    const qsizetype n = page.size();
    static const CaseInsensitiveSearch marker(kFetchMarker);
    static const CaseInsensitiveSearch scriptEnd(u"</script>");
    static const CaseInsensitiveSearch price(u"\"price\"");
    static const CaseInsensitiveSearch escapedPrice(u"\\\"price\\\"");
    static const CaseInsensitiveSearch bodyName(u"\"body\"");
    // A forward walk over the reach before each occurrence of the marker
    // notes the last quote, the last ">" and the last "<script" there; it
    // never walks a character twice, and the next quote and ">" after an
    // occurrence are looked up once and reused, so the work stays linear in
    // the page however many occurrences a hostile page holds.
    qsizetype walked = 0;
    qsizetype lastQuote = -1, lastGt = -1, lastScript = -1;
    qsizetype nextQuote = -1, nextGt = -1;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = marker.indexIn(page, from);
        if (at < 0)
            return std::nullopt;
        from = at + 1;
        if (walked < at - kTagReach) {
            // What lies further back cannot belong to this occurrence's tag.
            walked = at - kTagReach;
            lastQuote = lastGt = lastScript = -1;
        }
        for (; walked < at; ++walked) {
            const char16_t c = page[walked].unicode();
            if (c == u'"')
                lastQuote = walked;
            else if (c == u'>')
                lastGt = walked;
            else if (c == u'<' && page.mid(walked, 7).compare(u"<script", Qt::CaseInsensitive) == 0)
                lastScript = walked;
        }
        // It must stand in the data-url attribute of a script tag: the
        // attribute's quote is the last one, no ">" after it or after the
        // tag's start.
        if (lastQuote < kDataUrl.size() || lastGt > lastQuote || lastScript < lastGt || lastScript > lastQuote ||
            at - lastQuote > kTagReach ||
            page.mid(lastQuote - kDataUrl.size(), kDataUrl.size()).compare(kDataUrl, Qt::CaseInsensitive))
            continue;
        if (nextQuote < at)
            nextQuote = page.indexOf(u'"', at);
        if (nextQuote < 0)
            return std::nullopt;
        if (nextQuote - at > kTagReach)
            continue;
        if (nextGt < nextQuote)
            nextGt = page.indexOf(u'>', nextQuote);
        if (nextGt < 0)
            return std::nullopt;
        const QString url = DecodeCharacterReferences(page.mid(lastQuote + 1, nextQuote - lastQuote - 1).toString());
        const qsizetype path = url.indexOf(kFetchMarker, 0, Qt::CaseInsensitive);
        if (path < 0 || symbolOfFetchUrl(url, path + kFetchMarker.size()).compare(upperSymbol, Qt::CaseInsensitive))
            continue;

        // The script's text is the fetch's wrapper; its "body" is a JSON text
        // written as one JSON string.
        const qsizetype contentStart = nextGt + 1;
        qsizetype contentEnd = scriptEnd.indexIn(page, contentStart);
        if (contentEnd < 0)
            contentEnd = n;
        from = std::max(from, contentEnd);
        const QStringView wrapper = page.mid(contentStart, contentEnd - contentStart);
        const qsizetype bodyString = JsonMemberValue(wrapper, bodyName, u'"');
        if (bodyString < 0)
            continue;
        if (auto object = ObjectMemberInJsonString(wrapper, bodyString, price, escapedPrice))
            return object;
    }
}

namespace {

// Whether the page's first title is a 2018 one ("SYM : Summary for ..."):
// the layout is decided from the head once, with no search through the rest
// of a page of a later layout for a title it does not have.
bool firstTitleIs2018(const QString& page, const QString& upperSymbol)
{
    const qsizetype open = indexOfIgnoringCase(page, kTitleOpen);
    if (open < 0)
        return false;
    const QString marker = upperSymbol + QStringLiteral(" : Summary for ");
    return QStringView(page).mid(open + kTitleOpen.size(), marker.size()).compare(marker, Qt::CaseInsensitive) == 0;
}

QuoteReading readLayouts(const QuotePage& cleaned, const QString& upperSymbol)
{
    QuoteReading reading;
    if (firstTitleIs2018(cleaned.text(), upperSymbol))
        reading.title = FindQuoteTitle(cleaned.text(), upperSymbol);
    if (reading.title.TitleFound) {
        reading.layout = QuoteLayout::Summary2018;
        reading.figures = cleaned;
        return reading;
    }
    auto name = FindLaterQuoteTitle(cleaned.text(), upperSymbol);
    if (!name)
        return reading;
    reading.title.TitleFound = true;
    reading.title.Name = std::move(name);
    if (auto price = FetchedPriceObject(cleaned.text(), upperSymbol)) {
        reading.layout = QuoteLayout::FetchedData;
        reading.figures = QuotePage(std::move(*price));
    } else if (cleaned.hasQuoteSummaryStore()) {
        reading.layout = QuoteLayout::EmbeddedStore;
        reading.figures = cleaned;
    } else {
        reading.layout = QuoteLayout::NoFigures;
    }
    return reading;
}

} // namespace

QuoteReading ReadQuotePage(const QuotePage& cleaned, const QString& upperSymbol)
{
    QuoteReading reading = readLayouts(cleaned, upperSymbol);
    if (reading.title.Name) {
        // A name is one line of plain text, never longer than this, whatever
        // the page wrote raw or as character references.
        reading.title.Name = withoutControlCharacters(std::move(*reading.title.Name));
        if (reading.title.Name->size() > kMaxNameChars)
            reading.title.Name->truncate(kMaxNameChars);
    }
    return reading;
}

} // namespace larkspire
