#include "core/failure.h"
#include "quotes/quote_page.h"
#include "support/quote_page_generator.h"

#include <gtest/gtest.h>

#include <random>

using namespace larkspire;
using test::PageShape;

namespace {

const NumberFormats english{QLocale(QLocale::English, QLocale::UnitedStates)};

QuotePage cleaned(const QString& text) { return QuotePage(CleanQuotePage(text)); }

// All eight cells of a page by sub-item; "<absent>" or "<failure: ...>".
std::map<int, QString> cells(const QuotePage& page, const NumberFormats& formats = english)
{
    std::map<int, QString> out;
    for (const QuoteCell& cell : QuoteCellTable) {
        try {
            out[cell.subItem] = QuoteCellValue(page, cell, formats).value_or(QStringLiteral("<absent>"));
        } catch (const Failure& f) {
            out[cell.subItem] = QStringLiteral("<failure: ") + f.description() + QLatin1Char('>');
        }
    }
    return out;
}

QString key(const char* name, const char* raw, const char* fmt = "\"x\"")
{
    return QString::fromLatin1(name) + QStringLiteral("\":{\"raw\":") + QString::fromLatin1(raw) +
           QStringLiteral(",\"fmt\":") + QString::fromLatin1(fmt) + QLatin1Char('}');
}

} // namespace

TEST(QuotePage, cleaningRemovesTabsAndLineBreaksOnly)
{
    EXPECT_EQ(CleanQuotePage(QStringLiteral("a\tb\r\nc\rd\ne\x0b\x0c f")), QStringLiteral("abcde\x0b\x0c f"));
    EXPECT_EQ(CleanQuotePage(QString()), QString());
    EXPECT_EQ(CleanQuotePage(QStringLiteral("\n\n\t\r")), QString());
    // Long runs exercise the vector path on both sides of a removed character.
    const QString longText = QString(1000, QLatin1Char('x')) + QStringLiteral("\n") + QString(17, QLatin1Char('y')) +
                             QStringLiteral("\t\t") + QString(3, QChar(0x0d01));
    EXPECT_EQ(CleanQuotePage(longText), QString(1000, QLatin1Char('x')) + QString(17, QLatin1Char('y')) +
                                            QString(3, QChar(0x0d01)));

    // Random texts of every length around the vector widths, sparse and
    // dense in what is removed, cleaned from a shared page (into a copy) and
    // from one handed over (where it stands); the shared page stays as it was.
    std::mt19937 rng(11);
    const char16_t alphabet[] = {u'\t', u'\r', u'\n', 0x0b, 0x0c, 0x0e, u'a', u'<', 0x0d0a, 0x8009, 0xffff};
    for (int round = 0; round < 2000; ++round) {
        const int len = std::uniform_int_distribution<int>(0, 300)(rng);
        const int removedOneIn = std::uniform_int_distribution<int>(1, 200)(rng);
        QString text, expected;
        for (int k = 0; k < len; ++k) {
            const bool removed = std::uniform_int_distribution<int>(1, removedOneIn)(rng) == 1;
            const char16_t c = alphabet[std::uniform_int_distribution<int>(removed ? 0 : 3, removed ? 2 : 10)(rng)];
            text.append(QChar(c));
            if (!removed)
                expected.append(QChar(c));
        }
        const QString kept = text;
        ASSERT_EQ(CleanQuotePage(text), expected) << round;
        ASSERT_EQ(text, kept);
        QString handedOver = text;
        handedOver.detach();
        ASSERT_EQ(CleanQuotePage(std::move(handedOver)), expected) << round;
    }
}

TEST(QuotePage, titleMarkerAndNameEdgeCases)
{
    struct Case {
        const char* page;
        const char* symbol;
        bool found;
        const char* name; // nullptr: no name
    };
    const Case cases[] = {
        {"<title>GOOG : Summary for Sample Company Inc. - Yahoo Finance</title>", "GOOG", true,
         "Sample Company Inc. "},
        {"<TITLE>goog : summary FOR Sample Company Inc. - YAHOO FINANCE", "GOOG", true, "Sample Company Inc. "},
        {"<title>GOOG : Summary for Sample</title>", "GOOG", true, nullptr},
        {"<title>GOOG : Summary for - Yahoo Finance", "GOOG", true, ""},
        {"<title>GOOG : Summary for Far</title><p>x</p>- Yahoo Finance", "GOOG", true, "Far</title><p>x</p>"},
        {"<title>MSFT : Summary for X - Yahoo Finance", "GOOG", false, nullptr},
        {"", "GOOG", false, nullptr},
        {"<title>AT&amp;T Inc. (T) Stock Price - Yahoo Finance", "T", false, nullptr},
        {"<title>T : Summary for AT&amp;T Inc. - Yahoo Finance", "T", true, "AT&T Inc. "},
        {"<title>LOW : Summary for Lowe&#x27;s Companies&#160;Inc &lt;x&gt; &quot;&apos;&#39;&nbsp; - Yahoo Finance",
         "LOW", true, "Lowe's Companies\u00a0Inc <x> \"''\u00a0 "},
        {"<title>X : Summary for A &amp B &unknown; &#0; &#x110000; &#xD800; &#x1F600; - Yahoo Finance", "X", true,
         "A &amp B &unknown; \uFFFD \uFFFD \uFFFD \U0001F600 "},
        {"<title>NESTLÉ.ÄB : Summary for Nestlé - Yahoo Finance", "NESTLÉ.ÄB", true, "Nestlé "},
        {"<title>nestlé.äb : Summary for Nestlé - Yahoo Finance", "NESTLÉ.ÄB", true, "Nestlé "},
        {"<title>GOOG : Summary for ", "GOOG", true, nullptr},
    };
    for (const Case& c : cases) {
        const QuoteTitle t = FindQuoteTitle(CleanQuotePage(QString::fromUtf8(c.page)), QString::fromUtf8(c.symbol));
        EXPECT_EQ(t.TitleFound, c.found) << c.page;
        EXPECT_EQ(t.Name.has_value(), c.name != nullptr) << c.page;
        if (c.name && t.Name) {
            EXPECT_EQ(*t.Name, QString::fromUtf8(c.name)) << c.page;
        }
    }
}

TEST(QuotePage, lineBreaksInsideTheTitleAreRemovedBeforeTheSearch)
{
    const QuoteTitle t = FindQuoteTitle(CleanQuotePage(QStringLiteral("<title>GO\r\nOG : Summary for Sam\nple\t "
                                                                      "- Yahoo Finance")),
                                        QStringLiteral("GOOG"));
    EXPECT_TRUE(t.TitleFound);
    EXPECT_EQ(t.Name.value_or(QString()), QStringLiteral("Sample "));
}

TEST(QuotePage, eachCellIsCutAndShownByItsTreatment)
{
    const QString page = key("regularMarketOpen", "\"<span>12.50</span>\"") + key("postMarketPrice", "<b>1</b>") +
                         key("regularMarketDayLow", "9.5") + key("regularMarketDayHigh", "13") +
                         key("regularMarketVolume", "0") + key("averageDailyVolume3Month", "null") +
                         key("marketCap", "123000000000") + key("regularMarketPreviousClose", "null");
    const auto c = cells(cleaned(page));
    EXPECT_EQ(c.at(1), QStringLiteral("<b>1</b>")) << "the price is shown as cut, tags and all";
    EXPECT_EQ(c.at(2), QStringLiteral("\"12.50\""));
    EXPECT_EQ(c.at(3), QStringLiteral("13")) << "High goes to sub-item 3";
    EXPECT_EQ(c.at(4), QStringLiteral("9.5")) << "Low goes to sub-item 4";
    EXPECT_EQ(c.at(5), QStringLiteral("0.00"));
    EXPECT_EQ(c.at(6), QStringLiteral("null"));
    EXPECT_EQ(c.at(7), QStringLiteral("123.00B"));
    EXPECT_EQ(c.at(8), QStringLiteral("null"));
}

TEST(QuotePage, missingPiecesLeaveTheirCellsAbsent)
{
    // A null market cap; keys with no ,"fmt": anywhere after them; a marker
    // as the very last characters.
    const QString page = key("marketCap", "null") + key("regularMarketPreviousClose", "7.25") +
                         QStringLiteral("regularMarketOpen\":{\"raw\":1}") +
                         QStringLiteral("regularMarketDayLow\":{\"raw\":");
    const auto c = cells(cleaned(page));
    EXPECT_EQ(c.at(2), QStringLiteral("<absent>"));
    EXPECT_EQ(c.at(4), QStringLiteral("<absent>"));
    EXPECT_EQ(c.at(7), QStringLiteral("<failure: Type mismatch>"));
    EXPECT_EQ(c.at(8), QStringLiteral("7.25")) << "a failing cell does not stop the next";
    for (int sub : {1, 3, 5, 6})
        EXPECT_EQ(c.at(sub), QStringLiteral("<absent>"));
    EXPECT_TRUE(cells(cleaned(QString())).at(1) == QStringLiteral("<absent>"));
}

TEST(QuotePage, firstOccurrenceWinsAlsoAsTheTailOfALongerKey)
{
    const QString page = key("preRegularMarketOpen", "1.00") + key("regularMarketOpen", "2.00") +
                         key("REGULARMARKETOPEN", "3.00");
    EXPECT_EQ(cells(cleaned(page)).at(2), QStringLiteral("1.00"));
}

TEST(QuotePage, keysAreSearchedFromThePagesOwnStoreWhenItHasOne)
{
    const QString other = key("regularMarketOpen", "1.11") + key("marketCap", "5000000000");
    const QString own = QStringLiteral("\"quotesummarystore\":{\"price\":{") + key("regularMarketOpen", "145.37") +
                        QStringLiteral("}");
    const auto c = cells(cleaned(other + own));
    EXPECT_EQ(c.at(2), QStringLiteral("145.37"));
    EXPECT_EQ(c.at(7), QStringLiteral("<absent>")) << "another instrument's market cap is not taken";
    // Without the store, the first occurrence anywhere counts.
    EXPECT_EQ(cells(cleaned(other)).at(2), QStringLiteral("1.11"));
}

TEST(QuotePage, aNullFormatDoesNotRunOnIntoLaterJson)
{
    const QString page = key("averageDailyVolume3Month", "0", "null") + QStringLiteral(",\"other\":") +
                         key("regularMarketVolume", "5", "\"5\"");
    EXPECT_EQ(cells(cleaned(page)).at(6), QStringLiteral("0.00"));
}

TEST(QuotePage, stripTagsHandlesAnyLength)
{
    EXPECT_EQ(StripTags(u"<b>145.37</b>"), QStringLiteral("145.37"));
    EXPECT_EQ(StripTags(u"a>b"), QStringLiteral("a>b"));
    EXPECT_EQ(StripTags(u"12<unclosed 34"), QStringLiteral("12"));
    EXPECT_EQ(StripTags(u""), QString());
    const QString big = QString(40000, QLatin1Char('7')) + QStringLiteral("<i>x</i>");
    EXPECT_EQ(StripTags(big), QString(40000, QLatin1Char('7')) + QStringLiteral("x"));
    const QString page = QStringLiteral("regularMarketOpen\":{\"raw\":") + QString(40000, QLatin1Char('1')) +
                         QStringLiteral(",\"fmt\":\"x\"");
    EXPECT_EQ(cells(cleaned(page)).at(2), QStringLiteral("<absent>")) << "a figure longer than a figure can be is none";
}

TEST(QuotePage, realisticPageGivesTheStocksOwnFigures)
{
    PageShape shape;
    shape.symbol = QStringLiteral("AAPL");
    shape.shortName = QStringLiteral("Apple & Sons's Inc.");
    const QuotePage page = cleaned(QString::fromUtf8(test::makeQuotePage(shape)));
    const QuoteTitle t = FindQuoteTitle(page.text(), QStringLiteral("AAPL"));
    ASSERT_TRUE(t.TitleFound);
    EXPECT_EQ(t.Name.value_or(QString()), QStringLiteral("Apple & Sons's Inc. "));
    const auto c = cells(page);
    EXPECT_EQ(c.at(1), QStringLiteral("145.52"));
    EXPECT_EQ(c.at(2), QStringLiteral("145.37"));
    EXPECT_EQ(c.at(3), QStringLiteral("146.83"));
    EXPECT_EQ(c.at(4), QStringLiteral("144.9"));
    EXPECT_EQ(c.at(5), QStringLiteral("84,359,936.00"));
    EXPECT_EQ(c.at(6), QStringLiteral("88,312,465.00"));
    EXPECT_EQ(c.at(7), QStringLiteral("2415.63B"));
    EXPECT_EQ(c.at(8), QStringLiteral("144.84"));
}

TEST(QuotePage, realisticEtfDuringTradingHours)
{
    PageShape shape;
    shape.symbol = QStringLiteral("SPY");
    shape.shortName = QStringLiteral("SPDR S&P 500  ");
    shape.marketCap = QStringLiteral("{}");
    shape.postMarketPrice.reset();
    shape.averageVolumeFormatIsNull = true;
    shape.averageVolume = QStringLiteral("0");
    shape.targetBytes = 200 * 1024;
    const QuotePage page = cleaned(QString::fromUtf8(test::makeQuotePage(shape)));
    EXPECT_EQ(FindQuoteTitle(page.text(), QStringLiteral("SPY")).Name.value_or(QString()),
              QStringLiteral("SPDR S&P 500   "));
    const auto c = cells(page);
    EXPECT_EQ(c.at(1), QStringLiteral("<absent>"));
    EXPECT_EQ(c.at(6), QStringLiteral("0.00"));
    EXPECT_EQ(c.at(7), QStringLiteral("<absent>"));
    EXPECT_EQ(c.at(2), QStringLiteral("145.37"));
}

TEST(QuotePage, hostileInputIsSafe)
{
    QString binary;
    for (int i = 0; i < 70000; ++i)
        binary.append(QChar(static_cast<char16_t>((i * 7919) & 0xffff)));
    const QuotePage page = cleaned(binary + QStringLiteral("<title>") + QChar(0xDC00));
    EXPECT_FALSE(FindQuoteTitle(page.text(), QStringLiteral("X")).TitleFound);
    (void)cells(page);
    (void)cells(cleaned(QStringLiteral("<")));
    (void)cells(cleaned(QStringLiteral("marketCap\":{\"raw\":")));
    SUCCEED();
}

TEST(QuotePage, numberFormatsUnderUserLocale)
{
    // Run by ctest a second time with LC_ALL=de_DE.UTF-8.
    const QLocale user = QLocale::system();
    if (user.decimalPoint() != QStringLiteral(","))
        GTEST_SKIP() << "the user's locale has no decimal comma here";
    const auto c = cells(cleaned(key("regularMarketVolume", "84359936.5") + key("marketCap", "123456789012") +
                                 key("regularMarketOpen", "145.37")),
                         NumberFormats());
    EXPECT_EQ(c.at(5), QStringLiteral("84.359.936,50"));
    EXPECT_EQ(c.at(7), QStringLiteral("123,46B"));
    EXPECT_EQ(c.at(2), QStringLiteral("145.37")) << "figures shown as cut stay as the page has them";
}
