#pragma once
// The spreadsheet the results go to. An application is created hidden, gets
// a workbook whose cells are set one by one as texts or numbers, has its columns fitted
// and is then shown to the user.
#include <QString>

#include <memory>

namespace larkspire {

class SpreadsheetInstance {
public:
    virtual ~SpreadsheetInstance() = default;
    virtual void addWorkbook() = 0;
    // Row and column from 1; the text is stored as text, never as a formula.
    virtual void setCell(int row, int column, const QString& text) = 0;
    // A number cell shown under a number format (`shown` is what that
    // shows, for fitting its column).
    virtual void setNumber(int row, int column, double value, const QString& format, const QString& shown)
    {
        (void)value;
        (void)format;
        setCell(row, column, shown);
    }
    virtual void autofitColumns() = 0;
    virtual void makeVisible() = 0;
};

class SpreadsheetApplication {
public:
    virtual ~SpreadsheetApplication() = default;
    // Throws a Failure when no spreadsheet program is there.
    virtual std::unique_ptr<SpreadsheetInstance> create() = 0;
};

} // namespace larkspire
