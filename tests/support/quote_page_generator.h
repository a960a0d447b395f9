#pragma once
// Writes synthetic quote summary pages shaped like the real ones: a large
// HTML head with the title near the top, then one long line of embedded JSON
// in which a streaming store quotes about twenty other instruments before the
// page's own QuoteSummaryStore, and a recommendations store near the end.
#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace larkspire::test {

// The layouts the service has served: 2018, 2019 to 2022 (the 2018 data
// under a new title), and since 2024 (the data as embedded fetches).
enum class PageLayout { Summary2018, EmbeddedStore, FetchedData };

struct PageShape {
    PageLayout layout = PageLayout::Summary2018;
    QString symbol = QStringLiteral("AAPL");
    QString shortName = QStringLiteral("Apple Inc.");
    QString open = QStringLiteral("145.37");
    QString dayHigh = QStringLiteral("146.83");
    QString dayLow = QStringLiteral("144.9");
    QString previousClose = QStringLiteral("144.84");
    QString volume = QStringLiteral("84359936");
    QString averageVolume = QStringLiteral("88312465");
    QString marketCap = QStringLiteral("2415632670720"); // "{}" for an ETF
    std::optional<QString> postMarketPrice = QStringLiteral("145.52"); // nothing during trading hours
    bool averageVolumeFormatIsNull = false;
    // What the figures mean, in the page's own price object (nothing: left out).
    std::optional<QString> currency = QStringLiteral("USD");
    std::optional<QString> exchangeName = QStringLiteral("NasdaqGS");
    QString quoteType = QStringLiteral("EQUITY");
    QString marketTime = QStringLiteral("1700000001");
    QString regularPrice = QStringLiteral("145.81");
    QString changePercent = QStringLiteral("-0.0163993");
    // The fetched-data layout: the symbol its quoteSummary fetch names (the
    // page's own by default); an empty text leaves that fetch out.
    std::optional<QString> summaryFetchSymbol;
    int targetBytes = 700 * 1024;
    unsigned seed = 1;
};

// The page as UTF-8 bytes, as a server sends it.
QByteArray makeQuotePage(const PageShape& shape);

// Today's layout as a served page is built: a stylesheet and module links
// in the head, inline icons, about 36 embedded fetches (news with image
// URLs, quote lists, screeners; the page's own quoteSummary with 15 modules
// at 55 to 85 % of it) and the framework's start script, in lines of
// indented markup. The shape's figures and size as in makeQuotePage.
QByteArray makeServedTodaysPage(const PageShape& shape);

// The shape's quote as an object of the service's quote list, from the same
// values as its page: plain numbers (formatted=false) or {"raw","fmt"}
// pairs, the change in percent, no key for a value the page leaves empty.
QByteArray makeQuoteListObject(const PageShape& shape, bool formatted = false);
// The list's whole answer for these objects.
QByteArray quoteListAnswer(const QList<QByteArray>& objects);

// The title a page of the shape's layout carries, before HTML escaping.
QString pageTitle(const PageShape& shape);

} // namespace larkspire::test
