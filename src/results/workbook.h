#pragma once
// The cells of one worksheet and the .xlsx file they are written to.
#include <QString>

#include <vector>

namespace larkspire {

// A sheet's cells in memory, with the widths that fitting gives them.
// One cell: a text, or a number shown under one of the sheet's number
// formats (`text` is then what the spreadsheet shows, for fitting the column).
struct SheetCell {
    QString text;
    double number = 0;
    int format = -1; // -1: a text cell
    bool isNumber() const { return format >= 0; }
    bool isEmpty() const { return !isNumber() && text.isEmpty(); }
};

class SheetCells final {
public:
    void set(int row, int column, const QString& text);
    void setNumber(int row, int column, double value, const QString& format, const QString& shown);
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    const std::vector<SheetCell>& row(int row) const { return m_rows[static_cast<size_t>(row - 1)]; }
    void fitColumns();
    // The fitted width of a column in characters, or 0 when never fitted.
    double width(int column) const;
    int columnCount() const { return m_columns; }
    // The number formats in use, each once; a number cell names one by its place.
    const std::vector<QString>& numberFormats() const { return m_formats; }

private:
    SheetCell& at(int row, int column);

    std::vector<std::vector<SheetCell>> m_rows;
    std::vector<QString> m_formats;
    std::vector<double> m_widths;
    int m_columns = 0;
};

// Writes the cells as an .xlsx workbook with one sheet; throws a Failure.
void writeXlsx(const SheetCells& cells, const QString& path);

} // namespace larkspire
