// "Start Retrieving Quotes": fetch every symbol's quote page in turn and
// add one results row per recognised page.
#include "core/common_routines.h"
#include "core/step_runner.h"
#include "net/http_client.h"
#include "retrieval/quote_run.h"
#include "symbols/symbol_rules.h"
#include "window/main_window.h"

#include <cmath>

namespace larkspire {

namespace {

// What the end of a run adds to "Done.": the symbols that gave no row (the
// first 20 of them), and a stop asked for with Escape.
QString runSummary(const QStringList& noQuote, bool stopped)
{
    QString text;
    if (!noQuote.isEmpty()) {
        text += QStringLiteral("\r\rNo quote for: ") + noQuote.mid(0, 20).join(QStringLiteral(", "));
        if (noQuote.size() > 20)
            text += QStringLiteral(" and %1 more").arg(noQuote.size() - 20);
    }
    if (stopped)
        text += QStringLiteral("\r\rThe run was stopped with Escape; the rows so far are kept.");
    return text;
}

} // namespace

QStringList MainWindow::nextSymbols(int from, int limit)
{
    // The symbols from this one on, as the list stands now: a symbol removed
    // meanwhile is not asked for, its page is dropped.
    QStringList symbols;
    const ListModel& list = symbolList();
    for (int k = from; k <= list.count() && symbols.size() < limit; ++k)
        symbols << list.text(k).toUpper();
    return symbols;
}

void MainWindow::retrieveQuotes()
{
    // The run lets window events run while it works; a second press in the
    // meantime must not start a run inside this one.
    if (m_runActive)
        return;
    // A run with a handshake nobody chose does not start.
    if (m_platform.http && !m_platform.http->setupError().isEmpty()) {
        message(m_platform.http->setupError());
        return;
    }
    m_runActive = true;
    m_stopAsked = false;
    struct Guard {
        MainWindow& w;
        ~Guard()
        {
            w.m_runActive = false;
            if (w.m_platform.http) {
                w.m_platform.http->waitReport = nullptr;
                if (!w.m_ended)
                    w.m_platform.http->fetchAhead({}); // nothing more is wanted
            }
            // Input that came during the last fetch runs once the run is over.
            if (!w.m_ended)
                deliverHeldInput(w.m_heldInput);
            else
                w.m_heldInput.clear();
        }
    } guard{*this};

    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton17_Click"));
    runHandler([&] {
        std::optional<QuoteRun> run;
        if (m_platform.http)
            run.emplace(*m_platform.http, m_platform.quoteHost,
                        sourceChoiceOf(QString(), m_platform.settingsFolder));
        step(100, [&] { resultsList().clear(); });
        int tooLong = 0; // symbols longer than a symbol can be, left out
        int count = 0;
        QStringList noQuote; // symbols that gave no row, as typed
        step(102, [&] { count = symbolList().count(); });
        for (int i = 1; i <= count; ++i) {
            // Symbols removed while the run waited are not fetched; Escape
            // ends the run before the next one.
            if (i > symbolList().count() || m_stopAsked)
                break;
            ItemRef row;
            bool gaveRow = false;
            QString symbol;
            step(104, [&] {
                m_ui.progressBar->setPosition(std::trunc(double(i) / double(symbolList().count()) * 100.0));
            });
            step(106, [&] { symbol = symbolList().text(i); });
            step(108, [&] { symbol = symbol.toUpper(); });
            if (!isFetchable(symbol)) { // no request, no row, no report
                tooLong += isTooLongForASymbol(symbol) ? 1 : 0;
                continue;
            }
            // The symbol is followed by its item, not its place: the list
            // may change while its page is on the way.
            const ItemRef item = symbolList().ref(i);
            step(110, [&] {
                m_ui.progressBar->setBarText(QStringLiteral("Processing: ") + FileNameFromPath(symbol));
            });
            // The repaint this pump would do runs while the page is fetched.
            step(112, [&] { pumpEventsRepaintLater(); });
            step(114, [&] { SetMousePointer(kPointerHourglass); });
            SymbolOutcome outcome;
            bool unknown = false; // the service does not know the symbol
            step(116, [&] {
                if (!run)
                    throw Failure(QStringLiteral("No connection to the internet is available"));
                {
                    // Clicks and keys wait for the next pump: no handler runs
                    // in the middle of a fetch. A close from the window
                    // system is not input and ends the fetch at once.
                    const InputHold hold(this, m_heldInput);
                    m_platform.http->waitReport = [this, &symbol](int seconds) {
                        m_ui.progressBar->setBarText(
                            seconds > 0 ? QStringLiteral("Waiting %1 s: the quote service asked to slow down")
                                              .arg(seconds)
                                        : QStringLiteral("Processing: ") + FileNameFromPath(symbol));
                    };
                    outcome = run->fetch(symbol, nextSymbols(i + 1, run->lookahead()));
                }
                if (m_ended)
                    throw Abandoned();
                if (ListModel::indexOf(item) == 0) // taken out while its page came: not shown
                    return;
                // A symbol the service does not know gets no row and no
                // report, as its page once said so with a title of its own.
                unknown = outcome.fetch.failure == FetchFailure::NotFound;
                // A service that asks for a long wait gets one box: the run's.
                if (!outcome.fetched() && !unknown && outcome.fetch.askedWaitSeconds == 0)
                    // which symbol first, then what went wrong
                    throw Failure(outcome.symbol + QStringLiteral(": ") + outcome.fetch.error);
            });
            if (outcome.stop) { // after this symbol's own report: the run stops asking
                if (const int at = ListModel::indexOf(item); at > 0)
                    noQuote << symbolList().text(at);
                message(run->refusalMessage());
                break;
            }
            const int at = ListModel::indexOf(item);
            if (at == 0) {
                --i; // the next symbol stands where this one stood
                continue;
            }
            i = at; // where it stands now
            // A failed fetch leaves nothing to read: no stale figures. The
            // 2018 title first, then the later layouts; the figures come
            // from where the page's own data stands in its layout.
            step(118, [&] {
                if (run)
                    run->read(outcome);
            });
            const Quote& quote = outcome.quote;
            if (quote.found) { // step 122
                bool showNames = false;
                step(126, [&] { showNames = m_ui.showNamesCheck->isChecked(); });
                if (showNames) {
                    if (quote.name) // step 128
                        step(130, [&] {
                            row = resultsList().add(*quote.name);
                            gaveRow = true;
                        });
                } else {
                    step(132, [&] {
                        row = resultsList().add(symbolList().text(i));
                        gaveRow = true;
                    });
                }
            }
            if (!row.isValid()) { // step 134; a row removed meanwhile was given all the same
                if (!gaveRow)
                    noQuote << symbolList().text(i);
                continue;
            }
            for (const QuoteCell& cell : QuoteCellTable) {
                // The row may have been removed while events ran: then the
                // rest of this symbol's values are dropped.
                if (ListModel::indexOf(row) == 0)
                    break;
                step(cell.lastStep, [&] {
                    const QuoteFigure& figure = quote.figure(cell.subItem);
                    if (figure.failure)
                        throw Failure(quote.symbol + QStringLiteral(": ") + figure.failure->description(),
                                      figure.failure->code());
                    const int at = ListModel::indexOf(row);
                    if (figure.text && at > 0) {
                        resultsList().setSubItem(at, cell.subItem, *figure.text);
                        resultsList().setSubItemNumber(at, cell.subItem, figure.number);
                    }
                });
            }
            // What the figures mean, for the row's tooltip and a screen reader.
            if (const int at = ListModel::indexOf(row); at > 0)
                resultsList().setDescription(at, describeQuote(quote));
            step(230, [&] {
                const int at = ListModel::indexOf(row);
                if (at > 0)
                    m_ui.resultsView->ensureVisible(at);
            });
        }
        step(234, [&] { SetMousePointer(kPointerDefault); });
        step(236, [&] { m_ui.progressBar->setPosition(0); });
        step(238, [&] { m_ui.progressBar->setBarText(QStringLiteral("Progress Bar")); });
        if (const auto unread = run ? run->unreadMessage() : std::nullopt)
            message(*unread);
        if (tooLong > 0)
            message(QStringLiteral("%1 symbol(s) longer than %2 characters were left out.")
                        .arg(tooLong)
                        .arg(kMaxSymbolChars));
        step(240, [&] { message(QStringLiteral("Done.") + runSummary(noQuote, m_stopAsked)); });
    });
}

} // namespace larkspire
