// Hit testing from the root and the three routing operations.
#include "ui/elements/routing.h"

#include "ui/elements/tree_lock.h"

namespace ui {

namespace {

// The hit test below a root that accepts the point, or null.
LayoutElement* HitFromRoot(LayoutElement* root, Point p)
{
    if (!root || !root->IsVisible() || !root->IsEnabled() || !Contains(root->ActualRect(), p))
        return nullptr;
    return root->HitTest(p);
}

} // namespace

HitArea RouteHitTest(const std::shared_ptr<LayoutElement>& root, Point p,
                     const std::function<void(Point)>& captionMove)
{
    HitArea result;
    {
        TreeLockGuard lock(TreeLock());
        const std::shared_ptr<LayoutElement> keep = root;
        LayoutElement* hit = HitFromRoot(keep.get(), p);
        result = hit && hit->IsInteractive() ? HitArea::Client : HitArea::Caption;
    }
    if (result == HitArea::Caption && captionMove)
        captionMove(p);
    return result;
}

void RouteMouseDown(const std::shared_ptr<LayoutElement>& root, Point p)
{
    TreeLockGuard lock(TreeLock());
    // The hook may replace the host's root; the tree stays alive until it returns.
    const std::shared_ptr<LayoutElement> keep = root;
    LayoutElement* hit = HitFromRoot(keep.get(), p);
    if (hit && hit->IsInteractive() && hit->IsVisible() && hit->IsEnabled())
        hit->OnMouseDown(p);
}

void RouteMouseMove(const std::shared_ptr<LayoutElement>& root, Point p, std::uint32_t& hotId,
                    const CursorSetter& setCursor)
{
    TreeLockGuard lock(TreeLock());
    // Keep the root alive for the whole routing even if a hook replaces it.
    const std::shared_ptr<LayoutElement> keep = root;
    if (!keep)
        return;
    LayoutElement* hit = HitFromRoot(keep.get(), p);
    const std::shared_ptr<LayoutElement> prev = FindElementById(hotId);
    if (prev && prev.get() != hit && prev->IsVisible() && prev->IsEnabled()) {
        if (setCursor)
            setCursor(std::nullopt);
        prev->OnMouseLeave();
    }
    if (hit) {
        if (hit->IsVisible() && hit->IsEnabled()) {
            if (setCursor)
                setCursor(hit->Cursor());
            hit->OnMouseMove(p);
        }
        hotId = hit->Id();
    } else {
        hotId = kNoElementId;
    }
}

} // namespace ui
