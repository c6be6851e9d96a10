// The render pass on real QImages: clipping that does not nest, greying of disabled elements by
// the program's own matrix (its straight-colour arithmetic is the brightening test's), and
// degenerate rectangles.
#include "../test_tree.h"
#include "ui/elements/frame_pool.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using namespace ui;
using namespace uitest;

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
constexpr QRgb kTransparent = 0;
const QRgb kGrey = qRgb(148, 148, 148); // (100, 200, 0): 0.30 * 100 + 0.59 * 200 + 0.11 * 0

// Colour is compared only where the expected pixel is not fully transparent.
void ExpectPixel(const QImage& frame, int x, int y, QRgb expected)
{
    const QRgb got = frame.pixelColor(x, y).rgba();
    EXPECT_EQ(qAlpha(got), qAlpha(expected)) << x << "," << y;
    if (qAlpha(expected) != 0) {
        EXPECT_EQ(got, expected) << x << "," << y << " got " << std::hex << got;
    }
}

std::shared_ptr<Picture> Pic(int w, int h, QColor c)
{
    return std::make_shared<Picture>(Solid(w, h, c));
}

struct FrameRow {
    const char* name;
    std::function<std::shared_ptr<LayoutElement>()> tree;
    Rect rect; // of the root, in a 40 x 40 frame
    std::vector<std::tuple<int, int, QRgb>> pixels;
};

std::vector<FrameRow> FrameRows()
{
    return {
        // Two siblings in a row; the first picture is wider than the room it asks for. The
        // row's content rectangle is (0, 0, 12, 10): the second child lies partly outside it.
        {"overflow is clipped to the own content but not to the panel's",
         [] {
             auto row = std::make_shared<StackPanel>();
             row->SetIsHorizontal(true);
             row->SetBottomRightMargin(3, 0);
             auto first = Pic(30, 10, kRed);
             first->SetWidth(10);
             row->AddChild(first);
             row->AddChild(Pic(5, 10, kBlue));
             return row;
         },
         {0, 0, 15, 10},
         {{9, 5, kRed.rgb()}, {12, 5, kBlue.rgb()}, {14, 5, kBlue.rgb()}, {16, 5, kTransparent}}},
        // A disabled panel at (5, 5, 20, 20) whose child's content reaches beyond it.
        {"a disabled element is greyed over its whole rectangle only, margin included",
         [] {
             auto disabled = std::make_shared<GridPanel>();
             disabled->SetTopLeftMargin(4, 4);
             disabled->SetBottomRightMargin(4, 4);
             disabled->SetWidth(12);
             disabled->SetHeight(12);
             auto child = Pic(30, 30, QColor(100, 200, 0));
             child->SetTopLeftMargin(-6, -6);
             child->SetBottomRightMargin(-6, -6);
             disabled->AddChild(child);
             disabled->SetIsEnabled(false);
             auto canvas = std::make_shared<CanvasPanel>();
             canvas->AddChild(Pic(40, 40, kBlue));
             canvas->AddChild(disabled);
             canvas->SetPosition(disabled.get(), 5, 5);
             return canvas;
         },
         {0, 0, 40, 40},
         {{5, 5, kGrey}, {24, 24, kGrey}, {4, 4, kBlue.rgb()}, {25, 25, kBlue.rgb()}}},
        // The first picture hangs over the frame's top left corner; the second is half covered.
        {"a picture partly outside the frame, another over it",
         [] {
             auto canvas = std::make_shared<CanvasPanel>();
             auto under = Pic(20, 20, QColor(0, 0, 255, 128));
             auto over = Pic(10, 10, kRed);
             canvas->AddChild(under);
             canvas->AddChild(over);
             canvas->SetPosition(under.get(), -5, -5);
             canvas->SetPosition(over.get(), 10, 10);
             return canvas;
         },
         {0, 0, 40, 40},
         {{0, 0, qRgba(0, 0, 255, 128)}, {12, 12, kRed.rgb()}, {30, 5, 0}}},
        {"nothing inside the frame", [] { return Pic(5, 5, kRed); }, {50, 50, 5, 5}, {{0, 0, 0}}},
    };
}

TEST(RenderTest, FrameShowsWhatTheRowSays)
{
    for (const auto& row : FrameRows()) {
        SCOPED_TRACE(row.name);
        const QImage frame = RenderFrame(*row.tree(), row.rect, {40, 40});
        for (const auto& [x, y, expected] : row.pixels)
            ExpectPixel(frame, x, y, expected);
    }
}

// A reused frame still holds the last frame's pixels: drawn as stale, it must end exactly as a
// fresh one would, whatever the first picture covers.
TEST(RenderTest, AStaleFrameEndsAsAFreshOne)
{
    const std::shared_ptr<FramePool> pool = FramePool::Create();
    const uchar* pixels = nullptr;
    for (const auto& row : FrameRows()) {
        SCOPED_TRACE(row.name);
        const QImage fresh = RenderFrame(*row.tree(), row.rect, {40, 40});
        const std::shared_ptr<QImage> reused = pool->Take(40, 40);
        // Every row after the first gets the frame the row before dropped.
        if (pixels) {
            EXPECT_EQ(reused->constBits(), pixels);
        }
        pixels = reused->constBits();
        reused->fill(QColor(0, 255, 0, 200)); // what an earlier frame left
        const std::shared_ptr<LayoutElement> tree = row.tree();
        tree->Measure({Unset, Unset});
        {
            DrawingSurface surface(*reused, DrawingSurface::Content::Stale);
            tree->Render(surface, row.rect);
        }
        EXPECT_EQ(*reused, fresh);
    }
    pool->Trim();
    EXPECT_FALSE(pool->HoldsSpares());
    // A frame whose pixels someone still shares is not handed out again.
    const QImage shared = *pool->Take(40, 40);
    EXPECT_FALSE(pool->HoldsSpares());
}

TEST(RenderTest, DegenerateRectanglesDrawNothingAndFailNothing)
{
    QImage frame = CreateFrameBitmap(30, 30);
    auto grid = std::make_shared<GridPanel>();
    auto e = Pic(30, 30, kRed);
    e->SetTopLeftMargin(20, 20);
    e->SetBottomRightMargin(20, 20);
    auto disabled = Pic(30, 30, kRed);
    disabled->SetIsEnabled(false);
    grid->AddChild(e);
    grid->AddChild(disabled);
    DrawingSurface surface(frame);
    e->Render(surface, {0, 0, 30, 30});
    EXPECT_EQ(e->lastContent, (Rect{20, 20, -10, -10}));
    disabled->Render(surface, {0, 0, -5, 30}); // no off-screen bitmap can be made
    disabled->Render(surface, {0, 0, 0, 0});
    surface.End();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(frame.pixelColor(x, y).rgba(), kTransparent) << x << "," << y;

    // Huge rectangles from wrapped sizes are harmless.
    QImage small = CreateFrameBitmap(10, 10);
    auto pic = Pic(4, 4, kRed);
    DrawingSurface smallSurface(small);
    pic->Render(smallSurface, {2147483000, -2147483000, Unset, Unset});
    pic->Render(smallSurface, {-2, -2, Unset, Unset});
    smallSurface.End();
    ExpectPixel(small, 0, 0, kRed.rgb());
    ExpectPixel(small, 5, 5, kTransparent);

    // A null bitmap gives a surface that draws nothing; no frame of a zero or huge side is made.
    QImage none;
    DrawingSurface noSurface(none);
    noSurface.DrawImage(Solid(2, 2, kRed), {0, 0, 2, 2}, {0, 0, 2, 2});
    EXPECT_TRUE(CreateFrameBitmap(0, 5).isNull());
    EXPECT_TRUE(CreateFrameBitmap(100000, 100000).isNull());
}

} // namespace
