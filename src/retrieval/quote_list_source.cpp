#include "retrieval/quote_list_source.h"

#include "quotes/quote_list.h"
#include "quotes/quote_url.h"

#include <QDateTime>

#include <algorithm>

namespace larkspire {

namespace {

// The list's address as --check shows it: the crumb's value left out.
QUrl withoutCrumb(const QUrl& url)
{
    QByteArray text = url.toEncoded();
    const qsizetype at = text.indexOf("&crumb=");
    if (at >= 0) {
        const qsizetype end = text.indexOf('&', at + 1);
        text.replace(at, (end < 0 ? text.size() : end) - at, "&crumb=...");
    }
    return QUrl::fromEncoded(text);
}

} // namespace

QuoteListSource::QuoteListSource(HttpClient& http, QString quoteHost)
    : m_http(http), m_quoteHost(std::move(quoteHost)), m_host(quoteListHost(m_quoteHost, 1)),
      m_crumb(http.keptToken())
{
    if (!m_crumb.value.isEmpty())
        m_report.crumb = Crumb::Kept;
}

QString QuoteListSource::scheme() const
{
    if (!m_pageScheme.isEmpty())
        return m_pageScheme;
    return m_crumb.at.isValid() ? m_crumb.at.scheme() : QStringLiteral("https");
}

std::optional<SymbolOutcome> QuoteListSource::take(const QString& upperSymbol, const QStringList& next,
                                                   const std::function<void(const QList<QUrl>&)>& nameAhead)
{
    const auto given = [&]() -> std::optional<SymbolOutcome> {
        const auto quote = m_quotes.constFind(upperSymbol);
        if (quote == m_quotes.cend())
            return std::nullopt;
        SymbolOutcome outcome;
        outcome.symbol = upperSymbol;
        outcome.fetch.ok = true;
        outcome.fetch.status = 200;
        outcome.quote = *quote;
        outcome.quote.source = outcome.source = QStringLiteral("list");
        outcome.read = true;
        return outcome;
    };
    if (auto outcome = given()) {
        // Meanwhile the next group, and the pages of symbols the list left out.
        if (m_answered || m_givenUp)
            nameAhead({});
        return outcome;
    }
    // Twice at most: once more at query2 when query1 cannot be reached.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (auto outcome = given())
            return outcome;
        if (!mayGive(upperSymbol) || !haveCrumb())
            return std::nullopt;
        auto group = std::find_if(m_pending.begin(), m_pending.end(),
                                  [&](const Group& g) { return g.symbols.contains(upperSymbol); });
        if (group == m_pending.end()) {
            formGroup(QStringList{upperSymbol} + next);
            group = std::prev(m_pending.end());
        }
        const Group asked = *group;
        nameAhead({asked.url});
        const HttpResult result = m_http.get(asked.url);
        const auto done = std::find_if(m_pending.begin(), m_pending.end(),
                                       [&](const Group& g) { return g.url == asked.url; });
        if (done != m_pending.end())
            m_pending.erase(done);
        const QString firstHost = quoteListHost(m_quoteHost, 1);
        if (result.failure == FetchFailure::Unreachable && m_host == firstHost && quoteListHost(m_quoteHost, 2) != m_host) {
            // query1 cannot be reached: query2 from now on.
            m_host = quoteListHost(m_quoteHost, 2);
            for (const QString& symbol : asked.symbols)
                m_asked.remove(symbol);
            continue;
        }
        answered(asked, result);
        break;
    }
    // The next group is asked while this one's rows are made.
    if (m_answered && !m_givenUp && m_pending.empty())
        formGroup(next);
    if (!m_pending.empty())
        nameAhead({});
    return given();
}

bool QuoteListSource::haveCrumb()
{
    if (!m_crumb.value.isEmpty())
        return true;
    const QUrl url = crumbUrl(scheme(), m_host);
    // The crumb is handed to a visitor holding the service's cookie: a page
    // of the run brings it, or an earlier run kept it.
    if (m_needPage || (!m_pageCame && !m_http.holdsCookiesFor(url)))
        return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QUrl at = crumbUrl(scheme(), m_host);
        m_http.fetchAhead({at});
        HttpResult result = m_http.get(at);
        const QString text = result.body.trimmed();
        m_http.recycle(std::move(result.body));
        if (result.ok && isUsableCrumb(text)) {
            m_crumb = KeptToken{text, at};
            m_http.keepToken(m_crumb);
            m_report.crumb = Crumb::Fetched;
            return true;
        }
        if (result.failure == FetchFailure::Unreachable && m_host == quoteListHost(m_quoteHost, 1) &&
            quoteListHost(m_quoteHost, 2) != m_host) {
            m_host = quoteListHost(m_quoteHost, 2);
            continue;
        }
        m_report.status = result.status;
        if (result.status == 401) { // "Invalid Cookie": one page for a fresh one, then once more
            m_report.crumb = Crumb::Refused;
            if (std::exchange(m_refusedOnce, true))
                giveUp(QStringLiteral("the crumb was refused twice"));
            else
                m_needPage = true;
        } else if (result.failure == FetchFailure::Refused) {
            giveUp(QStringLiteral("the service asked to slow down"));
        } else {
            failed(result.ok ? QStringLiteral("getcrumb did not answer with a crumb") : result.error);
        }
        return false;
    }
    return false;
}

void QuoteListSource::formGroup(const QStringList& symbols)
{
    Group group;
    for (const QString& symbol : symbols) {
        if (group.symbols.size() >= kListGroupSize)
            break;
        if (!symbol.isEmpty() && !m_asked.contains(symbol) && !m_quotes.contains(symbol) &&
            !group.symbols.contains(symbol))
            group.symbols << symbol;
    }
    if (group.symbols.isEmpty())
        return;
    for (const QString& symbol : group.symbols)
        m_asked.insert(symbol);
    group.url = quoteListUrl(scheme(), m_host, group.symbols, m_crumb.value);
    m_pending.push_back(std::move(group));
}

void QuoteListSource::answered(const Group& group, const HttpResult& result)
{
    m_report.asked = withoutCrumb(group.url);
    m_report.status = result.status;
    m_report.error.clear();
    if (result.ok) {
        const auto quotes = result.body.size() <= kMaxListAnswerBytes
                                ? readQuoteList(result.body, group.symbols, m_formats)
                                : std::nullopt;
        m_http.recycle(result.body);
        if (!quotes)
            return failed(QStringLiteral("the answer is not the quote list's"));
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        for (auto quote = quotes->cbegin(); quote != quotes->cend(); ++quote) {
            m_quotes.insert(quote.key(), quote.value());
            m_quotes[quote.key()].retrieved = now;
        }
        m_answered = true;
        return;
    }
    if (result.status == 401) { // "Invalid Crumb": a fresh cookie and crumb once
        for (const QString& symbol : group.symbols)
            m_asked.remove(symbol);
        m_pending.clear();
        m_crumb = KeptToken();
        m_http.keepToken(m_crumb);
        m_report.crumb = Crumb::Refused;
        if (std::exchange(m_refusedOnce, true))
            giveUp(QStringLiteral("the crumb was refused twice"));
        else
            m_needPage = true;
        return;
    }
    if (result.failure == FetchFailure::Refused)
        return giveUp(QStringLiteral("the service asked to slow down"));
    failed(result.error);
}

void QuoteListSource::failed(const QString& why)
{
    m_report.error = why;
    if (++m_failures >= 2)
        giveUp(why);
}

void QuoteListSource::giveUp(const QString& why)
{
    m_report.error = why;
    m_report.givenUp = true;
    m_givenUp = true;
    m_pending.clear();
}

QList<QUrl> QuoteListSource::ahead() const
{
    QList<QUrl> urls;
    for (const Group& group : m_pending)
        urls << group.url;
    return urls;
}

bool QuoteListSource::mayGive(const QString& upperSymbol) const
{
    if (m_quotes.contains(upperSymbol))
        return true;
    if (m_givenUp)
        return false;
    return !m_asked.contains(upperSymbol) || std::any_of(m_pending.begin(), m_pending.end(), [&](const Group& g) {
               return g.symbols.contains(upperSymbol);
           });
}

void QuoteListSource::pageCame(const HttpResult& page)
{
    if (page.status == 0) // no answer: no cookie either
        return;
    m_pageCame = true;
    m_needPage = false;
    if (page.url.isValid())
        m_pageScheme = page.url.scheme();
}

} // namespace larkspire
