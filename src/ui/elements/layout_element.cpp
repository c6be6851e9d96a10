// Element base: construction and registry, the change protocol's setters, invalidation up to
// the host, the measure pass and the render pass.
#include "ui/elements/layout_element.h"

#include "ui/elements/drawing_surface.h"
#include "ui/elements/panel.h"

#include <map>
#include <mutex>
#include <optional>

namespace ui {

namespace {

// The Id counter, the element registry and the parent map. Their own small mutex keeps them
// consistent even when an element dies outside the tree lock; nothing is called while it is
// held.
struct Tables {
    std::mutex mutex;
    std::uint32_t nextId = 0;
    std::map<std::uint32_t, LayoutElement*> registry;
    std::map<const LayoutElement*, Panel*> parents;
};

Tables& GetTables()
{
    static Tables tables;
    return tables;
}

} // namespace

LayoutElement::LayoutElement()
{
    Tables& t = GetTables();
    std::lock_guard lock(t.mutex);
    m_id = t.nextId++;
    t.registry[m_id] = this;
}

LayoutElement::~LayoutElement()
{
    Tables& t = GetTables();
    std::lock_guard lock(t.mutex);
    t.registry.erase(m_id);
}

LayoutElement* FindRoot(const LayoutElement* e)
{
    if (!e)
        return nullptr;
    Tables& t = GetTables();
    std::lock_guard lock(t.mutex);
    auto* current = const_cast<LayoutElement*>(e);
    for (;;) {
        auto it = t.parents.find(current);
        if (it == t.parents.end() || !it->second)
            return current;
        current = it->second;
    }
}

bool IsShownUnder(const LayoutElement* e, const LayoutElement* root, bool usable)
{
    for (const LayoutElement* current = e; current; current = detail::ParentOf(current)) {
        if (!current->IsVisible() || (usable && !current->IsEnabled()))
            return false;
        if (current == root)
            return true;
    }
    return false;
}

std::shared_ptr<LayoutElement> FindElementById(std::uint32_t id)
{
    Tables& t = GetTables();
    std::lock_guard lock(t.mutex);
    auto it = t.registry.find(id);
    if (it == t.registry.end())
        return nullptr;
    // Empty while the element is being destroyed: its destructor waits for this mutex before
    // it removes the entry, and the weak reference is still intact until then.
    return it->second->weak_from_this().lock();
}

namespace detail {

void SetParent(const LayoutElement* child, Panel* panel)
{
    Tables& t = GetTables();
    std::lock_guard lock(t.mutex);
    t.parents[child] = panel;
}

void RemoveParent(const LayoutElement* child)
{
    Tables& t = GetTables();
    std::lock_guard lock(t.mutex);
    t.parents.erase(child);
}

Panel* ParentOf(const LayoutElement* child)
{
    Tables& t = GetTables();
    std::lock_guard lock(t.mutex);
    auto it = t.parents.find(child);
    return it == t.parents.end() ? nullptr : it->second;
}

} // namespace detail

LayoutElement* LayoutElement::HitTest(Point)
{
    return m_isInteractive ? this : nullptr;
}

void LayoutElement::ReportToHost(PropertyName name, int visualOnly)
{
    LayoutElement* root = FindRoot(this);
    if (root && root->m_hostCallback && root->m_hostContext)
        root->m_hostCallback(root->m_hostContext, name, visualOnly);
}

void LayoutElement::InvalidateVisual(PropertyName name)
{
    ReportToHost(name, 1);
}
void LayoutElement::InvalidateLayout(PropertyName name)
{
    ReportToHost(name, 0);
}
void LayoutElement::OnMouseDown(Point) {}
void LayoutElement::OnMouseMove(Point) {}
void LayoutElement::OnMouseLeave() {}
void LayoutElement::OnPropertyChanged(PropertyName) {}
void LayoutElement::OnPropertyChanging(PropertyName) {}

void LayoutElement::SetX(std::int32_t v)
{
    ChangeProperty(m_x, v, prop::kX, Invalidation::None);
}
void LayoutElement::SetY(std::int32_t v)
{
    ChangeProperty(m_y, v, prop::kY, Invalidation::None);
}
void LayoutElement::SetActualWidth(std::int32_t v)
{
    ChangeProperty(m_actualWidth, v, prop::kActualWidth, Invalidation::None);
}
void LayoutElement::SetActualHeight(std::int32_t v)
{
    ChangeProperty(m_actualHeight, v, prop::kActualHeight, Invalidation::None);
}
void LayoutElement::SetDesiredSize(Size v)
{
    ChangeProperty(m_desiredSize, v, prop::kDesiredSize, Invalidation::None);
}
void LayoutElement::SetIsVisible(bool v)
{
    ChangeProperty(m_isVisible, v, prop::kIsVisible, Invalidation::Layout);
}
void LayoutElement::SetIsEnabled(bool v)
{
    ChangeProperty(m_isEnabled, v, prop::kIsEnabled, Invalidation::Visual);
}

// Sizes and margins are stored and invalidate the layout, but call no hook and no observer.
void LayoutElement::SetWidth(std::int32_t v)
{
    if (m_width == v)
        return;
    m_width = v;
    InvalidateLayout(prop::kWidth);
}

void LayoutElement::SetHeight(std::int32_t v)
{
    if (m_height == v)
        return;
    m_height = v;
    InvalidateLayout(prop::kHeight);
}

void LayoutElement::SetTopLeftMargin(std::int32_t left, std::int32_t top)
{
    if (m_left == left && m_top == top)
        return;
    m_left = left;
    m_top = top;
    InvalidateLayout(prop::kTopLeftMargin);
}

void LayoutElement::SetBottomRightMargin(std::int32_t right, std::int32_t bottom)
{
    if (m_right == right && m_bottom == bottom)
        return;
    m_right = right;
    m_bottom = bottom;
    InvalidateLayout(prop::kBottomRightMargin);
}

Rect LayoutElement::ContentRect(const Rect& r) const
{
    return {WrapAdd(r.x, m_left), WrapAdd(r.y, m_top), WrapSub(WrapSub(r.width, m_left), m_right),
            WrapSub(WrapSub(r.height, m_top), m_bottom)};
}

void LayoutElement::Measure(Size available)
{
    if (!m_isVisible && m_collapseWhenHidden) {
        SetDesiredSize({0, 0});
        return;
    }
    Size inner;
    inner.width =
        available.width == Unset ? Unset : WrapSub(WrapSub(available.width, m_right), m_left);
    inner.height =
        available.height == Unset ? Unset : WrapSub(WrapSub(available.height, m_bottom), m_top);
    MeasureOverride(inner);
    SetDesiredSize({WrapAdd(WrapAdd(m_desiredSize.width, m_left), m_right),
                    WrapAdd(WrapAdd(m_desiredSize.height, m_top), m_bottom)});
}

void LayoutElement::Render(DrawingSurface& target, Rect r)
{
    SetX(r.x);
    SetY(r.y);
    SetActualWidth(r.width);
    SetActualHeight(r.height);
    if (!m_isVisible)
        return;

    // A disabled element and its subtree draw into an off-screen bitmap covering r, which is
    // greyed once as it is drawn onto the target.
    DrawingSurface* surface = &target;
    QImage offscreen;
    std::optional<DrawingSurface> offscreenSurface;
    if (!m_isEnabled) {
        offscreen = target.CreateCompatibleBitmap(r.width, r.height);
        offscreenSurface.emplace(offscreen);
        offscreenSurface->PrependTranslation(WrapSub(0, r.x), WrapSub(0, r.y));
        surface = &*offscreenSurface;
    }

    const Rect content = ContentRect(r);
    if (m_clipToContent)
        surface->SetClip(content);
    RenderOverride(*surface, content);
    if (m_clipToContent)
        surface->ResetClip();

    if (!m_isEnabled) {
        offscreenSurface.reset();
        if (!offscreen.isNull()) {
            const Size size = DrawingSurface::ImageSize(offscreen);
            target.DrawImage(std::move(offscreen), r, {0, 0, size.width, size.height},
                             &kGreyMatrix);
        }
    }
}

} // namespace ui
