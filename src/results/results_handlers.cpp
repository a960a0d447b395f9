// The results list's own handlers: removing a row and clearing the list.
#include "main_window.h"
#include "step_runner.h"

namespace larkspire {

void MainWindow::ListView2_DblClick() { removeSelectedItem(m_ui.ListView2); }

void MainWindow::PushButton2_Click()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    step(100, [&] { resultsList().clear(); });
}

} // namespace larkspire
