// The window element's measure and its move request.
#include "ui/elements/window_element.h"

namespace ui {

void WindowElement::MeasureOverride(Size a)
{
    SetDesiredSize({Width() != Unset ? Width() : a.width, Height() != Unset ? Height() : a.height});
}

void WindowElement::RenderOverride(DrawingSurface&, Rect content)
{
    if (m_window)
        m_window->PostMove(content);
}

} // namespace ui
