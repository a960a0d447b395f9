#include "batch/batch_run.h"

#include "batch/append_output.h"
#include "batch/output_file.h"
#include "core/common_routines.h"
#include "core/file_kinds.h"
#include "core/plain_text.h"
#include "core/failure.h"
#include "core/settings_store.h"
#include "core/step_runner.h"
#include "core/stored_values.h"
#include "retrieval/quote_run.h"
#include "results/quote_row.h"
#include "results/records.h"
#include "results/result_table.h"
#include "symbols/symbol_file.h"
#include "symbols/symbol_rules.h"

#include <QDateTime>
#include <QFile>

#include <sys/stat.h>


namespace larkspire {

namespace {

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
            const QString stored = readStoredSymbols(SettingsStore(services.settingsFolder));
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

// The --file that --output names, through links or another name of the same
// file; nothing when none.
std::optional<QString> outputIsASymbolFile(const CommandLine& cl)
{
    struct stat out {};
    if (cl.output.isEmpty() || cl.output == QStringLiteral("-") ||
        ::stat(QFile::encodeName(cl.output).constData(), &out) != 0)
        return std::nullopt;
    for (const QString& file : cl.files) {
        struct stat in {};
        if (::stat(QFile::encodeName(file).constData(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
            return file;
    }
    return std::nullopt;
}

// This run's lines after its header, each with its line end.
QList<QByteArray> linesAfterHeader(const QByteArray& bytes, bool withHeader)
{
    QList<QByteArray> lines;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', at);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        lines << bytes.mid(at, next - at);
        at = next;
    }
    if (withHeader && !lines.isEmpty())
        lines.removeFirst();
    return lines;
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
    if (const auto list = outputIsASymbolFile(cl)) {
        say(services.err, QStringLiteral("larkspire: --output names the symbol file ") + *list +
                              QStringLiteral("; it would be replaced by the table (nothing was fetched)"));
        return 2;
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

    const QString output = cl.output.isEmpty() ? QStringLiteral("-") : cl.output;
    const bool json = cl.format == BatchFormat::Json || cl.format == BatchFormat::Jsonl;
    const QStringList names = !cl.fields.isEmpty() ? cl.fields : json ? quoteFieldNames() : QStringList();
    ResultTable table;
    table.headers = names.isEmpty() ? windowHeaders(cl.names) : names;
    // --append: a file these rows do not belong after is refused before
    // anything is fetched, and checked again when they are added.
    const bool appendToFile =
        cl.append && output != QStringLiteral("-") && fileKind(finalLinkTarget(output)) != FileKind::Special;
    AppendTarget appendTarget{output, cl.format, table.headers, QByteArray()};
    if (appendToFile) {
        const ResultTable headerOnly{table.headers, {}};
        if (cl.format != BatchFormat::Jsonl)
            appendTarget.header = cl.format == BatchFormat::Tsv ? tabSeparatedText(headerOnly) : commaSeparatedText(headerOnly);
        try {
            checkAppendTarget(appendTarget);
        } catch (const Failure& f) {
            say(services.err, QStringLiteral("larkspire: ") + f.description());
            return 2;
        }
    }

    std::vector<JsonEntry> entries;
    bool allRows = true;
    QuoteRun run(*services.http, services.quoteHost);
    for (qsizetype i = 0; i < symbols.size(); ++i) {
        const QString& given = symbols[i];
        if (services.progress)
            say(services.err, QStringLiteral("[%1/%2] %3").arg(i + 1).arg(symbols.size()).arg(given));
        const SymbolOutcome outcome = run.next(given, symbols.mid(i + 1, 4 * run.aheadLimit()));
        const QString& symbol = outcome.symbol;
        const Quote& quote = outcome.quote;
        std::optional<QString> error;
        if (!outcome.fetched()) {
            error = outcome.fetch.error;
        } else if (!outcome.holdsAQuote() || (cl.names && !quote.name && names.isEmpty())) {
            // A title alone is no quote: a row of empty figures would pass
            // for one in a price history.
            error = QStringLiteral("the page holds no quote for this symbol; 'larkspire --check ") + symbol +
                    QStringLiteral("' shows why");
        }
        if (error) {
            say(services.err, given + QStringLiteral(": ") + *error);
            allRows = false;
            entries.push_back(JsonEntry{symbol, error, {}});
            if (outcome.stop) {
                say(services.err, QStringLiteral("larkspire: ") + run.refusalMessage());
                break;
            }
            continue;
        }
        for (const QuoteFigure& figure : quote.figures)
            if (figure.failure) {
                say(services.err, given + QStringLiteral(": ") + figure.failure->description());
                allRows = false;
            }
        // The window's row, or the fields chosen.
        table.rows.push_back(names.isEmpty() ? windowRow(quote, cl.names ? *quote.name : given) : fieldRow(quote, names));
        entries.push_back(JsonEntry{symbol, std::nullopt, table.rows.back()});
    }
    run.finish();
    if (const auto unread = run.unreadMessage())
        say(services.err, QStringLiteral("larkspire: ") + *unread);
    if (table.rows.empty()) {
        // An outage must not replace yesterday's file with a bare header.
        say(services.err, QStringLiteral("larkspire: no row came; nothing was written"));
        return 1;
    }

    try {
        switch (cl.format) {
        case BatchFormat::Xlsx:
            writeWorkbookOutput(output, sheetOf(table), services.out);
            break;
        case BatchFormat::Json:
        case BatchFormat::Jsonl:
        case BatchFormat::Tsv:
        case BatchFormat::Csv: {
            const bool json = cl.format == BatchFormat::Json || cl.format == BatchFormat::Jsonl;
            const QByteArray bytes = json                             ? jsonRecords(names, entries, cl.format == BatchFormat::Jsonl)
                                     : cl.format == BatchFormat::Tsv ? tabSeparatedText(table)
                                                                     : commaSeparatedText(table);
            if (!appendToFile) {
                writeOutput(output, bytes, services.out);
                break;
            }
            if (const int left = appendLines(appendTarget, linesAfterHeader(bytes, !json)); left > 0)
                say(services.err, QStringLiteral("larkspire: %1 row(s) were in %2 already (same symbol and time) and "
                                                 "were not written again")
                                      .arg(left)
                                      .arg(output));
            break;
        }
        case BatchFormat::Text:
            writeOutput(output, alignedText(table), services.out);
            break;
        }
    } catch (const Failure& f) {
        say(services.err, QStringLiteral("larkspire: ") + f.description());
        return 1;
    }
    return allRows ? 0 : 1;
}

} // namespace larkspire
