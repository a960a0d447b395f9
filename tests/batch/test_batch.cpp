// The command line: its runs in this process (output files, hostile pages,
// words, data formats, --append) and, for what main() does, through the real
// program (exit status, no display, descriptors, locale, proxies, the cookie
// file, the documentation's examples).
#include "support/test_helpers.h"
#include "batch/command_line.h"
#include "results/quote_row.h"
#include "core/file_kinds.h"
#include "support/full_disk.h"
#include "results/result_table.h"
#include "support/quote_list_service.h"
#include "batch/batch_run.h"
#include "batch/check_run.h"
#include "core/settings_store.h"
#include "core/stored_values.h"
#include "net/qt_http_client.h"
#include "quotes/quote_url.h"
#include "retrieval/quote_service.h"
#include "support/program_runner.h"
#include "support/quote_server.h"
#include "support/small_page.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace larkspire;
using namespace larkspire::test;

namespace {

// A page of today's layout for the symbol, 20 KB.
QByteArray todaysPage(const QString& symbol)
{
    PageShape shape;
    shape.layout = PageLayout::FetchedData;
    shape.symbol = symbol;
    shape.targetBytes = 20 * 1024;
    return makeQuotePage(shape);
}

} // namespace

class Batch : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = std::make_unique<QuoteServer>([this](const Request& r) {
            if (requestHandler)
                return requestHandler(r);
            const QString symbol = QuoteServer::symbolOf(r);
            if (handler)
                return handler(symbol);
            Response resp;
            resp.body = smallPage(symbol, symbol + QStringLiteral(" Corp."));
            return resp;
        });
        // The program's runs here are of the quote pages; the list has tests of its own.
        SettingsStore(programConfig.path())
            .write(kSettingsApplication, kSettingsSection, kKeyQuoteSource, QStringLiteral("pages"));
    }
    // The real program (for what main() does: descriptors, display, locale, exit).
    Ran program(const QStringList& arguments, bool display = false, const QString& descriptor7 = QString())
    {
        return runProgram(QStringLiteral(LARKSPIRE_PROGRAM), arguments, server->host(), programConfig.path(), display,
                          descriptor7);
    }
    // The command line's run in this process: its streams captured, a client
    // of its own aimed at the test's server, the same settings folder.
    Ran inProcess(const QStringList& arguments)
    {
        Ran ran;
        const CommandLine cl = parseCommandLine(arguments);
        if (cl.mode != CommandLine::Mode::Batch && cl.mode != CommandLine::Mode::Check) {
            ran.status = cl.mode == CommandLine::Mode::UsageError ? 2 : 0;
            ran.err = QString(QStringLiteral("larkspire: ") + cl.error + QStringLiteral("\nTry 'larkspire --help'.\n"))
                          .toUtf8();
            return ran;
        }
        char* outText = nullptr;
        char* errText = nullptr;
        size_t outSize = 0, errSize = 0;
        FILE* outStream = open_memstream(&outText, &outSize);
        FILE* errStream = open_memstream(&errText, &errSize);
        {
            QtHttpClient http(HttpLimits{}, false);
            http.setServiceRules(quoteServiceRules(kQuoteHost));
            http.keepCookiesIn(programConfig.filePath(QStringLiteral("larkspire/cookies")));
            BatchServices services;
            services.http = &http;
            services.quoteHost = server->host();
            services.settingsFolder = programConfig.path();
            services.out = outStream;
            services.err = errStream;
            services.source = sourceChoiceOf(cl.source, services.settingsFolder);
            ran.status = cl.mode == CommandLine::Mode::Check ? runCheck(cl, services) : runBatch(cl, services);
        }
        std::fclose(outStream);
        std::fclose(errStream);
        ran.out = QByteArray(outText, qsizetype(outSize));
        ran.err = QByteArray(errText, qsizetype(errSize));
        std::free(outText);
        std::free(errText);
        return ran;
    }
    QStringList requestedSymbols() const
    {
        QStringList targets;
        for (const Request& r : server->requests())
            targets << QString::fromLatin1(r.target);
        return targets;
    }
    std::unique_ptr<QuoteServer> server;
    std::function<Response(const QString& symbol)> handler;
    std::function<Response(const Request&)> requestHandler;
    QTemporaryDir programConfig;
    QTemporaryDir out;
};

TEST_F(Batch, exitStatusNoDisplayAndTheStoredListLeftAlone)
{
    handler = [](const QString& s) {
        Response r;
        if (s == QStringLiteral("GONE"))
            r.status = 404, r.reason = "Not Found";
        else
            r.body = smallPage(s, s + QStringLiteral(" Corp."));
        return r;
    };
    // With no symbols the stored list is fetched; the settings file is only read.
    SettingsStore(programConfig.path()).write(kSettingsApplication, kSettingsSection, kKeyStockQuotes,
                                              QStringLiteral("AAA;;GONE;BBB"));
    const QString settings = SettingsStore(programConfig.path()).filePath(kSettingsApplication);
    const QByteArray before = readFile(settings);
    const QDateTime modified = QFileInfo(settings).lastModified();
    const Ran r = program({QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("tsv")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "GONE: Not Found (HTTP 404)\n");
    EXPECT_EQ(r.out.count('\n'), 3) << "the header and two rows";
    EXPECT_EQ(readFile(settings), before);
    EXPECT_EQ(QFileInfo(settings).lastModified(), modified);

    EXPECT_EQ(program({QStringLiteral("--batch"), QStringLiteral("AAA")}).status, 0);
    EXPECT_EQ(program({QStringLiteral("--batch"), QStringLiteral("--colour")}).status, 2);
    EXPECT_EQ(program({QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("xlsx")}).status, 2);
    const Ran version = program({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith("larkspire "));
    const Ran noWindow = program({});
    EXPECT_EQ(noWindow.status, 1);
    EXPECT_TRUE(noWindow.err.contains("--batch")) << noWindow.err.constData();
}

TEST_F(Batch, outputsThatAreNotPlainFilesAreWrittenInPlaceAndLinksStayLinks)
{
    const QStringList csv{QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("csv"),
                          QStringLiteral("AAA")};
    const QStringList xlsx{QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("xlsx"),
                           QStringLiteral("AAA")};
    const Ran toStdout = inProcess(csv + QStringList{QStringLiteral("--output"), QStringLiteral("-")});
    EXPECT_EQ(toStdout.status, 0);
    EXPECT_TRUE(toStdout.out.startsWith("Stock Symbol,")) << toStdout.out.constData();

    // A link and the 600 file it points to, for text and for a workbook.
    for (const QStringList& format : {csv, xlsx}) {
        const QString real = out.filePath(QStringLiteral("real"));
        const QString link = out.filePath(QStringLiteral("link"));
        QFile::remove(real);
        QFile::remove(link);
        QFile f(real);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        ASSERT_TRUE(QFile::link(real, link));
        const Ran r = inProcess(format + QStringList{QStringLiteral("--output"), link});
        EXPECT_EQ(r.status, 0) << r.err.constData();
        EXPECT_TRUE(QFileInfo(link).isSymLink());
        EXPECT_GT(QFileInfo(real).size(), 0);
        EXPECT_FALSE(QFileInfo(real).permissions() & (QFile::ReadGroup | QFile::ReadOther)) << "still 600";
    }

    // A FIFO is opened and written, never replaced; so is a device.
    const QString fifo = out.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QProcess reader;
    reader.start(QStringLiteral("cat"), {fifo});
    ASSERT_TRUE(reader.waitForStarted());
    const Ran viaFifo = inProcess(xlsx + QStringList{QStringLiteral("--output"), fifo});
    ASSERT_TRUE(reader.state() == QProcess::NotRunning || reader.waitForFinished(10000));
    EXPECT_EQ(viaFifo.status, 0) << viaFifo.err.constData();
    EXPECT_TRUE(reader.readAllStandardOutput().startsWith("PK")) << "the whole workbook went through the pipe";
    EXPECT_EQ(fileKind(fifo), FileKind::Special);
    const QString device = out.filePath(QStringLiteral("null"));
    if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        EXPECT_EQ(inProcess(csv + QStringList{QStringLiteral("--output"), device}).status, 0);
        EXPECT_EQ(fileKind(device), FileKind::Special) << "the device is still a device";
    }
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 4)
        << "nothing left beside the outputs";
}

TEST_F(Batch, hostilePagesAndRunsWithoutARowNeverReachTheTerminalOrTheOldFile)
{
    handler = [](const QString& s) {
        Response r;
        if (s == QStringLiteral("EVIL")) {
            r.body = "<html><head><title>EVIL : Summary for Evil&#27;[2J&#155;31m\x1b]52;c;aGk=\x07 Inc. - Yahoo "
                     "Finance</title></head><body>\"QuoteSummaryStore\":{\"price\":{\"regularMarketOpen\":"
                     "{\"raw\":1\x1b[2J,\"fmt\":\"1\"},\"marketCap\":{\"raw\":" +
                     QByteArray(2 << 20, '9') + ",\"fmt\":\"x\"}}}</body></html>";
        } else {
            r.status = 404;
            r.reason = "Gone\x1b]52;c;aGk=\x07";
        }
        return r;
    };
    const Ran evil = inProcess({QStringLiteral("--batch"), QStringLiteral("--names"), QStringLiteral("EVIL"),
                              QStringLiteral("GONE")});
    EXPECT_EQ(evil.status, 1);
    EXPECT_TRUE(evil.out.startsWith("Stock Name ")) << evil.out.constData();
    EXPECT_TRUE(evil.out.contains("Evil[2J31m]52;c;aGk= Inc. ")) << evil.out.constData();
    EXPECT_LT(evil.out.size(), 1000) << "a 2 MB figure is no figure";
    EXPECT_EQ(evil.err, "GONE: Not Found (HTTP 404)\n");
    const QByteArray shown = evil.out + evil.err;
    EXPECT_FALSE(shown.contains('\x1b') || shown.contains('\x07') || shown.contains("\xc2\x9b")) << shown.constData();

    // Not one row: yesterday's file stays; no symbols at all is a usage error.
    const QString old = out.filePath(QStringLiteral("quotes.csv"));
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("yesterday\n");
    f.close();
    const QStringList toOld{QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("csv"),
                            QStringLiteral("--output"), old};
    const Ran none = inProcess(toOld + QStringList{QStringLiteral("GONE")});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(none.err.contains("no row came")) << none.err.constData();
    EXPECT_EQ(readFile(old), "yesterday\n");
    const Ran empty = inProcess(toOld);
    EXPECT_EQ(empty.status, 2);
    EXPECT_TRUE(empty.err.contains("no symbols to fetch")) << empty.err.constData();
    EXPECT_EQ(readFile(old), "yesterday\n");
    const QString tooLong(101, QLatin1Char('L'));
    const Ran longOne = inProcess({QStringLiteral("--batch"), tooLong});
    EXPECT_EQ(longOne.status, 2);
    EXPECT_TRUE(longOne.err.contains("1 symbol(s) longer than 100 characters were left out")) << longOne.err.constData();
    EXPECT_FALSE(requestedSymbols().join(QString()).contains(tooLong));
}

TEST_F(Batch, plainWordsForSymbolFilesFoldersAndOptions)
{
    const QString list = out.filePath(QStringLiteral("list.txt"));
    QFile f(list);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("AAA\n" + QByteArray(150, 'X') + "\n");
    f.close();
    const Ran longLine = inProcess({QStringLiteral("--batch"), QStringLiteral("--file"), list});
    EXPECT_EQ(longLine.status, 0);
    EXPECT_TRUE(longLine.err.contains(QByteArray("1 line(s) of " + list.toUtf8() + " longer than 100 characters were left out")))
        << longLine.err.constData();

    const QString fifo = out.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& notAFile : {fifo, out.path()}) {
        const Ran r = inProcess({QStringLiteral("--batch"), QStringLiteral("--file"), notAFile});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "larkspire: not a regular file: " + notAFile.toUtf8() + "\n");
    }

    // An output that cannot be written is a usage error before any request.
    const QString readOnly = out.filePath(QStringLiteral("read-only"));
    QDir().mkpath(readOnly);
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool root = ::geteuid() == 0; // root writes into any folder
    const struct {
        QString output;
        QByteArray why;
    } unwritable[] = {
        {out.filePath(QStringLiteral("missing/quotes.xlsx")),
         "the folder " + out.filePath(QStringLiteral("missing")).toUtf8() + " does not exist"},
        {list + QStringLiteral("/quotes.csv"), "the folder " + list.toUtf8() + " does not exist"},
        {out.path(), "it is a folder"},
        {readOnly + QStringLiteral("/quotes.csv"), "the folder " + readOnly.toUtf8() + " cannot be written"},
    };
    for (const auto& [output, why] : unwritable) {
        if (root && why.contains("cannot be written"))
            continue;
        const qsizetype asked = server->requests().size();
        const Ran r = inProcess({QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("xlsx"),
                               QStringLiteral("--output"), output, QStringLiteral("AAA")});
        EXPECT_EQ(r.status, 2) << output.toStdString();
        EXPECT_TRUE(r.err.startsWith(QByteArray("larkspire: --output " + output.toUtf8() + " cannot be written: " + why)))
            << r.err.constData();
        EXPECT_EQ(server->requests().size(), asked) << "nothing was fetched";
    }

    // The command line's options without --batch, and unknown ones, are a
    // usage error even where a window could open; Qt's own still reach Qt.
    for (const char* option : {"--format", "--output", "--file", "--names", "--bogus"}) {
        const Ran r = inProcess({QString::fromLatin1(option), QStringLiteral("csv")});
        EXPECT_EQ(r.status, 2) << option;
        EXPECT_TRUE(r.err.contains("--batch")) << option << r.err.constData();
    }
    EXPECT_EQ(parseCommandLine({QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("--reverse")}).mode,
              CommandLine::Mode::Window);
}

TEST_F(Batch, quotesAsDataJsonFieldsAppendAndSafeCells)
{
    handler = [](const QString& s) {
        Response r;
        if (s == QStringLiteral("AAA")) {
            PageShape shape;
            shape.layout = PageLayout::FetchedData;
            shape.symbol = s;
            shape.targetBytes = 20 * 1024;
            shape.open = QStringLiteral("187.465");
            r.body = makeQuotePage(shape);
        } else if (s == QStringLiteral("EVIL")) {
            r.body = smallPage(s, QStringLiteral("=2+3"));
        } else {
            r.status = 404;
        }
        return r;
    };
    const Ran json = inProcess({QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("json"),
                              QStringLiteral("aaa"), QStringLiteral("GONE")});
    EXPECT_EQ(json.status, 1);
    const QJsonArray items = QJsonDocument::fromJson(json.out).array();
    ASSERT_EQ(items.size(), 2) << json.out.constData();
    EXPECT_EQ(items[0].toObject().keys().size(), quoteFieldNames().size());
    for (const char* member : {"\"symbol\":\"AAA\"", "\"currency\":\"USD\"", "\"exchange\":\"NasdaqGS\"",
                               "\"time\":\"2023-11-14T22:13:21Z\"", "\"price\":145.81", "\"changePercent\":-1.63993",
                               "\"open\":187.465", "\"marketCap\":2415632670720", "\"postMarketPrice\":145.52"})
        EXPECT_TRUE(json.out.contains(member)) << member << "\n" << json.out.constData();
    EXPECT_EQ(items[1].toObject(), (QJsonObject{{QStringLiteral("symbol"), QStringLiteral("GONE")},
                                                {QStringLiteral("error"), QStringLiteral("Not Found (HTTP 404)")}}));
    const Ran lines = inProcess({QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("jsonl"),
                               QStringLiteral("--fields"), QStringLiteral("symbol,price"), QStringLiteral("AAA")});
    EXPECT_EQ(lines.out, "{\"symbol\":\"AAA\",\"price\":145.81}\n");

    // A price history: the header once, each run's rows after the last.
    const QString history = out.filePath(QStringLiteral("history.csv"));
    const QStringList append{QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("csv"),
                             QStringLiteral("--append"), QStringLiteral("--output"), history, QStringLiteral("--fields")};
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(inProcess(append + QStringList{QStringLiteral("symbol,volume,changePercent"), QStringLiteral("AAA")}).status, 0);
    EXPECT_EQ(readFile(history), "symbol,volume,changePercent\r\nAAA,84359936,-1.63993\r\nAAA,84359936,-1.63993\r\n");
    FullDisk disk;
    if (disk.usable()) { // a failed append leaves the old bytes exactly as they were, and says why
        // A history of exactly one page: the new row needs a page the disk does not have.
        QByteArray page = "symbol,volume,changePercent\r\n" + QByteArray("AAA,1,1\r\n").repeated(450) +
                          "AAA,123456789,1\r\n";
        ASSERT_EQ(page.size(), 4096);
        const QString full = disk.filePath(QStringLiteral("history.csv"));
        QFile f(full);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(page) == page.size());
        f.close();
        disk.fill();
        QStringList toFull = append;
        toFull[toFull.indexOf(history)] = full;
        const Ran r = inProcess(toFull + QStringList{QStringLiteral("symbol,volume,changePercent"), QStringLiteral("AAA")});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains("No space left on device")) << r.err.constData();
        EXPECT_EQ(readFile(full), page);
    }
    const Ran otherHeader = inProcess(append + QStringList{QStringLiteral("symbol,price"), QStringLiteral("AAA")});
    EXPECT_EQ(otherHeader.status, 2);
    EXPECT_EQ(readFile(history).count('\n'), 3) << "a file of other columns is left as it was";
    const Ran unknown = inProcess({QStringLiteral("--batch"), QStringLiteral("--fields"), QStringLiteral("symbol,colour")});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.err.contains("symbol,name,currency")) << unknown.err.constData();

    // A name that would run as a formula is a safe text; negative numbers stay numbers.
    const Ran safe = inProcess({QStringLiteral("--batch"), QStringLiteral("--names"), QStringLiteral("--format"),
                              QStringLiteral("csv"), QStringLiteral("EVIL")});
    EXPECT_TRUE(safe.out.contains("\r\n'=2+3 ,10.75,")) << safe.out.constData();
    const Ran negative = inProcess({QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("tsv"),
                                  QStringLiteral("--fields"), QStringLiteral("name,change"), QStringLiteral("AAA")});
    EXPECT_EQ(negative.out, "name\tchange\nApple Inc.\t-3.21001\n") << negative.out.constData();
}

TEST_F(Batch, checkSaysWhyAndARefusingServiceEndsTheRun)
{
    handler = [](const QString& s) {
        Response r;
        if (s.startsWith(QStringLiteral("BUSY"))) {
            r.status = 429;
            r.headers << qMakePair(QByteArray("Retry-After"), QByteArray("0"));
        } else if (s.startsWith(QStringLiteral("ODD"))) {
            r.body = "<html><head><title>Something else</title></head></html>";
        } else if (s == QStringLiteral("GONE")) {
            r.status = 404;
        } else if (s == QStringLiteral("DOWN")) {
            r.status = 502;
        } else if (s == QStringLiteral("BARE")) {
            r.body = smallPage(s, QStringLiteral("Bare Corp."), false);
        } else {
            r.body = todaysPage(s);
        }
        return r;
    };
    struct Case {
        const char* symbol;
        int status;
        const char* verdict;
    };
    for (const Case& c : {Case{"AAPL", 0, "OK: "}, Case{"BUSY", 1, "REFUSED: the quote service answered HTTP 429"},
                          Case{"ODD", 1, "CHANGED: "}, Case{"BARE", 1, "CHANGED: "},
                          Case{"GONE", 1, "UNKNOWN: the quote service does not know GONE (HTTP 404"},
                          Case{"DOWN", 1, "FAILING: the quote service answered with an error of its own (HTTP 502"}}) {
        const Ran r = program({QStringLiteral("--check"), QString::fromLatin1(c.symbol), QStringLiteral("--user-agent"),
                               QStringLiteral("Checker/1.0")});
        EXPECT_EQ(r.status, c.status) << c.symbol;
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        EXPECT_TRUE(lines.last().startsWith(c.verdict)) << r.out.constData();
        EXPECT_TRUE(r.out.contains("GET http://") && r.out.contains("(proxy: 127.0.0.1:")) << r.out.constData();
    }
    EXPECT_EQ(server->requests().last().headers.value("user-agent"), "Checker/1.0");
    const Ran ok = program({QStringLiteral("--check"), QStringLiteral("AAPL")});
    for (const char* stage : {"answer: HTTP 200, ", "layout: today's", "title: Apple Inc.", "Open (regularMarketOpen): 145.37",
                              "currency: USD", "time: 2023-11-14T22:13:21Z", "time taken: "})
        EXPECT_TRUE(ok.out.contains(stage)) << stage << "\n" << ok.out.constData();
    EXPECT_TRUE(server->requests().last().headers.value("user-agent").contains("Chrome/"));

    // No answer at all: a proxy that is not there.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString deadProxy = QStringLiteral("http://127.0.0.1:") + QString::number(closed.serverPort());
    closed.close();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("http_proxy"), deadProxy);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), programConfig.path());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), programConfig.path());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LARKSPIRE_PROGRAM), {QStringLiteral("--check")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    const QByteArray unreachable = p.readAllStandardOutput();
    EXPECT_TRUE(unreachable.contains("symbol: AAPL")) << "no stored list: AAPL";
    EXPECT_TRUE(unreachable.trimmed().split('\n').last().startsWith("UNREACHABLE: ")) << unreachable.constData();
    // A connection closed or reset before any answer is no answer either.
    for (const bool reset : {false, true}) {
        QTcpServer silent;
        ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
        QObject::connect(&silent, &QTcpServer::newConnection, &silent, [&] {
            while (QTcpSocket* s = silent.nextPendingConnection())
                reset ? s->abort() : s->disconnectFromHost();
        });
        env.insert(QStringLiteral("http_proxy"), QStringLiteral("http://127.0.0.1:") + QString::number(silent.serverPort()));
        QProcess q;
        q.setProcessEnvironment(env);
        q.start(QStringLiteral(LARKSPIRE_PROGRAM), {QStringLiteral("--check"), QStringLiteral("AAPL")});
        ASSERT_TRUE(QTest::qWaitFor([&] { return q.state() == QProcess::NotRunning; }, 60000));
        const QByteArray said = q.readAllStandardOutput();
        EXPECT_TRUE(said.trimmed().split('\n').last().startsWith("UNREACHABLE: ")) << reset << said.constData();
    }

    // Three symbols refused in a row end the run; pages that cannot be read are told.
    const Ran busy = program({QStringLiteral("--batch"), QStringLiteral("AAPL"), QStringLiteral("BUSY1"),
                              QStringLiteral("BUSY2"), QStringLiteral("BUSY3"), QStringLiteral("LATER")});
    EXPECT_EQ(busy.status, 1);
    EXPECT_TRUE(busy.err.contains("larkspire: The quote service keeps refusing requests (HTTP 429 Too Many Requests); "
                                  "the run stops here. Try again later.\n"))
        << busy.err.constData();
    EXPECT_FALSE(busy.err.contains("LATER")) << busy.err.constData();
    EXPECT_EQ(busy.out.count('\n'), 2) << "the header and the row that came";
    // A title without figures is no quote: a failure in every format, never a row of empty figures.
    for (const char* format : {"csv", "jsonl"}) {
        const Ran bare = program({QStringLiteral("--batch"), QStringLiteral("--format"), QString::fromLatin1(format),
                                  QStringLiteral("--fields"), QStringLiteral("symbol,price"), QStringLiteral("AAPL"),
                                  QStringLiteral("BARE")});
        EXPECT_EQ(bare.status, 1) << format;
        EXPECT_TRUE(bare.err.contains("BARE: the page holds no quote for this symbol; 'larkspire --check BARE'"))
            << bare.err.constData();
        EXPECT_TRUE(QByteArray(format) == "jsonl" ? bare.out.contains("{\"symbol\":\"BARE\",\"error\":")
                                                   : !bare.out.contains("BARE"))
            << bare.out.constData();
    }
    const Ran odd = program({QStringLiteral("--batch"), QStringLiteral("ODD1"), QStringLiteral("ODD2"),
                             QStringLiteral("ODD3")});
    EXPECT_EQ(odd.status, 1);
    EXPECT_TRUE(odd.err.contains("not one of them held a quote") && odd.err.contains("larkspire --check"))
        << odd.err.constData();
}

TEST_F(Batch, theServicesLastingCookiesOutliveARunAndTheCipherListIsTheUsersToChange)
{
    requestHandler = [](const Request& r) {
        Response resp;
        resp.body = smallPage(QuoteServer::symbolOf(r), QStringLiteral("Kept Corp."));
        resp.headers.append(qMakePair(QByteArray("Set-Cookie"), QByteArray("S=sess1on; Path=/")));
        if (!r.headers.value("cookie").contains("A3=v4lu3"))
            resp.headers.append(qMakePair(QByteArray("Set-Cookie"), QByteArray("A3=v4lu3; Max-Age=3600; Path=/")));
        return resp;
    };
    ASSERT_EQ(program({QStringLiteral("--batch"), QStringLiteral("AAA")}).status, 0);
    EXPECT_FALSE(server->requests().last().headers.contains("cookie"));
    const Ran check = program({QStringLiteral("--check"), QStringLiteral("AAA")});
    EXPECT_EQ(server->requests().last().headers.value("cookie"), "A3=v4lu3") << "the next run sends it, not the session's";
    EXPECT_TRUE(check.out.contains("cookies sent: A3\n")) << check.out.constData();
    EXPECT_FALSE(check.out.contains("v4lu3")) << "names, never values";
    EXPECT_TRUE(check.out.contains("connection: plain (no TLS), HTTP/1.1\n")) << check.out.constData();

    // A cipher list nobody can use: said, naming where it came from, and nothing is sent.
    const qsizetype sent = server->requests().size();
    const Ran option = program({QStringLiteral("--batch"), QStringLiteral("AAA"), QStringLiteral("--tls-ciphers"),
                                QStringLiteral("HIGH:!aNULL")});
    EXPECT_EQ(option.status, 2);
    EXPECT_TRUE(option.err.startsWith("larkspire: --tls-ciphers cannot be used: \"HIGH\" is not a cipher suite"))
        << option.err.constData();
    SettingsStore(programConfig.path()).write(kSettingsApplication, kSettingsSection, kKeyTlsCiphers, QStringLiteral("NOPE"));
    const Ran setting = program({QStringLiteral("--check"), QStringLiteral("AAA")});
    EXPECT_EQ(setting.status, 2);
    EXPECT_TRUE(setting.err.contains("The \"TLS Ciphers\" setting cannot be used")) << setting.err.constData();
    EXPECT_EQ(server->requests().size(), sent);
    const Ran given = program({QStringLiteral("--batch"), QStringLiteral("AAA"), QStringLiteral("--tls-ciphers"),
                               QStringLiteral("TLS_AES_128_GCM_SHA256:ECDHE-RSA-AES128-GCM-SHA256")});
    EXPECT_EQ(given.status, 0) << "the option wins over the setting" << given.err.constData();
}

TEST_F(Batch, appendAddsToTheSameFileAndNeverLosesARow)
{
    handler = [](const QString& s) {
        Response r;
        if (s == QStringLiteral("GONE")) {
            r.status = 404;
        } else {
            r.body = todaysPage(s);
        }
        return r;
    };
    const QString history = out.filePath(QStringLiteral("history.csv"));
    auto append = [&](const QString& file, const char* format, const char* fields, const char* symbol) {
        return QStringList{QStringLiteral("--batch"), QStringLiteral("--format"), QString::fromLatin1(format),
                           QStringLiteral("--append"), QStringLiteral("--output"), file, QStringLiteral("--fields"),
                           QString::fromLatin1(fields), QString::fromLatin1(symbol)};
    };
    // Twelve runs at once: every row arrives, under one header.
    std::vector<std::unique_ptr<QProcess>> runs;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("http_proxy"), QStringLiteral("http://") + server->host());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), programConfig.path());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), programConfig.path());
    for (int i = 0; i < 12; ++i) {
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->setProcessEnvironment(env);
        runs.back()->start(QStringLiteral(LARKSPIRE_PROGRAM),
                           append(history, "csv", "symbol,price", QByteArray("S" + QByteArray::number(i)).constData()));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return std::all_of(runs.begin(), runs.end(), [](const auto& p) { return p->state() == QProcess::NotRunning; });
    }, 120000));
    for (const auto& p : runs)
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().constData();
    const QByteArray all = readFile(history);
    EXPECT_EQ(all.count("symbol,price\r\n"), 1);
    EXPECT_EQ(all.count('\n'), 13) << all.constData();

    // Another program's line format is kept: LF line ends and a byte-order mark, and a hard link stays one.
    const QString lf = out.filePath(QStringLiteral("lf.tsv"));
    QFile f(lf);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\xEF\xBB\xBFsymbol\tprice\nOLD\t1\n");
    f.close();
    const QString link = out.filePath(QStringLiteral("link.tsv"));
    ASSERT_EQ(::link(QFile::encodeName(lf).constData(), QFile::encodeName(link).constData()), 0);
    EXPECT_EQ(inProcess(append(link, "tsv", "symbol,price", "AAA")).status, 0);
    EXPECT_EQ(readFile(lf), "\xEF\xBB\xBFsymbol\tprice\nOLD\t1\nAAA\t145.81\n");
    EXPECT_EQ(QFileInfo(link).size(), QFileInfo(lf).size()) << "the hard link still names the same file";

    // The same quote twice: written once.
    const QString times = out.filePath(QStringLiteral("times.csv"));
    EXPECT_EQ(inProcess(append(times, "csv", "symbol,time,price", "AAA")).status, 0);
    const Ran again = inProcess(append(times, "csv", "symbol,time,price", "AAA"));
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(again.err.contains("1 row(s) were in")) << again.err.constData();
    EXPECT_EQ(readFile(times).count('\n'), 2);

    // JSON Lines only after JSON Lines of the same fields.
    const Ran intoCsv = inProcess(append(history, "jsonl", "symbol,price", "AAA"));
    EXPECT_EQ(intoCsv.status, 2);
    EXPECT_TRUE(intoCsv.err.contains("its last line is not a JSON object of these fields")) << intoCsv.err.constData();
    EXPECT_EQ(readFile(history), all);
    const QString lines = out.filePath(QStringLiteral("h.jsonl"));
    EXPECT_EQ(inProcess(append(lines, "jsonl", "symbol,price", "AAA")).status, 0);
    EXPECT_EQ(inProcess(append(lines, "jsonl", "symbol,price", "AAA") << QStringLiteral("GONE")).status, 1)
        << "a failure object ends it";
    EXPECT_EQ(inProcess(append(lines, "jsonl", "price,symbol", "AAA")).status, 0) << "the same keys in any order";
    EXPECT_EQ(inProcess(append(lines, "jsonl", "symbol,volume", "AAA")).status, 2);
    EXPECT_EQ(readFile(lines).count('\n'), 4);
}

TEST_F(Batch, theProgramsOwnStreamsByNameAreWrittenAsTheyAreEvenAPipe)
{
    // QProcess gives the program pipes: /dev/stdout names one.
    for (const char* name : {"/dev/stdout", "/proc/self/fd/1", "/dev/fd/1"}) {
        const Ran csv = program({QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("csv"),
                                 QStringLiteral("--output"), QString::fromLatin1(name), QStringLiteral("GOOG")});
        EXPECT_EQ(csv.status, 0) << name << csv.err.constData();
        EXPECT_TRUE(csv.out.startsWith("Stock Symbol,Stock Price,")) << name << csv.out.constData();
    }
    const Ran book = program({QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("xlsx"),
                              QStringLiteral("--output"), QStringLiteral("/dev/stdout"), QStringLiteral("GOOG")});
    EXPECT_EQ(book.status, 0) << book.err.constData();
    EXPECT_TRUE(book.out.startsWith("PK")) << "the whole workbook through the pipe";
    // A number the program was not given is refused before any request,
    // never written into what it opens later (its connections, Qt's own).
    const QString unused = out.filePath(QStringLiteral("unused"));
    for (const char* name : {"/dev/fd/6", "/proc/self/fd/5", "/dev/fd/3"}) {
        const qsizetype asked = server->requests().size();
        const Ran csv = program({QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("csv"),
                                 QStringLiteral("--output"), QString::fromLatin1(name), QStringLiteral("GOOG")},
                                false, unused);
        EXPECT_EQ(csv.status, 2) << name << csv.err.constData();
        EXPECT_TRUE(csv.err.contains("not open")) << csv.err.constData();
        EXPECT_EQ(server->requests().size(), asked) << name;
    }
    // One it was given is written, whatever the program opens after it.
    const QString seven = out.filePath(QStringLiteral("seven.csv"));
    const Ran given = program({QStringLiteral("--batch"), QStringLiteral("--format"), QStringLiteral("csv"),
                               QStringLiteral("--output"), QStringLiteral("/dev/fd/7"), QStringLiteral("GOOG"),
                               QStringLiteral("AMD")},
                              false, seven);
    EXPECT_EQ(given.status, 0) << given.err.constData();
    EXPECT_EQ(readFile(seven).count('\n'), 3) << readFile(seven).constData();
}

TEST_F(Batch, theQuoteListGivesTheSameFilesAndCheckSaysWhichWayARunTakes)
{
    QuoteListService service;
    for (const char* s : {"AAA", "BBB", "CCC"})
        service.add(QString::fromLatin1(s));
    requestHandler = [&](const Request& r) { return service.answer(r); };
    for (const char* format : {"text", "tsv"}) {
        const auto ran = [&](const char* source) {
            return program({QStringLiteral("--batch"), QStringLiteral("--source"), QString::fromLatin1(source),
                            QStringLiteral("--format"), QString::fromLatin1(format), QStringLiteral("AAA"),
                            QStringLiteral("NOSUCH"), QStringLiteral("BBB"), QStringLiteral("CCC")});
        };
        service.log.clear();
        const Ran pages = ran("pages");
        EXPECT_EQ(service.count(QStringLiteral("list")), 0);
        service.log.clear();
        const Ran list = ran("auto");
        EXPECT_EQ(list.status, pages.status);
        EXPECT_EQ(list.out, pages.out) << format;
        EXPECT_EQ(list.err, pages.err);
        EXPECT_EQ(service.count(QStringLiteral("list")), 1) << service.log.join(QLatin1Char(' ')).toStdString();
    }
    // The crumb was kept with the cookies: the next run asks the list at once.
    service.log.clear();
    const Ran sources = program({QStringLiteral("--batch"), QStringLiteral("--source"), QStringLiteral("auto"),
                                 QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--fields"),
                                 QStringLiteral("symbol,source"), QStringLiteral("AAA"), QStringLiteral("BBB")});
    EXPECT_EQ(sources.out, "symbol,source\r\nAAA,list\r\nBBB,list\r\n") << sources.err.constData();
    EXPECT_EQ(service.log, QStringList{QStringLiteral("list AAA,BBB")});
    const QByteArray cache = readFile(programConfig.filePath(QStringLiteral("larkspire/cookies")));
    EXPECT_TRUE(cache.contains(QByteArray("\ntoken\t" + service.crumb.toUtf8() + "\t"))) << cache.constData();

    const Ran check = program({QStringLiteral("--check"), QStringLiteral("--source"), QStringLiteral("auto"),
                               QStringLiteral("BBB")});
    EXPECT_EQ(check.status, 0) << check.out.constData();
    for (const char* line : {"\nquote list: http://query1.finance.yahoo.com/v7/finance/quote?symbols=BBB&crumb=...",
                             "\ncrumb: kept\n", "\nquote list answer: HTTP 200\n", "\na run takes: the quote list\n",
                             "\nOK: the page was read\n"})
        EXPECT_TRUE(check.out.contains(line)) << line << "\n" << check.out.constData();
    EXPECT_FALSE(check.out.contains(service.crumb.toUtf8())) << "the crumb is never printed";
}

// Every example of the README and the man page runs as written, a cron line
// as cron runs it, against the test's server: a new user's first try works.
TEST_F(Batch, everyExampleOfTheReadmeAndTheManPageRunsAsWritten)
{
    const auto read = [](const char* path) {
        QFile f(QStringLiteral(LARKSPIRE_SOURCE_DIR "/") + QLatin1String(path));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    QStringList examples;
    bool inBlock = false;
    for (const QString& line : read("README.md").split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("```")))
            inBlock = !inBlock;
        else if (inBlock && line.contains(QStringLiteral("larkspire --batch ")) && !line.contains(QLatin1Char('[')))
            examples << line;
    }
    const QString man = read("packaging/larkspire.1");
    for (const QString& block : man.split(QStringLiteral("\n.nf\n")).mid(1)) {
        for (QString line : block.section(QStringLiteral("\n.fi"), 0, 0).split(QLatin1Char('\n'))) {
            if (line.contains(QStringLiteral("larkspire \\-\\-batch")))
                examples << line.replace(QStringLiteral("\\-"), QStringLiteral("-"))
                                .replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        }
    }
    ASSERT_GE(examples.size(), 6) << examples.join(QLatin1Char('\n')).toStdString();

    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("lists"));
    QDir(home.path()).mkpath(QStringLiteral("bin"));
    QFile watch(home.filePath(QStringLiteral("lists/watch.txt")));
    ASSERT_TRUE(watch.open(QIODevice::WriteOnly));
    watch.write("AAPL\nNHY.OL\n");
    watch.close();
    ASSERT_TRUE(QFile::link(QStringLiteral(LARKSPIRE_PROGRAM), home.filePath(QStringLiteral("bin/larkspire"))));
    for (QString example : examples) {
        static const QRegularExpression cron(QStringLiteral(R"(^(\S+\s+){5})"));
        if (example.contains(QStringLiteral("* * ")))
            example.remove(cron); // as cron runs it: the rest of the line to the shell
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("PATH"), home.filePath(QStringLiteral("bin:")) + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("http_proxy"), QStringLiteral("http://") + server->host());
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home.path());
        p.start(QStringLiteral("bash"), {QStringLiteral("-o"), QStringLiteral("pipefail"), QStringLiteral("-c"), example});
        ASSERT_TRUE(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000)) << example.toStdString();
        EXPECT_EQ(p.exitCode(), 0) << example.toStdString() << "\n" << p.readAllStandardError().constData();
        const QByteArray out = p.readAllStandardOutput();
        if (example.contains(QStringLiteral("jq "))) {
            EXPECT_TRUE(out.startsWith("AAPL ") && out.contains("\nMSFT ")) << out.constData();
        }
    }
    EXPECT_TRUE(QFile::exists(home.filePath(QStringLiteral("quotes/today.csv"))));
    EXPECT_TRUE(QFile::exists(home.filePath(QStringLiteral("quotes/history.csv"))));
    EXPECT_TRUE(QFile::exists(home.filePath(QStringLiteral("today.csv"))));
}
