// The render pass on real QImages: recorded rectangles, clipping that does not nest, greying
// of disabled elements by the program's own matrix, and degenerate rectangles.
#include "test_elements.h"

#include "ui/elements/drawing_surface.h"
#include "ui/elements/panel.h"

#include <gtest/gtest.h>

using namespace ui;
using namespace testing_elements;

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 200, 0);
const QColor kBlue(0, 0, 255);

QRgb Straight(const QImage& frame, int x, int y)
{
    return frame.pixelColor(x, y).rgba();
}

void ExpectPixel(const QImage& frame, int x, int y, QRgb expected, int tolerance = 0)
{
    const QRgb got = Straight(frame, x, y);
    SCOPED_TRACE(::testing::Message() << "pixel " << x << "," << y << " got " << std::hex << got
                                      << " expected " << expected);
    EXPECT_NEAR(qAlpha(got), qAlpha(expected), tolerance);
    if (qAlpha(expected) == 0)
        return;
    EXPECT_NEAR(qRed(got), qRed(expected), tolerance);
    EXPECT_NEAR(qGreen(got), qGreen(expected), tolerance);
    EXPECT_NEAR(qBlue(got), qBlue(expected), tolerance);
}

constexpr QRgb kTransparent = 0;

std::shared_ptr<Picture> Pic(int w, int h, QColor c)
{
    return std::make_shared<Picture>(Solid(w, h, c));
}

void RenderInto(QImage& frame, LayoutElement& root, Rect r)
{
    root.Measure({Unset, Unset});
    DrawingSurface surface(frame);
    root.Render(surface, r);
}

TEST(RenderTest, HiddenElementRecordsItsRectangleOnceButDrawsNothing)
{
    QImage frame = CreateFrameBitmap(20, 20);
    auto e = Pic(10, 10, kRed);
    Observer observer;
    observer.Attach(*e);
    e->SetIsVisible(false);
    DrawingSurface surface(frame);
    e->Render(surface, {1, 2, 3, 4});
    EXPECT_EQ(e->ActualRect(), (Rect{1, 2, 3, 4}));
    EXPECT_EQ(observer.names,
              (std::vector<std::string>{"IsVisible", "X", "Y", "ActualWidth", "ActualHeight"}));
    EXPECT_EQ(e->renders, 0);
    ExpectPixel(frame, 1, 2, kTransparent);

    // The same rectangle again reports no change.
    observer.names.clear();
    e->Render(surface, {1, 2, 3, 4});
    EXPECT_TRUE(observer.names.empty());
}

TEST(RenderTest, OverflowIsClippedToTheOwnContentButNotToThePanels)
{
    // Two siblings in a row: the first picture is wider than the room it asks for.
    QImage frame = CreateFrameBitmap(60, 20);
    auto row = std::make_shared<StackPanel>();
    row->SetIsHorizontal(true);
    auto first = Pic(30, 10, kRed);
    first->SetWidth(10);
    auto second = Pic(5, 10, kBlue);
    row->AddChild(first);
    row->AddChild(second);
    // The row's own content rectangle is (0, 0, 12, 10): the second child lies partly outside
    // it and is drawn there all the same.
    row->SetBottomRightMargin(3, 0);
    RenderInto(frame, *row, {0, 0, 15, 10});
    ExpectPixel(frame, 9, 5, qRgb(255, 0, 0));
    ExpectPixel(frame, 12, 5, qRgb(0, 0, 255));
    ExpectPixel(frame, 14, 5, qRgb(0, 0, 255));
    ExpectPixel(frame, 16, 5, kTransparent); // red overflow cut at the first child's edge
}

TEST(RenderTest, DisabledElementIsGreyedOverItsWholeRectangleOnly)
{
    QImage frame = CreateFrameBitmap(40, 40);
    auto background = Pic(40, 40, kBlue);
    auto disabled = std::make_shared<GridPanel>();
    disabled->SetTopLeftMargin(4, 4);
    disabled->SetBottomRightMargin(4, 4);
    // The child's content reaches beyond the panel's rectangle (5, 5, 20, 20).
    auto child = Pic(30, 30, QColor(100, 200, 0));
    child->SetTopLeftMargin(-6, -6);
    child->SetBottomRightMargin(-6, -6);
    disabled->AddChild(child);
    disabled->SetIsEnabled(false);
    auto canvas = std::make_shared<CanvasPanel>();
    canvas->AddChild(background);
    canvas->AddChild(disabled);
    canvas->SetPosition(disabled.get(), 5, 5);
    disabled->SetWidth(12); // plus the margins: the rectangle (5, 5, 20, 20)
    disabled->SetHeight(12);
    RenderInto(frame, *canvas, {0, 0, 40, 40});

    const QRgb grey = qRgb(148, 148, 148); // 0.30 * 100 + 0.59 * 200 + 0.11 * 0
    ExpectPixel(frame, 5, 5, grey);        // the panel's margin is greyed too
    ExpectPixel(frame, 24, 24, grey);
    ExpectPixel(frame, 4, 4, qRgb(0, 0, 255)); // outside r: untouched background
    ExpectPixel(frame, 25, 25, qRgb(0, 0, 255));
    EXPECT_EQ(child->lastContent, (Rect{3, 3, 24, 24}));
}

TEST(RenderTest, MarginOfADisabledElementKeepsWhatIsBelow)
{
    QImage frame = CreateFrameBitmap(20, 20);
    auto grid = std::make_shared<GridPanel>();
    auto below = Pic(20, 20, kBlue);
    auto disabled = Pic(20, 20, QColor(50, 100, 100));
    disabled->SetTopLeftMargin(2, 2);
    disabled->SetIsEnabled(false);
    grid->AddChild(below);
    grid->AddChild(disabled);
    RenderInto(frame, *grid, {0, 0, 20, 20});
    ExpectPixel(frame, 1, 1, qRgb(0, 0, 255));
    ExpectPixel(frame, 2, 2, qRgb(85, 85, 85));
    ExpectPixel(frame, 19, 19, qRgb(85, 85, 85)); // the content is clipped to B, not moved
}

TEST(RenderTest, GreyedCopyIsDrawnUnderTheClipThenInForce)
{
    // In a canvas with margins, the first child draws its greyed copy while the canvas's clip
    // is still set; after an enabled sibling has reset the clip, a later one is not clipped.
    QImage frame = CreateFrameBitmap(40, 40);
    auto canvas = std::make_shared<CanvasPanel>();
    canvas->SetTopLeftMargin(10, 10);
    canvas->SetBottomRightMargin(10, 10);
    auto first = Pic(10, 10, QColor(100, 200, 0));
    auto enabled = Pic(2, 2, kBlue);
    auto third = Pic(10, 10, QColor(100, 200, 0));
    first->SetIsEnabled(false);
    third->SetIsEnabled(false);
    canvas->AddChild(first);
    canvas->AddChild(enabled);
    canvas->AddChild(third);
    canvas->SetPosition(first.get(), -10, -10);
    canvas->SetPosition(enabled.get(), 5, 5);
    canvas->SetPosition(third.get(), -10, 0);
    RenderInto(frame, *canvas, {0, 0, 40, 40});
    ExpectPixel(frame, 5, 5, kTransparent); // first: outside the canvas's content, cut away
    ExpectPixel(frame, 5, 15, qRgb(148, 148, 148));
    ExpectPixel(frame, 16, 16, qRgb(0, 0, 255));
}

TEST(RenderTest, NegativeContentRectanglesDrawNothingAndFailNothing)
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
            ASSERT_EQ(Straight(frame, x, y), kTransparent) << x << "," << y;
}

TEST(RenderTest, HugeRectanglesFromWrappedSizesAreHarmless)
{
    QImage frame = CreateFrameBitmap(10, 10);
    auto e = Pic(4, 4, kRed);
    DrawingSurface surface(frame);
    e->Render(surface, {2147483000, -2147483000, Unset, Unset});
    e->Render(surface, {-2, -2, Unset, Unset});
    surface.End();
    ExpectPixel(frame, 0, 0, qRgb(255, 0, 0));
    ExpectPixel(frame, 5, 5, kTransparent);
}

TEST(ColorMatrixTest, GreyWorksOnStraightColourInBothFrameFormats)
{
    for (auto format : {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied}) {
        QImage image(3, 1, format);
        image.setPixelColor(0, 0, QColor(100, 200, 0));
        image.setPixelColor(1, 0, QColor(50, 100, 100, 128));
        image.setPixelColor(2, 0, QColor(0, 0, 0, 0));
        ApplyColorMatrix(image, kGreyMatrix);
        ExpectPixel(image, 0, 0, qRgb(148, 148, 148));
        ExpectPixel(image, 1, 0, qRgba(85, 85, 85, 128), format == QImage::Format_ARGB32 ? 0 : 1);
        ExpectPixel(image, 2, 0, kTransparent);

        // A disabled element on a frame of this format: an off-screen copy of the same format,
        // greyed the same.
        QImage frame(20, 20, format);
        frame.fill(Qt::transparent);
        auto e = Pic(20, 20, QColor(100, 200, 0));
        e->SetIsEnabled(false);
        DrawingSurface surface(frame);
        EXPECT_EQ(surface.CreateCompatibleBitmap(3, 3).format(), format);
        e->Render(surface, {0, 0, 20, 20});
        surface.End();
        ExpectPixel(frame, 10, 10, qRgb(148, 148, 148));
    }
}

TEST(SurfaceTest, ClipReplacesAndResets)
{
    QImage frame = CreateFrameBitmap(10, 10);
    QImage red = Solid(10, 10, kRed);
    DrawingSurface surface(frame);
    surface.SetClip({0, 0, 2, 2});
    surface.SetClip({5, 5, 2, 2}); // replaces, does not intersect
    surface.DrawImage(red, {0, 0, 10, 10}, {0, 0, 10, 10});
    surface.SetClip({3, 3, 0, 4}); // empty: nothing at all
    surface.DrawImage(red, {0, 0, 10, 10}, {0, 0, 10, 10});
    surface.PrependTranslation(-8, 0);
    surface.ResetClip();
    surface.DrawImage(red, {8, 9, 1, 1}, {0, 0, 1, 1});
    surface.End();
    ExpectPixel(frame, 0, 0, kTransparent);
    ExpectPixel(frame, 3, 3, kTransparent);
    ExpectPixel(frame, 5, 5, qRgb(255, 0, 0));
    ExpectPixel(frame, 6, 6, qRgb(255, 0, 0));
    ExpectPixel(frame, 7, 7, kTransparent);
    ExpectPixel(frame, 0, 9, qRgb(255, 0, 0));
    EXPECT_EQ(DrawingSurface::ImageSize(red), (Size{10, 10}));
}

TEST(SurfaceTest, NullBitmapGivesASurfaceThatDrawsNothing)
{
    QImage none;
    DrawingSurface surface(none);
    EXPECT_EQ(surface.LastStatus(), SurfaceStatus::NotReady);
    surface.DrawImage(Solid(2, 2, kRed), {0, 0, 2, 2}, {0, 0, 2, 2});
    EXPECT_TRUE(CreateFrameBitmap(0, 5).isNull());
    EXPECT_TRUE(CreateFrameBitmap(100000, 100000).isNull());
}

} // namespace
