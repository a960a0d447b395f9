// "Copy Results To Clipboard": the ticked rows as aligned, TAB-separated text.
#include "core/step_runner.h"
#include "results/column_layout.h"
#include "window/main_window.h"

namespace larkspire {

void MainWindow::copyResultsToClipboard()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton5_Click"));
    runHandler([&] {
        if (!someRowTicked()) // the clipboard keeps what it holds
            return;
        step(106, [&] { CopyListviewToClipboard(m_ui.resultsView); });
        step(108, [&] {
            message(QStringLiteral("Results have been copied to the clipboard.\r\rClick a text area where you "
                                   "normally type and press Ctrl+V to paste the clipboard."));
        });
    });
}

void MainWindow::CopyListviewToClipboard(ListView* view)
{
    const ListModel& list = view->items();
    const int rows = list.count();
    if (rows == 0)
        return; // the clipboard is not touched
    const int columns = list.columnTotal();
    auto cell = [&](int i, int k) { return k == 1 ? list.text(i) : list.subItem(i, k - 1); };

    // Widths over the cells of every row, ticked or not; headers play no part.
    std::vector<qsizetype> widths;
    for (int k = 1; k <= columns; ++k) {
        qsizetype width = 0;
        for (int i = 1; i <= rows && i <= list.count(); ++i) {
            yieldEvents();
            if (i <= list.count()) // rows removed while events ran are passed over
                width = std::max(width, cell(i, k).size());
        }
        widths.push_back(width);
    }

    QString text;
    for (int i = 1; i <= rows; ++i) {
        yieldEvents();
        if (i > list.count())
            break;
        if (!list.checked(i))
            continue;
        QString line;
        for (int k = 1; k <= columns && i <= list.count(); ++k) {
            yieldEvents();
            if (i <= list.count())
                appendPaddedCell(line, cell(i, k), widths[size_t(k - 1)]);
        }
        finishClipboardLine(line);
        text += line;
    }
    ClearClipboard();
    SetClipboardText(text);
}

void MainWindow::ClearClipboard()
{
    if (!m_platform.clipboard)
        return;
    for (int attempt = 0; attempt < 1000; ++attempt)
        if (m_platform.clipboard->tryClear())
            return;
}

void MainWindow::SetClipboardText(const QString& text)
{
    if (!m_platform.clipboard)
        return;
    for (int attempt = 0; attempt < 1000; ++attempt)
        if (m_platform.clipboard->trySetText(text))
            return;
}

} // namespace larkspire
