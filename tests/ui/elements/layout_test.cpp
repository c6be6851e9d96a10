// The measure pass and the panels' placement rules beyond what the main window's own layout
// shows (its composite test), and the 32-bit wrap-around helpers.
#include "../test_tree.h"

#include <gtest/gtest.h>

using namespace ui;
using namespace uitest;

namespace {

std::shared_ptr<Picture> Box(int w, int h)
{
    auto p = std::make_shared<Picture>();
    p->SetMeasuredOverride({w, h});
    return p;
}

TEST(MeasureTest, ExplicitSizeWinsAndMarginsAreTakenFromTheAvailable)
{
    auto e = Box(7, 8);
    e->SetWidth(100);
    e->SetTopLeftMargin(3, 3);
    e->SetBottomRightMargin(3, 3);
    e->Measure({Unset, Unset});
    EXPECT_EQ(e->DesiredSize(), (Size{106, 14}));
    EXPECT_EQ(e->lastAvailable, (Size{Unset, Unset}));
    // Margins larger than the room available give the content a negative room.
    e->SetTopLeftMargin(30, 2);
    e->SetBottomRightMargin(40, 3);
    e->Measure({50, 4});
    EXPECT_EQ(e->lastAvailable, (Size{-20, -1}));

    // A grid passes its own size down only without a limit.
    auto grid = std::make_shared<GridPanel>();
    auto c = Box(1, 1);
    grid->AddChild(c);
    grid->SetWidth(90);
    grid->Measure({Unset, Unset});
    EXPECT_EQ(c->lastAvailable, (Size{90, Unset}));
    EXPECT_EQ(grid->DesiredSize(), (Size{90, 1}));
    grid->Measure({40, 30});
    EXPECT_EQ(c->lastAvailable, (Size{40, 30}));
}

TEST(MeasureTest, HiddenElementCollapsesWithoutMeasuringAndPanelsSkipIt)
{
    auto grid = std::make_shared<GridPanel>();
    auto a = Box(10, 10);
    auto b = Box(40, 5);
    grid->AddChild(a);
    grid->AddChild(b);
    grid->Measure({Unset, Unset});
    EXPECT_EQ(grid->DesiredSize(), (Size{40, 10}));

    b->SetIsVisible(false);
    const int before = b->measures;
    grid->Measure({Unset, Unset});
    EXPECT_EQ(b->measures, before);                 // a panel measures visible children only
    EXPECT_EQ(b->DesiredSize(), (Size{40, 5}));     // and a hidden one keeps its size
    EXPECT_EQ(grid->DesiredSize(), (Size{10, 10})); // but takes no space
    b->Measure({Unset, Unset});
    EXPECT_EQ(b->DesiredSize(), (Size{0, 0}));
    EXPECT_EQ(b->measures, before);

    // A hidden last child of a dock leaves the fill blank.
    auto dock = std::make_shared<DockPanel>();
    auto c = Box(10, 10);
    auto d = Box(10, 10);
    dock->AddChild(c);
    dock->AddChild(d);
    d->SetIsVisible(false);
    RenderFrame(*dock, {0, 0, 50, 10});
    EXPECT_EQ(d->renders, 0);
    EXPECT_EQ(d->ActualRect(), (Rect{}));
    EXPECT_EQ(c->ActualRect(), (Rect{0, 0, 10, 10}));
}

TEST(DockTest, SidesTakeStripsInListOrder)
{
    auto dock = std::make_shared<DockPanel>();
    auto left = Box(10, 1);
    auto top = Box(1, 20);
    auto right = Box(30, 1);
    auto bottom = Box(1, 40);
    auto odd = Box(1, 5); // any other value places at the bottom
    auto fill = Box(1, 1);
    dock->SetDock(top.get(), DockSide::Top);
    dock->SetDock(right.get(), DockSide::Right);
    dock->SetDock(bottom.get(), DockSide::Bottom);
    dock->SetDock(odd.get(), static_cast<DockSide>(7));
    for (auto& c : {left, top, right, bottom, odd, fill})
        dock->AddChild(c);
    RenderFrame(*dock, {0, 0, 200, 100});
    // Measured from the second-to-last back: heights add for top/bottom, widths for sides.
    EXPECT_EQ(dock->DesiredSize(), (Size{41, 65}));
    EXPECT_EQ(left->ActualRect(), (Rect{0, 0, 10, 100}));
    EXPECT_EQ(top->ActualRect(), (Rect{10, 0, 190, 20}));
    EXPECT_EQ(right->ActualRect(), (Rect{170, 20, 30, 80}));
    EXPECT_EQ(bottom->ActualRect(), (Rect{10, 60, 160, 40}));
    EXPECT_EQ(odd->ActualRect(), (Rect{10, 55, 160, 5}));
    EXPECT_EQ(fill->ActualRect(), (Rect{10, 20, 160, 35}));
}

TEST(DockTest, FillingPanelIsMeasuredSoItsChildrenGetSizes)
{
    auto dock = std::make_shared<DockPanel>();
    auto fill = std::make_shared<StackPanel>();
    auto inFill = Box(15, 12);
    fill->AddChild(inFill);
    dock->AddChild(Box(20, 10));
    dock->AddChild(fill);
    dock->SetWidth(100);
    dock->Measure({Unset, Unset});
    EXPECT_EQ(dock->DesiredSize(), (Size{100, 10})); // the filling panel does not count
    EXPECT_EQ(inFill->DesiredSize(), (Size{15, 12}));
    EXPECT_EQ(inFill->lastAvailable.width, 80); // the room left beside the docked child
}

TEST(StackTest, AlignmentsPlaceTheBlock)
{
    const struct {
        const char* name;
        int horizontal, vertical;
        Rect box, placed;
    } rows[] = {
        {"centre: halves truncate toward zero", 2, 2, {0, 0, 21, 20}, {5, 4, 21, 11}},
        {"far and near", 3, 1, {0, 0, 21, 20}, {11, 0, 21, 11}},
        {"larger than its box: a negative half, still toward zero",
         2,
         2,
         {0, 0, 5, 4},
         {-2, -3, 5, 11}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto stack = std::make_shared<StackPanel>();
        auto a = Box(10, 11);
        stack->AddChild(a);
        stack->SetHorizontalAlignment(row.horizontal);
        stack->SetVerticalAlignment(row.vertical);
        RenderFrame(*stack, row.box);
        EXPECT_EQ(a->ActualRect(), row.placed);
    }
}

TEST(StackTest, VerticalStackIsBottomAlignedAndClosesTheGapOfAHiddenChild)
{
    auto stack = std::make_shared<StackPanel>();
    auto a = Box(30, 10);
    auto b = Box(50, 20);
    auto c = Box(10, 30);
    for (auto& e : {a, b, c})
        stack->AddChild(e);
    RenderFrame(*stack, {5, 5, 80, 100});
    EXPECT_EQ(stack->DesiredSize(), (Size{50, 60}));
    EXPECT_EQ(a->ActualRect(), (Rect{5, 45, 80, 10}));
    EXPECT_EQ(c->ActualRect(), (Rect{5, 75, 80, 30}));
    b->SetIsVisible(false);
    RenderFrame(*stack, {5, 5, 80, 100});
    EXPECT_EQ(stack->DesiredSize(), (Size{30, 40}));
    EXPECT_EQ(a->ActualRect(), (Rect{5, 65, 80, 10}));
    EXPECT_EQ(c->ActualRect(), (Rect{5, 75, 80, 30}));
    EXPECT_EQ(b->ActualRect(), (Rect{5, 55, 80, 20})); // kept from the last visible pass
}

TEST(WrapTest, HelpersWrapAndHalveAsTwosComplement)
{
    static_assert(WrapAdd(Unset, 1) == -2147483647 - 1);
    static_assert(WrapSub(-2147483647 - 1, 1) == Unset);
    static_assert(WrapAdd(Unset, 10) == -2147483639);
    static_assert(HalfTowardZero(-5) == -2);
    static_assert(HalfTowardMinusInfinity(-5) == -3);
    static_assert(HalfTowardMinusInfinity(5) == 2);
    EXPECT_TRUE(Contains({0, 0, 10, 10}, {9, 9}));
    EXPECT_FALSE(Contains({0, 0, 10, 10}, {10, 9}));
    EXPECT_FALSE(Contains({0, 0, 10, 10}, {9, 10}));
    // The hit test's edge test: no overflow for a rectangle reaching past the largest coordinate.
    EXPECT_TRUE(Contains({2147483000, 0, Unset, 1}, {2147483600, 0}));
}

} // namespace
