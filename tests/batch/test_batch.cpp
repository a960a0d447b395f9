// The command line through the real program: its files against the
// window's own for the same pages, its exit status, no display, and the
// stored settings left alone.
#include "batch/command_line.h"
#include "results/result_table.h"
#include "window/retrieval_fixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace larkspire;
using namespace larkspire::test;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// The first worksheet's XML of a workbook, through Python's zipfile.
QByteArray sheetXml(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("
                            "'xl/worksheets/sheet1.xml'))"),
             path});
    return p.waitForFinished(30000) && p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}

} // namespace

class Batch : public RetrievalRun {
protected:
    struct Ran {
        int status = -1;
        QByteArray out, err;
    };
    // The program, its quote requests sent to the test's server as to a proxy,
    // with no display and its own settings folder. The test's server answers
    // while it waits.
    Ran program(const QStringList& arguments, bool display = false)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        if (display)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("http_proxy"), QStringLiteral("http://") + server->host());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), programConfig.path());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(LARKSPIRE_PROGRAM), arguments);
        Ran ran;
        if (!p.waitForStarted(10000) ||
            !QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000)) {
            p.kill();
            p.waitForFinished();
            return ran;
        }
        ran.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        ran.out = p.readAllStandardOutput();
        ran.err = p.readAllStandardError();
        return ran;
    }
    // The window's run of the same symbols, every row ticked.
    void windowRun(std::initializer_list<const char*> list, bool names)
    {
        symbolsAre(list);
        window->controls().showNamesCheck->setChecked(names);
        run();
        for (int r = 1; r <= window->resultsList().count(); ++r)
            window->controls().resultsView->items().setData(window->resultsList().index(r - 1, 0), Qt::Checked,
                                                             Qt::CheckStateRole);
    }
    QTemporaryDir programConfig;
    QTemporaryDir out;
};

TEST_F(Batch, everyFormatHoldsWhatTheWindowShowsForTheSamePages)
{
    windowRun({"GOOG", "nhy.ol"}, true);
    dialogs.saveAnswers = {out.filePath(QStringLiteral("window.txt"))};
    window->controls().saveTextButton->click();
    window->controls().saveWorkbookButton->click();

    const QStringList symbols{QStringLiteral("GOOG"), QStringLiteral("nhy.ol")};
    const Ran text = program(QStringList{QStringLiteral("--batch"), QStringLiteral("--names")} + symbols);
    EXPECT_EQ(text.status, 0) << text.err.constData();
    EXPECT_EQ(text.out, readFile(out.filePath(QStringLiteral("window.txt"))));

    // tsv and csv: the same cells as the window's rows, under the same headers.
    ResultTable table;
    table.headers = resultHeaders(true);
    for (int r = 1; r <= window->resultsList().count(); ++r) {
        QStringList row{window->resultsList().text(r)};
        for (int k = 1; k <= 8; ++k)
            row << window->resultsList().subItem(r, k);
        table.rows.push_back(row);
    }
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_TRUE(table.rows[1][6].contains(QLatin1Char(','))) << "a figure the csv must quote";
    for (const auto& [format, expected] : {std::pair{"tsv", tabSeparatedText(table)}, {"csv", commaSeparatedText(table)}}) {
        const Ran r = program(QStringList{QStringLiteral("--batch"), QStringLiteral("--names"), QStringLiteral("--format"),
                                          QString::fromLatin1(format)} + symbols);
        EXPECT_EQ(r.status, 0) << format;
        EXPECT_EQ(r.out, expected) << format;
    }
    EXPECT_TRUE(commaSeparatedText(table).contains("\"1,234,567.00\""));

    const QString book = out.filePath(QStringLiteral("quotes.xlsx"));
    const Ran x = program(QStringList{QStringLiteral("--batch"), QStringLiteral("--names"), QStringLiteral("--format"),
                                      QStringLiteral("xlsx"), QStringLiteral("--output"), book} + symbols);
    EXPECT_EQ(x.status, 0) << x.err.constData();
    ASSERT_EQ(openedFiles.size(), 1);
    const QByteArray windowSheet = sheetXml(openedFiles[0].toLocalFile());
    EXPECT_FALSE(windowSheet.isEmpty());
    EXPECT_EQ(sheetXml(book), windowSheet);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "nothing left beside the files";
}

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
