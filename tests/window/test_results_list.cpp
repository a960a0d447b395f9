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
        ListView* v = window->controls().ListView2;
        v->setCurrentIndex(v->model()->index(index - 1, 0));
    }
};

TEST_F(ResultsList, doubleClickRemovesTheSelectedRowUnlessBusy)
{
    select(2);
    window->SetMousePointer(kPointerHourglass);
    window->ListView2_DblClick();
    EXPECT_EQ(window->resultsList().count(), 3);
    window->SetMousePointer(kPointerDefault);
    window->ListView2_DblClick();
    ASSERT_EQ(window->resultsList().count(), 2);
    EXPECT_EQ(window->resultsList().text(2), QStringLiteral("C"));
    window->controls().ListView2->clearSelection();
    window->ListView2_DblClick();
    EXPECT_EQ(window->resultsList().count(), 2);
}

TEST_F(ResultsList, clearResultsKeepsTheColumnsAndWorksWhileBusy)
{
    window->SetMousePointer(kPointerHourglass);
    window->controls().PushButton2->click();
    EXPECT_EQ(window->resultsList().count(), 0);
    EXPECT_EQ(window->resultsList().columnTotal(), 9);
    EXPECT_EQ(window->resultsList().headerText(6), QStringLiteral(" Volume"));
    window->controls().PushButton2->click();
    window->ListView2_DblClick();
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ResultsList, displayOptionChangesTheHeaderAndTheStoreOnly)
{
    window->controls().Check5->setChecked(false);
    EXPECT_EQ(window->resultsList().headerText(1), QStringLiteral("Stock Symbol"));
    EXPECT_EQ(stored(kKeyShowFullnames), QStringLiteral("0"));
    EXPECT_EQ(window->resultsList().text(1), QStringLiteral("A")) << "rows are not touched";
    QTest::mouseClick(window->controls().Check5, Qt::LeftButton);
    EXPECT_TRUE(window->controls().Check5->isChecked());
    EXPECT_EQ(window->resultsList().headerText(1), QStringLiteral("Stock Name"));
    EXPECT_EQ(stored(kKeyShowFullnames), QStringLiteral("1"));
}

TEST_F(ResultsList, userTicksRowsThroughTheView)
{
    window->show();
    ListView* v = window->controls().ListView2;
    const QModelIndex first = v->model()->index(0, 0);
    EXPECT_TRUE(v->model()->setData(first, Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(window->resultsList().checked(1));
    EXPECT_FALSE(window->resultsList().checked(2));
}
