#include "batch/batch_run.h"

#include "core/common_routines.h"
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

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace larkspire {

namespace {

void say(FILE* to, const QString& line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

// The symbols as given: the arguments, then each file; with neither, the
// stored list.
QStringList symbolsToFetch(const CommandLine& cl, const BatchServices& services)
{
    QStringList symbols = cl.symbols;
    for (const QString& file : cl.files)
        readSymbolFile(file, [&](const QStringList& batch) { symbols += batch; });
    if (cl.symbols.isEmpty() && cl.files.isEmpty()) {
        const QString stored = SettingsStore(services.settingsFolder)
                                   .read(kSettingsApplication, kSettingsSection, kKeyStockQuotes, QString());
        if (!stored.isEmpty())
            symbols = splitStoredSymbols(stored);
    }
    symbols.removeIf([](const QString& s) { return !isFetchable(s); });
    return symbols;
}

// Writes the whole file beside its place and puts it there when complete.
void writeAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        file.error() != QFileDevice::NoError || !file.commit())
        throw Failure(file.errorString() + QStringLiteral(": ") + path);
}

void writeWorkbookAtomically(const QString& path, const SheetCells& cells)
{
    const QFileInfo info(path);
    const QString staged = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".part");
    try {
        writeXlsx(cells, staged);
    } catch (...) {
        QFile::remove(staged);
        throw;
    }
    if (std::rename(QFile::encodeName(staged).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(staged);
        throw Failure(QStringLiteral("Cannot write ") + path);
    }
}

} // namespace

int runBatch(const CommandLine& cl, const BatchServices& services)
{
    for (const QString& file : cl.files)
        if (!QFileInfo(file).isFile()) {
            say(services.err, QStringLiteral("larkspire: no such symbol file: ") + file);
            return 2;
        }
    QStringList symbols;
    try {
        symbols = symbolsToFetch(cl, services);
    } catch (const Failure& f) {
        say(services.err, QStringLiteral("larkspire: ") + f.description());
        return 1;
    }

    const NumberFormats formats;
    ResultTable table;
    table.headers = resultHeaders(cl.names);
    bool allRows = true;
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

    try {
        if (cl.format == BatchFormat::Xlsx) {
            writeWorkbookAtomically(cl.output, sheetOf(table));
        } else {
            const QByteArray bytes = cl.format == BatchFormat::Tsv   ? tabSeparatedText(table)
                                     : cl.format == BatchFormat::Csv ? commaSeparatedText(table)
                                                                     : alignedText(table);
            if (!cl.output.isEmpty()) {
                writeAtomically(cl.output, bytes);
            } else if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), services.out) != size_t(bytes.size()) ||
                       std::fflush(services.out) != 0) {
                throw Failure(QStringLiteral("Cannot write to standard output"));
            }
        }
    } catch (const Failure& f) {
        say(services.err, QStringLiteral("larkspire: ") + f.description());
        return 1;
    }
    return allRows ? 0 : 1;
}

} // namespace larkspire
