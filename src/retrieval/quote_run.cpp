#include "retrieval/quote_run.h"

#include "core/failure.h"
#include "core/settings_store.h"
#include "core/stored_values.h"
#include "quotes/quote_page.h"
#include "quotes/quote_list.h"
#include "quotes/quote_url.h"
#include "retrieval/quote_list_source.h"
#include "symbols/symbol_rules.h"

#include <QDateTime>

#include <algorithm>

namespace larkspire {

std::optional<SourceChoice> sourceChoiceNamed(const QString& name)
{
    if (name == QStringLiteral("auto"))
        return SourceChoice::Auto;
    if (name == QStringLiteral("pages"))
        return SourceChoice::Pages;
    return std::nullopt;
}

SourceChoice sourceChoiceOf(const QString& given, const QString& settingsFolder)
{
    QString name = given;
    if (name.isEmpty()) {
        try {
            name = SettingsStore(settingsFolder).read(kSettingsApplication, kSettingsSection, kKeyQuoteSource, QString());
        } catch (const Failure&) {
        }
    }
    return sourceChoiceNamed(name.trimmed()).value_or(SourceChoice::Auto);
}

bool SymbolOutcome::holdsAQuote() const
{
    return quote.found && std::any_of(quote.figures.begin(), quote.figures.end(),
                                      [](const QuoteFigure& f) { return f.text.has_value(); });
}

QuoteRun::QuoteRun(HttpClient& http, QString quoteHost, SourceChoice choice)
    : m_http(http), m_host(std::move(quoteHost))
{
    m_http.newRun();
    if (choice == SourceChoice::Auto)
        m_sources.push_back(std::make_unique<QuoteListSource>(m_http, m_host));
}

QuoteRun::~QuoteRun() = default;

int QuoteRun::lookahead() const
{
    const int pages = 4 * m_http.aheadLimit();
    return m_sources.empty() ? pages : std::max<int>(pages, 2 * kListGroupSize);
}

QUrl QuoteRun::urlOf(const QString& symbol)
{
    auto at = m_urls.find(symbol);
    if (at == m_urls.end())
        at = m_urls.insert(symbol, quoteUrl(m_host, symbol));
    return *at;
}

QList<QUrl> QuoteRun::aheadOf(const QList<QUrl>& first, const QStringList& nextUpper, qsizetype pages)
{
    QList<QUrl> urls = first;
    bool settled = true;
    for (const auto& source : m_sources) {
        for (const QUrl& url : source->ahead())
            if (!urls.contains(url))
                urls << url;
        settled = settled && source->settled();
    }
    // Pages only for symbols no source before them may still give, and
    // none while a source's first answer is awaited.
    for (qsizetype k = 0; settled && k < nextUpper.size() && pages < m_http.aheadLimit(); ++k) {
        const QString& symbol = nextUpper[k];
        if (std::any_of(m_sources.begin(), m_sources.end(), [&](const auto& s) { return s->mayGive(symbol); }))
            continue;
        urls << urlOf(symbol);
        ++pages;
    }
    return urls;
}

SymbolOutcome QuoteRun::fetch(const QString& symbol, const QStringList& next)
{
    const QString upper = symbolToSend(symbol.toUpper());
    QStringList nextUpper;
    for (const QString& s : next)
        if (isFetchable(s))
            nextUpper << symbolToSend(s.toUpper());
    const auto nameAhead = [&](const QList<QUrl>& first) { m_http.fetchAhead(aheadOf(first, nextUpper, 0)); };
    for (const auto& source : m_sources)
        if (auto given = source->take(upper, nextUpper, nameAhead))
            return std::move(*given);
    const QUrl page = urlOf(upper);
    m_http.fetchAhead(aheadOf({page}, nextUpper, 1));
    SymbolOutcome outcome;
    outcome.symbol = upper;
    outcome.source = QStringLiteral("page");
    outcome.fetch = m_http.get(page);
    outcome.stop = m_watch.fetched(outcome.fetch);
    for (const auto& source : m_sources)
        source->pageCame(outcome.fetch);
    return outcome;
}

void QuoteRun::read(SymbolOutcome& outcome)
{
    if (outcome.read)
        return;
    outcome.read = true;
    // A page held nowhere else is cleaned where it stands.
    QuotePage cleaned(CleanQuotePage(std::exchange(outcome.fetch.body, QString())));
    outcome.quote = readQuote(cleaned, outcome.symbol, m_formats);
    outcome.quote.source = outcome.source;
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
