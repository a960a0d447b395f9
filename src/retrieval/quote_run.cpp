#include "retrieval/quote_run.h"

#include "quotes/quote_page.h"
#include "quotes/quote_url.h"
#include "symbols/symbol_rules.h"

#include <QDateTime>

#include <algorithm>

namespace larkspire {

bool SymbolOutcome::holdsAQuote() const
{
    return quote.found && std::any_of(quote.figures.begin(), quote.figures.end(),
                                      [](const QuoteFigure& f) { return f.text.has_value(); });
}

QuoteRun::QuoteRun(HttpClient& http, QString quoteHost) : m_http(http), m_host(std::move(quoteHost))
{
    m_http.newRun();
}

QUrl QuoteRun::urlOf(const QString& symbol)
{
    auto at = m_urls.find(symbol);
    if (at == m_urls.end())
        at = m_urls.insert(symbol, quoteUrl(m_host, symbolToSend(symbol.toUpper())));
    return *at;
}

SymbolOutcome QuoteRun::fetch(const QString& symbol, const QStringList& next)
{
    QList<QUrl> ahead{urlOf(symbol)};
    for (qsizetype k = 0; k < next.size() && ahead.size() < m_http.aheadLimit(); ++k)
        if (isFetchable(next[k]))
            ahead << urlOf(next[k]);
    m_http.fetchAhead(ahead);
    SymbolOutcome outcome;
    outcome.symbol = symbolToSend(symbol.toUpper());
    outcome.fetch = m_http.get(ahead.first());
    outcome.stop = m_watch.fetched(outcome.fetch);
    return outcome;
}

void QuoteRun::read(SymbolOutcome& outcome)
{
    // A page held nowhere else is cleaned where it stands.
    QuotePage cleaned(CleanQuotePage(std::exchange(outcome.fetch.body, QString())));
    outcome.quote = readQuote(cleaned, outcome.symbol, m_formats);
    m_http.recycle(cleaned.takeText());
    if (outcome.fetched()) {
        outcome.quote.retrieved = QDateTime::currentSecsSinceEpoch();
        m_watch.read(outcome.quote.found);
    }
}

SymbolOutcome QuoteRun::next(const QString& symbol, const QStringList& next)
{
    SymbolOutcome outcome = fetch(symbol, next);
    read(outcome);
    return outcome;
}

} // namespace larkspire
