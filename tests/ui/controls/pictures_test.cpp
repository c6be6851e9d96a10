// The pictures: every embedded one the window uses is there, round ones are round, whatever
// cannot be had comes back empty; and where the image element puts one, unscaled and clipped.
#include "../test_tree.h"
#include "ui/controls/image_element.h"
#include "ui/controls/png_resource.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

using uitest::Coded;

TEST(LoadPngResource, EveryPictureOfTheWindowLoadsOnceInTheFramesFormat)
{
    // The pictures the main window loads (their sizes show in the window's composite test).
    for (const std::uint16_t id :
         {132, 133, 179, 134, 180, 141, 185, 143, 159, 160, 161, 146, 158, 147,
          148, 174, 178, 149, 152, 153, 154, 155, 150, 151, 156, 157, 186, 187}) {
        SCOPED_TRACE(id);
        const SharedImage image = LoadPngResource(id);
        ASSERT_TRUE(image);
        EXPECT_FALSE(image->isNull());
        EXPECT_EQ(image->format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(LoadPngResource(id).get(), image.get()) << "decoded once per process";
    }
    const QImage icon(QStringLiteral(":/icons/vandrel.png"));
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.width(), icon.height());
    EXPECT_GE(icon.width(), 64);
    EXPECT_TRUE(icon.hasAlphaChannel());
}

// The skin gives the window its shape; round buttons must not show square corners, and plates
// have rounded corners where they do not join another.
TEST(LoadPngResource, RoundPicturesAndPlatesAreTransparentAtTheirCornersWithASoftEdge)
{
    const struct {
        std::uint16_t id;
        int clearCorners; // at least
    } rows[] = {{132, 4}, {150, 4}, {151, 4}, {152, 4}, {153, 4}, {154, 4}, {155, 4}, {156, 4},
                {157, 4}, {143, 2}, {146, 2}, {147, 2}, {148, 2}, {160, 2}, {174, 2}, {178, 2}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        const SharedImage image = LoadPngResource(row.id);
        ASSERT_TRUE(image);
        const int w = image->width(), h = image->height();
        int clear = 0;
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
            clear += qAlpha(image->pixel(corner)) == 0;
        EXPECT_GE(clear, row.clearCorners);
        EXPECT_EQ(qAlpha(image->pixel(w / 2, h / 2)), 255);
    }
    // Along a ray from the skin's centre to its left edge the alpha falls off over several
    // pixels instead of jumping from opaque to transparent.
    const SharedImage skin = LoadPngResource(132);
    int partial = 0;
    for (int x = 0; x < 40; ++x) {
        const int a = qAlpha(skin->pixel(x, skin->height() / 2));
        partial += (a > 0 && a < 255) ? 1 : 0;
    }
    EXPECT_GE(partial, 3);
}

TEST(LoadPngResource, WhatCannotBeHadIsEmpty)
{
    const struct {
        std::uint16_t id;
        const char* why;
    } rows[] = {{135, "no such resource"},
                {60001, "the resource is not a PNG"},
                {60002, "the resource is empty"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_FALSE(LoadPngResource(row.id)) << row.id;
        EXPECT_FALSE(LoadPngResource(row.id)) << row.id << " asked again";
    }
}

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

// No picture of the window sets an alignment: each sits at the far edges of its box, at its
// natural size, clipped to the box.
TEST(ImageElement, PlacedUnscaledAtTheFarEdgesAndClippedToItsBox)
{
    const struct {
        const char* name;
        int pictureWidth, pictureHeight;
        Rect box;
        QPoint origin;
        QRect shown;
    } rows[] = {
        {"a smaller picture", 100, 20, {10, 5, 300, 50}, {210, 35}, {210, 35, 100, 20}},
        {"an exact fit", 100, 20, {3, 4, 100, 20}, {3, 4}, {3, 4, 100, 20}},
        {"a larger picture overhangs up and left",
         120,
         90,
         {10, 40, 30, 50},
         {-80, 0},
         {10, 40, 30, 50}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ImageElement e;
        e.SetImage(Coded(row.pictureWidth, row.pictureHeight));
        QPoint origin;
        const QImage frame = RenderAlone(e, row.box, {400, 120});
        EXPECT_EQ(Landing(frame, origin), row.shown);
        EXPECT_EQ(origin, row.origin);
        // Natural size: neighbouring frame columns hold neighbouring picture columns.
        for (int x = row.shown.left(); x <= row.shown.right(); ++x)
            ASSERT_EQ(qRed(frame.pixel(x, row.shown.bottom())), x - origin.x());
        e.SetImage(nullptr);
        EXPECT_TRUE(Landing(RenderAlone(e, row.box, {400, 120}), origin).isNull());
    }
}

} // namespace
} // namespace ui
