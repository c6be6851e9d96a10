// WindowElement: a place in the tree for a native window (an edit field, a log box, a web
// view). It draws nothing; each render pass in which it is visible asks the window's parent to
// move the window to the element's content rectangle.
#pragma once

#include "ui/elements/layout_element.h"
#include "ui/elements/window_handle.h"

#include <memory>

namespace ui {

class WindowElement : public LayoutElement {
public:
    // Set directly, without notification, while the tree is built.
    void SetWindow(std::shared_ptr<WindowHandle> window) { m_window = std::move(window); }
    const std::shared_ptr<WindowHandle>& Window() const { return m_window; }

protected:
    // Width if set, else the available width (which may be Unset); the same for height.
    void MeasureOverride(Size available) override;
    // Posts the move when the window exists and is visible, whether or not content changed.
    void RenderOverride(DrawingSurface& surface, Rect content) override;

private:
    std::shared_ptr<WindowHandle> m_window;
};

} // namespace ui
