// Which of the main window's pages is current, and the switch between them: a page and its
// panel in the tree show and hide together.
#pragma once

#include <vector>

namespace ui {

class LayoutElement;
class SkinWindow;
namespace pages {
class Page;
}

class PageSwitch {
public:
    static constexpr int kNoPage = -1;

    // Registers the page with this number and its panel (either may be null).
    void Add(int index, LayoutElement* panel, pages::Page* page);
    // Makes page index (or kNoPage) the current one: the old page and panel hide, the new ones
    // show, the page laid over host and enabled or not. One tree lock for the whole switch, so
    // no frame shows one panel hidden and the next not yet shown.
    void SwitchTo(int index, SkinWindow& host, bool enabled);

    int Current() const { return m_current; }
    // The page with this number; null for none.
    pages::Page* At(int index) const;

private:
    struct Entry {
        int index;
        LayoutElement* panel; // owned by the window's tree
        pages::Page* page;    // a child of the window
    };
    const Entry* Find(int index) const;

    std::vector<Entry> m_entries;
    int m_current = kNoPage;
};

} // namespace ui
