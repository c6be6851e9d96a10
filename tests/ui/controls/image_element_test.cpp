// The image element: where its picture lands, unscaled and clipped to its box.
#include "ui/controls/image_element.h"

#include "../test_frames.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

using uitest::Coded;

// Where a coded picture's origin landed (read from its first opaque pixel), and the rectangle
// of all its opaque pixels; a null rectangle when the frame shows nothing.
QRect Landing(const QImage& frame, QPoint& origin)
{
    QRect shown;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if (const QRgb p = frame.pixel(x, y); qAlpha(p) != 0) {
                if (shown.isNull())
                    origin = {x - qRed(p), y - qGreen(p)};
                shown |= QRect(x, y, 1, 1);
            }
    return shown;
}

QImage RenderAlone(ImageElement& e, Rect r, Size frame)
{
    return uitest::RenderFrame(e, r, frame).convertToFormat(QImage::Format_ARGB32);
}

TEST(ImageElement, Placement)
{
    const struct {
        const char* name;
        int pictureWidth, pictureHeight;
        Rect box;
        std::int32_t horizontal, vertical;
        QPoint origin;
    } rows[] = {
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
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ImageElement e;
        e.SetImage(Coded(row.pictureWidth, row.pictureHeight));
        e.SetHorizontalAlignment(row.horizontal);
        e.SetVerticalAlignment(row.vertical);
        QPoint origin;
        const QRect shown = Landing(RenderAlone(e, row.box, {400, 120}), origin);
        ASSERT_FALSE(shown.isNull());
        EXPECT_EQ(origin, row.origin);
        // Whatever overhangs the box is cut away by the render pass's clip.
        EXPECT_TRUE(QRect(row.box.x, row.box.y, row.box.width, row.box.height).contains(shown))
            << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
    }
}

TEST(ImageElement, NeverScalesThePictureAndWithoutOneDrawsNothing)
{
    ImageElement e;
    e.SetImage(Coded(100, 20));
    e.SetWidth(450);
    e.SetHeight(338);
    const QImage frame = RenderAlone(e, {0, 0, 450, 338}, {450, 338});
    QPoint origin;
    EXPECT_EQ(Landing(frame, origin), QRect(350, 318, 100, 20));
    // Natural size: neighbouring frame columns hold neighbouring picture columns.
    for (int x = 350; x < 450; ++x)
        ASSERT_EQ(qRed(frame.pixel(x, 330)), x - 350);

    e.SetImage(nullptr);
    EXPECT_TRUE(Landing(RenderAlone(e, {0, 0, 450, 338}, {450, 338}), origin).isNull());
}

} // namespace
} // namespace ui
