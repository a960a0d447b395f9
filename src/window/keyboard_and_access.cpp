// Keyboard commands for the window's main actions (shown in each button's
// tooltip), ticking every row of the results at once, and the names and
// descriptions a screen reader says for every control.
#include "window/main_window.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QKeySequence>

namespace larkspire {

void MainWindow::createKeyboardCommands()
{
    // A command is a click on its button: when the window is busy the
    // button's handler does nothing, as for a click.
    auto command = [this](QWidget* owner, const QKeySequence& keys, const QString& text) {
        auto* action = new QAction(text, owner);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        owner->addAction(action);
        return action;
    };
    const std::pair<QPushButton*, QKeySequence> buttons[] = {
        {m_ui.addSymbolButton, QKeySequence(Qt::Key_Insert)},
        {m_ui.loadFileButton, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {m_ui.startButton, QKeySequence(Qt::Key_F5)},
        {m_ui.saveTextButton, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {m_ui.saveWorkbookButton, QKeySequence(Qt::CTRL | Qt::Key_E)},
        {m_ui.copyButton, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)},
    };
    for (const auto& [button, keys] : buttons) {
        QPushButton* b = button;
        QAction* action = command(this, keys, b->text());
        connect(action, &QAction::triggered, b, [b] { b->click(); });
        // Each needs an idle window: pressed or clicked during a fetch it
        // is dropped, never left to run once the fetch (or the run) is over.
        setInputDuringFetch(action, DuringFetch::Drop);
        setInputDuringFetch(b, DuringFetch::Drop);
        b->setToolTip(b->text() + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) +
                      QLatin1Char(')'));
    }
    // A close is never held back: it ends a fetch or a wait at once.
    QAction* close = command(this, QKeySequence(Qt::CTRL | Qt::Key_Q), QStringLiteral("Close"));
    close->setObjectName(QStringLiteral("closeCommand"));
    setInputDuringFetch(close, DuringFetch::Pass);
    connect(close, &QAction::triggered, this, &QWidget::close);

    // Escape stops a run after the symbol being read; it is not held back,
    // and it does nothing while no run is going.
    QAction* stop = command(this, QKeySequence(Qt::Key_Escape), QStringLiteral("Stop Retrieving Quotes"));
    stop->setObjectName(QStringLiteral("stopCommand"));
    setInputDuringFetch(stop, DuringFetch::Pass);
    connect(stop, &QAction::triggered, this, [this] { m_stopAsked = m_runActive; });

    // The symbol list's own menu: undo, remove, clear.
    QAction* undo = command(this, QKeySequence(QKeySequence::Undo), QStringLiteral("Undo"));
    connect(undo, &QAction::triggered, this, &MainWindow::undoSymbolRemoval);
    m_ui.symbolView->addAction(undo);
    auto menuEntry = [this](QWidget* view, const QString& text, auto handler) {
        auto* action = new QAction(text, view);
        view->addAction(action);
        connect(action, &QAction::triggered, this, handler);
    };
    menuEntry(m_ui.symbolView, QStringLiteral("Remove\tDelete"), &MainWindow::removeSelectedSymbol);
    menuEntry(m_ui.symbolView, QStringLiteral("Clear List"), &MainWindow::clearSymbolList);
    m_ui.symbolView->setContextMenuPolicy(Qt::ActionsContextMenu);

    // The results list's own menu; its commands work from anywhere in the window.
    connect(command(m_ui.resultsView, QKeySequence(Qt::CTRL | Qt::Key_A), QStringLiteral("Tick All Rows")),
            &QAction::triggered, this, &MainWindow::tickAllRows);
    connect(command(m_ui.resultsView, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A),
                    QStringLiteral("Untick All Rows")),
            &QAction::triggered, this, &MainWindow::untickAllRows);
    menuEntry(m_ui.resultsView, QStringLiteral("Copy\tCtrl+Shift+C"), &MainWindow::copyResultsToClipboard);
    menuEntry(m_ui.resultsView, QStringLiteral("Remove Row\tDelete"), &MainWindow::removeSelectedResult);
    m_ui.resultsView->setContextMenuPolicy(Qt::ActionsContextMenu);
}

namespace {

// The window reports the role of a window (a plain widget at the top would
// report itself as a mere filler).
QAccessibleInterface* windowAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("larkspire::MainWindow") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

void MainWindow::describeForAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&windowAccessible);
        return true;
    }();
    (void)installed;
    struct Description {
        QWidget* widget;
        const char* name;
        const char* description;
    };
    const Description descriptions[] = {
        {m_ui.symbolView, "Stock symbols", "The symbols whose quotes are retrieved. Delete or a double click removes "
                                           "the selected symbol."},
        {m_ui.resultsView, "Results",
         "One row per symbol: name or symbol and eight figures. Ticked rows are saved or copied. Ctrl+A ticks every "
         "row, Ctrl+Shift+A unticks every row, Delete or a double click removes the selected row."},
        {m_ui.addSymbolButton, "Add Stock Symbol", "Asks for a symbol and adds it to the list."},
        {m_ui.loadFileButton, "Load Symbols From File", "Adds the symbols of one or more text files to the list."},
        {m_ui.clearListButton, "Clear List", "Removes every symbol from the list."},
        {m_ui.sampleButton, "Load Sample/Example Symbols", "Adds three example symbols to the list."},
        {m_ui.showNamesCheck, "Show full stock name in results instead of stock symbol",
         "The first column of the results holds company names when ticked."},
        {m_ui.startButton, "Start Retrieving Quotes", "Retrieves the quote of every symbol in the list."},
        {m_ui.saveTextButton, "Save Results As Text File", "Saves the ticked rows as a column-aligned text file."},
        {m_ui.saveWorkbookButton, "Save Results As Excel File", "Opens the ticked rows as a new spreadsheet."},
        {m_ui.copyButton, "Copy Results To Clipboard", "Copies the ticked rows as tab-separated text."},
        {m_ui.clearResultsButton, "Clear Results", "Removes every row from the results."},
        {m_ui.progressBar, "Progress", "How far the current work has come, and what it is doing."},
    };
    for (const Description& d : descriptions) {
        d.widget->setAccessibleName(QString::fromUtf8(d.name));
        d.widget->setAccessibleDescription(QString::fromUtf8(d.description));
    }
}

} // namespace larkspire
