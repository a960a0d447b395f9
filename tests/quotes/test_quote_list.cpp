// The service's quote list read into the same Quote its page gives, for every
// kind of instrument, and every answer that is not the list's refused whole.
#include "quotes/quote.h"
#include "quotes/quote_list.h"
#include "support/quote_page_generator.h"

#include <gtest/gtest.h>

using namespace larkspire;
using test::PageLayout;
using test::PageShape;

namespace {

const NumberFormats english{QLocale(QLocale::English, QLocale::UnitedStates)};

// Everything a row, a data file or a workbook takes from a quote, in one line.
QString everything(const Quote& q)
{
    QStringList parts{q.symbol, q.found ? QStringLiteral("found") : QStringLiteral("-"), q.name.value_or(QStringLiteral("-"))};
    for (const QuoteFigure& f : q.figures)
        parts << f.text.value_or(QStringLiteral("-")) + QLatin1Char('/') + f.raw.value_or(QStringLiteral("-")) +
                     QLatin1Char('/') + (f.number ? f.number->digits + QLatin1Char(' ') + f.number->format : QStringLiteral("-"));
    for (const auto& text : {q.currency, q.exchange, q.quoteType, q.price, q.change, q.changePercent})
        parts << text.value_or(QStringLiteral("-"));
    parts << (q.time ? QString::number(*q.time) : QStringLiteral("-"));
    return parts.join(QLatin1Char('|'));
}

Quote fromPage(const PageShape& shape)
{
    return readQuote(QuotePage(CleanQuotePage(QString::fromUtf8(test::makeQuotePage(shape)))), shape.symbol, english);
}

} // namespace

TEST(QuoteList, everyKindOfInstrumentGivesTheQuoteOfItsPage)
{
    PageShape equity;
    equity.layout = PageLayout::FetchedData;
    equity.targetBytes = 20 * 1024;
    equity.open = QStringLiteral("187.465");
    PageShape etf = equity;
    etf.symbol = QStringLiteral("SPY"), etf.shortName = QStringLiteral("SPDR S&P 500 ETF"), etf.quoteType = QStringLiteral("ETF");
    etf.marketCap = QStringLiteral("{}");
    PageShape index = etf;
    index.symbol = QStringLiteral("^GSPC"), index.shortName = QStringLiteral("S&P 500"), index.quoteType = QStringLiteral("INDEX");
    index.postMarketPrice.reset();
    PageShape currency = index;
    currency.symbol = QStringLiteral("EURUSD=X"), currency.shortName = QStringLiteral("EUR/USD");
    currency.quoteType = QStringLiteral("CURRENCY"), currency.volume = QStringLiteral("0");
    currency.averageVolume = QStringLiteral("0"), currency.open = QStringLiteral("1.0843"), currency.changePercent = QStringLiteral("0.00012");
    PageShape crypto = equity;
    crypto.symbol = QStringLiteral("BTC-USD"), crypto.shortName = QStringLiteral("Bitcoin USD"), crypto.quoteType = QStringLiteral("CRYPTOCURRENCY");
    crypto.marketCap = QStringLiteral("1893745623040"), crypto.changePercent = QStringLiteral("0.5");
    PageShape future = index;
    future.symbol = QStringLiteral("GC=F"), future.shortName = QStringLiteral("Gold Dec 26"), future.quoteType = QStringLiteral("FUTURE");
    future.currency.reset(), future.changePercent = QStringLiteral("-12.5");

    for (const PageShape& shape : {equity, etf, index, currency, crypto, future}) {
        for (const bool formatted : {false, true}) {
            const QString answer = QString::fromUtf8(test::quoteListAnswer({test::makeQuoteListObject(shape, formatted)}));
            const auto quotes = readQuoteList(answer, {shape.symbol, QStringLiteral("NOSUCH")}, english);
            ASSERT_TRUE(quotes) << shape.symbol.toStdString();
            ASSERT_TRUE(quotes->contains(shape.symbol));
            EXPECT_FALSE(quotes->contains(QStringLiteral("NOSUCH"))) << "a symbol it left out goes to its page";
            EXPECT_EQ(everything(quotes->value(shape.symbol)).toStdString(), everything(fromPage(shape)).toStdString())
                << shape.symbol.toStdString() << (formatted ? " formatted" : " plain");
        }
    }
}

TEST(QuoteList, anAnswerThatIsNotTheListsGivesNothing)
{
    PageShape shape;
    const QByteArray object = test::makeQuoteListObject(shape);
    const QByteArray whole = test::quoteListAnswer({object});
    const struct {
        QByteArray answer;
        const char* why;
    } refused[] = {
        {"<html>Will be right back</html>", "not JSON"},
        {whole.left(whole.size() / 2), "cut off"},
        {"{\"finance\":{\"result\":null,\"error\":{\"code\":\"Unauthorized\"}}}", "another shape"},
        {"{\"quoteResponse\":{\"result\":{},\"error\":null}}", "no list"},
        {test::quoteListAnswer({object, "42"}), "an element that is no quote"},
        {test::quoteListAnswer({object, QByteArray(object).replace("\"symbol\":\"AAPL\"", "\"symbol\":\"MSFT\"")}),
         "a quote of a symbol not asked"},
    };
    for (const auto& [answer, why] : refused)
        EXPECT_FALSE(readQuoteList(QString::fromUtf8(answer), {QStringLiteral("AAPL")}, english)) << why;
    const auto none = readQuoteList(QStringLiteral("{\"quoteResponse\":{\"result\":[],\"error\":null}}"),
                                    {QStringLiteral("AAPL")}, english);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->isEmpty()) << "no quote at all: every symbol to its page";
}

TEST(QuoteList, addressesEncodeSymbolsAsTheQuoteUrlAndTheCrumbWhole)
{
    EXPECT_EQ(quoteListHost(QStringLiteral("finance.yahoo.com"), 1), QStringLiteral("query1.finance.yahoo.com"));
    EXPECT_EQ(quoteListHost(QStringLiteral("finance.yahoo.com"), 2), QStringLiteral("query2.finance.yahoo.com"));
    EXPECT_EQ(quoteListHost(QStringLiteral("127.0.0.1:8080"), 1), QStringLiteral("127.0.0.1:8080"));
    EXPECT_EQ(quoteListUrl(QStringLiteral("https"), QStringLiteral("query1.finance.yahoo.com"),
                           {QStringLiteral("^GSPC"), QStringLiteral("EURUSD=X"), QStringLiteral("M&M.NS")},
                           QStringLiteral("ab/c.d"))
                  .toEncoded(),
              "https://query1.finance.yahoo.com/v7/finance/quote?symbols=%5EGSPC%2CEURUSD=X%2CM%26M.NS&crumb=ab%2Fc.d"
              "&formatted=false");
    for (const char* crumb : {"dxmHnt0ZGCL", "a.b/c_d-e"})
        EXPECT_TRUE(isUsableCrumb(QString::fromLatin1(crumb))) << crumb;
    for (const QString& crumb : {QString(), QStringLiteral("a b"), QStringLiteral("<html>"), QString(65, u'a')})
        EXPECT_FALSE(isUsableCrumb(crumb)) << crumb.toStdString();
}
