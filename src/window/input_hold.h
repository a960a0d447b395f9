#pragma once
// Holds back the user's clicks, keys and shortcuts for one window while it
// waits for a page, so that no handler runs in the middle of a fetch. What
// the window system asks for itself (a close, repaints, moves, the pointer
// shape) goes on at once, and so does a close the user asks for with a key.
// The held input is kept in its order, to be delivered at the window's next
// pump; the hold is bounded, and a command that needs an idle window is not
// held at all: pressed during a fetch, it is dropped like a click on a busy
// window's button.
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

// Clicks, keys, wheel turns, touches and shortcuts: what a user does.
bool isUserInput(QEvent::Type type);
// The widget an event for `target` is shown in: the target itself, or the
// nearest widget among its parents (a keyboard command belongs to one).
QWidget* widgetOf(QObject* target);

// At most this many events are held; what comes after them is dropped.
constexpr size_t kMaxHeldInput = 32;

// Marks an object (a button or its keyboard command) whose input is never
// held: `Drop` for commands that need an idle window, `Pass` for those that
// act at once (a close).
enum class DuringFetch { Hold, Drop, Pass };
void setInputDuringFetch(QObject* target, DuringFetch what);
DuringFetch inputDuringFetch(const QObject* target);

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
    bool m_repeating = false; // the key behind the next shortcut is auto-repeated
};

// Delivers the held input to the receivers that still exist, in its order,
// as the window system would have: what is meant for a window that a modal
// box blocks by the time it comes is dropped.
void deliverHeldInput(std::vector<HeldInput>& held);

} // namespace larkspire
