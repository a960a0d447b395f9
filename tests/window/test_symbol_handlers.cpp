#include "support/test_helpers.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include "core/common_routines.h"
#include "window/qt_dialogs.h"

using namespace larkspire;
using namespace larkspire::test;

class SymbolEditing : public WindowFixture {
protected:
    void SetUp() override { start(); }
    void fill(std::initializer_list<const char*> items)
    {
        for (const char* i : items)
            window->symbolList().add(QString::fromUtf8(i));
    }
    void select(int index)
    {
        ListView* v = window->controls().symbolView;
        v->setCurrentIndex(v->model()->index(index - 1, 0));
    }
    void pressKey(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(window->controls().symbolView, key, mods);
    }
};

TEST_F(SymbolEditing, addTakesTheTextUnchanged)
{
    dialogs.inputAnswers = {QStringLiteral("GOOG"), QStringLiteral("goog"), QStringLiteral(" MSFT "),
                            QString(), QStringLiteral("   ")};
    for (int i = 0; i < 5; ++i)
        window->controls().addSymbolButton->click();
    EXPECT_EQ(symbols(), texts({"GOOG", "goog", " MSFT ", "   "}));
    ASSERT_EQ(dialogs.prompts.size(), 5u);
    EXPECT_EQ(dialogs.prompts[0].first, QStringLiteral("Enter stock symbol to add: "));
    EXPECT_EQ(dialogs.prompts[0].second, QStringLiteral("Larkspire"));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SymbolEditing, aTypedSymbolWithASemicolonOrOverAHundredCharactersIsRefused)
{
    dialogs.inputAnswers = {QStringLiteral("A;B"), QString(101, QLatin1Char('X')), QString(100, QLatin1Char('Y'))};
    for (int i = 0; i < 3; ++i)
        window->controls().addSymbolButton->click();
    EXPECT_EQ(symbols(), QStringList{QString(100, QLatin1Char('Y'))});
    EXPECT_EQ(dialogs.messageTexts(),
              (QStringList{QStringLiteral("A stock symbol cannot hold \";\"; nothing was added."),
                           QStringLiteral("A stock symbol has at most 100 characters; nothing was added.")}));
}

TEST_F(SymbolEditing, deleteRemovesTheSelectedItemOnly)
{
    fill({"A", "B", "C", "D", "E"});
    select(3);
    pressKey(Qt::Key_Delete);
    EXPECT_EQ(symbols(), texts({"A", "B", "D", "E"}));
    select(1);
    pressKey(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(symbols(), texts({"B", "D", "E"}));
    select(1);
    pressKey(Qt::Key_Backspace);
    pressKey(Qt::Key_X);
    EXPECT_EQ(symbols(), texts({"B", "D", "E"}));
    window->controls().symbolView->clearSelection();
    pressKey(Qt::Key_Delete);
    EXPECT_EQ(symbols().size(), 3);
    window->symbolList().clear();
    pressKey(Qt::Key_Delete);
    window->removeSelectedSymbol();
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SymbolEditing, doubleClickRemovesTheClickedItem)
{
    fill({"A", "B", "C"});
    ListView* v = window->controls().symbolView;
    window->show();
    const QRect r = v->visualRect(v->model()->index(1, 0));
    QTest::mouseDClick(v->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    EXPECT_EQ(symbols(), texts({"A", "C"}));
}

TEST_F(SymbolEditing, aRemovalLeavesNoRowSelectedInEitherList)
{
    fill({"A", "B", "C", "D", "E"});
    select(3);
    pressKey(Qt::Key_Delete);
    pressKey(Qt::Key_Delete);
    EXPECT_EQ(symbols(), texts({"A", "B", "D", "E"})) << "a second Delete waits for a new selection";
    window->show();
    ListView* v = window->controls().symbolView;
    QTest::mouseDClick(v->viewport(), Qt::LeftButton, Qt::NoModifier, v->visualRect(v->model()->index(0, 0)).center());
    pressKey(Qt::Key_Delete);
    EXPECT_EQ(symbols(), texts({"B", "D", "E"}));

    ListView* results = window->controls().resultsView;
    for (const char* row : {"R1", "R2", "R3"})
        window->resultsList().add(QString::fromLatin1(row));
    QTest::mouseDClick(results->viewport(), Qt::LeftButton, Qt::NoModifier,
                       results->visualRect(results->model()->index(1, 0)).center());
    EXPECT_EQ(window->resultsList().count(), 2);
    EXPECT_EQ(results->selectedIndex(), 0);
}

TEST_F(SymbolEditing, busyWindowRefusesRemovalButAcceptsAdditions)
{
    fill({"A", "B", "C"});
    select(2);
    window->SetMousePointer(kPointerHourglass);
    pressKey(Qt::Key_Delete);
    window->removeSelectedSymbol();
    window->controls().clearListButton->click();
    EXPECT_EQ(symbols(), texts({"A", "B", "C"}));
    dialogs.inputAnswers = {QStringLiteral("X")};
    window->controls().addSymbolButton->click();
    window->controls().sampleButton->click();
    EXPECT_EQ(symbols(), texts({"A", "B", "C", "X", "GOOG", "MSFT", "nhy.ol"}));
    window->SetMousePointer(kPointerDefault);
    window->controls().clearListButton->click();
    EXPECT_TRUE(symbols().isEmpty());
}

TEST_F(SymbolEditing, sampleSetAppendsEachTime)
{
    window->controls().sampleButton->click();
    EXPECT_EQ(symbols(), texts({"GOOG", "MSFT", "nhy.ol"}));
    window->controls().sampleButton->click();
    EXPECT_EQ(symbols().size(), 6);
    EXPECT_EQ(symbols().last(), QStringLiteral("nhy.ol"));
}

class SymbolFiles : public SymbolEditing {
protected:
    QString file(const char* name, const QByteArray& bytes) { return writeFile(dataDir, name, bytes); }
    void load(const QString& answer)
    {
        dialogs.openAnswers = {answer};
        window->controls().loadFileButton->click();
    }
    QTemporaryDir dataDir;
};

TEST_F(SymbolFiles, oneFileIsReadWithTheDialogsSettings)
{
    fill({"X"});
    load(file("a.txt", "GOOG\r\nMSFT\r\n\r\nIBM\r\n"));
    EXPECT_EQ(symbols(), texts({"X", "GOOG", "MSFT", "", "IBM"}));
    ASSERT_EQ(dialogs.openRequests.size(), 1u);
    EXPECT_EQ(dialogs.openRequests[0].title, QStringLiteral("Load List(s) - Hold Ctrl to select multiple list files"));
    EXPECT_EQ(dialogs.openRequests[0].filter, QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"));
    EXPECT_EQ(window->MousePointer(), kPointerDefault);
    EXPECT_TRUE(dialogs.messages.empty());
    // The same file again appends again.
    load(dataDir.filePath(QStringLiteral("a.txt")));
    EXPECT_EQ(symbols().size(), 9);
}

TEST_F(SymbolFiles, severalFilesAreJoinedToTheirFolderInDialogOrder)
{
    file("a.txt", "A1\nA2");
    file("b.txt", "B1");
    load(dataDir.path() + QChar(u'\0') + QStringLiteral("b.txt") + QChar(u'\0') + QStringLiteral("a.txt"));
    EXPECT_EQ(symbols(), texts({"B1", "A1", "A2"}));
    // A folder given with a trailing separator does not double it.
    load(dataDir.path() + QStringLiteral("/") + QChar(u'\0') + QStringLiteral("b.txt"));
    EXPECT_EQ(symbols().size(), 4);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SymbolFiles, filesFromDifferentFoldersAreEachReadFromTheirOwn)
{
    QTemporaryDir otherDir;
    file("x.txt", "X1");
    file("z.txt", "WRONG");
    const QString z = writeFile(otherDir, "z.txt", "Z1");
    load(joinChosenFiles({dataDir.filePath(QStringLiteral("x.txt")), z}));
    EXPECT_EQ(symbols(), texts({"X1", "Z1"}));
    EXPECT_EQ(joinChosenFiles({QStringLiteral("/a/x.txt"), QStringLiteral("/a/y.txt")}),
              QStringLiteral("/a") + QChar(u'\0') + QStringLiteral("x.txt") + QChar(u'\0') + QStringLiteral("y.txt"));
    EXPECT_EQ(joinChosenFiles({QStringLiteral("/a/x.txt")}), QStringLiteral("/a/x.txt"));
}

TEST_F(SymbolFiles, theOpenDialogPassesATypedMissingNameOn)
{
    OpenFilesDialog dialog(nullptr, QStringLiteral("Load"));
    dialog.setDirectory(dataDir.path());
    dialog.selectFile(QStringLiteral("typed-name.txt"));
    // Qt's own dialog would stop here with a modal box of its own.
    QWidget* modal = nullptr;
    QTimer::singleShot(0, &dialog, [&] {
        if ((modal = QApplication::activeModalWidget()))
            modal->close();
    });
    dialog.accept();
    EXPECT_EQ(modal, nullptr);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.chosen(), QStringList{dataDir.filePath(QStringLiteral("typed-name.txt"))});
}

TEST_F(SymbolFiles, rootFolderFilesJoinWithoutADoubledSeparator)
{
    // Nothing is read from the root folder here: a missing file shows the
    // message, which tells which path was tried through its absence only,
    // so check the joined path through the common routine the handler uses.
    EXPECT_EQ(NormalizePath(QStringLiteral("/") + QStringLiteral("/") + QStringLiteral("a.txt")),
              QStringLiteral("/a.txt"));
    load(QStringLiteral("/") + QChar(u'\0') + QStringLiteral("larkspire-no-such-a.txt") + QChar(u'\0') +
         QStringLiteral("larkspire-no-such-b.txt"));
    EXPECT_EQ(dialogs.messageTexts(), texts({"File not found", "File not found"}));
}

TEST_F(SymbolFiles, missingFileShowsFileNotFoundOnceAndTheNextFileIsRead)
{
    load(dataDir.filePath(QStringLiteral("typed-name.txt")));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("File not found"));
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Larkspire"));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::None);
    EXPECT_TRUE(symbols().isEmpty());
    file("b.txt", "B1");
    load(dataDir.path() + QChar(u'\0') + QStringLiteral("gone.txt") + QChar(u'\0') + QStringLiteral("b.txt"));
    EXPECT_EQ(symbols(), texts({"B1"}));
    EXPECT_EQ(dialogs.messages.size(), 2u);
}

TEST_F(SymbolFiles, unreadableEntriesAreReportedWithStep134AndTheNextFileIsRead)
{
    ASSERT_TRUE(QDir(dataDir.path()).mkdir(QStringLiteral("folder.txt")));
    ASSERT_EQ(mkfifo(QFile::encodeName(dataDir.filePath(QStringLiteral("fifo.txt"))).constData(), 0600), 0);
    file("c.txt", "C1");
    load(dataDir.path() + QChar(u'\0') + QStringLiteral("folder.txt") + QChar(u'\0') + QStringLiteral("fifo.txt") +
         QChar(u'\0') + QStringLiteral("c.txt"));
    EXPECT_EQ(symbols(), texts({"C1"}));
    const QStringList texts = dialogs.messageTexts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("Path is a folder, not a file: ")));
    EXPECT_TRUE(texts[0].contains(QStringLiteral(".Form1.PushButton3_Click at line 134\r\r")));
    EXPECT_TRUE(texts[1].startsWith(QStringLiteral("Not a regular file: ")));
    EXPECT_EQ(window->MousePointer(), kPointerDefault);
    // A single file that fails is reported with step 120.
    load(dataDir.filePath(QStringLiteral("folder.txt")));
    EXPECT_TRUE(dialogs.messages.back().text.contains(QStringLiteral("at line 120\r\r")));
}

TEST_F(SymbolFiles, cancelDoesNothing)
{
    load(QString());
    EXPECT_TRUE(symbols().isEmpty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(window->MousePointer(), kPointerDefault);
}

TEST_F(SymbolFiles, loadedListSurvivesARestart)
{
    load(file("a.txt", "GOOG\nmsft \n"));
    window->close();
    window.reset();
    start();
    EXPECT_EQ(symbols(), texts({"GOOG", "msft "})) << "the empty item does not come back";
}

TEST_F(SymbolEditing, undoBringsBackWhatRemovalsTookInTheirPlaceSeveralStepsBack)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    fill({"A", "B", "C", "D"});
    select(2);
    pressKey(Qt::Key_Delete);          // B
    window->removeSelectedSymbol();    // nothing selected: nothing taken, nothing to undo
    select(3);
    window->removeSelectedSymbol();    // D
    window->controls().clearListButton->click();
    EXPECT_TRUE(symbols().isEmpty());
    window->symbolList().add(QStringLiteral("NEW"));
    QTest::keySequence(window.get(), QKeySequence::Undo);
    EXPECT_EQ(symbols(), texts({"A", "C", "NEW"})) << "the cleared list back in its place";
    QTest::keySequence(window.get(), QKeySequence::Undo);
    EXPECT_EQ(symbols(), texts({"A", "C", "D", "NEW"}));
    const QList<QAction*> menu = window->controls().symbolView->actions();
    ASSERT_EQ(menu.size(), 3);
    EXPECT_EQ(menu[0]->text(), QStringLiteral("Undo"));
    EXPECT_EQ(menu[2]->text(), QStringLiteral("Clear List"));
    menu[0]->trigger();
    EXPECT_EQ(symbols(), texts({"A", "B", "C", "D", "NEW"}));
    menu[0]->trigger(); // nothing left to undo
    EXPECT_EQ(symbols().size(), 5);
}
