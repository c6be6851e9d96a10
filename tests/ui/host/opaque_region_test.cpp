// The input mask of a frame: exactly the pixels whose alpha is above 0, whatever the format.
#include "ui/host/opaque_region.h"

#include "../test_tree.h"

#include <gtest/gtest.h>

namespace {

// Every pixel is in the region exactly when its alpha is above 0.
void ExpectRegionMatchesAlpha(const QImage& image, const QRegion& region)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QRegion expected;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 0)
                expected += QRect(x, y, 1, 1);
    EXPECT_TRUE((region ^ expected).isEmpty()); // the same pixels, however banded
}

// A disc with a soft edge, like the skin, in each format a frame may come in.
TEST(OpaqueRegion, SoftDiscMatchesItsAlphaPixelForPixel)
{
    for (const auto format :
         {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBA8888}) {
        SCOPED_TRACE(format);
        const QImage disc = uitest::Disc(97, 64, QColor(40, 90, 160), format);
        const QRegion region = OpaqueRegion(disc);
        ExpectRegionMatchesAlpha(disc, region);
        // Rows with equal runs share a band: far fewer rectangles than rows times runs.
        EXPECT_LE(region.rectCount(), disc.height());
    }
}

TEST(OpaqueRegion, KeepsFaintPixelsThatAnAlphaMaskWouldDrop)
{
    QImage image(8, 4, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(1, 1, qRgba(255, 255, 255, 1));
    image.setPixel(6, 2, qRgba(0, 0, 0, 127));
    image.setPixel(3, 3, qRgba(0, 0, 0, 255));
    ExpectRegionMatchesAlpha(image, OpaqueRegion(image));
}

TEST(OpaqueRegion, EdgeCases)
{
    EXPECT_TRUE(OpaqueRegion(QImage()).isEmpty());

    QImage clear(10, 10, QImage::Format_ARGB32_Premultiplied);
    clear.fill(Qt::transparent);
    EXPECT_TRUE(OpaqueRegion(clear).isEmpty());

    QImage solid(10, 7, QImage::Format_RGB32);
    solid.fill(Qt::black);
    EXPECT_EQ(OpaqueRegion(solid), QRegion(0, 0, 10, 7));

    // Two runs per row in the top half, one full run in the bottom half: two bands.
    QImage split(6, 4, QImage::Format_ARGB32);
    split.fill(Qt::transparent);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            if (y >= 2 || x < 2 || x >= 4)
                split.setPixel(x, y, qRgba(1, 2, 3, 200));
    const QRegion region = OpaqueRegion(split);
    ExpectRegionMatchesAlpha(split, region);
    EXPECT_EQ(region.rectCount(), 3);

    // A last column and a last row that are opaque are not lost at the edges.
    QImage corner(5, 5, QImage::Format_ARGB32);
    corner.fill(Qt::transparent);
    corner.setPixel(4, 4, qRgba(9, 9, 9, 9));
    EXPECT_EQ(OpaqueRegion(corner), QRegion(4, 4, 1, 1));
}

} // namespace
