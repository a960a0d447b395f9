#include "core/common_routines.h"
#include "core/failure.h"
#include "support/full_disk.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QMouseEvent>
#include <QRegularExpression>

using namespace larkspire;
using namespace larkspire::test;

namespace {

QString resultsHeader(MainWindow& w) { return w.resultsList().headerText(1); }

void moveMouseOver(QWidget* widget)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), widget->mapToGlobal(QPointF(3, 3)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace

class StartUp : public WindowFixture {};

TEST_F(StartUp, freshStoreTicksTheOptionAndWritesNothingBack)
{
    MainWindow& w = start();
    EXPECT_TRUE(w.controls().showNamesCheck->isChecked());
    EXPECT_EQ(resultsHeader(w), QStringLiteral("Stock Name"));
    EXPECT_EQ(stored(kKeyShowFullnames), QStringLiteral("<absent>")) << "restoring is no click";
    EXPECT_EQ(w.symbolList().count(), 0);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Larkspire"));
    EXPECT_EQ(w.appTitle(), QStringLiteral("Larkspire"));
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    w.close();
    EXPECT_EQ(stored(kKeyStockQuotes), QString());
    EXPECT_EQ(endProgramCalls, 1);
}

TEST_F(StartUp, displayOptionFollowsTheNumericValueOfTheStoredText)
{
    struct Case {
        const char* stored;
        bool ticked;
    };
    const Case cases[] = {
        {"0", false}, {"2", true}, {" 1", true}, {"abc", false}, {"", false}, {"1abc", true}, {"-0", false}, {"0.5", true},
    };
    for (const Case& c : cases) {
        putStored(kKeyShowFullnames, QString::fromUtf8(c.stored));
        MainWindow& w = start();
        EXPECT_EQ(w.controls().showNamesCheck->isChecked(), c.ticked) << c.stored;
        EXPECT_EQ(resultsHeader(w), c.ticked ? QStringLiteral("Stock Name") : QStringLiteral("Stock Symbol"))
            << c.stored;
        EXPECT_EQ(stored(kKeyShowFullnames), QString::fromUtf8(c.stored)) << "restoring writes nothing back";
        window.reset();
    }
}

TEST_F(StartUp, storedSymbolsComeBackInOrderWithoutEmptyPieces)
{
    const std::pair<const char*, QStringList> cases[] = {
        {"GOOG;MSFT;;nhy.ol;", {QStringLiteral("GOOG"), QStringLiteral("MSFT"), QStringLiteral("nhy.ol")}},
        {";", {}},
        {";;;", {}},
        {"GOOG;GOOG", {QStringLiteral("GOOG"), QStringLiteral("GOOG")}},
        {" msft ;x", {QStringLiteral(" msft "), QStringLiteral("x")}},
    };
    for (const auto& [text, expected] : cases) {
        putStored(kKeyStockQuotes, QString::fromUtf8(text));
        start();
        EXPECT_EQ(symbols(), expected) << text;
        window.reset();
    }
    // An item of megabytes (a hand-edited file) is left out, and said once.
    putStored(kKeyStockQuotes, QStringLiteral("GOOG;") + QString(5 << 20, QLatin1Char('X')) + QStringLiteral(";MSFT;") +
                                   QString(101, QLatin1Char('Y')));
    dialogs.messages.clear();
    start();
    EXPECT_EQ(symbols(), (QStringList{QStringLiteral("GOOG"), QStringLiteral("MSFT")}));
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList{QStringLiteral("2 stored symbol(s) longer than 100 characters were left out.")});
}

TEST_F(StartUp, columnsOfBothListsAreSetUp)
{
    MainWindow& w = start();
    EXPECT_EQ(w.symbolList().columnTotal(), 1);
    EXPECT_EQ(w.symbolList().headerText(1), QStringLiteral("Stock Symbols (GOOG for example)"));
    EXPECT_EQ(w.controls().symbolView->columnWidthTwips(1), 7005) << "7000 twips, rounded to whole pixels";
    const QStringList headers{QStringLiteral("Stock Name"), QStringLiteral("Stock Price"), QStringLiteral("Open"),
                              QStringLiteral("High"),       QStringLiteral("Low"),         QStringLiteral(" Volume"),
                              QStringLiteral("Avg Vol"),    QStringLiteral("Mkt Cap"),     QStringLiteral("Prev Close")};
    ASSERT_EQ(w.resultsList().columnTotal(), 9);
    for (int c = 1; c <= 9; ++c) {
        EXPECT_EQ(w.resultsList().headerText(c), headers[c - 1]);
        EXPECT_EQ(w.controls().resultsView->columnWidthTwips(c), c == 1 ? 3000 : 1500);
    }
    EXPECT_TRUE(w.resultsList().hasCheckBoxes());
    EXPECT_FALSE(w.symbolList().hasCheckBoxes());
}

TEST_F(StartUp, unreadableSettingsAreReportedAndTheWindowStillOpens)
{
    ASSERT_TRUE(QDir().mkpath(store().filePath(kSettingsApplication))); // a folder where the file should be
    MainWindow& w = start();
    const QStringList texts = dialogs.messageTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(texts[0].contains(QStringLiteral(".Form1.Form_Load at line 172\r\r")));
    EXPECT_TRUE(texts[1].contains(QStringLiteral(".Form1.Form_Load at line 180\r\r")));
    EXPECT_FALSE(w.controls().showNamesCheck->isChecked());
    EXPECT_EQ(resultsHeader(w), QStringLiteral("Stock Symbol"));
    EXPECT_EQ(w.symbolList().count(), 0);
    // A list that could not be read is not written over: the close says nothing more and ends.
    w.close();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(endProgramCalls, 1);
}

TEST_F(StartUp, anOversizedSettingsFileIsNeitherReadNorWrittenOver)
{
    const QString path = store().filePath(kSettingsApplication);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray content = "[Larkspire]\nStock%20Quotes=" + QByteArray(kMaxSettingsBytes, 'A') + "\n";
    file.write(content);
    file.close();
    MainWindow& w = start();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("larger than 32 MB")));
    EXPECT_EQ(w.symbolList().count(), 0);
    w.symbolList().add(QStringLiteral("GOOG"));
    w.close();
    EXPECT_EQ(QFileInfo(path).size(), content.size()) << "the stored list is still there for the next start";
}

TEST_F(StartUp, aFullDiskNeitherLosesTheStoredListNorReportsAnything)
{
    FullDisk disk;
    if (!disk.usable())
        GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    SettingsStore onDisk(disk.path());
    onDisk.write(kSettingsApplication, kSettingsSection, kKeyStockQuotes, QStringLiteral("GOOG;MSFT"));
    onDisk.write(kSettingsApplication, kSettingsSection, kKeyShowFullnames, QStringLiteral("1"));
    disk.fill();
    Platform platform = makePlatform();
    platform.settingsFolder = disk.path();
    window = std::make_unique<MainWindow>(platform);
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(symbols(), (QStringList{QStringLiteral("GOOG"), QStringLiteral("MSFT")}));

    // A click while the disk is full is reported, and the stored values stay whole.
    window->controls().showNamesCheck->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(onDisk.read(kSettingsApplication, kSettingsSection, kKeyShowFullnames, QString()), QStringLiteral("1"));
    EXPECT_EQ(onDisk.read(kSettingsApplication, kSettingsSection, kKeyStockQuotes, QString()),
              QStringLiteral("GOOG;MSFT"));
    disk.makeRoom();
    window->symbolList().add(QStringLiteral("IBM"));
    window->close();
    EXPECT_EQ(onDisk.read(kSettingsApplication, kSettingsSection, kKeyStockQuotes, QString()),
              QStringLiteral("GOOG;MSFT;IBM"));
}

class ShutDown : public WindowFixture {};

TEST_F(ShutDown, closeStoresTheListJoinedBySemicolons)
{
    MainWindow& w = start();
    for (const char* s : {"GOOG", "MSFT", "GOOG", "", "a;b", " x "})
        w.symbolList().add(QString::fromUtf8(s));
    w.close();
    EXPECT_EQ(stored(kKeyStockQuotes), QStringLiteral("GOOG;MSFT;GOOG;;a;b; x "));
    EXPECT_TRUE(w.hasEnded());
    EXPECT_FALSE(w.isVisible());
    // At the next start the ";" inside a symbol splits it and the empty one is gone.
    window.reset();
    start();
    EXPECT_EQ(symbols(), (QStringList{QStringLiteral("GOOG"), QStringLiteral("MSFT"), QStringLiteral("GOOG"),
                                      QStringLiteral("a"), QStringLiteral("b"), QStringLiteral(" x ")}));
}

TEST_F(ShutDown, listsBeyondSixteenBitCountersSurviveARestart)
{
    MainWindow& w = start();
    QStringList many;
    for (int i = 0; i < 40000; ++i)
        many << QStringLiteral("S%1").arg(i);
    w.symbolList().addMany(many);
    w.close();
    window.reset();
    start();
    EXPECT_EQ(symbols(), many);
}

TEST_F(ShutDown, pumpAfterTheWindowWentThrowsAbandoned)
{
    MainWindow& w = start();
    w.close();
    EXPECT_THROW(w.pumpEvents(), Abandoned);
    w.close(); // a second close request stores nothing more and ends nothing more
    EXPECT_EQ(endProgramCalls, 1);
}

class Pointer : public WindowFixture {};

TEST_F(Pointer, handOverButtonsArrowElsewhereHourglassStays)
{
    MainWindow& w = start();
    w.show();
    const auto& c = w.controls();
    EXPECT_FALSE(w.hasHandCursorFile());
    for (QWidget* b : std::initializer_list<QWidget*>{c.addSymbolButton, c.loadFileButton, c.clearListButton, c.sampleButton,
                                                      c.startButton, c.saveTextButton, c.saveWorkbookButton, c.copyButton,
                                                      c.clearResultsButton}) {
        w.SetMousePointer(kPointerDefault);
        moveMouseOver(b);
        EXPECT_EQ(w.MousePointer(), kPointerCustom) << b->objectName().toStdString();
        EXPECT_EQ(w.cursor().shape(), Qt::PointingHandCursor);
    }
    for (QWidget* s : std::initializer_list<QWidget*>{&w, c.symbolView->viewport(), c.resultsView->viewport(),
                                                      c.displayOptionFrame, c.showNamesCheck}) {
        w.SetMousePointer(kPointerCustom);
        moveMouseOver(s);
        EXPECT_EQ(w.MousePointer(), kPointerDefault) << s->objectName().toStdString();
    }
    w.SetMousePointer(kPointerHourglass);
    EXPECT_TRUE(w.isBusy());
    moveMouseOver(c.startButton);
    moveMouseOver(c.symbolView->viewport());
    EXPECT_EQ(w.MousePointer(), kPointerHourglass);
    EXPECT_EQ(w.cursor().shape(), Qt::WaitCursor);
}

namespace {
// A 32 x 32 cursor file with its hot spot at (5, 9): one 1-bit image.
QByteArray makeCursorFile()
{
    QByteArray d;
    auto u16 = [&](int v) { d.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    auto u32 = [&](quint32 v) { u16(int(v & 0xffff)); u16(int(v >> 16)); };
    u16(0); u16(2); u16(1);                          // directory: cursor, one image
    d.append(char(32)).append(char(32)).append(char(2)).append(char(0));
    u16(5); u16(9);                                  // hot spot
    const quint32 size = 40 + 8 + 128 + 128;
    u32(size); u32(22);
    u32(40); u32(32); u32(64); u16(1); u16(1); u32(0); u32(256); u32(0); u32(0); u32(2); u32(0);
    u32(0x000000); u32(0xffffff);                    // palette
    d.append(QByteArray(128, '\x00'));               // XOR mask
    d.append(QByteArray(128, '\x00'));               // AND mask
    return d;
}
} // namespace

TEST_F(Pointer, handCursorFileIsLoadedWithItsHotSpot)
{
    QFile f(programDir.filePath(QStringLiteral("HAND-M.CUR")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(makeCursorFile());
    f.close();
    MainWindow& w = start();
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(w.hasHandCursorFile());
    w.SetMousePointer(kPointerCustom);
    EXPECT_EQ(w.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(w.cursor().hotSpot(), QPoint(5, 9));
}

TEST_F(Pointer, unreadableCursorFileIsReportedAtStep112)
{
    QFile f(programDir.filePath(QStringLiteral("HAND-M.CUR")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a cursor");
    f.close();
    MainWindow& w = start();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("Form_Load at line 112")));
    EXPECT_FALSE(w.hasHandCursorFile());
}

class Look : public WindowFixture {};

TEST_F(Look, everyControlStandsAtItsPlaceInTabOrder)
{
    MainWindow& w = start();
    EXPECT_EQ(w.size(), QSize(536, 617));
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "the border is fixed";
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    struct Place {
        const char* name;
        const char* caption;
        int left, top, width, height;
    };
    const Place table[] = {
        {"ListView1", nullptr, 120, 120, 7800, 2535},
        {"ListView2", nullptr, 120, 5085, 7800, 2535},
        {"PushButton6", "Add Stock Symbol", 120, 2750, 3840, 405},
        {"PushButton3", "Load Symbols From File", 4080, 2750, 3840, 405},
        {"PushButton1", "Clear List", 120, 3260, 3840, 405},
        {"PushButton17", "Start Retrieving Quotes", 120, 4575, 7800, 405},
        {"PushButton4", "Save Results As Text File", 120, 7710, 3840, 405},
        {"PushButton13", "Save Results As Excel File", 4080, 7710, 3840, 405},
        {"PushButton2", "Clear Results", 4080, 8220, 3840, 405},
        {"Frame2", "Display Option", 120, 3720, 7800, 750},
        {"Check5", "Show full stock name in results instead of stock symbol", 240, 300, 5265, 285},
        {"PushButton5", "Copy Results To Clipboard", 120, 8220, 3840, 405},
        {"PushButton7", "Load Sample/Example Symbols", 4080, 3260, 3840, 405},
        {"ProgressBar1", nullptr, 120, 8730, 7800, 405},
    };
    for (const Place& p : table) {
        auto* c = w.findChild<QWidget*>(QString::fromLatin1(p.name));
        ASSERT_NE(c, nullptr) << p.name;
        const QRect expected(qRound(p.left / 15.0), qRound(p.top / 15.0), qRound(p.width / 15.0),
                             qRound(p.height / 15.0));
        EXPECT_EQ(c->geometry(), expected) << p.name;
        if (p.caption) {
            QString caption = c->property("text").toString();
            if (auto* box = qobject_cast<QGroupBox*>(c))
                caption = box->title();
            EXPECT_EQ(caption, QString::fromLatin1(p.caption)) << p.name;
        }
        EXPECT_TRUE(c->font().bold()) << p.name;
    }
    // Tab order: the focus chain from the first list visits the controls in table order.
    QStringList chain;
    QWidget* at = w.controls().symbolView;
    for (int guard = 0; guard < 200 && chain.size() < 12; ++guard, at = at->nextInFocusChain())
        if (at->focusPolicy() & Qt::TabFocus && !chain.contains(at->objectName()) &&
            at->objectName().contains(QRegularExpression(QStringLiteral("^(ListView|PushButton|Check)"))))
            chain << at->objectName();
    EXPECT_EQ(chain.join(QLatin1Char(' ')),
              QStringLiteral("ListView1 ListView2 PushButton6 PushButton3 PushButton1 PushButton17 PushButton4 "
                             "PushButton13 PushButton2 Check5 PushButton5 PushButton7"));
    EXPECT_DOUBLE_EQ(w.controls().addSymbolButton->font().pointSizeF(), 11.25);
    EXPECT_DOUBLE_EQ(w.controls().symbolView->font().pointSizeF(), 9);
    const QString hint = QStringLiteral(
        "Double-click item to remove it. Move | line to right and out of window to reveal full names.");
    EXPECT_EQ(w.controls().symbolView->toolTip(), hint);
    EXPECT_EQ(w.controls().resultsView->toolTip(), hint);
    EXPECT_EQ(w.controls().progressBar->text(), QStringLiteral("Progress Bar"));
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::white));
}

TEST_F(Look, aDarkDesktopThemeStillReadsDarkOnLight)
{
    const QPalette saved = QApplication::palette();
    QPalette dark(QColor(0xee, 0xee, 0xee), QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    MainWindow& w = start();
    const auto& c = w.controls();
    for (QWidget* widget : std::initializer_list<QWidget*>{&w, c.displayOptionFrame, c.showNamesCheck, c.symbolView,
                                                           c.resultsView, c.startButton, c.progressBar}) {
        const QPalette pal = widget->palette();
        const int text = pal.color(widget->foregroundRole()).lightness();
        const int ground = pal.color(widget->backgroundRole()).lightness();
        EXPECT_GE(ground - text, 128) << widget->objectName().toStdString();
    }
    QApplication::setPalette(saved);
}

TEST_F(Look, skinFileGivesTheButtonFaceColourAndNoMessage)
{
    {
        MainWindow& w = start();
        EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::white));
        window.reset();
    }
    ASSERT_TRUE(QDir(programDir.path()).mkpath(QStringLiteral("x")));
    QFile skin(programDir.filePath(QStringLiteral("x/o.cjs")));
    ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
    skin.close();
    MainWindow& w = start();
    const QColor face = QApplication::palette().color(QPalette::Button);
    EXPECT_EQ(w.palette().color(QPalette::Window), face);
    EXPECT_EQ(w.controls().displayOptionFrame->palette().color(QPalette::Window), face);
    EXPECT_EQ(w.controls().showNamesCheck->palette().color(QPalette::Window), face);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Look, onlineCheckRunsBeforeTheTitleIsSet)
{
    QString seenTitle;
    Platform p = makePlatform();
    p.onlineCheck = [&](const QString& title) { seenTitle = title; };
    MainWindow w(std::move(p));
    EXPECT_EQ(seenTitle, QCoreApplication::applicationName());
    EXPECT_NE(seenTitle, QStringLiteral("Larkspire"));
}

namespace {
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};
} // namespace

TEST_F(Look, aRepaintHeldBackByAPumpRunsAtTheNextOne)
{
    MainWindow& w = start();
    w.show();
    QCoreApplication::processEvents();
    PaintCounter counter;
    w.controls().progressBar->installEventFilter(&counter);
    w.controls().progressBar->setBarText(QStringLiteral("Processing: X"));
    w.pumpEventsRepaintLater();
    EXPECT_EQ(counter.paints, 0);
    for (int i = 0; i < 5 && counter.paints == 0; ++i)
        QCoreApplication::processEvents();
    EXPECT_GE(counter.paints, 1) << "the held-back repaint is not lost";
    // And later changes keep repainting.
    const int before = counter.paints;
    w.controls().progressBar->setPosition(50);
    for (int i = 0; i < 5 && counter.paints == before; ++i)
        QCoreApplication::processEvents();
    EXPECT_GT(counter.paints, before);
}
