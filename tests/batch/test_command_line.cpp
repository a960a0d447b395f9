// The command line read in process: every option from one table, each mode's
// rules, the usage errors a user meets.
#include "batch/batch_run.h"
#include "batch/command_line.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>

using namespace larkspire;

namespace {

QStringList args(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* a : list)
        out << QString::fromUtf8(a);
    return out;
}

} // namespace

TEST(CommandLine, eachModeTakesItsOwnOptionsAndSaysWhatIsWrong)
{
    const QString longSymbol(101, QLatin1Char('A'));
    const std::pair<QStringList, const char*> errors[] = {
        {args({"--batch", "--fields", "symbol,price,symbol"}), "--fields names symbol twice"},
        {args({"--batch", "--fields", "symbol,colour"}), "unknown field: colour; the fields are symbol,name,"},
        {args({"--batch", "--format", "xml"}), "unknown format: xml"},
        {args({"--batch", "--format", "xlsx"}), "--format xlsx needs --output"},
        {args({"--batch", "--append", "--output", "h.csv"}), "--append needs --output and --format csv, tsv or jsonl"},
        {args({"--batch", "--output"}), "--output needs a file name"},
        {args({"--batch", "--fields"}), "--fields needs a list of fields: symbol,name,"},
        {args({"--batch", "--file", ""}), "--file needs a symbol file"},
        {args({"--batch", "--user-agent", " "}), "--user-agent needs a text"},
        {args({"--batch", "--colour"}), "unknown option: --colour"},
        {args({"--names", "AAPL"}), "--names needs --batch"},
        {args({"--tls-ciphers", "X"}), "--tls-ciphers needs --batch"},
        {args({"--frobnicate"}), "unknown option: --frobnicate (the window takes none"},
        {args({"--check", "--names"}), "--check takes one symbol, --source, --user-agent and --tls-ciphers, not --names"},
        {args({"--batch", "--source", "list", "A"}), "--source takes auto or pages, not list"},
        {args({"--source", "pages"}), "--source needs --batch"},
        {args({"--check", "A", "B"}), "--check takes one symbol"},
        {args({"--check", "  "}), "--check needs a symbol: not blank"},
        {args({"--check", "A;B"}), "--check needs a symbol: not blank"},
        {QStringList{QStringLiteral("--check"), longSymbol}, "--check needs a symbol: not blank"},
    };
    for (const auto& [arguments, error] : errors) {
        const CommandLine cl = parseCommandLine(arguments);
        EXPECT_EQ(cl.mode, CommandLine::Mode::UsageError) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(cl.error.startsWith(QString::fromUtf8(error)))
            << arguments.join(QLatin1Char(' ')).toStdString() << " -> " << cl.error.toStdString();
    }

    const CommandLine batch = parseCommandLine(args({"--batch", "--format", "jsonl", "--append", "--output", "h.jsonl",
                                                     "--fields", "symbol,time", "--file", "a.txt", "--file", "b.txt",
                                                     "--tls-ciphers", "TLS_AES_128_GCM_SHA256", "-", "--", "--names"}));
    ASSERT_EQ(batch.mode, CommandLine::Mode::Batch) << batch.error.toStdString();
    EXPECT_EQ(batch.format, BatchFormat::Jsonl);
    EXPECT_TRUE(batch.append && !batch.names);
    EXPECT_EQ(batch.output, QStringLiteral("h.jsonl"));
    EXPECT_EQ(batch.fields, args({"symbol", "time"}));
    EXPECT_EQ(batch.files, args({"a.txt", "b.txt"}));
    EXPECT_EQ(batch.tlsCiphers, QStringLiteral("TLS_AES_128_GCM_SHA256"));
    EXPECT_EQ(batch.symbols, args({"-", "--names"})) << "after --, everything is a symbol";
    const CommandLine check = parseCommandLine(args({"--check", " msft ", "--user-agent", "Checker/1.0"}));
    ASSERT_EQ(check.mode, CommandLine::Mode::Check) << check.error.toStdString();
    EXPECT_EQ(check.symbols, args({" msft "}));
    EXPECT_EQ(check.userAgent, QStringLiteral("Checker/1.0"));
    EXPECT_EQ(parseCommandLine(args({"--version", "--bogus"})).mode, CommandLine::Mode::Version);
    EXPECT_EQ(parseCommandLine(args({"--batch", "-h"})).mode, CommandLine::Mode::Help);
    for (const char* option : {"--names", "--format F", "--fields LIST", "--append", "--output FILE", "--file FILE",
                               "--user-agent TEXT", "--tls-ciphers LIST", "averageVolume", "UNREACHABLE"})
        EXPECT_TRUE(usageText().contains(QLatin1String(option))) << option;
}

TEST(CommandLine, anOutputThatIsASymbolFileIsRefusedBeforeAnythingIsFetched)
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("list.txt"));
    QFile f(list);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("AAA\nBBB\n");
    f.close();
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    ASSERT_TRUE(QFile::link(list, link));
    for (const QString& output : {list, link}) {
        char* text = nullptr;
        size_t size = 0;
        FILE* err = open_memstream(&text, &size);
        BatchServices services; // no client: nothing may be fetched
        services.err = err;
        const int status =
            runBatch(parseCommandLine({QStringLiteral("--batch"), QStringLiteral("--file"), list,
                                       QStringLiteral("--output"), output}),
                     services);
        std::fclose(err);
        EXPECT_EQ(status, 2);
        EXPECT_TRUE(QByteArray(text, qsizetype(size)).contains("--output names the symbol file")) << text;
        std::free(text);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "AAA\nBBB\n");
        f.close();
    }
}

TEST(CommandLine, aSymbolFileThatIsALinkLoopIsSaidToBeOne)
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.txt"));
    const QString b = dir.filePath(QStringLiteral("b.txt"));
    ASSERT_TRUE(QFile::link(b, a) && QFile::link(a, b));
    char* text = nullptr;
    size_t size = 0;
    FILE* err = open_memstream(&text, &size);
    BatchServices services;
    services.err = err;
    EXPECT_EQ(runBatch(parseCommandLine({QStringLiteral("--batch"), QStringLiteral("--file"), a}), services), 2);
    std::fclose(err);
    EXPECT_TRUE(QByteArray(text, qsizetype(size)).contains("the symbol file is a loop of symbolic links: ")) << text;
    std::free(text);
}

// The man page and the README say what the option table says: each mode's
// synopsis names exactly its options, and each option has its own entry.
TEST(CommandLine, theManPageAndTheReadmeNameEveryOptionOfTheTable)
{
    const auto read = [](const char* path) {
        QFile f(QStringLiteral(LARKSPIRE_SOURCE_DIR "/") + QLatin1String(path));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    const auto optionsIn = [](const QString& text) {
        QStringList names;
        static const QRegularExpression option(QStringLiteral(R"(\\?-\\?-([a-z]+(\\?-[a-z]+)*))"));
        for (auto m = option.globalMatch(text); m.hasNext();)
            names << QStringLiteral("--") + m.next().captured(1).remove(QLatin1Char('\\'));
        names.removeAll(QStringLiteral("--check"));
        names.removeAll(QStringLiteral("--batch"));
        names.removeAll(QStringLiteral("--help"));
        names.removeAll(QStringLiteral("--version"));
        return names;
    };
    const QString man = read("packaging/larkspire.1");
    const QString synopsis = man.section(QStringLiteral(".SH SYNOPSIS"), 1).section(QStringLiteral(".SH "), 0, 0);
    const QString check = synopsis.section(QStringLiteral(".B larkspire \\-\\-check"), 1).section(QStringLiteral(".br"), 0, 0);
    const QString batch = synopsis.section(QStringLiteral(".B larkspire \\-\\-batch"), 1);
    EXPECT_EQ(optionsIn(check), optionNames(true));
    EXPECT_EQ(optionsIn(batch), optionNames(false));
    for (const QString& name : optionNames(false)) {
        const QString escaped = QString(name).replace(QLatin1Char('-'), QStringLiteral("\\-"));
        EXPECT_TRUE(man.contains(QStringLiteral("\n.TP\n.B ") + escaped + QLatin1Char('\n')) ||
                    man.contains(QStringLiteral("\n.TP\n.BI ") + escaped + QLatin1Char(' ')))
            << name.toStdString() << " has no entry of its own";
    }
    const QString readme = read("README.md");
    const QString readmeSynopsis = readme.section(QStringLiteral("\nlarkspire --batch ["), 1).section(QStringLiteral("```"), 0, 0);
    EXPECT_EQ(optionsIn(QStringLiteral("[") + readmeSynopsis), optionNames(false));
}
