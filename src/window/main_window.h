#pragma once
// The one window of the program (form name Form1): its controls, start-up
// and shut-down, the pointer that doubles as the busy state, and the event
// handlers, named for what they do. Each handler is a few numbered steps;
// the work is done by the subsystem code it calls. The form and routine
// names that error reports print are given where each handler's steps run.
#include "core/settings_store.h"
#include "platform/platform.h"
#include "window/input_hold.h"
#include "window/list_view.h"
#include "window/progress_bar.h"

#include <QCheckBox>
#include <QCursor>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <optional>

namespace larkspire {

class StepRunner;

// The window's colours: its white surface with dark text, readable whatever
// the desktop's theme (light or dark) gives as `system`.
QPalette readablePalette(const QPalette& system);

// The pointer values: the default arrow, the hourglass (busy) and the
// window's own hand pointer.
enum : int { kPointerDefault = 0, kPointerHourglass = 11, kPointerCustom = 99 };

class MainWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)
public:
    // Creates the window and runs its load sequence; it is not yet shown.
    explicit MainWindow(Platform platform, QWidget* parent = nullptr);
    ~MainWindow() override;

    struct Controls {
        ListView* symbolView = nullptr;
        ListView* resultsView = nullptr;
        QPushButton* addSymbolButton = nullptr;
        QPushButton* loadFileButton = nullptr;
        QPushButton* clearListButton = nullptr;
        QPushButton* startButton = nullptr;
        QPushButton* saveTextButton = nullptr;
        QPushButton* saveWorkbookButton = nullptr;
        QPushButton* clearResultsButton = nullptr;
        QGroupBox* displayOptionFrame = nullptr;
        QCheckBox* showNamesCheck = nullptr;
        QPushButton* copyButton = nullptr;
        QPushButton* sampleButton = nullptr;
        ProgressBar* progressBar = nullptr;
    };
    const Controls& controls() const { return m_ui; }
    ListModel& symbolList() { return m_ui.symbolView->items(); }
    ListModel& resultsList() { return m_ui.resultsView->items(); }

    int MousePointer() const { return m_mousePointer; }
    void SetMousePointer(int value);
    bool isBusy() const { return m_mousePointer == kPointerHourglass; }
    // No run of the list is going (whatever the pointer shows): a refresh
    // may start one.
    bool isIdle() const { return !m_runActive; }
    // The title of every message box and prompt that gives none of its own.
    QString appTitle() const { return m_appTitle; }
    bool hasEnded() const { return m_ended; }
    // Whether the hand pointer was read from HAND-M.CUR.
    bool hasHandCursorFile() const { return m_handCursor.has_value(); }

    // Lets pending window events run once; throws Abandoned when the window
    // went away meanwhile, so that the running operation stops at once.
    void pumpEvents();
    // The same, with the window's repaint left for later: the operation
    // starts waiting for something right after, and the repaint runs while
    // it waits instead of before.
    void pumpEventsRepaintLater();

    // Load sequence, close request and unload.
    void loadWindow();
    void closeRequested();
    void unloadWindow();

    // Common routines that work on the window.
    void SetAppTitle();
    void ApplySkin();

    // Symbol list.
    void addSymbol();
    void symbolListKeyDown(int keyCode, int shift);
    void removeSelectedSymbol();
    void clearSymbolList();
    void loadSampleSymbols();
    void loadSymbolFiles();
    void LoadListviewFromFile(ListView* list, const QString& path);
    // Brings back what the last Clear List, Remove or Delete took out of
    // the symbol list, in its place (several steps back, this session).
    void undoSymbolRemoval();

    // Retrieval run and results list.
    void retrieveQuotes();
    void removeSelectedResult();
    void resultsListKeyDown(int keyCode, int shift);
    void tickAllRows();
    void untickAllRows();
    void clearResults();

    // The three ways out.
    void saveResultsAsText();
    void SaveListviewProperlySpaced(ListView* view, const QString& fileName, ProgressBar* bar);
    void copyResultsToClipboard();
    void CopyListviewToClipboard(ListView* view);
    void ClearClipboard();
    void SetClipboardText(const QString& text);
    void saveResultsAsWorkbook();
    bool SaveResultsAsExcelFileIsExcelInstalled();

    // Lets window events run during a long export, but at most about every
    // 10 ms: each pump costs time even when nothing is waiting.
    void yieldEvents();

    // Display option.
    void showNamesClicked();

signals:
    // The window has gone: long operations and waits end at once.
    void ended();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void createControls();
    void setUpColumns(StepRunner& step);
    void restoreDisplayOption(StepRunner& step);
    void restoreSymbols(StepRunner& step);
    void onShowNamesToggled();
    void updateNameHeader();
    void connectHandlers();
    // Keyboard commands, the results list's menu, and what a screen reader says.
    void createKeyboardCommands();
    void describeForAccessibility();
    void removeSelectedItem(ListView* view);
    using RemovedSymbols = std::vector<std::pair<int, QString>>; // place and text
    void rememberRemoved(RemovedSymbols removed);
    void pointerOverButton();
    void pointerOverSurface();
    void message(const QString& text);
    // Whether a row of the results is ticked; if none is, a box says how to tick them.
    bool someRowTicked();
    // Runs a handler body; an abandoned operation ends it quietly.
    void runHandler(const std::function<void()>& body);
    SettingsStore& settings() { return m_settings; }

    Platform m_platform;
    SettingsStore m_settings;
    Controls m_ui;
    int m_mousePointer = kPointerDefault;
    std::optional<QCursor> m_handCursor;
    QString m_appTitle;
    bool m_ended = false;
    bool m_closing = false;
    class RunSteps; // the Start handler's side of a run of the list
    bool m_runActive = false;
    bool m_stopAsked = false; // Escape during a run: it ends after the symbol being read
    QElapsedTimer m_lastYield;
    // Clicks and keys that came while a page was fetched, for the next pump.
    std::vector<HeldInput> m_heldInput;
    // What removals took out of the symbol list, the latest last.
    std::vector<RemovedSymbols> m_symbolUndo;
    // The load sequence is setting the display option from the store.
    bool m_restoringOption = false;
    // The stored symbol list was read at start-up, so it may be written over.
    bool m_symbolsRestored = false;
};

} // namespace larkspire
