// The element base: identity, the rectangle of the last render pass, margins, size, state,
// the property change protocol, the measure and render passes, and the process-wide tables
// (element registry, parent map) that tie elements together without parent pointers.
#pragma once

#include "ui/elements/geometry.h"

#include <QString>
#include <Qt>

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>

namespace ui {

class DrawingSurface;
class Panel;

// A property's name: a constant UTF-16 string, compared by text.
using PropertyName = std::u16string_view;

namespace prop {
inline constexpr PropertyName kX = u"X";
inline constexpr PropertyName kY = u"Y";
inline constexpr PropertyName kActualWidth = u"ActualWidth";
inline constexpr PropertyName kActualHeight = u"ActualHeight";
inline constexpr PropertyName kDesiredSize = u"DesiredSize";
inline constexpr PropertyName kTopLeftMargin = u"TopLeftMargin";
inline constexpr PropertyName kBottomRightMargin = u"BottomRightMargin";
inline constexpr PropertyName kWidth = u"Width";
inline constexpr PropertyName kHeight = u"Height";
inline constexpr PropertyName kIsEnabled = u"IsEnabled";
inline constexpr PropertyName kIsVisible = u"IsVisible";
inline constexpr PropertyName kIsHorizontal = u"IsHorizontal";
inline constexpr PropertyName kChildren = u"Children";
} // namespace prop

// The host's hook on the root of its tree: visualOnly 1 asks for a redraw, 0 for a measure
// pass and a redraw. Called with the tree lock held; it must only signal and return.
using HostCallbackFn = void (*)(void* context, PropertyName name, int visualOnly);
// An optional observer of every reported property change of one element.
using ChangeCallbackFn = void (*)(void* context, PropertyName name);

// The Id that names no element (also the host's "no hot element").
inline constexpr std::uint32_t kNoElementId = 4294967295u;

class LayoutElement : public std::enable_shared_from_this<LayoutElement> {
public:
    LayoutElement();
    LayoutElement(const LayoutElement&) = delete;
    LayoutElement& operator=(const LayoutElement&) = delete;
    virtual ~LayoutElement();

protected:
    // The virtual operations, in their slot order after the destructor. The protocol's hooks
    // run around the store of a reported change.
    virtual void OnPropertyChanged(PropertyName name);
    virtual void OnPropertyChanging(PropertyName name);
    // available has the margins removed; either part may be Unset. Must store the content
    // size through SetDesiredSize.
    virtual void MeasureOverride(Size available) = 0;
    // content is the element's rectangle less its margins; the surface is clipped to it.
    virtual void RenderOverride(DrawingSurface& surface, Rect content) = 0;

public:
    // The element hit at p (already known to be inside it): itself when interactive.
    virtual LayoutElement* HitTest(Point p);
    // Report a change to the host of the tree's root, if it has a full one (callback and
    // context); visualOnly is 1 and 0 respectively.
    virtual void InvalidateVisual(PropertyName name);
    virtual void InvalidateLayout(PropertyName name);
    // Pointer hooks, called by routing with the tree lock held.
    virtual void OnMouseDown(Point p);
    virtual void OnMouseMove(Point p);
    virtual void OnMouseLeave();

    // Measure pass: stores DesiredSize (margins included). Render pass: records r as the
    // element's rectangle and draws it (greyed through an off-screen bitmap when disabled).
    void Measure(Size available);
    void Render(DrawingSurface& target, Rect r);

    std::uint32_t Id() const { return m_id; }
    std::int32_t X() const { return m_x; }
    std::int32_t Y() const { return m_y; }
    std::int32_t ActualWidth() const { return m_actualWidth; }
    std::int32_t ActualHeight() const { return m_actualHeight; }
    Rect ActualRect() const { return {m_x, m_y, m_actualWidth, m_actualHeight}; }
    Size DesiredSize() const { return m_desiredSize; }
    std::int32_t LeftMargin() const { return m_left; }
    std::int32_t TopMargin() const { return m_top; }
    std::int32_t RightMargin() const { return m_right; }
    std::int32_t BottomMargin() const { return m_bottom; }
    std::int32_t HorizontalAlignment() const { return m_horizontalAlignment; }
    std::int32_t VerticalAlignment() const { return m_verticalAlignment; }
    bool ClipToContent() const { return m_clipToContent; }
    bool IsInteractive() const { return m_isInteractive; }
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    bool IsEnabled() const { return m_isEnabled; }
    bool IsVisible() const { return m_isVisible; }
    bool CollapseWhenHidden() const { return m_collapseWhenHidden; }
    Qt::CursorShape Cursor() const { return m_cursor; }
    // What a screen reader calls the element; empty: the element is no part of what it reads.
    const QString& AccessibleName() const { return m_accessibleName; }
    HostCallbackFn HostCallback() const { return m_hostCallback; }
    void* HostContext() const { return m_hostContext; }
    ChangeCallbackFn ChangeCallback() const { return m_changeCallback; }
    void* ChangeContext() const { return m_changeContext; }

    // Named properties, through the change protocol.
    void SetIsVisible(bool value);
    void SetIsEnabled(bool value);
    void SetWidth(std::int32_t value);
    void SetHeight(std::int32_t value);
    void SetTopLeftMargin(std::int32_t left, std::int32_t top);
    void SetBottomRightMargin(std::int32_t right, std::int32_t bottom);

    // Fields without a name: written directly, nothing is reported.
    void SetHorizontalAlignment(std::int32_t value) { m_horizontalAlignment = value; }
    void SetVerticalAlignment(std::int32_t value) { m_verticalAlignment = value; }
    void SetClipToContent(bool value) { m_clipToContent = value; }
    void SetIsInteractive(bool value) { m_isInteractive = value; }
    void SetCollapseWhenHidden(bool value) { m_collapseWhenHidden = value; }
    void SetCursor(Qt::CursorShape value) { m_cursor = value; }
    void SetAccessibleName(QString value) { m_accessibleName = std::move(value); }
    void SetHostCallback(HostCallbackFn fn) { m_hostCallback = fn; }
    void SetHostContext(void* context) { m_hostContext = context; }
    void SetChangeCallback(ChangeCallbackFn fn) { m_changeCallback = fn; }
    void SetChangeContext(void* context) { m_changeContext = context; }

    // The content rectangle of r: r less the margins, not clamped.
    Rect ContentRect(const Rect& r) const;

protected:
    enum class Invalidation { None, Layout, Visual };

    // Written by the passes; reported without invalidation.
    void SetX(std::int32_t value);
    void SetY(std::int32_t value);
    void SetActualWidth(std::int32_t value);
    void SetActualHeight(std::int32_t value);
    void SetDesiredSize(Size value);

    // The full change protocol: nothing at all when equal; otherwise OnPropertyChanging,
    // store, the invalidation, OnPropertyChanged, then the observer. Subclasses use it for
    // their own properties (shared pointers compare by address). Returns whether it changed.
    template <class T>
    bool ChangeProperty(T& field, const T& value, PropertyName name, Invalidation how)
    {
        if (field == value)
            return false;
        OnPropertyChanging(name);
        field = value;
        if (how == Invalidation::Layout)
            InvalidateLayout(name);
        else if (how == Invalidation::Visual)
            InvalidateVisual(name);
        OnPropertyChanged(name);
        if (m_changeCallback && m_changeContext)
            m_changeCallback(m_changeContext, name);
        return true;
    }

private:
    void ReportToHost(PropertyName name, int visualOnly);

    std::uint32_t m_id;
    std::int32_t m_x = 0;
    std::int32_t m_y = 0;
    std::int32_t m_actualWidth = 0;
    std::int32_t m_actualHeight = 0;
    Size m_desiredSize;
    std::int32_t m_left = 0;
    std::int32_t m_top = 0;
    std::int32_t m_right = 0;
    std::int32_t m_bottom = 0;
    std::int32_t m_horizontalAlignment = 0;
    std::int32_t m_verticalAlignment = 0;
    bool m_clipToContent = true;
    bool m_isInteractive = false;
    std::int32_t m_width = Unset;
    std::int32_t m_height = Unset;
    bool m_isEnabled = true;
    bool m_isVisible = true;
    bool m_collapseWhenHidden = true;
    Qt::CursorShape m_cursor = Qt::ArrowCursor;
    QString m_accessibleName;
    HostCallbackFn m_hostCallback = nullptr;
    void* m_hostContext = nullptr;
    ChangeCallbackFn m_changeCallback = nullptr;
    void* m_changeContext = nullptr;
};

// The topmost ancestor of e through the parent map, e itself without a panel, or null.
LayoutElement* FindRoot(const LayoutElement* e);
// Whether e is drawn under root: e and every panel between them visible. With usable, also
// enabled, so a press would reach it. False when root is not an ancestor of e (or e itself).
bool IsShownUnder(const LayoutElement* e, const LayoutElement* root, bool usable = false);
// The live element with that Id, or null. An element that is being destroyed, or that no
// shared pointer owns, is not returned. Elements are made on the window's thread; looking up
// an element while another thread is still constructing it is not supported.
std::shared_ptr<LayoutElement> FindElementById(std::uint32_t id);

namespace detail {
// The parent map, used by Panel only.
void SetParent(const LayoutElement* child, Panel* panel);
void RemoveParent(const LayoutElement* child);
Panel* ParentOf(const LayoutElement* child);
} // namespace detail

} // namespace ui
