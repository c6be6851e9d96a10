// The change protocol per property, invalidation up to a host, Ids and the registry, and the
// parent map behind FindRoot.
#include "../test_tree.h"

#include <gtest/gtest.h>

#include <functional>

using namespace ui;
using namespace uitest;
using Calls = std::vector<std::pair<std::string, int>>;
using Strings = std::vector<std::string>;

namespace {

TEST(ProtocolTest, EachPropertyRunsExactlyItsSteps)
{
    const struct {
        const char* name;
        std::function<void(Picture&)> change;
        Strings steps; // hooks, host and observer, in the order they ran
    } rows[] = {
        {"IsVisible invalidates layout between the hooks",
         [](Picture& e) { e.SetIsVisible(false); },
         {"leaf:changing:IsVisible", "host:IsVisible:0", "leaf:changed:IsVisible",
          "observer:IsVisible"}},
        {"IsEnabled invalidates the visual",
         [](Picture& e) { e.SetIsEnabled(false); },
         {"leaf:changing:IsEnabled", "host:IsEnabled:1", "leaf:changed:IsEnabled",
          "observer:IsEnabled"}},
        {"Width only invalidates layout", [](Picture& e) { e.SetWidth(100); }, {"host:Width:0"}},
        {"a margin pair with one component changed invalidates once",
         [](Picture& e) { e.SetTopLeftMargin(0, 5); },
         {"host:TopLeftMargin:0"}},
        {"X reports without invalidating",
         [](Picture& e) { e.PokeX(12); },
         {"leaf:changing:X", "leaf:changed:X", "observer:X"}},
        {"DesiredSize reports without invalidating",
         [](Picture& e) {
             e.PokeDesiredSize({3, 4});
         },
         {"leaf:changing:DesiredSize", "leaf:changed:DesiredSize", "observer:DesiredSize"}},
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
        Recorder recorder{{}, {}, &log};
        auto root = std::make_shared<GridPanel>();
        auto leaf = std::make_shared<Picture>(QImage(), "leaf", &log);
        root->AddChild(leaf);
        recorder.AttachHost(*root);
        recorder.AttachObserver(*leaf);
        log.clear();
        row.change(*leaf);
        EXPECT_EQ(log, row.steps);
    }
}

TEST(InvalidationTest, ReachesOnlyAFullHostOnTheRootAndAFullObserver)
{
    Recorder host, observer;
    auto root = std::make_shared<GridPanel>();
    auto middle = std::make_shared<StackPanel>();
    auto leaf = std::make_shared<Picture>();
    root->AddChild(middle);
    middle->AddChild(leaf);

    leaf->SetWidth(1); // no host at all
    root->SetHostCallback(&Recorder::Host);
    leaf->SetChangeCallback(&Recorder::Changed);
    leaf->SetWidth(2); // half a host (callback without context), half an observer
    leaf->SetIsVisible(false);
    root->SetHostCallback(nullptr);
    root->SetHostContext(&host);
    leaf->SetChangeCallback(nullptr);
    leaf->SetChangeContext(&observer);
    leaf->SetWidth(3); // the other halves
    leaf->SetIsVisible(true);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(observer.names.empty());

    root->SetHostCallback(&Recorder::Host);
    leaf->SetChangeCallback(&Recorder::Changed);
    leaf->SetWidth(4);
    middle->SetIsHorizontal(true);
    EXPECT_EQ(host.calls, (Calls{{"Width", 0}, {"IsHorizontal", 0}}));
    // A host on an inner element is not the root's: nothing goes there.
    Recorder inner;
    inner.AttachHost(*middle);
    leaf->SetIsEnabled(false);
    EXPECT_TRUE(inner.calls.empty());
    EXPECT_EQ(host.calls.back(), (std::pair<std::string, int>{"IsEnabled", 1}));
    EXPECT_EQ(observer.names, Strings{"IsEnabled"});
}

TEST(ChildrenTest, AddAndClearReportChildrenAlwaysAndReleaseTheSubtree)
{
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

TEST(RegistryTest, IdsCountUpNeverReusedFindOnlyLiveOwnedElementsAndRootsFollowTheLastPanel)
{
    std::uint32_t id;
    {
        auto a = std::make_shared<Picture>();
        id = a->Id();
        EXPECT_EQ(FindElementById(id), a);
    }
    EXPECT_EQ(FindElementById(id), nullptr);
    Picture unowned; // no shared pointer owns it
    EXPECT_EQ(unowned.Id(), id + 1);
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
