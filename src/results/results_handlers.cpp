// The results list's own handlers: removing a row and clearing the list.
#include "main_window.h"
#include "step_runner.h"

namespace larkspire {

void MainWindow::ListView2_DblClick()
{
    // Never fails: nothing happens while busy, on an empty list or without
    // a selected row.
    try {
        if (isBusy() || resultsList().count() == 0)
            return;
        const int selected = m_ui.ListView2->selectedIndex();
        if (selected > 0)
            resultsList().remove(selected);
    } catch (...) {
    }
}

void MainWindow::PushButton2_Click()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    step(100, [&] { resultsList().clear(); });
}

} // namespace larkspire
