// Keyboard commands, ticking every row, and what a screen reader is told,
// through the real window.
#include "window/results_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QTest>

using namespace larkspire;
using namespace larkspire::test;

class Keyboard : public ResultsFixture {
protected:
    void SetUp() override
    {
        ResultsFixture::SetUp();
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
};

TEST_F(Keyboard, eachKeyClicksItsOwnButtonOnly)
{
    const auto& c = window->controls();
    const std::pair<QPushButton*, QKeySequence> commands[] = {
        {c.addSymbolButton, QKeySequence(Qt::Key_Insert)},
        {c.loadFileButton, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {c.startButton, QKeySequence(Qt::Key_F5)},
        {c.saveTextButton, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {c.saveWorkbookButton, QKeySequence(Qt::CTRL | Qt::Key_E)},
        {c.copyButton, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)},
    };
    QMap<QPushButton*, int> clicks;
    for (QPushButton* b : window->findChildren<QPushButton*>())
        QObject::connect(b, &QPushButton::clicked, window.get(), [&clicks, b] { ++clicks[b]; });
    for (const auto& [button, keys] : commands) {
        clicks.clear();
        if (button == c.saveTextButton) // a ticked row to save (the run before it emptied the results)
            addRow({QStringLiteral("A")}, true);
        QTest::keySequence(window.get(), keys);
        EXPECT_EQ(clicks.value(button), 1) << button->text().toStdString();
        EXPECT_EQ(clicks.size(), 1) << button->text().toStdString();
        EXPECT_TRUE(button->toolTip().endsWith(QLatin1Char('(') + keys.toString(QKeySequence::NativeText) +
                                               QLatin1Char(')')))
            << button->toolTip().toStdString();
    }
    EXPECT_EQ(dialogs.prompts.size(), 1u);
    EXPECT_EQ(dialogs.openRequests.size(), 1u);
    EXPECT_EQ(dialogs.saveRequests.size(), 1u);

    QTest::keySequence(window.get(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(window->hasEnded()) << "Ctrl+Q closes the window the ordinary way";
    EXPECT_EQ(endProgramCalls, 1);
}

TEST_F(Keyboard, tickAllThenCopyGivesEveryRowAndDeleteRemovesTheSelectedRow)
{
    for (const char* s : {"A", "B", "C"})
        addRow({QString::fromLatin1(s), QStringLiteral("1")}, false);
    QTest::keySequence(window.get(), QKeySequence(Qt::CTRL | Qt::Key_A));
    window->controls().copyButton->click();
    const QStringList copied = QGuiApplication::clipboard()->text().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(copied.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(copied[i].startsWith(QString(QLatin1Char(char('A' + i))) + QLatin1Char('\t')));
    QTest::keySequence(window.get(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    for (int r = 1; r <= 3; ++r)
        EXPECT_FALSE(window->resultsList().checked(r));
    const QList<QAction*> menu = window->controls().resultsView->actions();
    ASSERT_EQ(menu.size(), 4);
    EXPECT_EQ(menu[0]->text(), QStringLiteral("Tick All Rows"));
    EXPECT_EQ(menu[1]->text(), QStringLiteral("Untick All Rows"));
    EXPECT_EQ(menu[2]->text(), QStringLiteral("Copy\tCtrl+Shift+C"));
    EXPECT_EQ(menu[3]->text(), QStringLiteral("Remove Row\tDelete"));
    menu[0]->trigger();
    EXPECT_TRUE(window->resultsList().checked(2));

    ListView* view = window->controls().resultsView;
    view->setFocus();
    view->setCurrentIndex(view->model()->index(1, 0));
    QTest::keyClick(view, Qt::Key_Delete);
    ASSERT_EQ(window->resultsList().count(), 2);
    EXPECT_EQ(window->resultsList().text(2), QStringLiteral("C"));
}

TEST_F(Keyboard, everyControlHasANameAndTheBarReadsItsValueAndText)
{
    const auto& c = window->controls();
    QStringList names;
    for (QWidget* w : std::initializer_list<QWidget*>{c.symbolView, c.resultsView, c.addSymbolButton, c.loadFileButton,
                                                      c.clearListButton, c.sampleButton, c.showNamesCheck,
                                                      c.startButton, c.saveTextButton, c.saveWorkbookButton,
                                                      c.copyButton, c.clearResultsButton, c.progressBar}) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Description).isEmpty()) << w->objectName().toStdString();
        names << a->text(QAccessible::Name);
    }
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), names.size()) << names.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(names.contains(QString()));

    c.progressBar->setPosition(42);
    c.progressBar->setBarText(QStringLiteral("Processing: GOOG"));
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(c.progressBar);
    EXPECT_EQ(bar->role(), QAccessible::ProgressBar);
    ASSERT_NE(bar->valueInterface(), nullptr);
    EXPECT_EQ(bar->valueInterface()->currentValue().toInt(), 42);
    EXPECT_EQ(bar->text(QAccessible::Value), QStringLiteral("Processing: GOOG"));
    EXPECT_EQ(bar->text(QAccessible::Description), QStringLiteral("Processing: GOOG")) << "heard where no value text is";
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window.get())->role(), QAccessible::Window);

    // An unticked row can be ticked, and says so.
    addRow({QStringLiteral("GOOG"), QStringLiteral("1")}, false);
    c.resultsView->doItemsLayout(); // as the next paint would
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(c.resultsView);
    QAccessibleInterface* cell = nullptr;
    for (int i = 0; i < list->childCount() && !cell; ++i)
        if (list->child(i)->text(QAccessible::Name) == QStringLiteral("GOOG"))
            cell = list->child(i);
    ASSERT_NE(cell, nullptr);
    EXPECT_TRUE(cell->state().checkable);
    EXPECT_FALSE(cell->state().checked);
}
