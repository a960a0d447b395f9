#include "window/list_view.h"

#include "core/failure.h"
#include "window/twips.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace larkspire {

ListView::ListView(bool withCheckBoxes, QWidget* parent)
    : QTreeView(parent), m_model(new ListModel(withCheckBoxes, this))
{
    setModel(m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setMouseTracking(true);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

int ListView::columnWidthTwips(int column) const
{
    if (column < 1 || column > m_model->columnTotal())
        throw Failure(QStringLiteral("Index out of bounds"), 35600);
    return header()->sectionSize(column - 1) * kTwipsPerPixel;
}

void ListView::setColumnWidthTwips(int column, int twips)
{
    if (column < 1 || column > m_model->columnTotal())
        throw Failure(QStringLiteral("Index out of bounds"), 35600);
    header()->resizeSection(column - 1, twipsToPixels(twips));
}

void ListView::ensureVisible(int index)
{
    if (index < 1 || index > m_model->count())
        throw Failure(QStringLiteral("Index out of bounds"), 35600);
    scrollTo(m_model->index(index - 1, 0), QAbstractItemView::EnsureVisible);
}

int ListView::selectedIndex() const
{
    const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

void ListView::clearSelection()
{
    if (selectionModel())
        selectionModel()->clear();
}

int virtualKeyCode(int qtKey)
{
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return qtKey; // same codes as 'A'..'Z'
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return qtKey;
    switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default:
        if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
            return 112 + (qtKey - Qt::Key_F1);
        return 0;
    }
}

void ListView::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers m = event->modifiers();
    const int shift = (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
                      (m & Qt::AltModifier ? 4 : 0);
    const int code = virtualKeyCode(event->key());
    // The handler sees the key before the view's own key handling.
    if (code != 0)
        emit keyDown(code, shift);
    QTreeView::keyPressEvent(event);
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeView::mouseDoubleClickEvent(event);
    emit dblClick();
}

void ListView::mouseMoveEvent(QMouseEvent* event)
{
    QTreeView::mouseMoveEvent(event);
    emit pointerMoved();
}

} // namespace larkspire
