#include "core/failure.h"
#include "core/list_model.h"

#include <gtest/gtest.h>

using namespace larkspire;

TEST(ListModel, removeMovesTheItemsBelowUp)
{
    ListModel list(false);
    list.addColumn(QStringLiteral("Symbols"));
    for (const char* s : {"A", "B", "C", "D", "E"})
        list.add(QString::fromLatin1(s));
    const ItemRef fourth = list.ref(4);
    const ItemRef third = list.ref(3);
    list.remove(3);
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(list.text(3), QStringLiteral("D"));
    EXPECT_EQ(list.text(4), QStringLiteral("E"));
    EXPECT_EQ(ListModel::indexOf(fourth), 3);
    EXPECT_EQ(ListModel::indexOf(third), 0) << "a removed item reads as gone";
    EXPECT_THROW(list.remove(5), Failure);
    EXPECT_THROW(list.text(0), Failure);
}

TEST(ListModel, newRowIsUntickedWithEmptySubItemsAndOnlyTheUserTicksIt)
{
    ListModel list(true);
    for (const char* h : {"Stock Symbol", "Stock Price", "Open"})
        list.addColumn(QString::fromLatin1(h));
    const ItemRef row = list.add(QStringLiteral("GOOG"));
    EXPECT_FALSE(list.checked(1));
    EXPECT_EQ(list.subItem(1, 1), QString());
    EXPECT_EQ(list.subItem(1, 2), QString());
    EXPECT_THROW(list.subItem(1, 3), Failure);
    list.setSubItem(1, 2, QStringLiteral("12.50"));
    EXPECT_EQ(list.subItem(1, 2), QStringLiteral("12.50"));
    EXPECT_EQ(list.data(list.index(0, 2), Qt::DisplayRole).toString(), QStringLiteral("12.50"));
    // The view ticks through the check-state role, on the first column only.
    EXPECT_TRUE(list.flags(list.index(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(list.setData(list.index(0, 1), Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(list.setData(list.index(0, 0), QStringLiteral("X"), Qt::EditRole));
    EXPECT_TRUE(list.setData(list.index(0, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(list.checked(1));
    EXPECT_EQ(ListModel::indexOf(row), 1);
}

TEST(ListModel, clearKeepsTheColumnsAndInvalidatesRefs)
{
    ListModel list(true);
    list.addColumn(QStringLiteral("A"));
    list.addColumn(QStringLiteral("B"));
    const ItemRef row = list.add(QStringLiteral("x"));
    list.addMany({QStringLiteral("y"), QStringLiteral("z")});
    EXPECT_EQ(list.count(), 3);
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.columnTotal(), 2);
    EXPECT_EQ(list.headerText(2), QStringLiteral("B"));
    EXPECT_EQ(ListModel::indexOf(row), 0);
}
