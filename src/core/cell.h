#pragma once
// One value of a row of results as every writer needs it, decided once where
// the value is read: the text shown, and for a number its digits and the
// number format under which a spreadsheet shows exactly that text; for a
// time, its moment. Writers ask the cell; none guesses a number from a text.
#include <QString>

#include <optional>
#include <vector>

namespace larkspire {

struct CellNumber {
    QString digits; // a JSON number: the value, exactly
    QString format; // a spreadsheet number format showing the cell's text; empty: a sheet keeps it as text
};

struct Cell {
    QString text;                     // what is shown; empty when there is nothing
    std::optional<CellNumber> number; // a number
    std::optional<qint64> time;       // a moment (UTC seconds): a date-time cell in a workbook
    bool missing = false;             // the page did not give it: null in JSON
    bool figure = false;              // a figure of the window's row: a workbook takes "=" out of its text

    static Cell ofText(const std::optional<QString>& text)
    {
        Cell c;
        c.text = text.value_or(QString());
        c.missing = !text;
        return c;
    }
};

using CellRow = std::vector<Cell>;

} // namespace larkspire
