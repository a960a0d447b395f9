#include "support/window_fixture.h"

#include <QTest>

using namespace larkspire;
using namespace larkspire::test;

class ResultsList : public WindowFixture {
protected:
    void SetUp() override
    {
        start();
        for (const char* s : {"A", "B", "C"})
            window->resultsList().add(QString::fromLatin1(s));
    }
    void select(int index)
    {
        ListView* v = window->controls().resultsView;
        v->setCurrentIndex(v->model()->index(index - 1, 0));
    }
};

TEST_F(ResultsList, doubleClickRemovesTheSelectedRowUnlessBusy)
{
    select(2);
    window->SetMousePointer(kPointerHourglass);
    window->removeSelectedResult();
    EXPECT_EQ(window->resultsList().count(), 3);
    window->SetMousePointer(kPointerDefault);
    window->removeSelectedResult();
    ASSERT_EQ(window->resultsList().count(), 2);
    EXPECT_EQ(window->resultsList().text(2), QStringLiteral("C"));
    window->controls().resultsView->clearSelection();
    window->removeSelectedResult();
    EXPECT_EQ(window->resultsList().count(), 2);
}

TEST_F(ResultsList, clearResultsKeepsTheColumnsAndWorksWhileBusy)
{
    window->SetMousePointer(kPointerHourglass);
    window->controls().clearResultsButton->click();
    EXPECT_EQ(window->resultsList().count(), 0);
    EXPECT_EQ(window->resultsList().columnTotal(), 9);
    EXPECT_EQ(window->resultsList().headerText(6), QStringLiteral(" Volume"));
    window->controls().clearResultsButton->click();
    window->removeSelectedResult();
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ResultsList, displayOptionChangesTheHeaderAndTheStoreOnly)
{
    window->controls().showNamesCheck->setChecked(false);
    EXPECT_EQ(window->resultsList().headerText(1), QStringLiteral("Stock Symbol"));
    EXPECT_EQ(stored(kKeyShowFullnames), QStringLiteral("0"));
    EXPECT_EQ(window->resultsList().text(1), QStringLiteral("A")) << "rows are not touched";
    QTest::mouseClick(window->controls().showNamesCheck, Qt::LeftButton);
    EXPECT_TRUE(window->controls().showNamesCheck->isChecked());
    EXPECT_EQ(window->resultsList().headerText(1), QStringLiteral("Stock Name"));
    EXPECT_EQ(stored(kKeyShowFullnames), QStringLiteral("1"));
}

TEST_F(ResultsList, userTicksRowsThroughTheView)
{
    window->show();
    ListView* v = window->controls().resultsView;
    const QModelIndex first = v->model()->index(0, 0);
    EXPECT_TRUE(v->model()->setData(first, Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(window->resultsList().checked(1));
    EXPECT_FALSE(window->resultsList().checked(2));
}
