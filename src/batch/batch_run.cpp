#include "batch/batch_run.h"

#include "batch/output_file.h"
#include "core/common_routines.h"
#include "core/file_kinds.h"
#include "core/plain_text.h"
#include "core/failure.h"
#include "core/settings_store.h"
#include "core/step_runner.h"
#include "core/stored_values.h"
#include "quotes/number_format.h"
#include "quotes/quote_page.h"
#include "quotes/quote_reading.h"
#include "quotes/quote_url.h"
#include "results/result_table.h"
#include "symbols/symbol_file.h"
#include "symbols/symbol_rules.h"


namespace larkspire {

namespace {

void say(FILE* to, const QString& line)
{
    // Nothing from a page, a server or an argument may steer the terminal.
    const QByteArray bytes = (withoutControlCharacters(line) + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

// The symbols as given: the arguments, then each file; with neither, the
// stored list. Lines and symbols too long to be a symbol are left out and
// counted on `err`; so are the reasons a stored list could not be read.
QStringList symbolsToFetch(const CommandLine& cl, const BatchServices& services)
{
    QStringList symbols = cl.symbols;
    for (const QString& file : cl.files) {
        const qsizetype leftOut = readSymbolFile(file, [&](const QStringList& batch) { symbols += batch; });
        if (leftOut > 0)
            say(services.err, QStringLiteral("larkspire: %1 line(s) of %2 longer than %3 characters were left out")
                                  .arg(leftOut)
                                  .arg(file)
                                  .arg(kMaxSymbolChars));
    }
    if (cl.symbols.isEmpty() && cl.files.isEmpty()) {
        try {
            const QString stored = SettingsStore(services.settingsFolder)
                                       .read(kSettingsApplication, kSettingsSection, kKeyStockQuotes, QString());
            if (!stored.isEmpty())
                symbols = splitStoredSymbols(stored);
        } catch (const Failure& f) {
            say(services.err, QStringLiteral("larkspire: ") + f.description());
        }
    }
    const qsizetype tooLong = symbols.removeIf([](const QString& s) { return isTooLongForASymbol(s); });
    if (tooLong > 0)
        say(services.err, QStringLiteral("larkspire: %1 symbol(s) longer than %2 characters were left out")
                              .arg(tooLong)
                              .arg(kMaxSymbolChars));
    symbols.removeIf([](const QString& s) { return !isFetchable(s); });
    return symbols;
}

} // namespace

int runBatch(const CommandLine& cl, const BatchServices& services)
{
    for (const QString& file : cl.files) {
        const FileKind kind = fileKind(file);
        if (kind != FileKind::Regular) {
            say(services.err, QStringLiteral("larkspire: ") +
                                  (kind == FileKind::Missing ? QStringLiteral("no such symbol file: ")
                                                             : QStringLiteral("not a regular file: ")) +
                                  file);
            return 2;
        }
    }
    QStringList symbols;
    try {
        symbols = symbolsToFetch(cl, services);
    } catch (const Failure& f) {
        say(services.err, QStringLiteral("larkspire: ") + f.description());
        return 1;
    }
    if (symbols.isEmpty()) {
        say(services.err, QStringLiteral("larkspire: no symbols to fetch"));
        return 2;
    }

    const NumberFormats formats;
    ResultTable table;
    table.headers = resultHeaders(cl.names);
    bool allRows = true;
    services.http->newRun();
    for (qsizetype i = 0; i < symbols.size(); ++i) {
        const QString& given = symbols[i];
        const QString symbol = given.toUpper();
        if (services.progress)
            say(services.err, QStringLiteral("[%1/%2] %3").arg(i + 1).arg(symbols.size()).arg(given));
        QList<QUrl> ahead;
        for (qsizetype k = i; k < symbols.size() && ahead.size() < services.http->aheadLimit(); ++k)
            ahead << quoteUrl(services.quoteHost, symbols[k].toUpper());
        services.http->fetchAhead(ahead);
        const HttpResult result = services.http->get(quoteUrl(services.quoteHost, symbol));
        if (!result.ok) {
            say(services.err, given + QStringLiteral(": ") + result.error);
            allRows = false;
            continue;
        }
        const QuotePage page(CleanQuotePage(result.body));
        const QuoteReading reading = ReadQuotePage(page, symbol);
        if (!reading.title.TitleFound || (cl.names && !reading.title.Name)) {
            say(services.err, given + QStringLiteral(": the page holds no quote for this symbol"));
            allRows = false;
            continue;
        }
        QStringList row{cl.names ? *reading.title.Name : given};
        for (int c = 1; c <= 8; ++c)
            row << QString();
        for (const QuoteCell& cell : QuoteCellTable) {
            try {
                if (const auto value = QuoteCellValue(reading.figures, cell, formats))
                    row[cell.subItem] = *value;
            } catch (...) {
                say(services.err, given + QStringLiteral(": ") + describeCurrentException());
                allRows = false;
            }
        }
        table.rows.push_back(row);
    }
    services.http->fetchAhead({});
    if (table.rows.empty()) {
        // An outage must not replace yesterday's file with a bare header.
        say(services.err, QStringLiteral("larkspire: no row came; nothing was written"));
        return 1;
    }

    try {
        const QString output = cl.output.isEmpty() ? QStringLiteral("-") : cl.output;
        if (cl.format == BatchFormat::Xlsx) {
            writeWorkbookOutput(output, sheetOf(table), services.out);
        } else {
            writeOutput(output,
                        cl.format == BatchFormat::Tsv   ? tabSeparatedText(table)
                        : cl.format == BatchFormat::Csv ? commaSeparatedText(table)
                                                        : alignedText(table),
                        services.out);
        }
    } catch (const Failure& f) {
        say(services.err, QStringLiteral("larkspire: ") + f.description());
        return 1;
    }
    return allRows ? 0 : 1;
}

} // namespace larkspire
