#include "batch/command_line.h"

#include "results/quote_row.h"
#include "core/build_info.h"
#include "symbols/symbol_rules.h"

#include <QMap>

#include <optional>

namespace larkspire {

namespace {

enum ModeBits { kBatchOnly = 1, kCheckToo = 3 };

// Every option of ours: what the parser accepts, which modes take it, and
// the usage text's line for it.
struct OptionDef {
    const char* name;
    const char* value; // the value's name in the usage text; nullptr: a flag
    int modes;
    const char* needs; // what a missing value is said as
    const char* help;
};

constexpr OptionDef kOptions[] = {
    {"--names", nullptr, kBatchOnly, nullptr, "the first column holds company names instead of symbols"},
    {"--format", "F", kBatchOnly, "text, tsv, csv, xlsx, json or jsonl",
     "text (default: the column-aligned text file), tsv, csv, xlsx, json (one array) or jsonl (one object a line)"},
    {"--fields", "LIST", kBatchOnly, "a list of fields: %FIELDS%",
     "the columns, comma-separated, each once, from: %FIELDS%; figures as plain numbers, times in ISO 8601"},
    {"--append", nullptr, kBatchOnly, nullptr, "csv, tsv or jsonl: the rows go after the lines of --output FILE"},
    {"--output", "FILE", kBatchOnly, "a file name",
     "write to FILE, replacing it whole (needed for xlsx); '-' or none: standard output"},
    {"--file", "FILE", kBatchOnly, "a symbol file", "read symbols from FILE, one a line; may be given more than once"},
    {"--source", "S", kCheckToo, "auto or pages",
     "auto (default: the service's quote list, the page for what it does not give) or pages (every symbol's page)"},
    {"--user-agent", "TEXT", kCheckToo, "a text", "the browser identification to send instead of the program's own"},
    {"--tls-ciphers", "LIST", kCheckToo, "a text",
     "the TLS cipher suites to offer instead of the program's own (OpenSSL's names, separated by ':')"},
};

// The modes, the first that the arguments name wins: --help (or -h) and
// --version before anything else, --batch before --check. The usage text has
// a line for those with help.
struct ModeDef {
    const char* name;
    const char* alias;
    CommandLine::Mode mode;
    const char* value;
    const char* help;
};

constexpr ModeDef kModes[] = {
    {"--help", "-h", CommandLine::Mode::Help, nullptr, nullptr},
    {"--version", nullptr, CommandLine::Mode::Version, nullptr, nullptr},
    {"--batch", nullptr, CommandLine::Mode::Batch, nullptr,
     "fetch the quotes with no window and write one row per symbol"},
    {"--check", nullptr, CommandLine::Mode::Check, "[SYMBOL]",
     "one symbol (the stored list's first, else AAPL) through every stage; the last line is the verdict: OK, "
     "UNKNOWN, REFUSED, FAILING, CHANGED or UNREACHABLE"},
};

// The mode the arguments ask for; the window when they name none.
CommandLine::Mode modeOf(const QStringList& arguments)
{
    for (const ModeDef& m : kModes)
        if (arguments.contains(QLatin1String(m.name)) || (m.alias && arguments.contains(QLatin1String(m.alias))))
            return m.mode;
    return CommandLine::Mode::Window;
}

const OptionDef* findOption(const QString& a)
{
    for (const OptionDef& o : kOptions)
        if (a == QLatin1String(o.name))
            return &o;
    return nullptr;
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

namespace {

// The mode's options and symbols, each option checked against the table.
// Returns the first problem, or nothing.
std::optional<QString> readArguments(const QStringList& arguments, bool check, CommandLine& cl,
                                     QMap<QString, QStringList>& values)
{
    bool onlySymbols = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (onlySymbols || !a.startsWith(QLatin1Char('-')) || a == QStringLiteral("-")) {
            if (check && !cl.symbols.isEmpty())
                return QStringLiteral("--check takes one symbol");
            cl.symbols << a;
            continue;
        }
        if (a == QStringLiteral("--") && !check) {
            onlySymbols = true;
            continue;
        }
        if (a == (check ? QStringLiteral("--check") : QStringLiteral("--batch")))
            continue;
        const OptionDef* option = findOption(a);
        if (!option || (check && option->modes != kCheckToo)) {
            if (!check)
                return QStringLiteral("unknown option: ") + a;
            QStringList taken;
            for (const OptionDef& o : kOptions)
                if (o.modes == kCheckToo)
                    taken << QString::fromLatin1(o.name);
            const QString last = taken.takeLast();
            return QStringLiteral("--check takes one symbol, ") + taken.join(QStringLiteral(", ")) +
                   QStringLiteral(" and ") + last + QStringLiteral(", not ") + a;
        }
        if (!option->value) {
            values[a] << QString();
            continue;
        }
        if (i + 1 >= arguments.size())
            return a + QStringLiteral(" needs ") +
                   QString::fromLatin1(option->needs)
                       .replace(QStringLiteral("%FIELDS%"), quoteFieldNames().join(QLatin1Char(',')));
        values[a] << arguments[++i];
    }
    return std::nullopt;
}

std::optional<QString> readFormat(const QString& f, BatchFormat& format)
{
    static const std::pair<const char*, BatchFormat> formats[] = {
        {"text", BatchFormat::Text}, {"tsv", BatchFormat::Tsv},   {"csv", BatchFormat::Csv},
        {"xlsx", BatchFormat::Xlsx}, {"json", BatchFormat::Json}, {"jsonl", BatchFormat::Jsonl},
    };
    for (const auto& [name, value] : formats)
        if (f == QLatin1String(name)) {
            format = value;
            return std::nullopt;
        }
    return QStringLiteral("unknown format: ") + f;
}

std::optional<QString> readFields(const QString& list, QStringList& fields)
{
    const QString known = quoteFieldNames().join(QLatin1Char(','));
    if (list.isEmpty())
        return QStringLiteral("--fields needs a list of fields: ") + known;
    fields = list.split(QLatin1Char(','));
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (!quoteFieldNames().contains(fields[i]))
            return QStringLiteral("unknown field: ") + fields[i] + QStringLiteral("; the fields are ") + known;
        if (fields.indexOf(fields[i]) < i)
            return QStringLiteral("--fields names ") + fields[i] + QStringLiteral(" twice");
    }
    return std::nullopt;
}

// The window: Qt reads its own options. Ours are no use to it, and a
// mistyped option is better said than silently ignored.
std::optional<QString> windowArgumentsProblem(const QStringList& arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QStringLiteral("--"))
            break;
        if (!a.startsWith(QLatin1Char('-')) || a == QStringLiteral("-"))
            continue;
        if (findOption(a))
            return a + QStringLiteral(" needs --batch");
        const QtOption qt = qtOption(a);
        if (qt == QtOption::None)
            return QStringLiteral("unknown option: ") + a +
                   QStringLiteral(" (the window takes none; the command line needs --batch)");
        if (qt == QtOption::WithValue)
            ++i;
    }
    return std::nullopt;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine cl;
    const CommandLine::Mode mode = modeOf(arguments);
    if (mode == CommandLine::Mode::Help || mode == CommandLine::Mode::Version) {
        cl.mode = mode;
        return cl;
    }
    const bool batch = mode == CommandLine::Mode::Batch;
    const bool check = mode == CommandLine::Mode::Check;
    std::optional<QString> problem;
    QMap<QString, QStringList> values;
    if (!batch && !check)
        problem = windowArgumentsProblem(arguments);
    else
        problem = readArguments(arguments, check, cl, values);
    auto value = [&](const char* name) { return values.value(QLatin1String(name)).value(0); };
    auto given = [&](const char* name) { return values.contains(QLatin1String(name)); };
    if (!problem && (batch || check)) {
        cl.mode = batch ? CommandLine::Mode::Batch : CommandLine::Mode::Check;
        cl.names = given("--names");
        cl.append = given("--append");
        cl.files = values.value(QStringLiteral("--file"));
        cl.userAgent = value("--user-agent");
        cl.tlsCiphers = value("--tls-ciphers");
        cl.output = value("--output");
        cl.source = value("--source");
        if (given("--source") && cl.source != QStringLiteral("auto") && cl.source != QStringLiteral("pages"))
            problem = QStringLiteral("--source takes auto or pages, not ") + cl.source;
        else if (given("--user-agent") && cl.userAgent.trimmed().isEmpty())
            problem = QStringLiteral("--user-agent needs a text");
        else if (given("--tls-ciphers") && cl.tlsCiphers.trimmed().isEmpty())
            problem = QStringLiteral("--tls-ciphers needs a text");
        else if (given("--output") && cl.output.isEmpty())
            problem = QStringLiteral("--output needs a file name");
        else if (cl.files.contains(QString()))
            problem = QStringLiteral("--file needs a symbol file");
        else if (given("--format"))
            problem = readFormat(value("--format"), cl.format);
        if (!problem && given("--fields"))
            problem = readFields(value("--fields"), cl.fields);
    }
    if (!problem && check && !cl.symbols.isEmpty()) {
        // The same rules as a symbol of a run: nothing is sent for a symbol
        // that a run would never ask for.
        const QString& symbol = cl.symbols.first();
        if (!isFetchable(symbol) || symbol.contains(QLatin1Char(';')))
            problem = QStringLiteral("--check needs a symbol: not blank, without \";\", at most %1 characters")
                          .arg(kMaxSymbolChars);
    }
    if (!problem && batch) {
        if (cl.format == BatchFormat::Xlsx && cl.output.isEmpty())
            problem = QStringLiteral("--format xlsx needs --output");
        else if (cl.append && (cl.output.isEmpty() || !(cl.format == BatchFormat::Csv || cl.format == BatchFormat::Tsv ||
                                                       cl.format == BatchFormat::Jsonl)))
            problem = QStringLiteral("--append needs --output and --format csv, tsv or jsonl");
    }
    if (problem) {
        cl = CommandLine();
        cl.mode = CommandLine::Mode::UsageError;
        cl.error = *problem;
    }
    return cl;
}

namespace {

// An option's line of the usage text: its name and value, then its help
// wrapped under the help's column; the field list stays comma-joined.
QString helpLine(const OptionDef& o)
{
    struct Word {
        QString text;
        bool glued; // no blank before it
    };
    QList<Word> words;
    for (const QString& w : QString::fromLatin1(o.help).split(QLatin1Char(' '))) {
        if (!w.startsWith(QStringLiteral("%FIELDS%"))) {
            words << Word{w, false};
            continue;
        }
        const QStringList names = quoteFieldNames();
        for (qsizetype i = 0; i < names.size(); ++i)
            words << Word{names[i] + (i + 1 < names.size() ? QStringLiteral(",") : w.mid(8)), i > 0};
    }
    constexpr qsizetype column = 20, width = 100;
    QString out = QString::fromLatin1(o.name);
    if (o.value)
        out += QLatin1Char(' ') + QString::fromLatin1(o.value);
    out = out.leftJustified(column);
    qsizetype at = out.size();
    bool first = true;
    for (const Word& w : words) {
        const bool blank = !first && !w.glued;
        if (at + w.text.size() + (blank ? 1 : 0) > width) {
            out += QLatin1Char('\n') + QString(column, QLatin1Char(' '));
            at = column;
        } else if (blank) {
            out += QLatin1Char(' ');
            ++at;
        }
        out += w.text;
        at += w.text.size();
        first = false;
    }
    return out;
}

} // namespace

QString usageText()
{
    // Options and their lines from the option table, the fields from the
    // field table.
    QString batchSynopsis = QStringLiteral("       larkspire --batch");
    QString checkSynopsis = QStringLiteral("       larkspire --check [SYMBOL]");
    QString lines;
    for (const OptionDef& o : kOptions) {
        const QString use = QLatin1Char('[') + QString::fromLatin1(o.name) +
                            (o.value ? QLatin1Char(' ') + QString::fromLatin1(o.value) : QString()) +
                            (QLatin1String(o.name) == QLatin1String("--file") ? QStringLiteral("]...") : QStringLiteral("]"));
        const qsizetype lineStart = batchSynopsis.lastIndexOf(QLatin1Char('\n')) + 1;
        if (batchSynopsis.size() - lineStart + use.size() > 96)
            batchSynopsis += QStringLiteral("\n                ");
        batchSynopsis += QLatin1Char(' ') + use;
        if (o.modes == kCheckToo)
            checkSynopsis += QLatin1Char(' ') + use;
        lines += helpLine(o) + QLatin1Char('\n');
    }
    QString modeLines;
    for (const ModeDef& m : kModes)
        if (m.help)
            modeLines += helpLine(OptionDef{m.name, m.value, 0, nullptr, m.help}) + QLatin1Char('\n');
    return QStringLiteral("Usage: larkspire [--help | --version]\n") + checkSynopsis + QLatin1Char('\n') +
           batchSynopsis + QStringLiteral(" [SYMBOL]...\n"
                                          "\n"
                                          "Without --batch or --check the window opens (a graphical session is "
                                          "needed).\n"
                                          "\n") +
           modeLines + lines +
           QStringLiteral("SYMBOL              a symbol to fetch; with no symbols and no files, the stored list\n"
                          "\n"
                          "Exit status: 0 every symbol gave a row, 1 some did not (none: nothing written),\n"
                          "2 usage error or no symbols to fetch.\n");
}

QStringList optionNames(bool checkToo)
{
    QStringList names;
    for (const OptionDef& o : kOptions)
        if (!checkToo || o.modes == kCheckToo)
            names << QString::fromLatin1(o.name);
    return names;
}

QString versionText() { return QStringLiteral("larkspire ") + QString::fromLatin1(kVersion); }

} // namespace larkspire
