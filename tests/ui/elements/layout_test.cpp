// The measure pass and the hidden-child rules beyond what the main window's own layout shows
// (its composite test places the rows, the dock and the fields), and the wrap-around helpers.
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
