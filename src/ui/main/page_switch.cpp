// Switching pages: panels in the tree and page widgets over the skin, in step.
#include "ui/main/page_switch.h"

#include "ui/elements/layout_element.h"
#include "ui/elements/tree_lock.h"
#include "ui/host/skin_window.h"
#include "ui/pages/page.h"

namespace ui {

void PageSwitch::Add(int index, LayoutElement* panel, pages::Page* page)
{
    m_entries.push_back({index, panel, page});
}

const PageSwitch::Entry* PageSwitch::Find(int index) const
{
    for (const Entry& entry : m_entries)
        if (entry.index == index)
            return &entry;
    return nullptr;
}

pages::Page* PageSwitch::At(int index) const
{
    const Entry* entry = Find(index);
    return entry ? entry->page : nullptr;
}

void PageSwitch::SwitchTo(int index, SkinWindow& host, bool enabled)
{
    TreeLockGuard tree(TreeLock());
    if (index == m_current)
        return;
    if (const Entry* old = Find(m_current)) {
        if (old->panel)
            old->panel->SetIsVisible(false);
        if (old->page) {
            old->page->OnHide();
            old->page->hide();
        }
    }
    m_current = index;
    const Entry* next = Find(index);
    if (!next)
        return;
    if (next->panel)
        next->panel->SetIsVisible(true);
    if (next->page) {
        next->page->OnShow();
        host.PlaceOverlay(next->page);
        next->page->show();
        // A page shown during a job is disabled like the one it replaced.
        next->page->setEnabled(enabled);
    }
}

} // namespace ui
