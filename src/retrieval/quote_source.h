#pragma once
// A source of quotes, one of the ordered list a run walks: a symbol the
// first source does not give goes to the next, and the quote page, last,
// gives every symbol its outcome. A source of another service is one more
// file and one more line where the run makes its list.
#include "net/http_client.h"
#include "quotes/quote.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace larkspire {

// Which sources a run asks: the service's quote list first ("auto"), or
// each symbol's page alone ("pages").
enum class SourceChoice { Auto, Pages };
std::optional<SourceChoice> sourceChoiceNamed(const QString& name);
// The choice given (an option's value), else the "Quote Source" setting
// stored below `settingsFolder`, else the list first.
SourceChoice sourceChoiceOf(const QString& given, const QString& settingsFolder);

struct SymbolOutcome {
    QString symbol;       // as sent: upper case, without stray blanks
    HttpResult fetch;     // the fetch's result; its body is taken when it is read
    Quote quote;          // what came (`found` false when nothing)
    bool stop = false;    // the service keeps refusing: the run asks no more
    QString source;       // "list" or "page": where the quote came from
    bool read = false;    // the quote is made (a list's always is)

    bool fetched() const { return fetch.ok; }
    // Whether a quote came: the symbol's title or list entry and at least
    // one figure.
    bool holdsAQuote() const;
};

class QuoteSource {
public:
    virtual ~QuoteSource() = default;
    // The symbol's outcome when this source gives it; nothing sends it on
    // to the next source. `next` are the symbols after it, which a source
    // may ask for together; `nameAhead` tells the client what to fetch
    // meanwhile (the addresses given first, then the run's others).
    virtual std::optional<SymbolOutcome> take(const QString& upperSymbol, const QStringList& next,
                                              const std::function<void(const QList<QUrl>&)>& nameAhead) = 0;
    // Addresses of this source on their way, to keep in the client's queue.
    virtual QList<QUrl> ahead() const { return {}; }
    // Whether it may still give the symbol (its page need not be fetched ahead).
    virtual bool mayGive(const QString& upperSymbol) const = 0;
    // False while its first answer is awaited: pages are not fetched ahead
    // that it might spare.
    virtual bool settled() const { return true; }
    // A page of the run came: the service's cookies are held now.
    virtual void pageCame(const HttpResult& page) { (void)page; }
};

} // namespace larkspire
