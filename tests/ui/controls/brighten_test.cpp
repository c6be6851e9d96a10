// The brightening transform: its arithmetic on straight colour values, and what it keeps.
#include "ui/controls/brighten.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

SharedImage Filled(QSize size, QRgb colour, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return std::make_shared<const QImage>(image.convertToFormat(format));
}

struct PixelCase {
    const char* name;
    QRgb in;
    QRgb out;
};

// Worked by hand: each colour component c (0..255) becomes 1.05 c + 12.75, rounded, at most 255.
constexpr PixelCase kPixelCases[] = {
    {"black gains the offset", qRgba(0, 0, 0, 255), qRgba(13, 13, 13, 255)},
    {"mid values", qRgba(100, 150, 200, 255), qRgba(118, 170, 223, 255)},
    {"bright values clamp", qRgba(243, 250, 230, 255), qRgba(255, 255, 254, 255)},
    {"white stays white", qRgba(255, 255, 255, 255), qRgba(255, 255, 255, 255)},
    {"alpha is kept", qRgba(40, 80, 120, 77), qRgba(55, 97, 139, 77)},
    // Straight values: a premultiplied computation would give a different colour here.
    {"faint pixel keeps its straight colour", qRgba(200, 0, 0, 10), qRgba(223, 13, 13, 10)},
    {"transparent stays transparent", qRgba(0, 0, 0, 0), qRgba(13, 13, 13, 0)},
};

TEST(Brighten, PixelArithmetic)
{
    for (const PixelCase& c : kPixelCases) {
        SCOPED_TRACE(c.name);
        const SharedImage out = Brighten(Filled(QSize(3, 2), c.in));
        ASSERT_TRUE(out);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                const QRgb p = out->pixel(x, y);
                EXPECT_EQ(qRed(p), qRed(c.out));
                EXPECT_EQ(qGreen(p), qGreen(c.out));
                EXPECT_EQ(qBlue(p), qBlue(c.out));
                EXPECT_EQ(qAlpha(p), qAlpha(c.out));
            }
    }
}

TEST(Brighten, FullyTransparentPictureStaysFullyTransparent)
{
    const SharedImage source = Filled(QSize(17, 9), qRgba(0, 0, 0, 0));
    const SharedImage out = Brighten(source);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->size(), QSize(17, 9));
    for (int y = 0; y < out->height(); ++y)
        for (int x = 0; x < out->width(); ++x)
            ASSERT_EQ(qAlpha(out->pixel(x, y)), 0) << x << "," << y;
}

TEST(Brighten, MakesANewPictureAndLeavesTheSourceAlone)
{
    const SharedImage source = Filled(QSize(4, 4), qRgba(100, 150, 200, 255));
    const SharedImage out = Brighten(source);
    ASSERT_TRUE(out);
    EXPECT_NE(out.get(), source.get());
    EXPECT_EQ(source->pixel(1, 1), qRgba(100, 150, 200, 255));
    EXPECT_EQ(out->format(), source->format());
}

TEST(Brighten, KeepsThePixelFormat)
{
    // A premultiplied source is brightened on its straight values and handed back premultiplied.
    const SharedImage source =
        Filled(QSize(2, 2), qRgba(100, 150, 200, 128), QImage::Format_ARGB32_Premultiplied);
    const SharedImage out = Brighten(source);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->format(), QImage::Format_ARGB32_Premultiplied);
    const QRgb p = out->convertToFormat(QImage::Format_ARGB32).pixel(0, 0);
    EXPECT_NEAR(qRed(p), 118, 2);
    EXPECT_NEAR(qGreen(p), 170, 2);
    EXPECT_NEAR(qBlue(p), 223, 2);
    EXPECT_EQ(qAlpha(p), 128);
}

TEST(Brighten, EmptyGivesEmpty)
{
    EXPECT_FALSE(Brighten(SharedImage()));
    EXPECT_FALSE(Brighten(std::make_shared<const QImage>()));
}

TEST(Brighten, RealPictureGetsLighterAndKeepsItsShape)
{
    // The browse button has no hover picture of its own in this test's eyes: its brightened copy
    // must be at least as light everywhere and cover exactly the same pixels.
    const SharedImage source = LoadPngResource(146);
    ASSERT_TRUE(source);
    const SharedImage out = Brighten(source);
    ASSERT_TRUE(out);
    ASSERT_EQ(out->size(), source->size());
    long lighter = 0;
    for (int y = 0; y < source->height(); ++y)
        for (int x = 0; x < source->width(); ++x) {
            const QRgb a = source->pixel(x, y), b = out->pixel(x, y);
            ASSERT_EQ(qAlpha(a), qAlpha(b));
            if (qAlpha(a) == 0)
                continue;
            ASSERT_GE(qGray(b), qGray(a));
            lighter += qGray(b) > qGray(a) ? 1 : 0;
        }
    EXPECT_GT(lighter, source->width() * source->height() / 2);
}

} // namespace
} // namespace ui
