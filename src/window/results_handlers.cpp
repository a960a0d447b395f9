// The results list's own handlers: removing a row, clearing the list, and
// the display option.
#include "core/step_runner.h"
#include "core/stored_values.h"
#include "window/main_window.h"

namespace larkspire {

void MainWindow::removeSelectedResult() { removeSelectedItem(m_ui.resultsView); }

void MainWindow::resultsListKeyDown(int keyCode, int /*shift*/)
{
    if (keyCode == 46) // Delete: as a double click
        removeSelectedItem(m_ui.resultsView);
}

void MainWindow::tickAllRows() { resultsList().setAllChecked(true); }

bool MainWindow::someRowTicked()
{
    const ListModel& list = resultsList();
    for (int i = 1; i <= list.count(); ++i)
        if (list.checked(i))
            return true;
    message(QStringLiteral("No row of the results is ticked, so there is nothing to save or copy.\r\rTick the rows "
                           "to keep, or press Ctrl+A in the results to tick them all."));
    return false;
}

void MainWindow::untickAllRows() { resultsList().setAllChecked(false); }

void MainWindow::clearResults()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    step(100, [&] { resultsList().clear(); });
}


// ---------------------------------------------------------------------------
// Display option

void MainWindow::onShowNamesToggled()
{
    if (m_restoringOption) {
        updateNameHeader();
        return;
    }
    try {
        showNamesClicked();
    } catch (...) {
        // A failed write must not go unnoticed: the option would not come
        // back at the next start.
        StepRunner(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("Check5_Click"))
            .report(100, describeCurrentException());
    }
}

void MainWindow::updateNameHeader()
{
    if (resultsList().columnTotal() >= 1)
        resultsList().setHeaderText(1, m_ui.showNamesCheck->isChecked() ? QStringLiteral("Stock Name")
                                                                         : QStringLiteral("Stock Symbol"));
}

void MainWindow::showNamesClicked()
{
    const bool ticked = m_ui.showNamesCheck->isChecked();
    // The header follows the box even when the setting cannot be written.
    struct HeaderUpdate {
        MainWindow* w;
        ~HeaderUpdate() { w->updateNameHeader(); }
    } header{this};
    m_settings.write(kSettingsApplication, kSettingsSection, kKeyShowFullnames,
                     ticked ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace larkspire
