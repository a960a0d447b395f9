#pragma once
// Our spreadsheet application: the workbook is filled in memory and, when
// shown, written as a new .xlsx file that opens in the user's own program.
#include "platform/spreadsheet.h"

#include <QUrl>

#include <functional>

namespace larkspire {

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
