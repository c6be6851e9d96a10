// The children's ownership, and the registry and parent map behind FindElementById and FindRoot.
#include "../test_tree.h"

#include <gtest/gtest.h>

using namespace ui;
using namespace uitest;

namespace {

TEST(ChildrenTest, APanelOwnsItsChildrenAndWhenDestroyedTakesItsSubtreeAndParentEntries)
{
    auto outer = std::make_shared<GridPanel>();
    auto inner = std::make_shared<DockPanel>();
    auto keep = std::make_shared<Picture>();
    std::weak_ptr<DockPanel> weakInner = inner;
    outer->AddChild(inner);
    inner->SetDock(keep.get(), DockSide::Right);
    inner->AddChild(keep);
    inner.reset();
    EXPECT_FALSE(weakInner.expired()); // the panel owns it
    outer.reset();
    EXPECT_TRUE(weakInner.expired());
    EXPECT_EQ(FindRoot(keep.get()), keep.get());
}

TEST(RegistryTest, IdsAreNeverReusedFindOnlyLiveOwnedElementsAndRootsFollowTheLastPanel)
{
    std::uint32_t id;
    {
        auto a = std::make_shared<Picture>();
        id = a->Id();
        EXPECT_EQ(FindElementById(id), a);
    }
    EXPECT_EQ(FindElementById(id), nullptr);
    Picture unowned; // no shared pointer owns it
    EXPECT_GT(unowned.Id(), id);
    EXPECT_EQ(FindElementById(unowned.Id()), nullptr);
    EXPECT_EQ(FindElementById(kNoElementId), nullptr);
    EXPECT_EQ(FindElementById(4294967295u), nullptr);

    EXPECT_EQ(FindRoot(nullptr), nullptr);
    auto first = std::make_shared<GridPanel>();
    auto second = std::make_shared<GridPanel>();
    auto top = std::make_shared<CanvasPanel>();
    auto child = std::make_shared<Picture>();
    top->AddChild(second);
    first->AddChild(child);
    EXPECT_EQ(FindRoot(child.get()), first.get());
    second->AddChild(child);
    EXPECT_EQ(FindRoot(child.get()), top.get());
}

} // namespace
