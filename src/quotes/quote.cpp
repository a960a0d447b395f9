#include "quotes/quote.h"

#include "core/plain_text.h"
#include "quotes/number_format.h"
#include "quotes/text_search.h"

#include <QDateTime>

#include <algorithm>
#include <array>

namespace larkspire {

namespace {

// Where the value of the first member `"name": ...` of a JSON text starts.
qsizetype memberValueAt(QStringView json, QStringView name)
{
    const QString quoted = QLatin1Char('"') + name.toString() + QLatin1Char('"');
    return JsonMemberValue(json, CaseInsensitiveSearch(quoted));
}

// A JSON number token starting at `at`; nothing when what stands there is none.
std::optional<QString> numberAt(QStringView json, qsizetype at)
{
    qsizetype end = at;
    while (end < json.size() && end - at <= 64 &&
           (json[end].isDigit() || json[end] == u'-' || json[end] == u'+' || json[end] == u'.' || json[end] == u'e' ||
            json[end] == u'E'))
        ++end;
    const QStringView token = json.mid(at, end - at);
    if (!isJsonNumber(token))
        return std::nullopt;
    return token.toString();
}

// A short plain text: a JSON string member, at most kMaxContextChars long
// and free of control characters; nothing otherwise.
std::optional<QString> textMember(QStringView json, QStringView name)
{
    const qsizetype at = memberValueAt(json, name);
    if (at < 0 || json[at] != u'"')
        return std::nullopt;
    const qsizetype close = json.indexOf(u'"', at + 1);
    // Far longer than any currency or exchange: no need to decode it.
    if (close < 0 || close - at > 8 * kMaxContextChars)
        return std::nullopt;
    const auto text = DecodeJsonString(json, at);
    if (!text || text->isEmpty() || text->size() > kMaxContextChars ||
        std::any_of(text->begin(), text->end(), [](QChar c) { return isControlCharacter(c.unicode()); }))
        return std::nullopt;
    return text;
}

// A number member, plain (`"regularMarketTime":1700000001`) or as the
// page's {"raw": ..., "fmt": ...} pair.
std::optional<QString> numberMember(QStringView json, QStringView name)
{
    qsizetype at = memberValueAt(json, name);
    if (at < 0)
        return std::nullopt;
    if (json[at] == u'{') {
        const QStringView object = json.mid(at, JsonValueLength(json, at));
        at = memberValueAt(object, u"raw");
        return at < 0 ? std::nullopt : numberAt(object, at);
    }
    return numberAt(json, at);
}

// The page's own "price" object in the 2018 to 2022 layouts: the first
// after the place where the page's own data begins.
QStringView storedPriceObject(const QuotePage& page)
{
    const QStringView text(page.text());
    static const QString marker = QStringLiteral("\"price\":{");
    const qsizetype at = text.indexOf(marker, page.keySearchStart());
    if (at < 0)
        return {};
    const qsizetype open = at + marker.size() - 1;
    return text.mid(open, JsonValueLength(text, open));
}

void readPriceObject(QStringView price, Quote& quote)
{
    quote.currency = textMember(price, u"currency");
    quote.exchange = textMember(price, u"exchangeName");
    quote.quoteType = textMember(price, u"quoteType");
    quote.marketState = textMember(price, u"marketState");
    if (const auto time = numberMember(price, u"regularMarketTime")) {
        bool ok = false;
        const qint64 seconds = time->toLongLong(&ok);
        if (ok && seconds >= 0 && !time->contains(QLatin1Char('.')) && !time->contains(QLatin1Char('e')))
            quote.time = seconds;
    }
    quote.price = numberMember(price, u"regularMarketPrice");
    quote.change = numberMember(price, u"regularMarketChange");
    quote.changePercent = numberMember(price, u"regularMarketChangePercent");
}

// The 2023 layout's header, "NasdaqGS - NasdaqGS Real Time Price. Currency
// in USD", and its price element for the symbol.
void readHeader(const QString& page, const QString& upperSymbol, Quote& quote)
{
    static const QString currencyMarker = QStringLiteral("Currency in ");
    const qsizetype at = indexOfIgnoringCase(page, currencyMarker);
    if (at >= 0) {
        const qsizetype start = at + currencyMarker.size();
        const qsizetype end = page.indexOf(u'<', start);
        const QString currency = page.mid(start, (end < 0 ? page.size() : end) - start).trimmed();
        if (!currency.isEmpty() && currency.size() <= kMaxContextChars)
            quote.currency = withoutControlCharacters(currency);
        const qsizetype spanText = page.lastIndexOf(u'>', at) + 1;
        const qsizetype dash = page.indexOf(QStringLiteral(" - "), spanText);
        if (spanText > 0 && dash > spanText && dash < at) {
            const QString exchange = DecodeCharacterReferences(page.mid(spanText, dash - spanText)).trimmed();
            if (!exchange.isEmpty() && exchange.size() <= kMaxContextChars)
                quote.exchange = withoutControlCharacters(exchange);
        }
    }
    static const QString field = QStringLiteral("data-field=\"regularMarketPrice\"");
    for (qsizetype f = page.indexOf(field); f >= 0; f = page.indexOf(field, f + 1)) {
        const qsizetype open = page.lastIndexOf(u'<', f);
        const qsizetype close = page.indexOf(u'>', f);
        if (open < 0 || close < 0 || close - open > 2048)
            continue;
        const QStringView tag = QStringView(page).mid(open, close - open);
        const QString symbolAttribute = QStringLiteral("data-symbol=\"") + upperSymbol + QLatin1Char('"');
        if (!tag.contains(symbolAttribute, Qt::CaseInsensitive))
            continue;
        static const QString value = QStringLiteral(" value=\"");
        const qsizetype v = tag.indexOf(value);
        if (v >= 0) {
            const qsizetype end = tag.indexOf(u'"', v + value.size());
            const QStringView number = tag.mid(v + value.size(), end - v - value.size());
            if (end > 0 && isJsonNumber(number))
                quote.price = number.toString();
        }
        break;
    }
}

Quote quoteOf(const QuoteReading& reading, const QuotePage& cleaned, const QString& upperSymbol,
              const NumberFormats& formats)
{
    Quote quote;
    quote.symbol = upperSymbol;
    quote.layout = reading.layout;
    quote.found = reading.title.TitleFound;
    quote.name = reading.title.Name;
    if (!quote.found)
        return quote;
    for (const QuoteCell& cell : QuoteCellTable) {
        QuoteFigure& figure = quote.figures[size_t(cell.subItem - 1)];
        // Each raw value is looked up once, for the text and the number.
        const auto raw = FindRawValue(reading.figures, QString::fromLatin1(cell.key));
        if (!raw)
            continue;
        try {
            figure.text = QuoteCellText(*raw, cell, formats);
        } catch (const Failure& f) {
            figure.failure = f;
        }
        if (isJsonNumber(*raw))
            figure.raw = *raw;
        if (figure.text)
            figure.number = figureNumber(cell.display, *figure.text, figure.raw.value_or(QString()));
    }
    switch (reading.layout) {
    case QuoteLayout::FetchedData:
        readPriceObject(reading.figures.text(), quote);
        break;
    case QuoteLayout::Summary2018:
    case QuoteLayout::EmbeddedStore:
        readPriceObject(storedPriceObject(cleaned), quote);
        break;
    case QuoteLayout::NoFigures:
        readHeader(cleaned.text(), upperSymbol, quote);
        break;
    case QuoteLayout::NotAQuotePage:
        break;
    }
    return quote;
}

} // namespace

Quote readQuote(const QuotePage& cleaned, const QString& upperSymbol, const NumberFormats& formats)
{
    return quoteOf(ReadQuotePage(cleaned, upperSymbol), cleaned, upperSymbol, formats);
}

Quote readQuoteObject(QString object, const QString& upperSymbol, std::optional<QString> name,
                      const NumberFormats& formats)
{
    QuoteReading reading;
    reading.layout = QuoteLayout::FetchedData;
    reading.title.TitleFound = true;
    reading.title.Name = std::move(name);
    reading.figures = QuotePage(std::move(object));
    return quoteOf(reading, QuotePage(), upperSymbol, formats);
}

std::optional<CellNumber> figureNumber(CellDisplay display, const QString& shown, const QString& raw)
{
    if (shown.isEmpty())
        return std::nullopt;
    if (isJsonNumber(shown)) {
        // An exponent is no way a sheet shows a number: a number, as text there.
        if (shown.contains(QLatin1Char('e')) || shown.contains(QLatin1Char('E')))
            return CellNumber{shown, QString()};
        const qsizetype point = shown.indexOf(QLatin1Char('.'));
        const qsizetype decimals = point < 0 ? 0 : shown.size() - point - 1;
        // Made once: a sheet compares a cell's format with those it has by place first.
        static const std::array<QString, 16> kDecimalFormats = [] {
            std::array<QString, 16> f;
            f[0] = QStringLiteral("0");
            for (size_t d = 1; d < f.size(); ++d)
                f[d] = QStringLiteral("0.") + QString(qsizetype(d), QLatin1Char('0'));
            return f;
        }();
        // More decimals than a spreadsheet's number holds: a number, but
        // no sheet shows it as the window does.
        return CellNumber{shown, decimals < qsizetype(kDecimalFormats.size()) ? kDecimalFormats[size_t(decimals)]
                                                                             : QString()};
    }
    if (!isJsonNumber(raw))
        return std::nullopt;
    switch (display) {
    case CellDisplay::Standard:
        return CellNumber{raw, QStringLiteral("#,##0.00")};
    case CellDisplay::Billions:
        return CellNumber{raw, QString::fromLatin1(kBillionsFormat)};
    case CellDisplay::AsCut:
    case CellDisplay::WithoutTags:
        break;
    }
    return std::nullopt;
}

QString describeQuote(const Quote& quote, const QLocale& locale)
{
    QStringList parts{quote.symbol};
    if (quote.name && !quote.name->trimmed().isEmpty())
        parts << quote.name->trimmed();
    QStringList where;
    for (const auto& text : {quote.currency, quote.exchange})
        if (text)
            where << *text;
    if (!where.isEmpty())
        parts << where.join(QStringLiteral(", "));
    QStringList when;
    if (quote.time) {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(*quote.time).toLocalTime();
        QString text = locale.toString(at.time(), QLocale::ShortFormat) + QLatin1Char(' ') + at.timeZoneAbbreviation();
        if (at.date() != QDate::currentDate())
            text.prepend(locale.toString(at.date(), QLocale::ShortFormat) + QLatin1Char(' '));
        when << text;
    }
    if (quote.marketState)
        when << quote.marketState->toLower();
    if (!when.isEmpty())
        parts << when.join(QStringLiteral(", "));
    if (quote.price)
        parts << QStringLiteral("regular price ") + *quote.price;
    return parts.join(QStringLiteral(" - "));
}

} // namespace larkspire
