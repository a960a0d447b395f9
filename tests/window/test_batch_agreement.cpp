// The command line against the window, for the same pages: its text file is
// the window's "Save Results As Text File", its tsv and csv the window's
// cells, its workbook the window's sheet; and csv bytes the same in every
// locale. The real program runs as a user runs it.
#include "support/test_helpers.h"
#include "results/quote_row.h"
#include "results/result_table.h"
#include "support/program_runner.h"
#include "window/retrieval_fixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace larkspire;
using namespace larkspire::test;

namespace {

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

class WindowAndBatch : public RetrievalRun {
protected:
    void SetUp() override
    {
        RetrievalRun::SetUp();
        SettingsStore(programConfig.path())
            .write(kSettingsApplication, kSettingsSection, kKeyQuoteSource, QStringLiteral("pages"));
    }
    Ran program(const QStringList& arguments)
    {
        return runProgram(QStringLiteral(LARKSPIRE_PROGRAM), arguments, server->host(), programConfig.path());
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

TEST_F(WindowAndBatch, everyFormatHoldsWhatTheWindowShowsForTheSamePages)
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
    table.headers = windowHeaders(true);
    for (int r = 1; r <= window->resultsList().count(); ++r) {
        CellRow row{Cell::ofText(window->resultsList().text(r))};
        for (int k = 1; k <= 8; ++k) {
            row.push_back(window->resultsList().subItemCell(r, k));
        }
        table.rows.push_back(row);
    }
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_TRUE(table.rows[1][6].text.contains(QLatin1Char(','))) << "a figure the csv must quote";
    for (const auto& [format, expected] : {std::pair{"tsv", tabSeparatedText(table)}, {"csv", commaSeparatedText(table)}}) {
        const Ran r = program(QStringList{QStringLiteral("--batch"), QStringLiteral("--names"), QStringLiteral("--format"),
                                          QString::fromLatin1(format)} + symbols);
        EXPECT_EQ(r.status, 0) << format;
        EXPECT_EQ(r.out, expected) << format;
    }
    // Figures as data, the same in every locale: the number a workbook's cell
    // holds, Mkt Cap in billions as the window shows it.
    EXPECT_TRUE(commaSeparatedText(table).contains(",1234567,123.00,")) << commaSeparatedText(table).constData();
    const auto inLocale = [&](const char* locale) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LANG", "LANGUAGE"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(locale));
        env.insert(QStringLiteral("http_proxy"), QStringLiteral("http://") + server->host());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), programConfig.path());
        env.insert(QStringLiteral("XDG_CACHE_HOME"), programConfig.path());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(LARKSPIRE_PROGRAM), QStringList{QStringLiteral("--batch"), QStringLiteral("--format"),
                                                                QStringLiteral("csv")} + symbols);
        EXPECT_TRUE(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000));
        return p.readAllStandardOutput();
    };
    const QByteArray english = inLocale("en_US.UTF-8");
    EXPECT_TRUE(english.contains(",1234567,123.00,")) << english.constData();
    EXPECT_EQ(inLocale("de_DE.UTF-8").toStdString(), english.toStdString());

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

