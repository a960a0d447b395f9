#pragma once
// The services the main window reaches outside itself, handed to it at
// construction. main() builds the real ones; tests build scripted ones where
// a real one would block or leave the machine.
#include "platform/clipboard.h"
#include "platform/dialogs.h"
#include "net/http_client.h"
#include "platform/spreadsheet.h"
#include "quotes/quote_url.h"

#include <QString>

#include <functional>

namespace larkspire {

struct Platform {
    Dialogs* dialogs = nullptr;
    // The folder below which the per-user settings store keeps its files.
    QString settingsFolder;
    // The folder that holds the program (for HAND-M.CUR and the skin file).
    QString programFolder;
    // Fetches the quote pages; the host they come from.
    HttpClient* http = nullptr;
    QString quoteHost = kQuoteHost;
    // The system clipboard and the spreadsheet program.
    Clipboard* clipboard = nullptr;
    SpreadsheetApplication* spreadsheet = nullptr;
    // The start-up online check; does nothing when empty.
    std::function<void(const QString& appTitle)> onlineCheck;
    // Ends the program once the window has closed. The real one leaves the
    // event loop; tests record the call.
    std::function<void()> endProgram;
};

} // namespace larkspire
