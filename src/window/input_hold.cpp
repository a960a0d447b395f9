#include "window/input_hold.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace larkspire {

namespace {

const char* const kDuringFetch = "larkspireDuringFetch";

// Whether a modal box now stands in the way of input for `target`.
bool blockedByModal(QObject* target)
{
    QWidget* modal = QApplication::activeModalWidget();
    QWidget* widget = widgetOf(target);
    return modal && widget && widget->window() != modal;
}

} // namespace

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::Shortcut:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

QWidget* widgetOf(QObject* target)
{
    for (QObject* o = target; o; o = o->parent())
        if (auto* w = qobject_cast<QWidget*>(o))
            return w;
    return nullptr;
}

void setInputDuringFetch(QObject* target, DuringFetch what) { target->setProperty(kDuringFetch, int(what)); }

DuringFetch inputDuringFetch(const QObject* target)
{
    const QVariant v = target ? target->property(kDuringFetch) : QVariant();
    return v.isValid() ? DuringFetch(v.toInt()) : DuringFetch::Hold;
}

InputHold::InputHold(QWidget* window, std::vector<HeldInput>& held) : m_window(window), m_held(held)
{
    QCoreApplication::instance()->installEventFilter(this);
}

InputHold::~InputHold() { QCoreApplication::instance()->removeEventFilter(this); }

bool InputHold::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) // says whether the shortcut that follows is a repeat
        m_repeating = static_cast<QKeyEvent*>(event)->isAutoRepeat();
    if (!isUserInput(event->type()))
        return false;
    // Shortcuts belong to objects that are not widgets; anything else is
    // held only when it is meant for this window.
    if (event->type() != QEvent::Shortcut) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != m_window)
            return false;
    } else {
        QWidget* owner = widgetOf(watched);
        if (owner && owner->window() != m_window)
            return false;
    }
    switch (inputDuringFetch(watched)) {
    case DuringFetch::Pass:
        return false;
    case DuringFetch::Drop:
        return true;
    case DuringFetch::Hold:
        break;
    }
    // A key held down counts once; past the bound, input is dropped.
    const bool repeat = event->type() == QEvent::Shortcut
                            ? m_repeating
                            : (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
                                  static_cast<QKeyEvent*>(event)->isAutoRepeat();
    if (!repeat && m_held.size() < kMaxHeldInput)
        m_held.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
    return true;
}

void deliverHeldInput(std::vector<HeldInput>& held)
{
    std::vector<HeldInput> pending;
    pending.swap(held);
    // Each event goes out on its own turn of the event loop, all of them in
    // this one pass: one that opens a modal box runs the loop inside it, and
    // the turns of those after it find the box in their way.
    for (HeldInput& h : pending) {
        if (!h.receiver)
            continue;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [receiver = h.receiver, event = std::shared_ptr<QEvent>(std::move(h.event))] {
                if (receiver && !blockedByModal(receiver))
                    QCoreApplication::sendEvent(receiver, event.get());
            },
            Qt::QueuedConnection);
    }
}

} // namespace larkspire
