// "Start Retrieving Quotes": the run of the symbol list (retrieval/list_run.h)
// in the window's numbered steps, one results row per symbol that gave a
// quote, and the end box.
#include "core/common_routines.h"
#include "core/step_runner.h"
#include "net/http_client.h"
#include "results/quote_row.h"
#include "retrieval/list_run.h"
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

// The window's side of a run: its progress, pointer and boxes, each in the
// step its number says, and a row for each symbol that gave a quote.
class MainWindow::RunSteps final : public ListRunSink {
public:
    RunSteps(MainWindow& w, StepRunner& step) : w(w), step(step) {}

    bool starting(int position) override
    {
        step(104, [&] {
            w.m_ui.progressBar->setPosition(std::trunc(double(position) / double(w.symbolList().count()) * 100.0));
        });
        return !w.m_stopAsked; // Escape ends the run before the next symbol
    }

    void fetching(const QString& symbol, const ItemRef& item, SymbolOutcome& outcome,
                  const std::function<void()>& fetch) override
    {
        step(110, [&] { w.m_ui.progressBar->setBarText(QStringLiteral("Processing: ") + FileNameFromPath(symbol)); });
        // The repaint this pump would do runs while the page is fetched.
        step(112, [&] { w.pumpEventsRepaintLater(); });
        step(114, [&] { w.SetMousePointer(kPointerHourglass); });
        step(116, [&] {
            {
                // Clicks and keys wait for the next pump: no handler runs in
                // the middle of a fetch. A close from the window system is
                // not input and ends the fetch at once.
                const InputHold hold(&w, w.m_heldInput);
                if (w.m_platform.http)
                    w.m_platform.http->waitReport = [this, &symbol](int seconds) {
                        w.m_ui.progressBar->setBarText(
                            seconds > 0 ? QStringLiteral("Waiting %1 s: the quote service asked to slow down")
                                              .arg(seconds)
                                        : QStringLiteral("Processing: ") + FileNameFromPath(symbol));
                    };
                fetch();
            }
            if (w.m_ended)
                throw Abandoned();
            if (ListModel::indexOf(item) == 0) // taken out while its page came: not shown
                return;
            // A symbol the service does not know gets no row and no report,
            // as its page once said so with a title of its own; a service
            // that asks for a long wait gets one box: the run's.
            const bool unknown = outcome.fetch.failure == FetchFailure::NotFound;
            if (!outcome.fetched() && !unknown && outcome.fetch.askedWaitSeconds == 0)
                // which symbol first, then what went wrong
                throw Failure(outcome.symbol + QStringLiteral(": ") + outcome.fetch.error);
        });
    }

    // The 2018 title first, then the later layouts; the figures come from
    // where the page's own data stands in its layout.
    void reading(const std::function<void()>& read) override { step(118, read); }

    void came(int position, const SymbolOutcome& outcome) override
    {
        if (!addRow(position, outcome.quote))
            noQuote << w.symbolList().text(position);
    }

    void ended(const ListRunEnd& end) override
    {
        if (end.refusal) {
            if (!end.refusedSymbol.isEmpty())
                noQuote << end.refusedSymbol;
            w.message(*end.refusal);
        }
        step(234, [&] { w.SetMousePointer(kPointerDefault); });
        step(236, [&] { w.m_ui.progressBar->setPosition(0); });
        step(238, [&] { w.m_ui.progressBar->setBarText(QStringLiteral("Progress Bar")); });
        if (end.unread)
            w.message(*end.unread);
        if (end.tooLong > 0)
            w.message(QStringLiteral("%1 symbol(s) longer than %2 characters were left out.")
                          .arg(end.tooLong)
                          .arg(kMaxSymbolChars));
        step(240, [&] { w.message(QStringLiteral("Done.") + runSummary(noQuote, end.stopped)); });
    }

private:
    // The row of a quote, its cells filled figure by figure; false when the
    // quote gave none (a row removed meanwhile was given all the same).
    bool addRow(int position, const Quote& quote)
    {
        ItemRef row;
        bool added = false;
        if (quote.found) { // step 122
            bool showNames = false;
            step(126, [&] { showNames = w.m_ui.showNamesCheck->isChecked(); });
            if (showNames && quote.name) // step 128
                added = step(130, [&] { row = w.resultsList().add(*quote.name); });
            else if (!showNames)
                added = step(132, [&] { row = w.resultsList().add(w.symbolList().text(position)); });
        }
        if (!row.isValid()) // step 134
            return added;
        // The row's cells as every writer of rows makes them; the list keeps them.
        const CellRow cells = windowRow(quote, QString());
        for (const QuoteCell& cell : QuoteCellTable) {
            // The row may have been removed while events ran: then the rest
            // of this symbol's values are dropped.
            if (ListModel::indexOf(row) == 0)
                break;
            step(cell.lastStep, [&] {
                const QuoteFigure& figure = quote.figure(cell.subItem);
                if (figure.failure)
                    throw Failure(quote.symbol + QStringLiteral(": ") + figure.failure->description(),
                                  figure.failure->code());
                const int at = ListModel::indexOf(row);
                if (figure.text && at > 0)
                    w.resultsList().setSubItemCell(at, cell.subItem, cells[size_t(cell.subItem)]);
            });
        }
        // What the figures mean, for the row's tooltip and a screen reader.
        if (const int at = ListModel::indexOf(row); at > 0)
            w.resultsList().setDescription(at, describeQuote(quote));
        step(230, [&] {
            if (const int at = ListModel::indexOf(row); at > 0)
                w.m_ui.resultsView->ensureVisible(at);
        });
        return true;
    }

    MainWindow& w;
    StepRunner& step;
    QStringList noQuote; // symbols that gave no row, as the list holds them
};

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
        ListRun run(m_platform.http, m_platform.quoteHost, sourceChoiceOf(QString(), m_platform.settingsFolder),
                    symbolList());
        step(100, [&] { resultsList().clear(); });
        RunSteps steps(*this, step);
        run.run(steps);
    });
}

} // namespace larkspire
