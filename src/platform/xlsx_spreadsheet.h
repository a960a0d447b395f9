#pragma once
// Our spreadsheet application: the workbook is filled in memory and, when
// shown, written as a new .xlsx file that opens in the user's own program.
#include "platform/spreadsheet.h"

#include <QDateTime>
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

// The start of every workbook's name the window writes ("Larkspire results
// 3fA9xQ.xlsx"), in the folder for temporary files.
inline const QString kWorkbookPrefix = QStringLiteral("Larkspire results ");

// Opens a workbook: with the desktop's default application for .xlsx files
// when there is one, else with a spreadsheet program on PATH; false when no
// program takes it.
bool openInSpreadsheetProgram(const QUrl& file, const std::function<bool(const QUrl&)>& openWithDesktop);

// Removes the program's own workbooks (its naming pattern only, plain files)
// in `folder` that are older than a day; returns how many went.
int removeOldWorkbooks(const QString& folder, const QDateTime& now);

// Whether a spreadsheet program is there: a known one on PATH, or a desktop
// default application for .xlsx files (asked of xdg-mime, bounded in time).
bool spreadsheetProgramInstalled();

} // namespace larkspire
