#include "support/full_disk.h"
#include "support/test_helpers.h"
#include "window/results_fixture.h"

#include <QEvent>
#include <QFile>
#include <QTimer>

using namespace larkspire;
using namespace larkspire::test;

namespace {

const QByteArray kHeaderNames = "Stock Name\tStock Price\tOpen\tHigh\tLow\t Volume\tAvg Vol\tMkt Cap\tPrev Close\t\r\n";

} // namespace

class TextExport : public ResultsFixture {
protected:
    QString save(const QString& name)
    {
        const QString path = dir.filePath(name);
        dialogs.saveAnswers = {path};
        window->controls().saveTextButton->click();
        return path;
    }
    QTemporaryDir dir;
};

// No row ticked (none at all, or none of those shown): no file dialog, no
// file of a header alone, and a box that says how to tick rows.
TEST_F(TextExport, nothingTickedAsksForNoFileAndSaysHowToTick)
{
    for (const bool withRow : {false, true}) {
        dialogs.messages.clear();
        if (withRow)
            addRow({QStringLiteral("GOOG")}, false);
        const QString path = save(QStringLiteral("empty.txt"));
        EXPECT_FALSE(QFile::exists(path)) << withRow;
        EXPECT_TRUE(dialogs.saveRequests.empty());
        ASSERT_EQ(dialogs.messageTexts().size(), 1);
        EXPECT_TRUE(dialogs.messageTexts()[0].startsWith(QStringLiteral("No row of the results is ticked")));
    }
}

TEST_F(TextExport, oneTickedRowUnderTheHeaderLine)
{
    addRow({QStringLiteral("A")}, true);
    const QString path = save(QStringLiteral("one.txt"));
    EXPECT_EQ(readFile(path), kHeaderNames + "A         \t           \t    \t    \t   \t       \t       \t       \t          \t\r\n");
    ASSERT_EQ(dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(dialogs.saveRequests[0].title, QStringLiteral("Save"));
    EXPECT_EQ(dialogs.saveRequests[0].filter, QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(window->controls().progressBar->barText(), QStringLiteral("Progress Bar"));
    EXPECT_EQ(window->MousePointer(), kPointerDefault);
}

TEST_F(TextExport, columnsAreAlignedOverEveryRowTickedOrNot)
{
    addRow({QStringLiteral("GOOG"), QStringLiteral("1.5")}, true);
    addRow({QStringLiteral("A much longer name"), QStringLiteral("123456789012"), QStringLiteral("x")}, false);
    addRow({QStringLiteral("MSFT"), QString(), QStringLiteral("<b>7</b>")}, true);
    const QString path = save(QStringLiteral("rows.txt"));
    const QByteArray expected =
        "Stock Name        \tStock Price \tOpen    \tHigh\tLow\t Volume\tAvg Vol\tMkt Cap\tPrev Close\t\r\n"
        "GOOG              \t1.5         \t        \t    \t   \t       \t       \t       \t          \t\r\n"
        "MSFT              \t            \t<b>7</b>\t    \t   \t       \t       \t       \t          \t\r\n";
    EXPECT_EQ(readFile(path), expected);
}

TEST_F(TextExport, anUntickedRowStillWidensTheColumns)
{
    addRow({QStringLiteral("Name longer than header")}, false);
    addRow({QStringLiteral("A")}, true);
    const QString path = save(QStringLiteral("none"));
    EXPECT_EQ(readFile(path), "Stock Name             \tStock Price\tOpen\tHigh\tLow\t Volume\tAvg Vol\tMkt Cap\t"
                              "Prev Close\t\r\n"
                              "A                      \t           \t    \t    \t   \t       \t       \t       \t"
                              "          \t\r\n")
        << "a name without extension is used as typed";
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("none"))));
}

TEST_F(TextExport, nonAsciiIsWrittenAsUtf8WithoutAByteOrderMark)
{
    addRow({QStringLiteral("Nestlé €")}, true);
    const QByteArray content = readFile(save(QStringLiteral("u.txt")));
    EXPECT_FALSE(content.startsWith("\xef\xbb\xbf"));
    EXPECT_TRUE(content.contains("Nestl\xc3\xa9 \xe2\x82\xac  \t"));
}

TEST_F(TextExport, progressGoesThroughItsPositionsAndTexts)
{
    for (int i = 1; i <= 2500; ++i)
        addRow({QStringLiteral("S%1").arg(i), QStringLiteral("1")}, i != 1000);
    ProgressBar* bar = window->controls().progressBar;
    std::vector<double> positions;
    QStringList texts;
    QObject::connect(bar, &ProgressBar::positionSet, window.get(), [&](double p) { positions.push_back(p); });
    QObject::connect(bar, &ProgressBar::textSet, window.get(), [&](const QString& t) {
        if (texts.isEmpty() || texts.last() != t)
            texts << t;
    });
    const QString path = save(QStringLiteral("p.txt"));
    EXPECT_EQ(readFile(path).count("\r\n"), 2500) << "the header and 2,499 ticked rows";

    ASSERT_GE(positions.size(), 6u);
    EXPECT_EQ(positions[0], 1);
    EXPECT_EQ(positions[1], 10);
    EXPECT_EQ(positions[2], 20);
    EXPECT_DOUBLE_EQ(positions[3], 0.08) << "(2500 div 2000 + 1) / 2500 * 100";
    EXPECT_EQ(positions.size(), 3u + 2499u + 2u) << "no position for the unticked row";
    EXPECT_DOUBLE_EQ(positions[positions.size() - 3], 100.04) << "row 2500";
    EXPECT_EQ(positions[positions.size() - 2], 100);
    EXPECT_EQ(positions.back(), 0);
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Writing file: p.txt"), QStringLiteral("Writing file: p.txt (2000)"),
                                  QStringLiteral("Done."), QStringLiteral("Progress Bar")}))
        << "row 1000 is not ticked, so its text never shows";
    EXPECT_TRUE(dialogs.messages.empty()) << "success shows no box";
}

TEST_F(TextExport, doneIsPaintedOnceTheFileIsWhole)
{
    addRow({QStringLiteral("GOOG"), QStringLiteral("1.5")}, true);
    window->show();
    const QString path = dir.filePath(QStringLiteral("painted.txt"));
    // What the bar showed at each paint, and the file on disk at that moment.
    struct Painted final : QObject {
        ProgressBar* bar;
        QString path;
        QList<QPair<QString, QByteArray>> seen;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                seen.append({bar->barText(), readFile(path)});
            return false;
        }
    } painted;
    painted.bar = window->controls().progressBar;
    painted.path = path;
    painted.bar->installEventFilter(&painted);
    save(QStringLiteral("painted.txt"));
    painted.bar->removeEventFilter(&painted);
    const QByteArray whole = readFile(path);
    EXPECT_TRUE(whole.startsWith("Stock Name")) << whole.constData();
    const auto done = std::find_if(painted.seen.begin(), painted.seen.end(),
                                   [](const auto& p) { return p.first == QStringLiteral("Done."); });
    ASSERT_NE(done, painted.seen.end()) << "\"Done.\" was never painted";
    EXPECT_EQ(done->second, whole);
}

TEST_F(TextExport, withoutAProgressBarNothingIsShown)
{
    addRow({QStringLiteral("GOOG")}, true);
    int sets = 0;
    QObject::connect(window->controls().progressBar, &ProgressBar::positionSet, window.get(), [&] { ++sets; });
    const QString path = dir.filePath(QStringLiteral("nobar.txt"));
    window->SaveListviewProperlySpaced(window->controls().resultsView, path, nullptr);
    EXPECT_EQ(sets, 0);
    EXPECT_TRUE(readFile(path).endsWith("GOOG      \t           \t    \t    \t   \t       \t       \t       \t          \t\r\n"));
}

TEST_F(TextExport, fileThatCannotBeCreatedIsReportedOnceAndNothingIsWritten)
{
    addRow({QStringLiteral("GOOG")}, true);
    addRow({QStringLiteral("MSFT")}, true);
    save(QStringLiteral("missing-folder/out.txt"));
    ASSERT_EQ(dialogs.messages.size(), 1u) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral(".Main.SaveListviewProperlySpaced at line 154\r\r")));
    EXPECT_EQ(window->controls().progressBar->barText(), QStringLiteral("Progress Bar"));
    EXPECT_EQ(window->controls().progressBar->position(), 0);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing-folder/out.txt"))));
    EXPECT_EQ(window->MousePointer(), kPointerDefault);

    // A folder where the file should be: one report, the folder untouched.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("taken")));
    save(QStringLiteral("taken"));
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("taken"))).isDir());
}

TEST_F(TextExport, readOnlyTargetsKeepTheirOldFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind root";
    const QString path = dir.filePath(QStringLiteral("old.txt"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content");
    old.close();
    QFile::setPermissions(path, QFile::ReadOwner);
    addRow({QStringLiteral("GOOG")}, true);
    save(QStringLiteral("old.txt"));
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(readFile(path), "old content");
}

TEST_F(TextExport, anExistingFileIsReplacedWhole)
{
    const QString path = dir.filePath(QStringLiteral("again.txt"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
    old.close();
    addRow({QStringLiteral("A")}, true);
    save(QStringLiteral("again.txt"));
    EXPECT_TRUE(readFile(path).startsWith(kHeaderNames));
    EXPECT_EQ(readFile(path).size(), 2 * kHeaderNames.size());
}

TEST_F(TextExport, cancelWritesNothing)
{
    addRow({QStringLiteral("A")}, true);
    dialogs.saveAnswers = {QString()};
    window->controls().saveTextButton->click();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(TextExport, cellsLongerThanSixteenBitsAreAligned)
{
    const QString longCell(40000, QLatin1Char('L'));
    addRow({longCell, QStringLiteral("1")}, true);
    addRow({QStringLiteral("S"), QStringLiteral("2")}, true);
    const QByteArray content = readFile(save(QStringLiteral("long.txt")));
    const QList<QByteArray> lines = content.split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[1].indexOf('\t'), 40000);
    EXPECT_EQ(lines[2].indexOf('\t'), 40000);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(TextExport, closingTheWindowPartWayLeavesTheOldFileWhole)
{
    const QString path = dir.filePath(QStringLiteral("kept.txt"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content");
    old.close();
    for (int i = 0; i < 3000; ++i)
        addRow({QStringLiteral("S%1").arg(i), QStringLiteral("1")}, true);
    dialogs.saveAnswers = {path};
    QTimer::singleShot(0, window.get(), [&] { window->close(); });
    window->controls().saveTextButton->click();
    EXPECT_TRUE(window->hasEnded());
    EXPECT_EQ(readFile(path), "old content");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kept.txt")})
        << "no half-written file is left beside it";
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(TextExport, everyThousandthTickedRowNamesItselfAndAPlainNameShowsWhole)
{
    for (int i = 1; i <= 2500; ++i)
        addRow({QStringLiteral("S%1").arg(i)}, true);
    QStringList texts;
    QObject::connect(window->controls().progressBar, &ProgressBar::textSet, window.get(), [&](const QString& t) {
        if (texts.isEmpty() || texts.last() != t)
            texts << t;
    });
    // A file name without any separator, relative to the working folder.
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    window->SaveListviewProperlySpaced(window->controls().resultsView, QStringLiteral("plain"),
                                       window->controls().progressBar);
    QDir::setCurrent(saved);
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Writing file: plain"), QStringLiteral("Writing file: plain (1000)"),
                                  QStringLiteral("Writing file: plain (2000)"), QStringLiteral("Done."),
                                  QStringLiteral("Progress Bar")}));
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("plain"))).count("\r\n"), 2501);
}

TEST_F(TextExport, aFullDiskKeepsTheOldFileWriteNothingNewAndSaysWhy)
{
    FullDisk disk;
    if (!disk.usable())
        GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    const QString keep = writeFile(disk.folder(), "keep.txt", "old content");
    disk.fill();
    addRow({QStringLiteral("GOOG"), QStringLiteral("1.5")}, true);

    for (const QString& path : {keep, disk.filePath(QStringLiteral("new.txt"))}) {
        dialogs.messages.clear();
        dialogs.saveAnswers = {path};
        window->controls().saveTextButton->click();
        ASSERT_EQ(dialogs.messages.size(), 1u) << path.toStdString();
        EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("No space left on device"))) << path.toStdString();
        EXPECT_NE(window->controls().progressBar->barText(), QStringLiteral("Done."));
    }
    EXPECT_EQ(readFile(keep), "old content");
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files), (QStringList{QStringLiteral("keep.txt")}))
        << "no new or half-written file is left";
}
