// The press of a button element, posted to the window that acts on it.
#pragma once

#include "platform/event_types.h"

#include <QEvent>

#include <cstdint>

namespace ui {

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
