// The registered event type of window moves.
#include "ui/elements/window_move_event.h"

namespace ui {

QEvent::Type WindowMoveEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

WindowMoveEvent::WindowMoveEvent(QPointer<QObject> window, Rect geometry)
    : QEvent(EventType()), m_window(std::move(window)), m_geometry(geometry)
{
}

} // namespace ui
