// Pointer routing: which element a client point belongs to and what it is told. Each
// operation takes the tree lock itself; the root is read under that lock, so a host may pass
// the very shared pointer that its root replacement changes under the same lock.
#pragma once

#include "ui/elements/layout_element.h"

#include <Qt>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace ui {

// The answer to the window system's hit test.
enum class HitArea : std::int32_t {
    Client = 1,  // over an interactive element
    Caption = 2, // background: dragging here moves the window
};

// Sets the pointer's cursor; nullopt means no cursor of an element (the host restores its
// default).
using CursorSetter = std::function<void(std::optional<Qt::CursorShape>)>;

// When the answer is Caption, captionMove (if set) is called with p after the tree lock is
// released: the host routes it as a pointer move, so a button is told the pointer left it.
HitArea RouteHitTest(const std::shared_ptr<LayoutElement>& root, Point p,
                     const std::function<void(Point)>& captionMove = {});

// A left-button press: OnMouseDown of the interactive, visible, enabled element hit.
void RouteMouseDown(const std::shared_ptr<LayoutElement>& root, Point p);

// A pointer move: OnMouseLeave for the previous hot element when the pointer left it,
// then the cursor and OnMouseMove for the element under it; hotId follows (kNoElementId when
// none). Without a root nothing happens and hotId stays.
void RouteMouseMove(const std::shared_ptr<LayoutElement>& root, Point p, std::uint32_t& hotId,
                    const CursorSetter& setCursor = {});

} // namespace ui
