#pragma once
// The cells of one worksheet and the .xlsx file they are written to.
#include <QString>

#include <vector>

namespace larkspire {

// A sheet's cells in memory, with the widths that fitting gives them.
class SheetCells final {
public:
    void set(int row, int column, const QString& text);
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    const std::vector<QString>& row(int row) const { return m_rows[static_cast<size_t>(row - 1)]; }
    void fitColumns();
    // The fitted width of a column in characters, or 0 when never fitted.
    double width(int column) const;
    int columnCount() const { return m_columns; }

private:
    std::vector<std::vector<QString>> m_rows;
    std::vector<double> m_widths;
    int m_columns = 0;
};

// Writes the cells as an .xlsx workbook with one sheet; throws a Failure.
void writeXlsx(const SheetCells& cells, const QString& path);

} // namespace larkspire
