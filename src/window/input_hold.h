#pragma once
// Holds back the user's clicks, keys and shortcuts for one window while it
// waits for a page, so that no handler runs in the middle of a fetch. What
// the window system asks for itself (a close, repaints, moves, the pointer
// shape) goes on at once. The held input is kept in its order, to be
// delivered at the window's next pump.
#include <QEvent>
#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

class QWidget;

namespace larkspire {

struct HeldInput {
    QPointer<QObject> receiver;
    std::unique_ptr<QEvent> event;
};

class InputHold final : public QObject {
    Q_DISABLE_COPY_MOVE(InputHold)
public:
    // Holds input for `window` and its children into `held` while it lives.
    InputHold(QWidget* window, std::vector<HeldInput>& held);
    ~InputHold() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    std::vector<HeldInput>& m_held;
};

// Posts the held input to the receivers that still exist, in its order.
void deliverHeldInput(std::vector<HeldInput>& held);

} // namespace larkspire
