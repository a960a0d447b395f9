#pragma once
// The spreadsheet the results go to. An application is created hidden, gets
// a workbook whose cells are set one by one as texts, has its columns fitted
// and is then shown to the user. Ours fills the workbook in memory and, when
// shown, writes it as a new .xlsx file and opens that in the user's own
// spreadsheet program.
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

namespace larkspire {

class SpreadsheetInstance {
public:
    virtual ~SpreadsheetInstance() = default;
    virtual void addWorkbook() = 0;
    // Row and column from 1; the text is stored as text, never as a formula.
    virtual void setCell(int row, int column, const QString& text) = 0;
    virtual void autofitColumns() = 0;
    virtual void makeVisible() = 0;
};

class SpreadsheetApplication {
public:
    virtual ~SpreadsheetApplication() = default;
    // Throws a Failure when no spreadsheet program is there.
    virtual std::unique_ptr<SpreadsheetInstance> create() = 0;
};

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

class XlsxSpreadsheetApplication final : public SpreadsheetApplication {
public:
    struct Services {
        // Whether a program that opens .xlsx files is there.
        std::function<bool()> installed;
        // Opens a file in the user's program for it; false when that failed.
        std::function<bool(const QUrl&)> open;
        // Where new workbooks are written.
        QString folder;
    };
    explicit XlsxSpreadsheetApplication(Services services) : m_services(std::move(services)) {}
    std::unique_ptr<SpreadsheetInstance> create() override;

private:
    Services m_services;
};

// Whether a spreadsheet program is there: a known one on PATH, or a desktop
// default application for .xlsx files (asked of xdg-mime, bounded in time).
bool spreadsheetProgramInstalled();

} // namespace larkspire
