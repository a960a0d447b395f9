#pragma once
// The command line's run: the quotes of a list of symbols fetched with no
// window, written as text, tsv, csv or a workbook. The same fetching and
// page reading as the window's; the stored settings are only read.
#include "batch/command_line.h"
#include "net/http_client.h"
#include "retrieval/quote_source.h"

#include <QString>

#include <cstdio>

namespace larkspire {

struct BatchServices {
    HttpClient* http = nullptr;
    QString quoteHost;
    QString settingsFolder; // where the stored list is read from
    FILE* out = stdout;
    FILE* err = stderr;
    bool progress = false;  // report each symbol on `err` (when it is a terminal)
    QString userAgent;      // the browser identification sent, when not the program's own
    QString tlsCiphers;     // the cipher suites offered, when not the program's own
    SourceChoice source = SourceChoice::Auto; // the quote list first, or pages alone
};

// Runs the command line; returns the exit status: 0 when every symbol gave
// a row, 1 when one did not or the output could not be written, 2 for a
// usage error found before anything is fetched.
int runBatch(const CommandLine& commandLine, const BatchServices& services);

} // namespace larkspire
