#include "window/results_fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

using namespace larkspire;
using namespace larkspire::test;

namespace {
const QString kCopied = QStringLiteral("Results have been copied to the clipboard.\r\rClick a text area where you "
                                       "normally type and press Ctrl+V to paste the clipboard.");
QString clipboardText() { return QGuiApplication::clipboard()->text(); }
} // namespace

class ClipboardCopy : public ResultsFixture {
protected:
    void copy() { window->controls().copyButton->click(); }
};

TEST_F(ClipboardCopy, oneNineColumnRow)
{
    addRow({QStringLiteral("GOOG"), QStringLiteral("1.5"), QStringLiteral("2"), QStringLiteral("3"),
            QStringLiteral("4"), QStringLiteral("5.00"), QStringLiteral("6.00"), QStringLiteral("7.00B"),
            QStringLiteral("8")},
           true);
    copy();
    EXPECT_EQ(clipboardText(), QStringLiteral("GOOG\t1.5\t2\t3\t4\t5.00\t6.00\t7.00B\t8\r\n"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, kCopied);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Larkspire"));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::None);
}

TEST_F(ClipboardCopy, widthsComeFromCellsOnlyAndTheLastColumnIsTrimmed)
{
    // The unticked second row has the longest first cell; headers play no part.
    addRow({QStringLiteral("AB"), QStringLiteral("1"), QString(), QString(), QString(), QString(), QString(),
            QString(), QStringLiteral("x  ")},
           true);
    addRow({QStringLiteral("ABCDEF"), QStringLiteral("12345"), QString(), QString(), QString(), QString(),
            QString(), QString(), QStringLiteral("longest")},
           false);
    addRow({QStringLiteral("C")}, true);
    copy();
    // Columns 3 to 8 are empty in every row (width 0); column 9 is trimmed.
    EXPECT_EQ(clipboardText(), QStringLiteral("AB    \t1    \t\t\t\t\t\t\tx\r\n"
                                              "C     \t     \t\t\t\t\t\t\t\r\n"));
}

// With no row ticked (none at all, or none of those shown) the clipboard
// keeps what it holds, and a box says how to tick rows.
TEST_F(ClipboardCopy, nothingTickedLeavesTheClipboardAloneAndSaysHowToTick)
{
    for (const bool withRow : {false, true}) {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        dialogs.messages.clear();
        if (withRow)
            addRow({QStringLiteral("GOOG")}, false);
        copy();
        EXPECT_EQ(clipboardText(), QStringLiteral("before")) << withRow;
        ASSERT_EQ(dialogs.messageTexts().size(), 1);
        EXPECT_TRUE(dialogs.messageTexts()[0].startsWith(QStringLiteral("No row of the results is ticked")));
        EXPECT_TRUE(dialogs.messageTexts()[0].contains(QStringLiteral("Ctrl+A")));
    }
}

namespace {
struct StubbornClipboard : Clipboard {
    int clears = 0, sets = 0;
    bool tryClear() override { return ++clears, false; }
    bool trySetText(const QString&) override { return ++sets, false; }
};
} // namespace

TEST_F(ClipboardCopy, aClipboardThatNeverTakesIsTriedAThousandTimesSilently)
{
    StubbornClipboard stubborn;
    Platform p = makePlatform();
    p.clipboard = &stubborn;
    window = std::make_unique<MainWindow>(std::move(p));
    addRow({QStringLiteral("GOOG")}, true);
    copy();
    EXPECT_EQ(stubborn.clears, 1000);
    EXPECT_EQ(stubborn.sets, 1000);
    EXPECT_EQ(dialogs.messageTexts(), QStringList{kCopied});
}

TEST_F(ClipboardCopy, rowsClearedWhileTheCopyYieldsAreNotReadAfterwards)
{
    for (int i = 0; i < 2000; ++i)
        addRow({QStringLiteral("S%1").arg(i), QStringLiteral("1")}, true);
    // "Clear Results" is pressed as soon as the copy first lets events run.
    QTimer::singleShot(0, window.get(), [&] { window->controls().clearResultsButton->click(); });
    copy();
    EXPECT_EQ(window->resultsList().count(), 0);
    EXPECT_EQ(dialogs.messageTexts(), QStringList{kCopied}) << "no error report, the message as always";
}
