// The image element: where its picture lands, unscaled and clipped to its box.
#include "ui/controls/image_element.h"

#include "test_pictures.h"
#include "ui/elements/drawing_surface.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>

namespace ui {
namespace {

using testpics::Coded;

// Renders e alone into rectangle r of a fresh transparent frame.
QImage RenderAlone(ImageElement& e, Rect r, Size frame)
{
    QImage bitmap = CreateFrameBitmap(frame.width, frame.height);
    {
        DrawingSurface surface(bitmap);
        e.Measure({Unset, Unset});
        e.Render(surface, r);
    }
    return bitmap.convertToFormat(QImage::Format_ARGB32);
}

// Where the picture's origin landed, from the first opaque pixel of row y: a coded picture's
// pixel names its own column. Returns false when the row shows nothing.
bool OriginInRow(const QImage& frame, int y, int& originX, int& firstX, int& lastX)
{
    firstX = -1;
    for (int x = 0; x < frame.width(); ++x) {
        if (qAlpha(frame.pixel(x, y)) == 0)
            continue;
        if (firstX < 0) {
            firstX = x;
            originX = x - qRed(frame.pixel(x, y));
        }
        lastX = x;
    }
    return firstX >= 0;
}

bool OriginInColumn(const QImage& frame, int x, int& originY)
{
    for (int y = 0; y < frame.height(); ++y)
        if (qAlpha(frame.pixel(x, y)) != 0) {
            originY = y - qGreen(frame.pixel(x, y));
            return true;
        }
    return false;
}

TEST(ImageElement, Placement)
{
    struct Case {
        const char* name;
        int pictureWidth, pictureHeight;
        Rect box;
        std::int32_t horizontal, vertical;
        Point origin;
    };
    const Case cases[] = {
        {"default alignment: far edges", 100, 20, {10, 5, 300, 50}, 0, 0, {210, 35}},
        {"near", 100, 20, {10, 5, 300, 50}, 1, 1, {10, 5}},
        {"centre", 100, 20, {10, 5, 300, 50}, 2, 2, {110, 20}},
        {"other values count as far", 100, 20, {10, 5, 300, 50}, -1, 3, {210, 35}},
        {"exact fit, far", 100, 20, {3, 4, 100, 20}, 0, 0, {3, 4}},
        {"exact fit, near", 100, 20, {3, 4, 100, 20}, 1, 1, {3, 4}},
        {"exact fit, centre", 100, 20, {3, 4, 100, 20}, 2, 2, {3, 4}},
        {"wider picture centred over the box", 100, 20, {50, 10, 60, 20}, 2, 1, {30, 10}},
        {"odd overhang rounds toward minus infinity", 101, 20, {50, 10, 60, 20}, 2, 1, {29, 10}},
        {"odd spare space rounds down", 51, 20, {50, 10, 60, 20}, 2, 1, {54, 10}},
        {"taller picture, far", 20, 90, {10, 40, 30, 50}, 1, 0, {10, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto e = std::make_shared<ImageElement>();
        e->SetImage(Coded(c.pictureWidth, c.pictureHeight));
        e->SetHorizontalAlignment(c.horizontal);
        e->SetVerticalAlignment(c.vertical);
        const QImage frame = RenderAlone(*e, c.box, {400, 120});
        int originX = 0, originY = 0, firstX = 0, lastX = 0;
        const int row = std::max(c.box.y, c.origin.y); // shown by both picture and box
        ASSERT_TRUE(OriginInRow(frame, row, originX, firstX, lastX));
        ASSERT_TRUE(OriginInColumn(frame, firstX, originY));
        EXPECT_EQ(originX, c.origin.x);
        EXPECT_EQ(originY, c.origin.y);
        // Whatever overhangs the box is cut away by the render pass's clip.
        EXPECT_GE(firstX, c.box.x);
        EXPECT_LT(lastX, c.box.x + c.box.width);
    }
}

TEST(ImageElement, NeverScalesThePictureAndWithoutOneDrawsNothing)
{
    auto e = std::make_shared<ImageElement>();
    e->SetImage(Coded(100, 20));
    e->SetWidth(450);
    e->SetHeight(338);
    const QImage frame = RenderAlone(*e, {0, 0, 450, 338}, {450, 338});
    int originX = 0, firstX = 0, lastX = 0;
    ASSERT_TRUE(OriginInRow(frame, 330, originX, firstX, lastX));
    EXPECT_EQ(firstX, 350);
    EXPECT_EQ(lastX, 449);
    // Natural size: neighbouring frame columns hold neighbouring picture columns.
    for (int x = firstX; x <= lastX; ++x)
        ASSERT_EQ(qRed(frame.pixel(x, 330)), x - 350);
    EXPECT_EQ(qAlpha(frame.pixel(200, 100)), 0);

    e->SetImage(nullptr);
    const QImage none = RenderAlone(*e, {0, 0, 450, 338}, {450, 338});
    EXPECT_EQ(none, CreateFrameBitmap(450, 338).convertToFormat(QImage::Format_ARGB32));
}

} // namespace
} // namespace ui
