#pragma once
// A list view in report view over a ListModel: column widths in twips,
// scrolling an item into view, the selected item, and the key, double-click
// and pointer-move events that the main window handles.
#include "core/list_model.h"

#include <QTreeView>

namespace larkspire {

class ListView final : public QTreeView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListView)
public:
    ListView(bool withCheckBoxes, QWidget* parent = nullptr);

    ListModel& items() { return *m_model; }
    const ListModel& items() const { return *m_model; }

    int columnWidthTwips(int column) const;
    void setColumnWidthTwips(int column, int twips);
    void ensureVisible(int index);
    // The position of the selected item, or 0 when none is selected.
    int selectedIndex() const;
    // No item selected and none current.
    void clearSelection();

signals:
    // The 16-bit virtual key code of the key (46 for Delete) and the state
    // of Shift (1), Ctrl (2) and Alt (4).
    void keyDown(int keyCode, int shift);
    void dblClick();
    void pointerMoved();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    ListModel* m_model;
};

// Maps a Qt key to the 16-bit virtual key code of the desktop these key codes
// come from (Delete is 46, Backspace 8, letters their capital's code), or 0.
int virtualKeyCode(int qtKey);

} // namespace larkspire
