// The handlers that edit the symbol list: add, remove, clear, the sample set
// and loading symbol files.
#include "core/common_routines.h"
#include "core/step_runner.h"
#include "symbols/symbol_file.h"
#include "symbols/symbol_rules.h"
#include "window/main_window.h"

namespace larkspire {

void MainWindow::addSymbol()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton6_Click"));
    runHandler([&] {
        QString symbol;
        step(100, [&] { symbol = m_platform.dialogs->inputText(QStringLiteral("Enter stock symbol to add: "), m_appTitle); });
        if (symbol.isEmpty()) // step 102
            return;
        if (const auto problem = typedSymbolProblem(symbol)) {
            message(*problem);
            return;
        }
        step(104, [&] { symbolList().add(symbol); });
    });
}

void MainWindow::symbolListKeyDown(int keyCode, int /*shift*/)
{
    if (keyCode == 46)
        removeSelectedItem(m_ui.symbolView);
}

void MainWindow::removeSelectedSymbol() { removeSelectedItem(m_ui.symbolView); }

void MainWindow::clearSymbolList()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton1_Click"));
    step(100, [&] {
        if (isBusy())
            return;
        RemovedSymbols removed;
        removed.reserve(size_t(symbolList().count()));
        for (int i = 1; i <= symbolList().count(); ++i)
            removed.emplace_back(i, symbolList().text(i));
        rememberRemoved(std::move(removed));
        symbolList().clear();
    });
}

void MainWindow::loadSampleSymbols()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton7_Click"));
    step(100, [&] { symbolList().add(QStringLiteral("GOOG")); });
    step(102, [&] { symbolList().add(QStringLiteral("MSFT")); });
    step(104, [&] { symbolList().add(QStringLiteral("nhy.ol")); });
}

void MainWindow::loadSymbolFiles()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton3_Click"));
    runHandler([&] {
        // Steps 100 to 106 prepare the dialog: no file preselected, several
        // files allowed, the caption and the two filters.
        FileDialogRequest request;
        step(104, [&] { request.title = QStringLiteral("Load List(s) - Hold Ctrl to select multiple list files"); });
        step(106, [&] { request.filter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"); });
        QString fileName;
        step(108, [&] { fileName = m_platform.dialogs->openFileNames(request); });
        if (fileName.isEmpty()) // step 110
            return;
        QStringList parts;
        step(112, [&] { parts = fileName.split(QChar(u'\0')); });
        step(114, [&] { SetMousePointer(kPointerHourglass); });
        if (parts.size() == 1) { // step 116
            QString path;
            step(118, [&] { path = parts.at(0); });
            step(120, [&] { LoadListviewFromFile(m_ui.symbolView, path); });
        } else {
            for (qsizetype i = 1; i < parts.size(); ++i) {
                QString path;
                // A name from another folder than the first stands with its full path.
                step(130, [&] {
                    path = parts.at(i).startsWith(QLatin1Char('/')) ? parts.at(i)
                                                                    : parts.at(0) + QLatin1Char('/') + parts.at(i);
                });
                step(132, [&] { path = NormalizePath(path); });
                step(134, [&] { LoadListviewFromFile(m_ui.symbolView, path); });
            }
        }
        step(138, [&] { SetMousePointer(kPointerDefault); });
    });
    // However the handler ended, the window is no longer busy.
    if (!m_ended && isBusy())
        SetMousePointer(kPointerDefault);
}

void MainWindow::LoadListviewFromFile(ListView* list, const QString& path)
{
    if (!FileExists(path)) {
        message(QStringLiteral("File not found"));
        return;
    }
    const qsizetype leftOut =
        readSymbolFile(path, [list](const QStringList& symbols) { list->items().addMany(symbols); });
    if (leftOut > 0)
        message(QStringLiteral("%1 line(s) longer than %2 characters were left out: ")
                    .arg(leftOut)
                    .arg(kMaxSymbolChars) +
                path);
}

} // namespace larkspire
