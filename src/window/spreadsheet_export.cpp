// "Save Results As Excel File": the ticked rows into a new workbook that is
// then shown in the user's spreadsheet program.
#include "core/step_runner.h"
#include "platform/spreadsheet.h"
#include "results/result_table.h"
#include "window/main_window.h"

namespace larkspire {

bool MainWindow::SaveResultsAsExcelFileIsExcelInstalled()
{
    // Fails silently: the message is the only sign.
    try {
        if (!m_platform.spreadsheet)
            throw Failure(QStringLiteral("ActiveX component can't create object"), 429);
        auto probe = m_platform.spreadsheet->create();
        probe.reset();
        return true;
    } catch (const Abandoned&) {
        throw;
    } catch (...) {
        message(QStringLiteral("Excel is not installed on this computer. You need to have it installed to use "
                               "this software without error."));
        return false;
    }
}

void MainWindow::saveResultsAsWorkbook()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton13_Click"));
    runHandler([&] {
        bool installed = false;
        step(100, [&] { installed = SaveResultsAsExcelFileIsExcelInstalled(); });
        if (!installed) {
            step(178, [&] {
                message(QStringLiteral("Excel is not installed on this computer. You need to have it installed to "
                                       "use this feature."));
            });
            return;
        }
        const ListModel& list = resultsList();
        if (list.count() == 0 || !someRowTicked()) // step 108; a sheet of headers alone is no use
            return;
        step(110, [&] { SetMousePointer(kPointerHourglass); });
        struct Idle {
            MainWindow* w;
            ~Idle()
            {
                if (!w->hasEnded())
                    w->SetMousePointer(kPointerDefault); // step 176, whatever happened before
            }
        } idle{this};

        std::unique_ptr<SpreadsheetInstance> sheet;
        // Without the application nothing of what follows can work: one
        // report, not one for every cell.
        if (!step(112, [&] { sheet = m_platform.spreadsheet->create(); }))
            return;
        if (!step(114, [&] { sheet->addWorkbook(); }))
            return;
        const int columns = list.columnTotal();
        for (int c = 1; c <= columns; ++c)
            step(116, [&] {
                yieldEvents();
                sheet->setCell(1, c, list.headerText(c));
            });
        int sheetRow = 2; // step 138
        const int rows = list.count();
        for (int r = 1; r <= rows; ++r) {
            step(140, [&] {
                yieldEvents();
                if (r > list.count())
                    return;
                if (list.checked(r)) {
                    for (int c = 1; c <= columns; ++c) {
                        yieldEvents();
                        if (r > list.count())
                            return;
                        // Every value under its own header: a figure that is a
                        // number as a number cell shown as the window shows it,
                        // any other as text with "=" taken out of it.
                        Cell cell = c == 1 ? Cell::ofText(list.text(r)) : list.subItemCell(r, c - 1);
                        cell.figure = c > 1;
                        const SheetValue value = sheetValueOf(cell);
                        if (value.number)
                            sheet->setNumber(sheetRow, c, *value.number, value.format, value.text);
                        else if (!value.text.isEmpty())
                            sheet->setCell(sheetRow, c, value.text);
                    }
                }
            });
            ++sheetRow;
        }
        step(172, [&] { sheet->autofitColumns(); });
        step(174, [&] { sheet->makeVisible(); });
    });
}

} // namespace larkspire
