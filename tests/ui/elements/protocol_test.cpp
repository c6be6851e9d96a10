// The change protocol per property, invalidation up to the root's host, the children's
// ownership, and the registry and parent map behind FindElementById and FindRoot.
#include "../test_tree.h"

#include <gtest/gtest.h>

#include <functional>

using namespace ui;
using namespace uitest;
using Strings = std::vector<std::string>;

namespace {

// The leaf sits two levels below the root, so every invalidation has to climb to the host.
TEST(ProtocolTest, EachPropertyRunsExactlyItsSteps)
{
    const struct {
        const char* name;
        std::function<void(Picture&)> change;
        Strings steps; // hooks and host, in the order they ran
    } rows[] = {
        {"IsVisible invalidates layout between the hooks",
         [](Picture& e) { e.SetIsVisible(false); },
         {"leaf:changing:IsVisible", "host:IsVisible:0", "leaf:changed:IsVisible"}},
        {"IsEnabled invalidates the visual",
         [](Picture& e) { e.SetIsEnabled(false); },
         {"leaf:changing:IsEnabled", "host:IsEnabled:1", "leaf:changed:IsEnabled"}},
        {"Width only invalidates layout", [](Picture& e) { e.SetWidth(100); }, {"host:Width:0"}},
        {"a margin pair with one component changed invalidates once",
         [](Picture& e) { e.SetTopLeftMargin(0, 5); },
         {"host:TopLeftMargin:0"}},
        {"X reports without invalidating",
         [](Picture& e) { e.PokeX(12); },
         {"leaf:changing:X", "leaf:changed:X"}},
        {"DesiredSize reports without invalidating",
         [](Picture& e) {
             e.PokeDesiredSize({3, 4});
         },
         {"leaf:changing:DesiredSize", "leaf:changed:DesiredSize"}},
        {"equal values run nothing",
         [](Picture& e) {
             e.SetIsVisible(true);
             e.SetIsEnabled(true);
             e.SetWidth(Unset);
             e.SetHeight(Unset);
             e.SetTopLeftMargin(0, 0);
             e.SetBottomRightMargin(0, 0);
             e.PokeX(0);
             e.PokeDesiredSize({0, 0});
         },
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Log log;
        Recorder recorder{{}, &log};
        auto root = std::make_shared<GridPanel>();
        auto middle = std::make_shared<StackPanel>();
        auto leaf = std::make_shared<Picture>(QImage(), "leaf", &log);
        root->AddChild(middle);
        middle->AddChild(leaf);
        recorder.AttachHost(*root);
        log.clear();
        row.change(*leaf);
        EXPECT_EQ(log, row.steps);
    }
}

TEST(ChildrenTest, AddAndClearReportChildrenAlwaysAndReleaseTheSubtree)
{
    using Calls = std::vector<std::pair<std::string, int>>;
    Recorder host;
    auto panel = std::make_shared<CanvasPanel>();
    host.AttachHost(*panel);
    panel->ClearChildren();
    EXPECT_EQ(host.calls, (Calls{{"Children", 0}}));
    auto child = std::make_shared<Picture>();
    std::weak_ptr<Picture> weak = child;
    panel->AddChild(child);
    child.reset();
    EXPECT_FALSE(weak.expired()); // the panel owns it
    panel->ClearChildren();
    EXPECT_EQ(host.calls, (Calls{{"Children", 0}, {"Children", 0}, {"Children", 0}}));
    EXPECT_TRUE(weak.expired());

    // A panel that is destroyed takes its subtree and its children's parent entries with it.
    auto outer = std::make_shared<GridPanel>();
    auto inner = std::make_shared<DockPanel>();
    auto keep = std::make_shared<Picture>();
    std::weak_ptr<DockPanel> weakInner = inner;
    outer->AddChild(inner);
    inner->SetDock(keep.get(), DockSide::Right);
    inner->AddChild(keep);
    inner.reset();
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
