// The input mask of a frame: exactly the pixels whose alpha is above 0.
#include "ui/host/opaque_region.h"

#include "../test_tree.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using ui::OpaqueRegion;

QImage Clear(int w, int h, const std::function<void(QImage&)>& paint)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    paint(image);
    return image;
}

TEST(OpaqueRegion, HoldsExactlyThePixelsWithAlphaAboveZeroInFewBands)
{
    const QImage faint = Clear(8, 4, [](QImage& i) {
        i.setPixel(1, 1, qRgba(255, 255, 255, 1));
        i.setPixel(6, 2, qRgba(0, 0, 0, 127));
        i.setPixel(3, 3, qRgba(0, 0, 0, 255));
    });
    const QImage split = Clear(6, 4, [](QImage& i) {
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x)
                if (y >= 2 || x < 2 || x >= 4)
                    i.setPixel(x, y, qRgba(1, 2, 3, 200));
    });
    const struct {
        const char* name;
        QImage image;
        int maxRects; // rows with equal runs share a band
    } rows[] = {
        {"a soft disc like the skin, in the frames' format",
         uitest::Disc(97, 64, QColor(40, 90, 160)), 64},
        {"faint pixels that an alpha mask would drop", faint, 3},
        {"two runs per row over one full run: three rectangles", split, 3},
        {"an opaque last column and row are not lost at the edges",
         Clear(5, 5, [](QImage& i) { i.setPixel(4, 4, qRgba(9, 9, 9, 9)); }), 1},
        {"all transparent", Clear(10, 10, [](QImage&) {}), 0},
        {"no image", QImage(), 0},
        {"a format without alpha is opaque",
         uitest::Solid(10, 7, Qt::black).convertToFormat(QImage::Format_RGB32), 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QRegion region = OpaqueRegion(row.image);
        const QImage argb = row.image.convertToFormat(QImage::Format_ARGB32);
        QRegion expected;
        for (int y = 0; y < argb.height(); ++y)
            for (int x = 0; x < argb.width(); ++x)
                if (qAlpha(argb.pixel(x, y)) > 0)
                    expected += QRect(x, y, 1, 1);
        EXPECT_TRUE((region ^ expected).isEmpty()); // the same pixels, however banded
        EXPECT_LE(region.rectCount(), row.maxRects);
    }
}

} // namespace
