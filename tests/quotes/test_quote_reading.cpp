#include "core/failure.h"
#include "core/plain_text.h"
#include "quotes/consent_form.h"
#include "quotes/quote.h"
#include "quotes/quote_reading.h"
#include "support/quote_page_generator.h"

#include <gtest/gtest.h>

using namespace larkspire;
using test::PageLayout;
using test::PageShape;

namespace {

const NumberFormats english{QLocale(QLocale::English, QLocale::UnitedStates)};

QuoteReading read(const QByteArray& page, const QString& symbol)
{
    return ReadQuotePage(QuotePage(CleanQuotePage(QString::fromUtf8(page))), symbol);
}

// Name (or "<none>") and the eight cells in sub-item order, joined by "|".
QString row(const QuoteReading& r)
{
    QString out = r.title.TitleFound ? r.title.Name.value_or(QStringLiteral("<no name>")) : QStringLiteral("<none>");
    std::map<int, QString> cells;
    for (const QuoteCell& cell : QuoteCellTable)
        cells[cell.subItem] = QuoteCellValue(r.figures, cell, english).value_or(QString());
    for (const auto& [sub, text] : cells)
        out += QLatin1Char('|') + text;
    return out;
}

QByteArray titled(const char* title) { return "<html><head><title>" + QByteArray(title) + "</title></head></html>"; }

} // namespace

TEST(QuoteReading, laterTitlesNameTheSymbolInTheirLastGroup)
{
    struct Case {
        const char* title;
        const char* symbol;
        const char* name; // nullptr: not a quote page of the symbol
    };
    const Case cases[] = {
        {"Apple Inc. (AAPL) Stock Price, News, Quote &amp; History - Yahoo Finance", "AAPL", "Apple Inc."},
        {"Johnson &amp; Johnson (JNJ) Stock Price, Quote, History &amp; News - Yahoo Finance", "JNJ",
         "Johnson & Johnson"},
        {"Example (Holdings) Ltd (EXH.L) Stock Price, News, Quote &amp; History - Yahoo Finance", "EXH.L",
         "Example (Holdings) Ltd"},
        {"SPDR Dow Jones (Industrial Avera (DIA) Stock Price - Yahoo Finance", "DIA", "SPDR Dow Jones (Industrial Avera"},
        {"  S&amp;P 500 (^gspc) Stock Price - YAHOO FINANCE  ", "^GSPC", "S&P 500"},
        {"L&#x27;Or\xC3\xA9" "al S.A. (OR.PA)\r\n Stock Price - Yahoo Finance", "OR.PA", "L'Or\xC3\xA9" "al S.A."},
        {"Microsoft Corporation (MSFT) Stock Price, News, Quote &amp; History - Yahoo Finance", "AAPL", nullptr},
        {"Why Apple (AAPL) shares rallied today - Yahoo Finance Video", "AAPL", nullptr},
        {"Stocks rally as tech leads - Yahoo Finance", "AAPL", nullptr},
        {"Yahoo is part of the Yahoo family of brands", "AAPL", nullptr},
        {"Apple Inc. () Stock Price - Yahoo Finance", "AAPL", nullptr},
    };
    for (const Case& c : cases) {
        const auto name = FindLaterQuoteTitle(CleanQuotePage(QString::fromUtf8(titled(c.title))),
                                              QString::fromLatin1(c.symbol));
        if (c.name)
            EXPECT_EQ(name.value_or(QStringLiteral("<none>")), QString::fromUtf8(c.name)) << c.title;
        else
            EXPECT_FALSE(name.has_value()) << c.title;
    }
}

TEST(QuoteReading, eachLayoutGivesThePagesOwnFigures)
{
    const QString full = QStringLiteral("Apple & Sons (UK) Inc.|145.52|145.37|146.83|144.9|84,359,936.00|"
                                        "88,312,465.00|2415.63B|144.84");
    for (const PageLayout layout : {PageLayout::Summary2018, PageLayout::EmbeddedStore, PageLayout::FetchedData}) {
        PageShape shape;
        shape.layout = layout;
        shape.shortName = QStringLiteral("Apple & Sons (UK) Inc.");
        shape.targetBytes = 300 * 1024;
        const QuoteReading r = read(test::makeQuotePage(shape), QStringLiteral("AAPL"));
        // The 2018 name keeps the blank before "- Yahoo Finance".
        EXPECT_EQ(row(r), layout == PageLayout::Summary2018 ? QString(full).replace(QStringLiteral("Inc.|"),
                                                                                      QStringLiteral("Inc. |"))
                                                            : full)
            << int(layout);
    }
    PageShape served; // today's layout as served: other quotes in 36 fetches, indented lines
    served.shortName = QStringLiteral("Apple & Sons (UK) Inc.");
    served.targetBytes = 400 * 1024;
    EXPECT_EQ(row(read(test::makeServedTodaysPage(served), QStringLiteral("AAPL"))), full);
    PageShape wrongTitle;
    wrongTitle.layout = PageLayout::FetchedData;
    wrongTitle.targetBytes = 100 * 1024;
    EXPECT_EQ(read(test::makeQuotePage(wrongTitle), QStringLiteral("MSFT")).layout, QuoteLayout::NotAQuotePage);
}

TEST(QuoteReading, fetchedDataLayoutReadsOnlyTheQuoteSummaryOfTheSymbol)
{
    PageShape etf;
    etf.layout = PageLayout::FetchedData;
    etf.symbol = QStringLiteral("^GSPC");
    etf.shortName = QStringLiteral("S&P 500");
    etf.marketCap = QStringLiteral("{}");
    etf.postMarketPrice.reset();
    etf.averageVolumeFormatIsNull = true;
    etf.averageVolume = QStringLiteral("0");
    etf.targetBytes = 200 * 1024;
    const QuoteReading r = read(test::makeQuotePage(etf), QStringLiteral("^GSPC"));
    EXPECT_EQ(r.layout, QuoteLayout::FetchedData);
    EXPECT_EQ(row(r), QStringLiteral("S&P 500||145.37|146.83|144.9|84,359,936.00|0.00||144.84"));

    // Without its own quoteSummary fetch the page gives the name and no figure,
    // although other fetches hold the same keys.
    for (const QString& fetch : {QString(), QStringLiteral("MSFT")}) {
        PageShape shape;
        shape.layout = PageLayout::FetchedData;
        shape.summaryFetchSymbol = fetch;
        shape.targetBytes = 200 * 1024;
        const QuoteReading other = read(test::makeQuotePage(shape), QStringLiteral("AAPL"));
        EXPECT_EQ(other.layout, QuoteLayout::NoFigures);
        EXPECT_EQ(row(other), QStringLiteral("Apple Inc.||||||||"));
    }
}

TEST(QuoteReading, fetchedDataEdgeCases)
{
    auto page = [](const QByteArray& url, const QByteArray& body) -> QByteArray {
        return titled("X Corp (X) Stock Price - Yahoo Finance") + "<script type=\"application/json\" data-url=\"" +
               url + "\">{\"status\":200,\"body\":\"" + body + "\"}</script>";
    };
    // The price object only: keys after it belong to other modules.
    const QByteArray body = "{\\\"price\\\":{\\\"regularMarketOpen\\\":{\\\"raw\\\":1.5,\\\"fmt\\\":null},"
                            "\\\"name\\\":\\\"a}\\\\\\\"b\\\"},\\\"other\\\":{\\\"marketCap\\\":{\\\"raw\\\":9,"
                            "\\\"fmt\\\":\\\"9\\\"}}}";
    const QuoteReading ok = read(page("/v10/finance/quoteSummary/x?modules=price&amp;lang=en", body),
                                 QStringLiteral("X"));
    EXPECT_EQ(ok.layout, QuoteLayout::FetchedData);
    EXPECT_EQ(row(ok), QStringLiteral("X Corp||1.5||||||"));
    // Blanks around the colons of the wrapper and the body are allowed.
    EXPECT_EQ(row(read(titled("X Corp (X) - Yahoo Finance") +
                           "<script data-url=\"/v10/finance/quoteSummary/X\">{\"body\" : \"{\\\"price\\\": "
                           "{\\\"marketCap\\\":{\\\"raw\\\":2e9,\\\"fmt\\\":1}}}\"}</script>",
                       QStringLiteral("X"))),
              QStringLiteral("X Corp|||||||2.00B|"));
    // A quoteSummary address outside a data-url attribute, or for another symbol.
    EXPECT_EQ(read(page("/v10/finance/quoteSummary/XY", body), QStringLiteral("X")).layout, QuoteLayout::NoFigures);
    EXPECT_EQ(read(titled("X Corp (X) - Yahoo Finance") + "<p>/v10/finance/quoteSummary/X \"body\":\"" + body +
                       "\"</p>",
                   QStringLiteral("X"))
                  .layout,
              QuoteLayout::NoFigures);
    // A body that is no proper JSON string.
    EXPECT_EQ(read(page("/v10/finance/quoteSummary/X", "{\\\"price\\\":{\\q}"), QStringLiteral("X")).layout,
              QuoteLayout::NoFigures);

    struct Json {
        const char* text;
        const char* decoded; // nullptr: malformed
    };
    for (const Json& j : {Json{"\"a\\\"b\\\\c\\/d\"", "a\"b\\c/d"}, Json{"\"\\u0041\\u00e9\\n\"", "A\xC3\xA9\n"},
                          Json{"\"open", nullptr}, Json{"\"\\x\"", nullptr}, Json{"\"\\u12\"", nullptr}}) {
        const auto d = DecodeJsonString(QString::fromUtf8(j.text), 0);
        if (j.decoded)
            EXPECT_EQ(d.value_or(QStringLiteral("<malformed>")), QString::fromUtf8(j.decoded)) << j.text;
        else
            EXPECT_FALSE(d.has_value()) << j.text;
    }
}

TEST(QuoteReading, hostilePagesStaySafeAndLinear)
{
    // Thousands of fetch addresses without a closing quote or tag, and
    // script tags that never end: each is looked at once.
    QString hostile = QStringLiteral("<title>X (X) - Yahoo Finance</title><script data-url=\"");
    for (int i = 0; i < 20000; ++i)
        hostile += QStringLiteral("/v10/finance/quoteSummary/X");
    const QuoteReading r = ReadQuotePage(QuotePage(hostile), QStringLiteral("X"));
    EXPECT_EQ(r.layout, QuoteLayout::NoFigures);
    QString unclosed = QStringLiteral("<title>X (X) - Yahoo Finance</title>");
    for (int i = 0; i < 5000; ++i)
        unclosed += QStringLiteral("<script data-url=\"/v10/finance/quoteSummary/X\">{\"body\":\"{\\\"price\\\":{");
    EXPECT_EQ(ReadQuotePage(QuotePage(unclosed), QStringLiteral("X")).layout, QuoteLayout::FetchedData);
    // A name of megabytes is cut to the longest a name may be, in either title.
    const QByteArray huge(2 << 20, 'N');
    for (const QByteArray& title : {QByteArray("X : Summary for " + huge + " - Yahoo Finance"),
                                    QByteArray(huge + " (X) - Yahoo Finance")})
        EXPECT_EQ(read(titled(title.constData()), QStringLiteral("X")).title.Name.value_or(QString()), QString(kMaxNameChars, QLatin1Char('N')));
}

TEST(ConsentForm, declinesWithTheHiddenFieldsAndNeverAgrees)
{
    const QString page = QStringLiteral(
        "<html><head><title>Yahoo is part of the Yahoo family of brands</title></head><body>"
        "<form method=\"post\" class=\"consent-form\" action=\"\">"
        "<input type=\"hidden\" name=\"csrfToken\" value=\"a+b/c\">"
        "<input type='hidden' name='sessionId' value='3_cc-session_1234'>"
        "<input name=\"originalDoneUrl\" type=\"hidden\" value=\"https://finance.yahoo.com/quote/AAPL?guccounter&#x3D;1\">"
        "<input type=\"hidden\" name=\"namespace\" value=\"yahoo\">"
        "<button type=\"submit\" class=\"btn secondary\">Scroll</button>"
        "<button type=\"submit\" class=\"btn\" name=\"agree\" value=\"agree\">Accept all</button>"
        "<button type=\"submit\" class=\"btn\" name=\"reject\" value=\"reject\">Reject all</button>"
        "</form></body></html>");
    ASSERT_TRUE(IsConsentPage(page));
    const auto decline = DeclineConsentForm(page);
    ASSERT_TRUE(decline.has_value());
    EXPECT_EQ(decline->action, QString());
    EXPECT_EQ(decline->body, QByteArray("csrfToken=a%2Bb%2Fc&sessionId=3_cc-session_1234&originalDoneUrl=https%3A%2F%2F"
                                        "finance.yahoo.com%2Fquote%2FAAPL%3Fguccounter%3D1&namespace=yahoo&reject=reject"));

    QString withoutReject = page;
    withoutReject.remove(QStringLiteral("name=\"reject\" "));
    EXPECT_FALSE(DeclineConsentForm(withoutReject).has_value());
    EXPECT_FALSE(IsConsentPage(QStringLiteral("<form class=\"search-form\" action=\"/s\"></form><form class=\"consent")));
    EXPECT_FALSE(DeclineConsentForm(QStringLiteral("<form class=\"consent-form\"><button name=reject>")).has_value());
}

TEST(QuoteReading, controlCharactersNeverLeaveTheReaderAndFiguresAreBounded)
{
    // Raw, as character references, and (in the fetched data) as JSON escapes.
    for (const PageLayout layout : {PageLayout::Summary2018, PageLayout::EmbeddedStore, PageLayout::FetchedData}) {
        PageShape shape;
        shape.layout = layout;
        shape.targetBytes = 20 * 1024;
        // Bidi overrides, isolates, marks and U+FEFF would turn "99.01" into "10.99" on screen.
        shape.shortName = QStringLiteral("Evil\x1b[2J\u0085\u009b31m\x7f\u202E\u2066\u200F\u061C\uFEFF Corp.\u202C");
        shape.open = QStringLiteral("145.37\x1b[0m");
        shape.dayHigh = QString(41, QLatin1Char('1'));
        shape.dayLow = QString(40, QLatin1Char('2'));
        const QByteArray page = makeQuotePage(shape).replace("Evil", "Evil&#27;&#155;&#10;&#x202D;");
        const QString cells = row(read(page, QStringLiteral("AAPL")));
        EXPECT_TRUE(cells.startsWith(QStringLiteral("Evil[2J31m Corp."))) << int(layout) << cells.toStdString();
        EXPECT_FALSE(std::any_of(cells.begin(), cells.end(), [](QChar c) { return isControlCharacter(c.unicode()); }))
            << int(layout);
        EXPECT_TRUE(cells.contains(QStringLiteral("|145.37[0m|"))) << int(layout) << cells.toStdString();
        EXPECT_TRUE(cells.contains(QStringLiteral("||") + QString(40, QLatin1Char('2')) + QLatin1Char('|')))
            << "41 characters are no figure, 40 are: " << int(layout) << cells.toStdString();
    }
}

TEST(QuoteReading, theQuotesContextComesFromItsOwnPriceObjectOrHeader)
{
    struct Case {
        const char* what;
        std::optional<QString> currency, exchange;
        QString time;
        const char* expected; // currency|exchange|type|state|time|price|change|changePercent
    };
    const Case cases[] = {
        {"present", QStringLiteral("GBp"), QStringLiteral("LSE"), QStringLiteral("1700000001"),
         "GBp|LSE|EQUITY|POST|1700000001|145.81|-3.21001|-0.0163993"},
        {"absent", std::nullopt, std::nullopt, QStringLiteral("1700000001"),
         "-|-|EQUITY|POST|1700000001|145.81|-3.21001|-0.0163993"},
        {"hostile", QString(41, QLatin1Char('X')), QStringLiteral("Nasdaq\x1b[2J"), QStringLiteral("1.7e9"),
         "-|-|EQUITY|POST|-|145.81|-3.21001|-0.0163993"},
    };
    auto text = [](const auto& v) {
        if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::optional<qint64>>)
            return v ? QString::number(*v) : QStringLiteral("-");
        else
            return v.value_or(QStringLiteral("-"));
    };
    for (const PageLayout layout : {PageLayout::Summary2018, PageLayout::EmbeddedStore, PageLayout::FetchedData})
        for (const Case& c : cases) {
            PageShape shape;
            shape.layout = layout;
            shape.targetBytes = 30 * 1024;
            shape.currency = c.currency;
            shape.exchangeName = c.exchange;
            shape.marketTime = c.time;
            const Quote q = readQuote(QuotePage(CleanQuotePage(QString::fromUtf8(makeQuotePage(shape)))),
                                      QStringLiteral("AAPL"), english);
            const QString got = QStringList{text(q.currency), text(q.exchange), text(q.quoteType), text(q.marketState),
                                            text(q.time), text(q.price), text(q.change), text(q.changePercent)}
                                    .join(QLatin1Char('|'));
            EXPECT_EQ(got, QString::fromLatin1(c.expected)) << int(layout) << " " << c.what;
            EXPECT_EQ(q.figure(2).raw, QStringLiteral("145.37")) << "the raw figure behind the window's Open";
        }

    // The 2023 layout: currency and exchange from its header, the price from its element.
    const QByteArray header = titled("Apple Inc. (AAPL) Stock Price - Yahoo Finance") +
                              "<div><span>NasdaqGS - NasdaqGS Real Time Price. Currency in USD</span>"
                              "<fin-streamer data-symbol=\"MSFT\" data-field=\"regularMarketPrice\" value=\"1\">"
                              "<fin-streamer data-symbol=\"AAPL\" data-field=\"regularMarketPrice\" value=\"187.465\">";
    const Quote q = readQuote(QuotePage(CleanQuotePage(QString::fromUtf8(header))), QStringLiteral("AAPL"), english);
    EXPECT_EQ(q.layout, QuoteLayout::NoFigures);
    EXPECT_EQ(q.currency, QStringLiteral("USD"));
    EXPECT_EQ(q.exchange, QStringLiteral("NasdaqGS"));
    EXPECT_EQ(q.price, QStringLiteral("187.465"));
    EXPECT_FALSE(q.time);
    EXPECT_EQ(describeQuote(q, QLocale(QLocale::English)), QStringLiteral("AAPL - Apple Inc. - USD, NasdaqGS - regular price 187.465"));
}

TEST(NumberFormat, jsonNumbersKeepThePagesDigits)
{
    for (const char* yes : {"0", "-1.5", "187.465", "151643930624", "2.5e-3", "1E+2", "-0.0163993"})
        EXPECT_TRUE(isJsonNumber(QString::fromLatin1(yes))) << yes;
    for (const char* no : {"", "+1", "01", ".5", "1.", " 1", "NaN", "1,000", "0x10", "1e", "--1", "{}"})
        EXPECT_FALSE(isJsonNumber(QString::fromLatin1(no))) << no;
    const std::pair<const char*, const char*> percent[] = {
        {"-0.0163993", "-1.63993"}, {"0.05", "5"}, {"0.0150", "1.50"}, {"12", "1200"}, {"2.5e-3", "0.25"},
        {"-1.2E1", "-1200"},        {"0", "0"},           {"1e-999", "1e-997"}, {"-2.5E+600", "-2.5e602"},
        {"1e99999999999999999999", ""},
    };
    for (const auto& [raw, expected] : percent)
        EXPECT_EQ(timesHundred(QString::fromLatin1(raw)), QString::fromLatin1(expected)) << raw;
}

// The price object read from the escaped body as it stands gives what
// decoding the whole body and searching it gives, for every kind of string.
TEST(QuoteReading, objectInAnEscapedStringIsWhatTheDecodedStringHolds)
{
    const CaseInsensitiveSearch name(u"\"price\"");
    const CaseInsensitiveSearch escaped(u"\\\"price\\\"");
    auto reference = [&](QStringView text) -> std::optional<QString> {
        const auto json = DecodeJsonString(text, 0);
        const qsizetype open = json ? JsonMemberValue(*json, name, u'{') : -1;
        return open < 0 ? std::nullopt : std::optional(json->mid(open, JsonValueLength(*json, open)));
    };
    const QString bodies[] = {
        QStringLiteral(R"("{\"a\":1,\"price\":{\"raw\":1.5,\"fmt\":\"1.5\"},\"b\":2}")"),
        QStringLiteral(R"("{\"PRICE\" \n: \t{\"x\":[1,{\"y\":\"}\"}]},\"z\":0}")"),
        QStringLiteral(R"("{\"price\":1,\"price\":null,\"price\":{\"v\":\"\/\b\f\r\"}}")"),
        QStringLiteral(R"("{\"t\":\"a \\\"price\\\":{1} b\",\"price\":{\"k\":2}}")"), // escaped backslashes: decoded whole
        QStringLiteral(R"("{\u0022price\u0022:{\"k\":3}}")"),
        QStringLiteral(R"("{\"price\":{\"k\":4}")"),            // the object not closed
        QStringLiteral(R"("{\"price\":{\"k\":5}})"),             // the string not closed
        QStringLiteral(R"("{\"price\":{\"k\":\x}}")"),          // an escape JSON has not
        QStringLiteral("\"{\\\"n\\\":\\\"caf\u00e9 \u0122 \U0001F600\\\",\\\"price\\\":{\\\"n\\\":\\\"\u00e9\\\"}}\""),
        QStringLiteral(R"("{\"p\":1}" and "{\"price\":{}}")"),  // after the string's end
        QStringLiteral(R"("")"),
    };
    for (const QString& body : bodies) {
        // Each string at every offset against the sixteen-character blocks.
        for (int pad = 0; pad < 18; ++pad) {
            const QString text = QString(pad, u' ') + body;
            const auto want = reference(QStringView(text).mid(pad));
            EXPECT_EQ(ObjectMemberInJsonString(text, pad, name, escaped), want) << body.toStdString() << " " << pad;
        }
    }
    EXPECT_EQ(ObjectMemberInJsonString(bodies[0], 0, name, escaped), QStringLiteral("{\"raw\":1.5,\"fmt\":\"1.5\"}"));
    EXPECT_EQ(ObjectMemberInJsonString(bodies[3], 0, name, escaped), QStringLiteral("{\"k\":2}"));
}
