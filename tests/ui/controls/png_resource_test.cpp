// The embedded pictures: every one the window uses is there, round ones are round, and whatever
// cannot be had comes back empty.
#include "ui/controls/png_resource.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(LoadPngResource, EveryPictureOfTheWindowLoadsOnceInTheFramesFormat)
{
    // The pictures the main window loads (their sizes show in the window's composite test).
    for (const std::uint16_t id :
         {132, 133, 179, 134, 180, 141, 185, 143, 159, 160, 161, 146, 158,
          147, 148, 174, 178, 149, 152, 153, 154, 155, 150, 151, 156, 157}) {
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

TEST(LoadPngResource, RoundPicturesAreTransparentOutsideTheirCircleWithASoftEdge)
{
    // The skin gives the window its shape; the round buttons must not show square corners.
    for (std::uint16_t id : {132, 150, 151, 152, 153, 154, 155, 156, 157}) {
        SCOPED_TRACE(id);
        const SharedImage image = LoadPngResource(id);
        ASSERT_TRUE(image);
        const int w = image->width(), h = image->height();
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
            EXPECT_EQ(qAlpha(image->pixel(corner)), 0) << corner.x() << "," << corner.y();
        EXPECT_EQ(qAlpha(image->pixel(w / 2, h / 2)), 255);
    }
    // Rectangular plates have rounded corners too, but are solid in the middle.
    for (std::uint16_t id : {143, 146, 147, 148, 160, 174, 178}) {
        SCOPED_TRACE(id);
        const SharedImage image = LoadPngResource(id);
        ASSERT_TRUE(image);
        bool transparent = false;
        for (int y = 0; y < image->height(); ++y)
            for (int x = 0; x < image->width(); ++x)
                transparent |= qAlpha(image->pixel(x, y)) == 0;
        EXPECT_TRUE(transparent);
        EXPECT_EQ(qAlpha(image->pixel(image->width() / 2, image->height() / 2)), 255);
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
                {0, "no such resource"},
                {65535, "no such resource"},
                {60001, "the resource is not a PNG"},
                {60002, "the resource is empty"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_FALSE(LoadPngResource(row.id)) << row.id;
        EXPECT_FALSE(LoadPngResource(row.id)) << row.id << " asked again";
    }
}

} // namespace
} // namespace ui
