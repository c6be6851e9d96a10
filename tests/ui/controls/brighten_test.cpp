// The brightening transform: its arithmetic on straight colour values, and what it keeps.
#include "ui/controls/brighten.h"

#include "test_pictures.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

// Worked by hand: each colour component c (0..255) becomes 1.05 c + 12.75, rounded, at most 255.
TEST(Brighten, PixelArithmetic)
{
    const struct {
        const char* name;
        QRgb in;
        QRgb out;
    } rows[] = {
        {"black gains the offset", qRgba(0, 0, 0, 255), qRgba(13, 13, 13, 255)},
        {"mid values", qRgba(100, 150, 200, 255), qRgba(118, 170, 223, 255)},
        {"bright values clamp", qRgba(243, 250, 230, 255), qRgba(255, 255, 254, 255)},
        {"alpha is kept", qRgba(40, 80, 120, 77), qRgba(55, 97, 139, 77)},
        // Straight values: a premultiplied computation would give a different colour here.
        {"faint pixel keeps its straight colour", qRgba(200, 0, 0, 10), qRgba(223, 13, 13, 10)},
        {"transparent stays transparent", qRgba(0, 0, 0, 0), qRgba(13, 13, 13, 0)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const SharedImage out = Brighten(testpics::Filled(3, 2, row.in));
        ASSERT_TRUE(out);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(out->pixel(x, y), row.out) << x << "," << y;
    }
}

TEST(Brighten, PremultipliedSourceIsLeftAloneAndTheCopyKeepsItsFormat)
{
    QImage premultiplied(2, 2, QImage::Format_ARGB32_Premultiplied);
    premultiplied.fill(QColor(100, 150, 200, 128));
    const QRgb before = premultiplied.pixel(1, 1);
    const auto source = std::make_shared<const QImage>(premultiplied);
    const SharedImage out = Brighten(source);
    ASSERT_TRUE(out);
    EXPECT_NE(out.get(), source.get());
    EXPECT_EQ(source->pixel(1, 1), before);
    EXPECT_EQ(out->format(), QImage::Format_ARGB32_Premultiplied);
    const QRgb p = out->convertToFormat(QImage::Format_ARGB32).pixel(0, 0);
    EXPECT_NEAR(qRed(p), 118, 2);
    EXPECT_NEAR(qGreen(p), 170, 2);
    EXPECT_NEAR(qBlue(p), 223, 2);
    EXPECT_EQ(qAlpha(p), 128);

    EXPECT_FALSE(Brighten(SharedImage()));
    EXPECT_FALSE(Brighten(std::make_shared<const QImage>()));
}

} // namespace
} // namespace ui
