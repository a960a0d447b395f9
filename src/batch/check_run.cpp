#include "batch/check_run.h"

#include "batch/output_file.h"
#include "core/settings_store.h"
#include "core/stored_values.h"
#include "net/page_transfer.h"
#include "net/tls_hello.h"
#include "retrieval/quote_list_source.h"
#include "retrieval/quote_run.h"
#include "net/page_transfer.h"
#include "symbols/symbol_rules.h"

#include <QElapsedTimer>

namespace larkspire {

namespace {

QString layoutName(QuoteLayout layout)
{
    switch (layout) {
    case QuoteLayout::Summary2018: return QStringLiteral("2018");
    case QuoteLayout::EmbeddedStore: return QStringLiteral("2019-2022");
    case QuoteLayout::NoFigures: return QStringLiteral("2023-24 HTML-only");
    case QuoteLayout::FetchedData: return QStringLiteral("today's (since late 2024)");
    case QuoteLayout::NotAQuotePage: break;
    }
    return QStringLiteral("not a quote page");
}

// The symbol asked for: the one given, else the first of the stored list a
// run would fetch, else AAPL.
QString symbolToCheck(const CommandLine& cl, const BatchServices& services)
{
    if (!cl.symbols.isEmpty())
        return cl.symbols.first();
    try {
        const QString stored = readStoredSymbols(SettingsStore(services.settingsFolder));
        for (const QString& s : splitStoredSymbols(stored))
            if (isFetchable(s))
                return s;
    } catch (const Failure&) {
    }
    return QStringLiteral("AAPL");
}

QString found(const std::optional<QString>& value) { return value ? *value : QStringLiteral("missing"); }

// The quote list for the same symbol, after its page: the address asked
// (the crumb's value left out), the crumb, the answer, and which way a run
// would take. The verdict stays the page's.
void checkList(const QString& symbol, const HttpResult& page, const BatchServices& services)
{
    FILE* out = services.out;
    if (services.source == SourceChoice::Pages) {
        say(out, QStringLiteral("quote list: not asked (source: pages)"));
        return;
    }
    QuoteListSource list(*services.http, services.quoteHost);
    list.pageCame(page);
    const auto given = list.take(symbol, {}, [&](const QList<QUrl>& first) { services.http->fetchAhead(first); });
    services.http->fetchAhead({});
    const QuoteListSource::Report& report = list.report();
    say(out, QStringLiteral("quote list: ") +
                 (report.asked.isValid() ? shownUrl(report.asked) : QStringLiteral("not asked")));
    static const char* const crumbs[] = {"none", "kept", "fetched", "refused"};
    say(out, QStringLiteral("crumb: ") + QString::fromLatin1(crumbs[int(report.crumb)]));
    if (report.status > 0)
        say(out, QStringLiteral("quote list answer: HTTP %1").arg(report.status) +
                     (report.status == 200 ? QString() : QLatin1Char(' ') + httpStatusPhrase(report.status)));
    if (!report.error.isEmpty())
        say(out, QStringLiteral("quote list failure: ") + report.error);
    say(out, QStringLiteral("a run takes: ") +
                 (given && given->holdsAQuote() ? QStringLiteral("the quote list") : QStringLiteral("the page")));
}

} // namespace

QString refusalVerdict(int status)
{
    QString text = QStringLiteral("REFUSED: the quote service answered HTTP %1 %2 ").arg(status).arg(httpStatusPhrase(status));
    if (status == 429 || status == 403)
        return text + QStringLiteral(
                          "to the very first request: a refusal at once is about how this computer's requests look "
                          "more than how many there are, and waiting alone may not end it. Change what the program "
                          "sends: the browser identification with the \"User Agent\" setting or --user-agent, the "
                          "TLS cipher suites with the \"TLS Ciphers\" setting or --tls-ciphers; or try from "
                          "another network.");
    return text + QStringLiteral("(it is too busy or limits this computer). Try later or from another network.");
}

CheckVerdict checkVerdict(const HttpResult& result, bool quoteRead)
{
    if (result.ok)
        return quoteRead ? CheckVerdict::Ok : CheckVerdict::Changed;
    // A connection reset or closed before any answer (a handshake cut off
    // too) is no answer at all.
    if (result.status == 0 && (result.failure == FetchFailure::Damaged || result.failure == FetchFailure::None ||
                               result.failure == FetchFailure::HttpError))
        return CheckVerdict::Unreachable;
    switch (result.failure) {
    case FetchFailure::NotFound: return CheckVerdict::Unknown;
    case FetchFailure::Refused: return CheckVerdict::Refused;
    case FetchFailure::ServerError: return CheckVerdict::Failing;
    case FetchFailure::TimedOut:
    case FetchFailure::Unreachable:
    case FetchFailure::Cancelled: return CheckVerdict::Unreachable;
    case FetchFailure::None:
    case FetchFailure::HttpError:
    case FetchFailure::TooLarge:
    case FetchFailure::Damaged:
    case FetchFailure::Consent:
    case FetchFailure::RedirectRefused:
    case FetchFailure::Unusable: break;
    }
    return CheckVerdict::Changed;
}

int runCheck(const CommandLine& cl, const BatchServices& services)
{
    QElapsedTimer took;
    took.start();
    const QString symbol = symbolToSend(symbolToCheck(cl, services)).toUpper();
    FILE* out = services.out;
    say(out, QStringLiteral("symbol: ") + symbol);
    if (!services.userAgent.isEmpty())
        say(out, QStringLiteral("user agent: ") + services.userAgent);
    if (!services.tlsCiphers.isEmpty())
        say(out, QStringLiteral("tls ciphers: ") + services.tlsCiphers);
    services.http->trace = [out](const QString& text) { say(out, text); };
    QuoteRun run(*services.http, services.quoteHost, SourceChoice::Pages);
    const SymbolOutcome outcome = run.next(symbol, {});
    const HttpResult& result = outcome.fetch;
    say(out, QStringLiteral("tls hello: ") + tlsHelloState());

    bool read = false;
    if (!result.ok) {
        say(out, QStringLiteral("failure: ") + result.error);
    } else {
        const Quote& quote = outcome.quote;
        say(out, QStringLiteral("layout: ") + layoutName(quote.layout));
        say(out, QStringLiteral("title: ") + (quote.found ? found(quote.name) : QStringLiteral("not found")));
        for (const QuoteCell& cell : QuoteCellTable) {
            const QuoteFigure& figure = quote.figure(cell.subItem);
            say(out, QStringLiteral("%1 (%2): ").arg(QString::fromLatin1(cell.header).trimmed(),
                                                      QString::fromLatin1(cell.key)) +
                          (figure.failure ? figure.failure->description() : found(figure.text)));
        }
        say(out, QStringLiteral("currency: ") + found(quote.currency));
        say(out, QStringLiteral("exchange: ") + found(quote.exchange));
        say(out, QStringLiteral("quote type: ") + found(quote.quoteType));
        say(out, QStringLiteral("market state: ") + found(quote.marketState));
        say(out, QStringLiteral("time: ") +
                      (quote.time ? QDateTime::fromSecsSinceEpoch(*quote.time, Qt::UTC).toString(Qt::ISODate)
                                  : QStringLiteral("missing")));
        say(out, QStringLiteral("regular price: ") + found(quote.price));
        read = outcome.holdsAQuote();
    }
    checkList(symbol, result, services);
    services.http->trace = nullptr;
    say(out, QStringLiteral("time taken: %1 s").arg(double(took.elapsed()) / 1000.0, 0, 'f', 2));
    switch (checkVerdict(result, read)) {
    case CheckVerdict::Ok:
        say(out, QStringLiteral("OK: the page was read"));
        return 0;
    case CheckVerdict::Unknown:
        say(out, QStringLiteral("UNKNOWN: the quote service does not know %1 (HTTP %2 %3); check the symbol.")
                      .arg(symbol)
                      .arg(result.status)
                      .arg(httpStatusPhrase(result.status)));
        return 1;
    case CheckVerdict::Refused:
        say(out, refusalVerdict(result.status));
        return 1;
    case CheckVerdict::Failing:
        say(out, QStringLiteral("FAILING: the quote service answered with an error of its own (HTTP %1 %2); try "
                                 "later.")
                      .arg(result.status)
                      .arg(httpStatusPhrase(result.status)));
        return 1;
    case CheckVerdict::Changed:
        say(out, QStringLiteral("CHANGED: an answer came but holds no quote this program can read; the quote "
                                 "service may have changed its pages.") +
                      (result.ok ? QString() : QStringLiteral(" (") + result.error + QLatin1Char(')')));
        return 1;
    case CheckVerdict::Unreachable:
        say(out, QStringLiteral("UNREACHABLE: no answer (") + result.error +
                      QStringLiteral("); check the network connection, the name lookup and the proxy settings."));
        return 1;
    }
    return 1;
}

} // namespace larkspire
