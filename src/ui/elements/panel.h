// Panel: an element that owns an ordered list of children (measure and render order; the
// reverse is the hit-test order), and the four panels that place them.
#pragma once

#include "ui/elements/layout_element.h"

#include <map>
#include <memory>
#include <vector>

namespace ui {

class Panel : public LayoutElement {
public:
    ~Panel() override;

    // Appends the child and records this panel as its parent (replacing an earlier one);
    // reports "Children" through InvalidateLayout.
    void AddChild(std::shared_ptr<LayoutElement> child);
    // Detaches every child (OnChildRemoved per child), empties the list, reports "Children".
    void ClearChildren();
    const std::vector<std::shared_ptr<LayoutElement>>& Children() const { return m_children; }

    // The last visible, enabled child containing p whose own hit test answers; never the
    // panel itself.
    LayoutElement* HitTest(Point p) override;

protected:
    virtual void OnChildRemoved(const std::shared_ptr<LayoutElement>& child);

private:
    std::vector<std::shared_ptr<LayoutElement>> m_children;
};

// Children one after the other, top to bottom (or left to right when horizontal).
class StackPanel : public Panel {
public:
    bool IsHorizontal() const { return m_isHorizontal; }
    void SetIsHorizontal(bool value);

protected:
    void MeasureOverride(Size available) override;
    void RenderOverride(DrawingSurface& surface, Rect content) override;

private:
    bool m_isHorizontal = false;
};

// Every child gets the whole content rectangle; later children draw over earlier ones.
class GridPanel : public Panel {
protected:
    void MeasureOverride(Size available) override;
    void RenderOverride(DrawingSurface& surface, Rect content) override;
};

// Values other than these count as Top/Bottom when measuring and as Bottom when placing.
enum class DockSide : std::int32_t { Left = 0, Right = 1, Top = 2, Bottom = 3 };

// Children docked to the sides of what is left; the last child fills the rest.
class DockPanel : public Panel {
public:
    ~DockPanel() override;
    // Stores the side (no invalidation); a child without one counts as Left.
    void SetDock(const LayoutElement* child, DockSide side);
    DockSide GetDock(const LayoutElement* child) const;

protected:
    void MeasureOverride(Size available) override;
    void RenderOverride(DrawingSurface& surface, Rect content) override;
    void OnChildRemoved(const std::shared_ptr<LayoutElement>& child) override;

private:
    std::map<const LayoutElement*, DockSide> m_sides;
};

// Children at fixed offsets from the content rectangle's corner; measures as 0 x 0.
class CanvasPanel : public Panel {
public:
    ~CanvasPanel() override;
    // Stores the offset (no invalidation); a child without one sits at (0, 0).
    void SetPosition(const LayoutElement* child, std::int32_t x, std::int32_t y);
    Point GetPosition(const LayoutElement* child) const;

protected:
    void MeasureOverride(Size available) override;
    void RenderOverride(DrawingSurface& surface, Rect content) override;
    void OnChildRemoved(const std::shared_ptr<LayoutElement>& child) override;

private:
    std::map<const LayoutElement*, Point> m_offsets;
};

} // namespace ui
