#pragma once
// The run of a whole list: each symbol in turn as the list stands when it is
// reached (one removed meanwhile is not asked for; one whose page is on its
// way when it is removed gets no row), the next symbols asked for ahead, and
// each symbol's outcome and the run's end reported to a sink. The window's
// Start handler is one sink; Escape, a refresh timer or another front end
// drive the same run.
#include "core/list_model.h"
#include "retrieval/quote_run.h"

#include <QString>

#include <functional>
#include <optional>

namespace larkspire {

struct ListRunEnd {
    std::optional<QString> refusal;  // the service keeps refusing: the run stopped asking
    QString refusedSymbol;           // the symbol it refused last, as the list holds it
    std::optional<QString> unread;   // pages came, not one could be read
    int tooLong = 0;                 // symbols longer than a symbol can be, left out
    bool stopped = false;            // the sink ended the run before its end
};

class ListRunSink {
public:
    virtual ~ListRunSink() = default;
    // Symbol `position` of the list is next; false ends the run here.
    virtual bool starting(int position) = 0;
    // Runs `fetch`, which fills `outcome` (a sink may hold input meanwhile and
    // report a failure: `item` says whether the symbol is still in the list).
    virtual void fetching(const QString& symbol, const ItemRef& item, SymbolOutcome& outcome,
                          const std::function<void()>& fetch) = 0;
    // Runs `read`, which reads the page into the outcome's quote.
    virtual void reading(const std::function<void()>& read) { read(); }
    // The symbol at `position` (as the list stands now) was read.
    virtual void came(int position, const SymbolOutcome& outcome) = 0;
    virtual void ended(const ListRunEnd& end) = 0;
};

class ListRun final {
    Q_DISABLE_COPY_MOVE(ListRun)
public:
    // No client: every fetch fails with "No connection to the internet is available".
    ListRun(HttpClient* http, const QString& quoteHost, SourceChoice choice, const ListModel& symbols);
    void run(ListRunSink& sink);

private:
    // The symbols from this position on, as the list stands now.
    QStringList nextSymbols(int from, int limit) const;

    HttpClient* m_http;
    std::optional<QuoteRun> m_run;
    const ListModel& m_symbols;
};

} // namespace larkspire
