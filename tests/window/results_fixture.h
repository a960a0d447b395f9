#pragma once
#include "quotes/quote.h"
#include "support/window_fixture.h"

namespace larkspire::test {

// A window whose results list is filled directly, rows ticked as the user would.
class ResultsFixture : public WindowFixture {
protected:
    void SetUp() override { start(); }
    // Adds a row of up to nine cells; ticked rows are ticked through the view.
    void addRow(const QStringList& cells, bool ticked)
    {
        ListModel& list = window->resultsList();
        list.add(cells.value(0));
        const int i = list.count();
        // Each figure with the number it shows, as a run decides it.
        for (int k = 1; k < cells.size() && k < 9; ++k) {
            list.setSubItemCell(i, k, Cell{cells[k], figureNumber(figureAt(k).display, cells[k], QString()), std::nullopt,
                                           false, true});
        }
        if (ticked)
            list.setData(list.index(i - 1, 0), Qt::Checked, Qt::CheckStateRole);
    }
};

} // namespace larkspire::test
