#pragma once
// The rows and columns behind a list view in report view: an ordered list of
// items, each with a main text, sub-item texts and (in a list with check
// boxes) a tick state. Positions are counted from 1 as the window's handlers
// count them. The model is the only store of its list.
#include "core/cell.h"
#include <QAbstractTableModel>
#include <QPersistentModelIndex>
#include <QStringList>

#include <memory>
#include <vector>

namespace larkspire {

// A handle on one item that survives other items coming and going; it reads
// as gone (index 0) once its own item has been removed.
using ItemRef = QPersistentModelIndex;

class ListModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListModel)
public:
    explicit ListModel(bool withCheckBoxes, QObject* parent = nullptr);

    // ColumnHeaders
    void addColumn(const QString& text);
    int columnTotal() const { return static_cast<int>(m_headers.size()); }
    QString headerText(int column) const;
    void setHeaderText(int column, const QString& text);

    // ListItems
    int count() const { return static_cast<int>(m_rows.size()); }
    ItemRef add(const QString& text);
    void addMany(const QStringList& texts);
    // Puts the texts in at `index` (from 1; count() + 1 appends).
    void insertMany(int index, const QStringList& texts);
    QString text(int index) const;
    QString subItem(int index, int subIndex) const;
    void setSubItem(int index, int subIndex, const QString& text);
    // A sub-item as a cell of a row of results: its text, and the number it
    // shows when it is one (what a workbook stores as the cell's value).
    void setSubItemCell(int index, int subIndex, const Cell& cell);
    Cell subItemCell(int index, int subIndex) const;
    // What the row means, for its tooltip and a screen reader.
    void setDescription(int index, const QString& text);
    bool checked(int index) const;
    // Ticks (or unticks) every row at once, as the user's command does.
    void setAllChecked(bool checked);
    void remove(int index);
    void clear();

    ItemRef ref(int index) const;
    // The position of a referenced item, or 0 once it has been removed.
    static int indexOf(const ItemRef& ref);
    bool hasCheckBoxes() const { return m_withCheckBoxes; }

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // What only rows of results have, apart: a list of a million symbols
    // takes no room for it.
    struct Extra {
        std::vector<Cell> cells; // the sub-items as cells, their texts left in the row's sub-items
        QString description;
    };
    struct Row {
        QString text;
        QStringList subItems; // sub-item k at k - 1; missing ones read as ""
        std::unique_ptr<Extra> extra;
        bool checked = false;
        Extra& extraMade()
        {
            if (!extra)
                extra = std::make_unique<Extra>();
            return *extra;
        }
    };
    void checkIndex1(int index) const;
    void checkSubItem1(int index, int subIndex) const;
    void checkColumn1(int column) const;

    bool m_withCheckBoxes;
    QStringList m_headers;
    std::vector<Row> m_rows;
};

} // namespace larkspire
