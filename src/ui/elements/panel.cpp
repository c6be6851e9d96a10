// Panels: child ownership, hit testing, and the measure and placement rules of each panel.
// All sums and differences wrap as 32-bit two's complement; comparisons are signed.
#include "ui/elements/panel.h"

#include "ui/elements/drawing_surface.h"

#include <algorithm>

namespace ui {

namespace {

// The explicit value if set; else the content value; and if that is Unset, the available one.
std::int32_t Resolve(std::int32_t explicitValue, std::int32_t content, std::int32_t available)
{
    if (explicitValue != Unset)
        return explicitValue;
    return content != Unset ? content : available;
}

// Hands the panel's own Width or Height down only when the panel itself got no limit.
std::int32_t PassDown(std::int32_t available, std::int32_t explicitValue)
{
    return available != Unset ? available : explicitValue;
}

} // namespace

Panel::~Panel()
{
    ClearChildren();
}

void Panel::AddChild(std::shared_ptr<LayoutElement> child)
{
    // A null child would only fault later, on the render thread.
    if (!child)
        return;
    const LayoutElement* raw = child.get();
    m_children.push_back(std::move(child));
    detail::SetParent(raw, this);
    InvalidateLayout(prop::kChildren);
}

void Panel::ClearChildren()
{
    for (const auto& child : m_children) {
        detail::RemoveParent(child.get());
        OnChildRemoved(child);
    }
    // Released outside the loop: a child's destructor may release a whole subtree.
    std::vector<std::shared_ptr<LayoutElement>> released;
    released.swap(m_children);
    released.clear();
    InvalidateLayout(prop::kChildren);
}

void Panel::OnChildRemoved(const std::shared_ptr<LayoutElement>&) {}

LayoutElement* Panel::HitTest(Point p)
{
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
        LayoutElement& child = **it;
        if (!child.IsVisible() || !child.IsEnabled() || !Contains(child.ActualRect(), p))
            continue;
        if (LayoutElement* hit = child.HitTest(p))
            return hit;
    }
    return nullptr;
}

void StackPanel::SetIsHorizontal(bool value)
{
    ChangeProperty(m_isHorizontal, value, prop::kIsHorizontal, Invalidation::Layout);
}

void StackPanel::MeasureOverride(Size a)
{
    std::int32_t sum = 0, cross = 0;
    for (const auto& child : Children()) {
        if (!child->IsVisible())
            continue;
        if (m_isHorizontal) {
            child->Measure({Unset, PassDown(a.height, Height())});
            sum = WrapAdd(sum, child->DesiredSize().width);
            cross = std::max(cross, child->DesiredSize().height);
        } else {
            child->Measure({PassDown(a.width, Width()), Unset});
            sum = WrapAdd(sum, child->DesiredSize().height);
            cross = std::max(cross, child->DesiredSize().width);
        }
    }
    if (m_isHorizontal)
        SetDesiredSize({Resolve(Width(), sum, a.width), Resolve(Height(), cross, a.height)});
    else
        SetDesiredSize({Resolve(Width(), cross, a.width), Resolve(Height(), sum, a.height)});
}

void StackPanel::RenderOverride(DrawingSurface& surface, Rect b)
{
    const Size desired = DesiredSize();
    std::int32_t x;
    const std::int32_t h = HorizontalAlignment();
    if (h == 0 || h == 1)
        x = b.x;
    else if (h == 2)
        x = WrapAdd(b.x, HalfTowardZero(WrapSub(b.width, desired.width)));
    else
        x = WrapSub(WrapAdd(b.x, b.width), desired.width);
    std::int32_t y;
    const std::int32_t v = VerticalAlignment();
    if (v == 1)
        y = b.y;
    else if (v == 2)
        y = WrapAdd(b.y, HalfTowardZero(WrapSub(b.height, desired.height)));
    else
        y = WrapSub(WrapAdd(b.y, b.height), desired.height);

    for (const auto& child : Children()) {
        if (!child->IsVisible())
            continue;
        const Size d = child->DesiredSize();
        if (m_isHorizontal) {
            child->Render(surface, {x, y, d.width, b.height});
            x = WrapAdd(x, d.width);
        } else {
            child->Render(surface, {x, y, b.width, d.height});
            y = WrapAdd(y, d.height);
        }
    }
}

void GridPanel::MeasureOverride(Size a)
{
    std::int32_t w = 0, h = 0;
    for (const auto& child : Children()) {
        if (!child->IsVisible())
            continue;
        child->Measure({PassDown(a.width, Width()), PassDown(a.height, Height())});
        w = std::max(w, child->DesiredSize().width);
        h = std::max(h, child->DesiredSize().height);
    }
    SetDesiredSize({Resolve(Width(), w, a.width), Resolve(Height(), h, a.height)});
}

void GridPanel::RenderOverride(DrawingSurface& surface, Rect b)
{
    for (const auto& child : Children())
        if (child->IsVisible())
            child->Render(surface, b);
}

DockPanel::~DockPanel()
{
    m_sides.clear();
}

void DockPanel::SetDock(const LayoutElement* child, DockSide side)
{
    m_sides[child] = side;
}

DockSide DockPanel::GetDock(const LayoutElement* child) const
{
    auto it = m_sides.find(child);
    return it == m_sides.end() ? DockSide::Left : it->second;
}

void DockPanel::OnChildRemoved(const std::shared_ptr<LayoutElement>& child)
{
    m_sides.erase(child.get());
}

void DockPanel::MeasureOverride(Size a)
{
    std::int32_t w = 0, h = 0;
    // Room left for the filling child, for the measure below.
    std::int32_t restW = PassDown(a.width, Width()), restH = PassDown(a.height, Height());
    const auto& children = Children();
    if (children.size() >= 2) {
        for (auto i = children.size() - 1; i-- > 0;) {
            LayoutElement& child = *children[i];
            if (!child.IsVisible())
                continue;
            const auto side = static_cast<std::int32_t>(GetDock(&child));
            if (side == 0 || side == 1) {
                child.Measure({Unset, PassDown(a.height, Height())});
                w = WrapAdd(w, child.DesiredSize().width);
                h = std::max(h, child.DesiredSize().height);
                if (restW != Unset)
                    restW = WrapSub(restW, child.DesiredSize().width);
            } else {
                child.Measure({PassDown(a.width, Width()), Unset});
                h = WrapAdd(h, child.DesiredSize().height);
                w = std::max(w, child.DesiredSize().width);
                if (restH != Unset)
                    restH = WrapSub(restH, child.DesiredSize().height);
            }
        }
    }
    // The filling child is placed by what is left, so its size never counts. A panel there
    // is still measured, with the room left, so that its own children get their sizes; any
    // other element needs no measure pass to fill.
    if (!children.empty()) {
        LayoutElement& last = *children.back();
        if (last.IsVisible() && dynamic_cast<Panel*>(&last))
            last.Measure({restW, restH});
    }
    SetDesiredSize({Resolve(Width(), w, a.width), Resolve(Height(), h, a.height)});
}

void DockPanel::RenderOverride(DrawingSurface& surface, Rect b)
{
    Rect rest = b;
    const auto& children = Children();
    for (std::size_t i = 0; i < children.size(); ++i) {
        LayoutElement& child = *children[i];
        if (!child.IsVisible())
            continue;
        if (i + 1 == children.size()) {
            child.Render(surface, rest);
            continue;
        }
        const Size d = child.DesiredSize();
        Rect r;
        switch (static_cast<std::int32_t>(GetDock(&child))) {
        case 0:
            r = {rest.x, rest.y, d.width, rest.height};
            rest.x = WrapAdd(rest.x, d.width);
            rest.width = WrapSub(rest.width, d.width);
            break;
        case 1:
            rest.width = WrapSub(rest.width, d.width);
            r = {WrapAdd(rest.x, rest.width), rest.y, d.width, rest.height};
            break;
        case 2:
            r = {rest.x, rest.y, rest.width, d.height};
            rest.y = WrapAdd(rest.y, d.height);
            rest.height = WrapSub(rest.height, d.height);
            break;
        default:
            rest.height = WrapSub(rest.height, d.height);
            r = {rest.x, WrapAdd(rest.y, rest.height), rest.width, d.height};
            break;
        }
        child.Render(surface, r);
    }
}

CanvasPanel::~CanvasPanel()
{
    m_offsets.clear();
}

void CanvasPanel::SetPosition(const LayoutElement* child, std::int32_t x, std::int32_t y)
{
    m_offsets[child] = {x, y};
}

Point CanvasPanel::GetPosition(const LayoutElement* child) const
{
    auto it = m_offsets.find(child);
    return it == m_offsets.end() ? Point{} : it->second;
}

void CanvasPanel::OnChildRemoved(const std::shared_ptr<LayoutElement>& child)
{
    m_offsets.erase(child.get());
}

void CanvasPanel::MeasureOverride(Size a)
{
    for (const auto& child : Children())
        if (child->IsVisible())
            child->Measure({PassDown(a.width, Width()), PassDown(a.height, Height())});
    SetDesiredSize({0, 0});
}

void CanvasPanel::RenderOverride(DrawingSurface& surface, Rect b)
{
    for (const auto& child : Children()) {
        if (!child->IsVisible())
            continue;
        const Point o = GetPosition(child.get());
        const Size d = child->DesiredSize();
        child->Render(surface, {WrapAdd(b.x, o.x), WrapAdd(b.y, o.y), d.width, d.height});
    }
}

} // namespace ui
