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

#include <cerrno>
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

namespace {

// What one run of the command line has to do with its rows.
struct BatchPlan {
    QString output;        // "-" for standard output
    QStringList names;     // the fields; empty: the window's columns
    ResultTable table;     // the rows that came, under their headers
    std::vector<JsonEntry> entries; // every symbol's row or failure, in order
    bool appendToFile = false;
    AppendTarget appendTarget;
};

// The usage errors found before anything is fetched; 0 when there is none.
int checkInputs(const CommandLine& cl, const BatchServices& services)
{
    for (const QString& file : cl.files) {
        const FileKind kind = fileKind(file);
        if (kind != FileKind::Regular) {
            struct stat st {};
            const bool loop = ::stat(QFile::encodeName(file).constData(), &st) != 0 && errno == ELOOP;
            say(services.err, QStringLiteral("larkspire: ") +
                                  (loop                         ? QStringLiteral("the symbol file is a loop of symbolic links: ")
                                   : kind == FileKind::Missing ? QStringLiteral("no such symbol file: ")
                                                               : QStringLiteral("not a regular file: ")) +
                                  file);
            return 2;
        }
    }
    if (descriptorNumberNamed(cl.output) && !openDescriptorNamed(cl.output)) {
        say(services.err, QStringLiteral("larkspire: --output ") + cl.output +
                              QStringLiteral(" names a descriptor that is not open (nothing was fetched)"));
        return 2;
    }
    if (const auto why = outputProblem(cl.output)) {
        say(services.err, QStringLiteral("larkspire: --output ") + cl.output + QStringLiteral(" cannot be written: ") +
                              *why + QStringLiteral(" (nothing was fetched)"));
        return 2;
    }
    if (const auto list = outputIsASymbolFile(cl)) {
        say(services.err, QStringLiteral("larkspire: --output names the symbol file ") + *list +
                              QStringLiteral("; it would be replaced by the table (nothing was fetched)"));
        return 2;
    }
    return 0;
}

BatchPlan planOf(const CommandLine& cl)
{
    BatchPlan plan;
    plan.output = cl.output.isEmpty() ? QStringLiteral("-") : cl.output;
    const bool json = cl.format == BatchFormat::Json || cl.format == BatchFormat::Jsonl;
    plan.names = !cl.fields.isEmpty() ? cl.fields : json ? quoteFieldNames() : QStringList();
    plan.table.headers = plan.names.isEmpty() ? windowHeaders(cl.names) : plan.names;
    plan.appendToFile = cl.append && plan.output != QStringLiteral("-") && !openDescriptorNamed(plan.output) &&
                        fileKind(finalLinkTarget(plan.output)) != FileKind::Special;
    plan.appendTarget = AppendTarget{plan.output, cl.format, plan.table.headers, QByteArray()};
    if (plan.appendToFile && cl.format != BatchFormat::Jsonl) {
        const ResultTable headerOnly{plan.table.headers, {}};
        plan.appendTarget.header =
            cl.format == BatchFormat::Tsv ? tabSeparatedText(headerOnly) : commaSeparatedText(headerOnly);
    }
    return plan;
}

// Fetches every symbol into the plan's rows; false when one gave no row or
// a figure of its could not be shown.
bool fetchRows(const CommandLine& cl, const BatchServices& services, const QStringList& symbols, BatchPlan& plan)
{
    bool allRows = true;
    QuoteRun run(*services.http, services.quoteHost, services.source);
    for (qsizetype i = 0; i < symbols.size(); ++i) {
        const QString& given = symbols[i];
        if (services.progress)
            say(services.err, QStringLiteral("[%1/%2] %3").arg(i + 1).arg(symbols.size()).arg(given));
        const SymbolOutcome outcome = run.next(given, symbols.mid(i + 1, run.lookahead()));
        const Quote& quote = outcome.quote;
        std::optional<QString> error;
        if (!outcome.fetched()) {
            error = outcome.fetch.error;
        } else if (!outcome.holdsAQuote() || (cl.names && !quote.name && plan.names.isEmpty())) {
            // A title alone is no quote: a row of empty figures would pass
            // for one in a price history.
            error = QStringLiteral("the page holds no quote for this symbol; 'larkspire --check ") + outcome.symbol +
                    QStringLiteral("' shows why");
        }
        if (error) {
            say(services.err, given + QStringLiteral(": ") + *error);
            allRows = false;
            plan.entries.push_back(JsonEntry{outcome.symbol, error, {}});
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
        plan.table.rows.push_back(plan.names.isEmpty() ? windowRow(quote, cl.names ? *quote.name : given)
                                                       : fieldRow(quote, plan.names));
        plan.entries.push_back(JsonEntry{outcome.symbol, std::nullopt, plan.table.rows.back()});
    }
    run.finish();
    if (const auto unread = run.unreadMessage())
        say(services.err, QStringLiteral("larkspire: ") + *unread);
    return allRows;
}

// Writes the rows in the format asked for; throws a Failure.
void writeRows(const CommandLine& cl, const BatchServices& services, const BatchPlan& plan)
{
    if (cl.format == BatchFormat::Xlsx)
        return writeWorkbookOutput(plan.output, sheetOf(plan.table), services.out);
    if (cl.format == BatchFormat::Text)
        return writeOutput(plan.output, alignedText(plan.table), services.out);
    const bool json = cl.format == BatchFormat::Json || cl.format == BatchFormat::Jsonl;
    const QByteArray bytes = json ? jsonRecords(plan.names, plan.entries, cl.format == BatchFormat::Jsonl)
                             : cl.format == BatchFormat::Tsv ? tabSeparatedText(plan.table)
                                                             : commaSeparatedText(plan.table);
    if (!plan.appendToFile)
        return writeOutput(plan.output, bytes, services.out);
    if (const int left = appendLines(plan.appendTarget, linesAfterHeader(bytes, !json)); left > 0)
        say(services.err, QStringLiteral("larkspire: %1 row(s) were in %2 already (same symbol and time) and were not "
                                         "written again")
                              .arg(left)
                              .arg(plan.output));
}

} // namespace

int runBatch(const CommandLine& cl, const BatchServices& services)
{
    if (const int usage = checkInputs(cl, services))
        return usage;
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
    BatchPlan plan = planOf(cl);
    // --append: a file these rows do not belong after is refused before
    // anything is fetched, and checked again when they are added.
    try {
        if (plan.appendToFile)
            checkAppendTarget(plan.appendTarget);
    } catch (const Failure& f) {
        say(services.err, QStringLiteral("larkspire: ") + f.description());
        return 2;
    }
    const bool allRows = fetchRows(cl, services, symbols, plan);
    if (plan.table.rows.empty()) {
        // An outage must not replace yesterday's file with a bare header.
        say(services.err, QStringLiteral("larkspire: no row came; nothing was written"));
        return 1;
    }
    try {
        writeRows(cl, services, plan);
    } catch (const Failure& f) {
        say(services.err, QStringLiteral("larkspire: ") + f.description());
        return 1;
    }
    return allRows ? 0 : 1;
}

} // namespace larkspire
