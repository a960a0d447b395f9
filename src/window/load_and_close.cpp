// The window's load sequence, before it is first shown, and its close
// request and unload: the symbol list and the display option come from the
// settings store at the start and the list goes back there at the end.
#include "core/common_routines.h"
#include "core/step_runner.h"
#include "core/stored_values.h"
#include "quotes/figure_table.h"
#include "results/quote_row.h"
#include "symbols/symbol_rules.h"
#include "window/app_icon.h"
#include "window/cursor_file.h"
#include "window/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace larkspire {

// ---------------------------------------------------------------------------
// Load sequence

void MainWindow::loadWindow()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    runHandler([&] {
        step(100, [&] { ApplySkin(); });
        step(106, [&] {
            if (m_platform.onlineCheck)
                m_platform.onlineCheck(m_appTitle);
        });
        step(108, [&] {
            setWindowTitle(kProductTitle);
            setWindowIcon(applicationIcon());
            SetAppTitle();
        });
        QString cursorPath;
        step(110, [&] {
            cursorPath = m_platform.programFolder + QStringLiteral("/HAND-M.CUR");
            if (!FileExists(cursorPath))
                cursorPath.clear();
        });
        if (!cursorPath.isEmpty()) {
            step(112, [&] {
                QFile file(cursorPath);
                if (!file.open(QIODevice::ReadOnly))
                    throw Failure(file.errorString(), 53);
                const auto cursor = readCursorFile(file.read(1 << 20));
                if (!cursor)
                    throw Failure(QStringLiteral("Invalid picture"), 481);
                m_handCursor = QCursor(QPixmap::fromImage(cursor->image), cursor->hotSpot.x(),
                                       cursor->hotSpot.y());
            });
        }
        setUpColumns(step);
        restoreDisplayOption(step);
        restoreSymbols(step);
    });
}

void MainWindow::setUpColumns(StepRunner& step)
{
    ListView& symbols = *m_ui.symbolView;
    step(132, [&] { symbols.items().addColumn(QStringLiteral("Stock Symbols (GOOG for example)")); });
    step(134, [&] { symbols.setColumnWidthTwips(1, 7000); });

    // The first header names what the first cell holds once the display
    // option is known; until then it says "Results".
    // The figures' columns and steps come from the figure table.
    QStringList headers = windowHeaders(true);
    headers[0] = QStringLiteral("Results");
    ListView& results = *m_ui.resultsView;
    const auto headerStep = [](int column) { return column == 1 ? kFirstHeaderStep : figureAt(column - 1).headerStep; };
    const auto widthStep = [](int column) { return column == 1 ? kFirstWidthStep : figureAt(column - 1).widthStep; };
    for (int c = 1; c <= 1 + kFigureCount; ++c)
        step(headerStep(c), [&] { results.items().addColumn(headers[c - 1]); });
    for (int c = 1; c <= 1 + kFigureCount; ++c)
        step(widthStep(c), [&] { results.setColumnWidthTwips(c, c == 1 ? 3000 : 1500); });
}

void MainWindow::restoreDisplayOption(StepRunner& step)
{
    step(172, [&] {
        const QString stored =
            m_settings.read(kSettingsApplication, kSettingsSection, kKeyShowFullnames, QStringLiteral("1"));
        // Setting the box from the store is no click: nothing is written back.
        m_restoringOption = true;
        m_ui.showNamesCheck->setChecked(leadingNumericValue(stored) != 0.0);
        m_restoringOption = false;
    });
    bool ticked = false;
    step(174, [&] { ticked = m_ui.showNamesCheck->isChecked(); });
    if (ticked)
        step(176, [&] { resultsList().setHeaderText(1, QStringLiteral("Stock Name")); });
    else
        step(178, [&] { resultsList().setHeaderText(1, QStringLiteral("Stock Symbol")); });
}

void MainWindow::restoreSymbols(StepRunner& step)
{
    // A stored list that could not be read is never written over at the
    // end: the user's symbols stay in the file for the next start.
    m_symbolsRestored = false;
    QString stored;
    if (!step(180, [&] { stored = readStoredSymbols(m_settings); }))
        return;
    if (stored.isEmpty()) { // step 182
        m_symbolsRestored = true;
        return;
    }
    QStringList pieces;
    step(184, [&] { pieces = splitStoredSymbols(stored); });
    // Steps 186 to 192: every non-empty piece, in order, appended unchanged.
    // The pieces go into the list in one batch; no events run meanwhile.
    // Items longer than any symbol (a hand-edited file) are left out, as a
    // run leaves them out, and said once: megabytes of one item would hold
    // the window up.
    qsizetype tooLong = 0;
    m_symbolsRestored = step(190, [&] {
        pieces.removeIf([](const QString& p) { return p.isEmpty(); });
        tooLong = pieces.removeIf([](const QString& p) { return isTooLongForASymbol(p); });
        symbolList().addMany(pieces);
    });
    if (tooLong > 0)
        message(QStringLiteral("%1 stored symbol(s) longer than %2 characters were left out.")
                    .arg(tooLong)
                    .arg(kMaxSymbolChars));
}

void MainWindow::SetAppTitle() { m_appTitle = AppTitleFromProductTitle(kProductTitle); }

void MainWindow::ApplySkin()
{
    const QFileInfo skin(m_platform.programFolder + QStringLiteral("/x/o.cjs"));
    if (!skin.isFile())
        return;
    // Without the skin component the window keeps the button-face colour
    // that goes with a skin.
    const QColor face = readablePalette(QApplication::palette()).color(QPalette::Button);
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(m_ui.displayOptionFrame),
                       static_cast<QWidget*>(m_ui.showNamesCheck)}) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, face);
        w->setPalette(pal);
        w->setAutoFillBackground(true);
    }
}

// ---------------------------------------------------------------------------
// Close request and unload

void MainWindow::closeRequested()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("Form_QueryUnload"));
    QString text;
    step(102, [&] {
        // Every item joined by ";" with none at the end (steps 102 to 108).
        const ListModel& list = symbolList();
        QStringList items;
        items.reserve(list.count());
        for (int i = 1; i <= list.count(); ++i)
            items.append(list.text(i));
        text = joinSymbols(items);
    });
    if (m_symbolsRestored)
        step(110, [&] { m_settings.write(kSettingsApplication, kSettingsSection, kKeyStockQuotes, text); });
    step(112, [&] { QCoreApplication::processEvents(); });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (m_closing || m_ended)
        return;
    m_closing = true;
    closeRequested();
    unloadWindow();
}

void MainWindow::unloadWindow()
{
    if (m_ended)
        return;
    m_ended = true;
    hide();
    emit ended();
    m_platform.dialogs->endAll(); // a box still up (a run's error, say) ends with the window
    if (m_platform.http)
        m_platform.http->abort();
    if (m_platform.endProgram)
        m_platform.endProgram();
}

} // namespace larkspire
