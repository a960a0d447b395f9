#include "batch/command_line.h"

#include "results/quote_row.h"
#include "core/build_info.h"

namespace larkspire {

namespace {

bool isBatchOption(const QString& a)
{
    for (const char* name : {"--format", "--output", "--file", "--names", "--fields", "--append", "--user-agent",
                             "--tls-ciphers"})
        if (a == QLatin1String(name))
            return true;
    return false;
}

enum class QtOption { None, Flag, WithValue };

// The options Qt's own application object reads (with one dash or two,
// "-style fusion" or "-style=fusion").
QtOption qtOption(QString a)
{
    if (a.startsWith(QStringLiteral("--")))
        a.remove(0, 1);
    const bool joined = a.contains(QLatin1Char('='));
    a = a.section(QLatin1Char('='), 0, 0);
    static const char* const withValue[] = {
        "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry", "-qwindowicon",
        "-qwindowtitle", "-style", "-stylesheet", "-session", "-display", "-geometry", "-font", "-fn",
        "-background", "-bg", "-foreground", "-fg", "-button", "-btn", "-name", "-title", "-visual", "-im",
        "-qmljsdebugger", "-scaling"};
    static const char* const flags[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync", "-cmap",
                                        "-testability", "-nocursor"};
    for (const char* name : withValue)
        if (a == QLatin1String(name))
            return joined ? QtOption::Flag : QtOption::WithValue;
    for (const char* name : flags)
        if (a == QLatin1String(name))
            return QtOption::Flag;
    return QtOption::None;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine cl;
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        cl.mode = CommandLine::Mode::Help;
        return cl;
    }
    if (arguments.contains(QStringLiteral("--version"))) {
        cl.mode = CommandLine::Mode::Version;
        return cl;
    }
    auto usageError = [&](const QString& what) {
        cl.mode = CommandLine::Mode::UsageError;
        cl.error = what;
        return cl;
    };
    if (arguments.contains(QStringLiteral("--check")) && !arguments.contains(QStringLiteral("--batch"))) {
        cl.mode = CommandLine::Mode::Check;
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            const QString& a = arguments[i];
            if (a == QStringLiteral("--check"))
                continue;
            if (a == QStringLiteral("--user-agent") || a == QStringLiteral("--tls-ciphers")) {
                if (i + 1 >= arguments.size() || arguments[i + 1].trimmed().isEmpty())
                    return usageError(a + QStringLiteral(" needs a text"));
                (a == QStringLiteral("--user-agent") ? cl.userAgent : cl.tlsCiphers) = arguments[++i];
            } else if (a.startsWith(QLatin1Char('-')) && a != QStringLiteral("-")) {
                return usageError(QStringLiteral("--check takes one symbol, --user-agent and --tls-ciphers, not ") + a);
            } else if (!cl.symbols.isEmpty()) {
                return usageError(QStringLiteral("--check takes one symbol"));
            } else {
                cl.symbols << a;
            }
        }
        return cl;
    }
    if (!arguments.contains(QStringLiteral("--batch"))) {
        // The window; Qt reads its own options. Ours are no use to it, and
        // a mistyped option is better said than silently ignored.
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            const QString& a = arguments[i];
            if (a == QStringLiteral("--"))
                break;
            if (!a.startsWith(QLatin1Char('-')) || a == QStringLiteral("-"))
                continue;
            if (isBatchOption(a))
                return usageError(a + QStringLiteral(" needs --batch"));
            const QtOption qt = qtOption(a);
            if (qt == QtOption::None)
                return usageError(QStringLiteral("unknown option: ") + a + QStringLiteral(" (the window takes none; "
                                                                                          "the command line needs --batch)"));
            if (qt == QtOption::WithValue)
                ++i;
        }
        return cl;
    }
    cl.mode = CommandLine::Mode::Batch;
    bool onlySymbols = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        auto value = [&](QString& into) {
            if (i + 1 >= arguments.size())
                return false;
            into = arguments[++i];
            return true;
        };
        if (onlySymbols || !a.startsWith(QLatin1Char('-')) || a == QStringLiteral("-")) {
            cl.symbols << a;
        } else if (a == QStringLiteral("--")) {
            onlySymbols = true;
        } else if (a == QStringLiteral("--batch")) {
        } else if (a == QStringLiteral("--names")) {
            cl.names = true;
        } else if (a == QStringLiteral("--format")) {
            QString f;
            if (!value(f))
                return usageError(QStringLiteral("--format needs text, tsv, csv, xlsx, json or jsonl"));
            if (f == QStringLiteral("text"))
                cl.format = BatchFormat::Text;
            else if (f == QStringLiteral("tsv"))
                cl.format = BatchFormat::Tsv;
            else if (f == QStringLiteral("csv"))
                cl.format = BatchFormat::Csv;
            else if (f == QStringLiteral("xlsx"))
                cl.format = BatchFormat::Xlsx;
            else if (f == QStringLiteral("json"))
                cl.format = BatchFormat::Json;
            else if (f == QStringLiteral("jsonl"))
                cl.format = BatchFormat::Jsonl;
            else
                return usageError(QStringLiteral("unknown format: ") + f);
        } else if (a == QStringLiteral("--output")) {
            if (!value(cl.output) || cl.output.isEmpty())
                return usageError(QStringLiteral("--output needs a file name"));
        } else if (a == QStringLiteral("--fields")) {
            QString list;
            if (!value(list) || list.isEmpty())
                return usageError(QStringLiteral("--fields needs a list of fields: ") +
                                  quoteFieldNames().join(QLatin1Char(',')));
            cl.fields = list.split(QLatin1Char(','));
            for (const QString& field : cl.fields)
                if (!quoteFieldNames().contains(field))
                    return usageError(QStringLiteral("unknown field: ") + field + QStringLiteral("; the fields are ") +
                                      quoteFieldNames().join(QLatin1Char(',')));
        } else if (a == QStringLiteral("--user-agent")) {
            if (!value(cl.userAgent) || cl.userAgent.trimmed().isEmpty())
                return usageError(QStringLiteral("--user-agent needs a text"));
        } else if (a == QStringLiteral("--tls-ciphers")) {
            if (!value(cl.tlsCiphers) || cl.tlsCiphers.trimmed().isEmpty())
                return usageError(QStringLiteral("--tls-ciphers needs a text"));
        } else if (a == QStringLiteral("--append")) {
            cl.append = true;
        } else if (a == QStringLiteral("--file")) {
            QString f;
            if (!value(f) || f.isEmpty())
                return usageError(QStringLiteral("--file needs a symbol file"));
            cl.files << f;
        } else {
            return usageError(QStringLiteral("unknown option: ") + a);
        }
    }
    if (cl.format == BatchFormat::Xlsx && cl.output.isEmpty())
        return usageError(QStringLiteral("--format xlsx needs --output"));
    if (cl.append && (cl.output.isEmpty() || !(cl.format == BatchFormat::Csv || cl.format == BatchFormat::Tsv ||
                                               cl.format == BatchFormat::Jsonl)))
        return usageError(QStringLiteral("--append needs --output and --format csv, tsv or jsonl"));
    return cl;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: larkspire [--help | --version]\n"
        "       larkspire --check [SYMBOL] [--user-agent TEXT] [--tls-ciphers LIST]\n"
        "       larkspire --batch [--names] [--format text|tsv|csv|xlsx|json|jsonl] [--output FILE]\n"
        "                 [--fields LIST] [--append] [--user-agent TEXT] [--tls-ciphers LIST]\n"
        "                 [--file SYMBOLFILE]... [SYMBOL]...\n"
        "\n"
        "Without --batch the window opens (a graphical session is needed).\n"
        "\n"
        "--batch         fetch the quotes with no window and write one row per symbol\n"
        "--names         the first column holds company names instead of symbols\n"
        "--format F      text (default: the column-aligned text file), tsv, csv, xlsx,\n"
        "                json (one array) or jsonl (one object a line)\n"
        "--fields LIST   the columns, comma-separated, from: symbol,name,currency,exchange,\n"
        "                quoteType,marketState,time,price,change,changePercent,\n"
        "                postMarketPrice,open,high,low,volume,averageVolume,marketCap,\n"
        "                previousClose,retrieved; figures as plain numbers, times in ISO 8601\n"
        "--append        csv, tsv or jsonl: the rows go after the lines of --output FILE\n"
        "--user-agent T  the browser identification to send instead of the program's own\n"
        "--tls-ciphers L the TLS cipher suites to offer instead of the program's own\n"
        "                (OpenSSL's names, separated by ':')\n"
        "--check [SYMBOL] one symbol (the stored list's first, else AAPL) through every stage;\n"
        "                the last line is the verdict: OK, UNKNOWN, REFUSED, FAILING, CHANGED\n"
        "                or UNREACHABLE\n"
        "--output FILE   write to FILE, replacing it whole (needed for xlsx); '-' or none: standard output\n"
        "--file FILE     read symbols from FILE, one a line; may be given more than once\n"
        "SYMBOL          a symbol to fetch; with no symbols and no files, the stored list\n"
        "\n"
        "Exit status: 0 every symbol gave a row, 1 some did not (none: nothing written),\n"
        "2 usage error or no symbols to fetch.\n");
}

QString versionText() { return QStringLiteral("larkspire ") + QString::fromLatin1(kVersion); }

} // namespace larkspire
