#include "core/list_model.h"

#include "core/failure.h"

#include <algorithm>

namespace larkspire {

namespace {
Failure outOfBounds() { return Failure(QStringLiteral("Index out of bounds"), 35600); }

// Sets place `at` of a row's cells, growing them with empty ones up to it.
void putAt(QStringList& cells, qsizetype at, const QString& text)
{
    while (cells.size() <= at)
        cells.append(QString());
    cells[at] = text;
}
} // namespace

ListModel::ListModel(bool withCheckBoxes, QObject* parent)
    : QAbstractTableModel(parent), m_withCheckBoxes(withCheckBoxes) {}

void ListModel::addColumn(const QString& text)
{
    const int at = columnTotal();
    beginInsertColumns(QModelIndex(), at, at);
    m_headers.append(text);
    endInsertColumns();
}

void ListModel::checkColumn1(int column) const
{
    if (column < 1 || column > columnTotal())
        throw outOfBounds();
}

void ListModel::checkIndex1(int index) const
{
    if (index < 1 || index > count())
        throw outOfBounds();
}

void ListModel::checkSubItem1(int index, int subIndex) const
{
    checkIndex1(index);
    if (subIndex < 1 || subIndex >= columnTotal())
        throw outOfBounds();
}

QString ListModel::headerText(int column) const
{
    checkColumn1(column);
    return m_headers.at(column - 1);
}

void ListModel::setHeaderText(int column, const QString& text)
{
    checkColumn1(column);
    m_headers[column - 1] = text;
    emit headerDataChanged(Qt::Horizontal, column - 1, column - 1);
}

ItemRef ListModel::add(const QString& text)
{
    const int at = count();
    beginInsertRows(QModelIndex(), at, at);
    m_rows.push_back(Row{text, {}, {}, false});
    endInsertRows();
    return ItemRef(index(at, 0));
}

void ListModel::addMany(const QStringList& texts)
{
    if (texts.isEmpty())
        return;
    const int at = count();
    beginInsertRows(QModelIndex(), at, at + static_cast<int>(texts.size()) - 1);
    // Geometric growth: batches of a long file must not each reallocate the list.
    if (m_rows.capacity() < m_rows.size() + static_cast<size_t>(texts.size()))
        m_rows.reserve(std::max(m_rows.size() + static_cast<size_t>(texts.size()), m_rows.capacity() * 2));
    for (const QString& t : texts)
        m_rows.push_back(Row{t, {}, {}, false});
    endInsertRows();
}

void ListModel::insertMany(int index, const QStringList& texts)
{
    if (texts.isEmpty())
        return;
    if (index < 1 || index > count() + 1)
        throw outOfBounds();
    const int at = index - 1;
    beginInsertRows(QModelIndex(), at, at + static_cast<int>(texts.size()) - 1);
    std::vector<Row> rows;
    rows.reserve(static_cast<size_t>(texts.size()));
    for (const QString& t : texts)
        rows.push_back(Row{t, {}, {}, false});
    m_rows.insert(m_rows.begin() + at, std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
}

QString ListModel::text(int index) const
{
    checkIndex1(index);
    return m_rows[static_cast<size_t>(index - 1)].text;
}

QString ListModel::subItem(int index, int subIndex) const
{
    checkSubItem1(index, subIndex);
    return m_rows[static_cast<size_t>(index - 1)].subItems.value(subIndex - 1);
}

void ListModel::setSubItem(int index, int subIndex, const QString& text)
{
    checkSubItem1(index, subIndex);
    putAt(m_rows[static_cast<size_t>(index - 1)].subItems, subIndex - 1, text);
    const QModelIndex cell = this->index(index - 1, subIndex);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

bool ListModel::checked(int index) const
{
    checkIndex1(index);
    return m_rows[static_cast<size_t>(index - 1)].checked;
}

void ListModel::remove(int index)
{
    checkIndex1(index);
    beginRemoveRows(QModelIndex(), index - 1, index - 1);
    m_rows.erase(m_rows.begin() + (index - 1));
    endRemoveRows();
}

void ListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

ItemRef ListModel::ref(int index) const
{
    checkIndex1(index);
    return ItemRef(this->index(index - 1, 0));
}

int ListModel::indexOf(const ItemRef& ref) { return ref.isValid() ? ref.row() + 1 : 0; }

int ListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

int ListModel::columnCount(const QModelIndex& parent) const
{
    // A list view shows its items even before any column was added.
    return parent.isValid() ? 0 : std::max(1, columnTotal());
}

QVariant ListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const Row& row = m_rows[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return index.column() == 0 ? row.text : row.subItems.value(index.column() - 1);
    case Qt::CheckStateRole:
        if (m_withCheckBoxes && index.column() == 0)
            return row.checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ToolTipRole:
        return !row.extra || row.extra->description.isEmpty() ? QVariant() : QVariant(row.extra->description);
    case Qt::AccessibleDescriptionRole: {
        // A row with a box says in words whether it is ticked: not every
        // screen reader bridge tells that a cell can be ticked.
        QString said = m_withCheckBoxes && index.column() == 0
                           ? (row.checked ? QStringLiteral("ticked") : QStringLiteral("not ticked"))
                           : QString();
        if (row.extra && !row.extra->description.isEmpty())
            said += (said.isEmpty() ? QString() : QStringLiteral(" - ")) + row.extra->description;
        return said.isEmpty() ? QVariant() : QVariant(said);
    }
    default:
        return {};
    }
}

void ListModel::setSubItemCell(int index, int subIndex, const Cell& cell)
{
    setSubItem(index, subIndex, cell.text);
    auto& cells = m_rows[static_cast<size_t>(index - 1)].extraMade().cells;
    if (cells.size() < size_t(subIndex))
        cells.resize(size_t(subIndex));
    Cell& kept = cells[size_t(subIndex - 1)];
    kept = cell;
    kept.text.clear(); // it stands in the sub-item
}

Cell ListModel::subItemCell(int index, int subIndex) const
{
    Cell cell;
    checkIndex1(index);
    const Row& row = m_rows[static_cast<size_t>(index - 1)];
    if (row.extra && subIndex >= 1 && size_t(subIndex) <= row.extra->cells.size())
        cell = row.extra->cells[size_t(subIndex - 1)];
    cell.text = subItem(index, subIndex);
    return cell;
}

void ListModel::setDescription(int index, const QString& text)
{
    checkIndex1(index);
    Row& row = m_rows[static_cast<size_t>(index - 1)];
    if (row.extra || !text.isEmpty())
        row.extraMade().description = text;
    emit dataChanged(this->index(index - 1, 0), this->index(index - 1, columnCount() - 1),
                     {Qt::ToolTipRole, Qt::AccessibleDescriptionRole});
}

bool ListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    // Only the user ticks rows: the view sets the check state, nothing else
    // of the model can be edited from outside.
    if (!m_withCheckBoxes || role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 ||
        index.row() >= count())
        return false;
    m_rows[static_cast<size_t>(index.row())].checked = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole, Qt::AccessibleDescriptionRole});
    return true;
}

void ListModel::setAllChecked(bool checked)
{
    if (!m_withCheckBoxes || m_rows.empty())
        return;
    for (Row& row : m_rows)
        row.checked = checked;
    emit dataChanged(index(0, 0), index(count() - 1, 0), {Qt::CheckStateRole});
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_headers.value(section);
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (m_withCheckBoxes && index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

} // namespace larkspire
