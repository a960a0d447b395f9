#include "batch/command_line.h"

#include "core/build_info.h"

namespace larkspire {

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
    if (!arguments.contains(QStringLiteral("--batch")))
        return cl; // the window; Qt reads its own options
    cl.mode = CommandLine::Mode::Batch;
    auto usageError = [&](const QString& what) {
        cl.mode = CommandLine::Mode::UsageError;
        cl.error = what;
        return cl;
    };
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
                return usageError(QStringLiteral("--format needs text, tsv, csv or xlsx"));
            if (f == QStringLiteral("text"))
                cl.format = BatchFormat::Text;
            else if (f == QStringLiteral("tsv"))
                cl.format = BatchFormat::Tsv;
            else if (f == QStringLiteral("csv"))
                cl.format = BatchFormat::Csv;
            else if (f == QStringLiteral("xlsx"))
                cl.format = BatchFormat::Xlsx;
            else
                return usageError(QStringLiteral("unknown format: ") + f);
        } else if (a == QStringLiteral("--output")) {
            if (!value(cl.output) || cl.output.isEmpty())
                return usageError(QStringLiteral("--output needs a file name"));
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
    return cl;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: larkspire [--help | --version]\n"
        "       larkspire --batch [--names] [--format text|tsv|csv|xlsx] [--output FILE]\n"
        "                 [--file SYMBOLFILE]... [SYMBOL]...\n"
        "\n"
        "Without --batch the window opens (a graphical session is needed).\n"
        "\n"
        "--batch         fetch the quotes with no window and write one row per symbol\n"
        "--names         the first column holds company names instead of symbols\n"
        "--format F      text (default: the column-aligned text file), tsv, csv or xlsx\n"
        "--output FILE   write to FILE, replacing it whole (needed for xlsx); else standard output\n"
        "--file FILE     read symbols from FILE, one a line; may be given more than once\n"
        "SYMBOL          a symbol to fetch; with no symbols and no files, the stored list\n"
        "\n"
        "Exit status: 0 every symbol gave a row, 1 some did not, 2 usage error.\n");
}

QString versionText() { return QStringLiteral("larkspire ") + QString::fromLatin1(kVersion); }

} // namespace larkspire
