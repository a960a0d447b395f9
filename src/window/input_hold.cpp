#include "window/input_hold.h"

#include <QCoreApplication>
#include <QWidget>

namespace larkspire {

namespace {

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

} // namespace

InputHold::InputHold(QWidget* window, std::vector<HeldInput>& held) : m_window(window), m_held(held)
{
    QCoreApplication::instance()->installEventFilter(this);
}

InputHold::~InputHold() { QCoreApplication::instance()->removeEventFilter(this); }

bool InputHold::eventFilter(QObject* watched, QEvent* event)
{
    if (!isUserInput(event->type()))
        return false;
    // Shortcuts belong to objects that are not widgets; anything else is
    // held only when it is meant for this window.
    if (event->type() != QEvent::Shortcut) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != m_window)
            return false;
    }
    m_held.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
    return true;
}

void deliverHeldInput(std::vector<HeldInput>& held)
{
    std::vector<HeldInput> pending;
    pending.swap(held);
    for (HeldInput& h : pending)
        if (h.receiver)
            QCoreApplication::postEvent(h.receiver, h.event.release());
}

} // namespace larkspire
