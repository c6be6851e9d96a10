// The input mask of a frame: exactly the pixels whose alpha is above 0, whatever the format.
#include "ui/host/opaque_region.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPainterPath>

#include <cstdint>

namespace {

// Every pixel is in the region exactly when its alpha is above 0.
void ExpectRegionMatchesAlpha(const QImage& image, const QRegion& region)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int mismatches = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x) {
            const bool opaque = qAlpha(argb.pixel(x, y)) > 0;
            if (region.contains(QPoint(x, y)) != opaque && ++mismatches <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") alpha "
                              << qAlpha(argb.pixel(x, y)) << " in region "
                              << region.contains(QPoint(x, y));
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_TRUE(image.rect().contains(region.boundingRect()) || region.isEmpty());
}

// A disc with a soft, anti-aliased edge on a transparent ground: the shape of the skin.
QImage SoftDisc(int width, int height, QImage::Format format)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 90, 160));
    p.drawEllipse(QRectF(0.5, 0.5, width - 1.0, height - 1.0));
    p.end();
    return image.convertToFormat(format);
}

struct FormatCase {
    const char* name;
    QImage::Format format;
};

class OpaqueRegionFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(OpaqueRegionFormats, SoftDiscMatchesItsAlphaPixelForPixel)
{
    const QImage disc = SoftDisc(97, 64, GetParam().format);
    const QRegion region = OpaqueRegion(disc);
    ExpectRegionMatchesAlpha(disc, region);
    // Rows with equal runs share a band: far fewer rectangles than rows times runs.
    EXPECT_LE(region.rectCount(), disc.height());
}

INSTANTIATE_TEST_SUITE_P(Formats, OpaqueRegionFormats,
                         ::testing::Values(FormatCase{"Argb32", QImage::Format_ARGB32},
                                           FormatCase{"Premultiplied",
                                                      QImage::Format_ARGB32_Premultiplied},
                                           FormatCase{"Rgba8888", QImage::Format_RGBA8888}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(OpaqueRegion, KeepsFaintPixelsThatAnAlphaMaskWouldDrop)
{
    QImage image(8, 4, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(1, 1, qRgba(255, 255, 255, 1));
    image.setPixel(6, 2, qRgba(0, 0, 0, 127));
    image.setPixel(3, 3, qRgba(0, 0, 0, 255));
    const QRegion region = OpaqueRegion(image);
    EXPECT_TRUE(region.contains(QPoint(1, 1)));
    EXPECT_TRUE(region.contains(QPoint(6, 2)));
    EXPECT_TRUE(region.contains(QPoint(3, 3)));
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    ExpectRegionMatchesAlpha(image, region);
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
