#pragma once
// One run of quote pages, the same for the window, --batch and --check: the
// quote URL of each symbol made once, the next pages fetched ahead, each page
// cleaned and read into a Quote, and what the run as a whole tells about the
// service (one that keeps refusing, pages of which none could be read).
// Each symbol's outcome comes back as a value, in the order asked for; the
// front end decides what it shows of it.
#include "net/http_client.h"
#include "quotes/number_format.h"
#include "quotes/quote.h"
#include "retrieval/run_watch.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace larkspire {

struct SymbolOutcome {
    QString symbol;       // as sent: upper case, without stray blanks
    HttpResult fetch;     // the fetch's result; its body is taken when it is read
    Quote quote;          // what the page held (`found` false when nothing)
    bool stop = false;    // the service keeps refusing: the run asks no more

    bool fetched() const { return fetch.ok; }
    // Whether the page held a quote: the title of the symbol and at least
    // one figure.
    bool holdsAQuote() const;
};

class QuoteRun final {
    Q_DISABLE_COPY_MOVE(QuoteRun)
public:
    // A new run: the client forgets what it learned of the last one.
    QuoteRun(HttpClient& http, QString quoteHost);

    // Fetches the page of `symbol` (as given); `next` are the symbols after
    // it, whose pages are fetched meanwhile. A symbol that is no symbol to
    // fetch (isFetchable) must not be asked for.
    SymbolOutcome fetch(const QString& symbol, const QStringList& next);
    // Reads the fetched page into the outcome's quote (a failed fetch leaves
    // nothing to read), with the time the page came.
    void read(SymbolOutcome& outcome);
    // Both at once.
    SymbolOutcome next(const QString& symbol, const QStringList& next);

    // How many of the next symbols are worth naming.
    int aheadLimit() const { return m_http.aheadLimit(); }
    // Nothing more is wanted: pages fetched ahead are dropped.
    void finish() { m_http.fetchAhead({}); }

    QString refusalMessage() const { return m_watch.refusalMessage(); }
    std::optional<QString> unreadMessage() const { return m_watch.unreadMessage(); }

private:
    QUrl urlOf(const QString& symbol);

    HttpClient& m_http;
    QString m_host;
    QHash<QString, QUrl> m_urls; // by symbol as given
    NumberFormats m_formats;
    RunWatch m_watch;
};

} // namespace larkspire
