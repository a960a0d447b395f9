#include "retrieval/list_run.h"

#include "core/failure.h"
#include "symbols/symbol_rules.h"

namespace larkspire {

ListRun::ListRun(HttpClient* http, const QString& quoteHost, SourceChoice choice, const ListModel& symbols)
    : m_http(http), m_symbols(symbols)
{
    if (m_http)
        m_run.emplace(*m_http, quoteHost, choice);
}

QStringList ListRun::nextSymbols(int from, int limit) const
{
    // A symbol removed meanwhile is not asked for; its page is dropped.
    QStringList symbols;
    for (int k = from; k <= m_symbols.count() && symbols.size() < limit; ++k)
        symbols << m_symbols.text(k).toUpper();
    return symbols;
}

void ListRun::run(ListRunSink& sink)
{
    ListRunEnd end;
    const int count = m_symbols.count();
    for (int i = 1; i <= count; ++i) {
        // Symbols removed while the run waited are not fetched.
        if (i > m_symbols.count())
            break;
        if (!sink.starting(i)) {
            end.stopped = true;
            break;
        }
        const QString symbol = m_symbols.text(i).toUpper();
        if (!isFetchable(symbol)) { // no request, no row, no report
            end.tooLong += isTooLongForASymbol(symbol) ? 1 : 0;
            continue;
        }
        // The symbol is followed by its item, not its place: the list may
        // change while its page is on the way.
        const ItemRef item = m_symbols.ref(i);
        SymbolOutcome outcome;
        sink.fetching(symbol, item, outcome, [&] {
            if (!m_run)
                throw Failure(QStringLiteral("No connection to the internet is available"));
            outcome = m_run->fetch(symbol, nextSymbols(i + 1, m_run->lookahead()));
        });
        if (outcome.stop) { // after this symbol's own report: the run stops asking
            end.refusal = m_run->refusalMessage();
            if (const int at = ListModel::indexOf(item); at > 0)
                end.refusedSymbol = m_symbols.text(at);
            break;
        }
        const int at = ListModel::indexOf(item);
        if (at == 0) {
            --i; // the next symbol stands where this one stood
            continue;
        }
        i = at; // where it stands now
        // A failed fetch leaves nothing to read: no stale figures.
        sink.reading([&] {
            if (m_run)
                m_run->read(outcome);
        });
        sink.came(i, outcome);
    }
    if (m_run)
        end.unread = m_run->unreadMessage();
    sink.ended(end);
}

} // namespace larkspire
