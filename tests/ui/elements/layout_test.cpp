// The measure pass and the panels' placement rules beyond what the main window's own layout
// shows (its composite test): dock sides, vertical stacks, alignments, hidden children, and the
// 32-bit wrap-around helpers.
#include "test_elements.h"

#include "ui/elements/panel.h"

#include <gtest/gtest.h>

using namespace ui;
using namespace testing_elements;

namespace {

std::shared_ptr<Picture> Box(int w, int h)
{
    auto p = std::make_shared<Picture>();
    p->SetMeasuredOverride({w, h});
    return p;
}

void SetMargins(LayoutElement& e, int m)
{
    e.SetTopLeftMargin(m, m);
    e.SetBottomRightMargin(m, m);
}

// Measures root unbounded and renders it into a frame of its desired size (or the given one).
void Pass(LayoutElement& root, Rect r = {0, 0, -1, -1})
{
    root.Measure({Unset, Unset});
    if (r.width < 0)
        r = {0, 0, root.DesiredSize().width, root.DesiredSize().height};
    QImage frame = CreateFrameBitmap(std::max(r.width, 1), std::max(r.height, 1));
    DrawingSurface surface(frame);
    root.Render(surface, r);
}

TEST(MeasureTest, ExplicitSizeWinsAndMarginsAreTakenFromTheAvailable)
{
    auto e = Box(7, 8);
    e->SetWidth(100);
    SetMargins(*e, 3);
    e->Measure({Unset, Unset});
    EXPECT_EQ(e->DesiredSize(), (Size{106, 14}));
    EXPECT_EQ(e->lastAvailable, (Size{Unset, Unset}));

    // Margins larger than the room available give the content a negative room.
    e->SetTopLeftMargin(30, 2);
    e->SetBottomRightMargin(40, 3);
    e->Measure({50, 4});
    EXPECT_EQ(e->lastAvailable, (Size{-20, -1}));
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
    Pass(*dock, {0, 0, 200, 100});
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
    auto side = Box(20, 10);
    auto fill = std::make_shared<StackPanel>();
    auto inFill = Box(15, 12);
    fill->AddChild(inFill);
    dock->AddChild(side);
    dock->AddChild(fill);
    dock->SetWidth(100);
    dock->Measure({Unset, Unset});
    EXPECT_EQ(dock->DesiredSize(), (Size{100, 10})); // the filling panel does not count
    EXPECT_EQ(inFill->DesiredSize(), (Size{15, 12}));
    EXPECT_EQ(inFill->lastAvailable.width, 80); // the room left beside the docked child
}

TEST(DockTest, HiddenLastChildLeavesTheFillBlank)
{
    auto dock = std::make_shared<DockPanel>();
    auto a = Box(10, 10);
    auto b = Box(10, 10);
    dock->AddChild(a);
    dock->AddChild(b);
    b->SetIsVisible(false);
    Pass(*dock, {0, 0, 50, 10});
    EXPECT_EQ(b->renders, 0);
    EXPECT_EQ(b->ActualRect(), (Rect{}));
    EXPECT_EQ(a->ActualRect(), (Rect{0, 0, 10, 10}));
}

TEST(StackTest, AlignmentsPlaceTheBlock)
{
    auto stack = std::make_shared<StackPanel>();
    auto a = Box(10, 11);
    stack->AddChild(a);
    stack->SetHorizontalAlignment(2);
    stack->SetVerticalAlignment(2);
    Pass(*stack, {0, 0, 21, 20});
    EXPECT_EQ(a->ActualRect(), (Rect{5, 4, 21, 11})); // halves truncate toward zero
    stack->SetHorizontalAlignment(3);
    stack->SetVerticalAlignment(1);
    Pass(*stack, {0, 0, 21, 20});
    EXPECT_EQ(a->ActualRect(), (Rect{11, 0, 21, 11}));
    // Larger than its rectangle: a negative half, still toward zero.
    stack->SetHorizontalAlignment(2);
    stack->SetVerticalAlignment(2);
    Pass(*stack, {0, 0, 5, 4});
    EXPECT_EQ(a->ActualRect(), (Rect{-2, -3, 5, 11}));
}

TEST(StackTest, VerticalStackIsBottomAlignedAndClosesTheGapOfAHiddenChild)
{
    auto stack = std::make_shared<StackPanel>();
    auto a = Box(30, 10);
    auto b = Box(50, 20);
    auto c = Box(10, 30);
    for (auto& e : {a, b, c})
        stack->AddChild(e);
    Pass(*stack, {5, 5, 80, 100});
    EXPECT_EQ(stack->DesiredSize(), (Size{50, 60}));
    EXPECT_EQ(a->ActualRect(), (Rect{5, 45, 80, 10}));
    EXPECT_EQ(c->ActualRect(), (Rect{5, 75, 80, 30}));
    b->SetIsVisible(false);
    Pass(*stack, {5, 5, 80, 100});
    EXPECT_EQ(stack->DesiredSize(), (Size{30, 40}));
    EXPECT_EQ(a->ActualRect(), (Rect{5, 65, 80, 10}));
    EXPECT_EQ(c->ActualRect(), (Rect{5, 75, 80, 30}));
    EXPECT_EQ(b->ActualRect(), (Rect{5, 55, 80, 20})); // kept from the last visible pass
}

TEST(GridTest, PassesItsOwnSizeDownOnlyWithoutALimit)
{
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

} // namespace

namespace {

TEST(WrapTest, HelpersWrapAndHalveAsTwosComplement)
{
    static_assert(ui::WrapAdd(ui::Unset, 1) == -2147483647 - 1);
    static_assert(ui::WrapSub(-2147483647 - 1, 1) == ui::Unset);
    static_assert(ui::WrapAdd(ui::Unset, 10) == -2147483639);
    static_assert(ui::HalfTowardZero(-5) == -2);
    static_assert(ui::HalfTowardMinusInfinity(-5) == -3);
    static_assert(ui::HalfTowardMinusInfinity(5) == 2);
    EXPECT_TRUE(ui::Contains({0, 0, 10, 10}, {9, 9}));
    EXPECT_FALSE(ui::Contains({0, 0, 10, 10}, {10, 9}));
    EXPECT_FALSE(ui::Contains({0, 0, 10, 10}, {9, 10}));
    // The hit test's edge test: no overflow for a rectangle reaching past the largest coordinate.
    EXPECT_TRUE(ui::Contains({2147483000, 0, ui::Unset, 1}, {2147483600, 0}));
}

} // namespace
