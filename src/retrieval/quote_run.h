#pragma once
// One run of quotes, the same for the window, --batch and --check: the
// sources walked in order for each symbol (the service's quote list first,
// by default, then the symbol's own page), the next requests fetched ahead,
// each page cleaned and read into a Quote, and what the run as a whole tells
// about the service (one that keeps refusing, pages of which none could be
// read). Each symbol's outcome comes back as a value, in the order asked
// for; the front end decides what it shows of it.
#include "net/http_client.h"
#include "quotes/number_format.h"
#include "retrieval/quote_source.h"
#include "retrieval/run_watch.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <vector>

namespace larkspire {

class QuoteRun final {
    Q_DISABLE_COPY_MOVE(QuoteRun)
public:
    // A new run: the client forgets what it learned of the last one.
    QuoteRun(HttpClient& http, QString quoteHost, SourceChoice choice = SourceChoice::Auto);
    ~QuoteRun();

    // Fetches the quote of `symbol` (as given); `next` are the symbols after
    // it, asked for meanwhile. A symbol that is no symbol to fetch
    // (isFetchable) must not be asked for.
    SymbolOutcome fetch(const QString& symbol, const QStringList& next);
    // Reads a fetched page into the outcome's quote (a failed fetch leaves
    // nothing to read), with the time the page came; a list's quote is read.
    void read(SymbolOutcome& outcome);
    // Both at once.
    SymbolOutcome next(const QString& symbol, const QStringList& next);

    // How many of the next symbols are worth naming.
    int lookahead() const;
    // Nothing more is wanted: requests fetched ahead are dropped.
    void finish() { m_http.fetchAhead({}); }

    QString refusalMessage() const { return m_watch.refusalMessage(); }
    std::optional<QString> unreadMessage() const { return m_watch.unreadMessage(); }

private:
    QUrl urlOf(const QString& symbol);
    QList<QUrl> aheadOf(const QList<QUrl>& first, const QStringList& nextUpper, qsizetype pages);

    HttpClient& m_http;
    QString m_host;
    QHash<QString, QUrl> m_urls; // by symbol as sent
    NumberFormats m_formats;
    RunWatch m_watch;
    // Walked in order before the page; a line here adds a source.
    std::vector<std::unique_ptr<QuoteSource>> m_sources;
};

} // namespace larkspire
