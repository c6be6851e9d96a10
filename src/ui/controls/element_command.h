// The press of a button element, posted to the window that acts on it.
#pragma once

#include <QEvent>

#include <cstdint>

namespace ui {

// The event type the main window gives its buttons; the event carries the pressed element's Id.
inline constexpr QEvent::Type WM_ELEMENT_COMMAND = static_cast<QEvent::Type>(QEvent::User + 2);

class ElementCommandEvent : public QEvent {
public:
    ElementCommandEvent(QEvent::Type type, std::uint32_t elementId)
        : QEvent(type), m_elementId(elementId)
    {
    }

    // The receiver looks the element up by this Id (FindElementById).
    std::uint32_t ElementId() const { return m_elementId; }

private:
    std::uint32_t m_elementId;
};

} // namespace ui
