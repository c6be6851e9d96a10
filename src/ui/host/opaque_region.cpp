// The opaque region of a frame, built band by band straight from the pixels. QImage's
// createAlphaMask is not used: it dithers to one bit and drops pixels whose alpha is below 128,
// which would cut the soft edge of the skin out of the window.
#include "ui/host/opaque_region.h"

#include <QRect>

#include <cstdint>
#include <vector>

namespace ui {
namespace {

struct Run {
    int left;
    int right; // one past the last pixel
    bool operator==(const Run&) const = default;
};

void RunsOfRow(const QImage& image, int y, std::vector<Run>& runs)
{
    runs.clear();
    const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
    const int width = image.width();
    int x = 0;
    while (x < width) {
        while (x < width && (row[x] >> 24) == 0)
            ++x;
        if (x == width)
            break;
        const int left = x;
        while (x < width && (row[x] >> 24) != 0)
            ++x;
        runs.push_back({left, x});
    }
}

} // namespace

QRegion OpaqueRegion(const QImage& image)
{
    if (image.isNull())
        return {};
    if (!image.hasAlphaChannel())
        return QRegion(image.rect());

    // Both 32-bit ARGB layouts keep alpha in the top byte; anything else is converted once.
    QImage argb = image;
    if (argb.format() != QImage::Format_ARGB32 &&
        argb.format() != QImage::Format_ARGB32_Premultiplied)
        argb = image.convertToFormat(QImage::Format_ARGB32);

    // QRegion::setRects takes y-x sorted, disjoint bands directly, which is far cheaper than
    // uniting rectangles one at a time. Consecutive rows with identical runs form one band, so
    // adjacent bands always differ and the region is in its canonical form.
    std::vector<QRect> rects;
    std::vector<Run> band;
    std::vector<Run> runs;
    int bandTop = 0;
    auto closeBand = [&](int bottom) {
        for (const Run& r : band)
            rects.emplace_back(r.left, bandTop, r.right - r.left, bottom - bandTop);
    };
    for (int y = 0; y < argb.height(); ++y) {
        RunsOfRow(argb, y, runs);
        if (y > 0 && runs == band)
            continue;
        closeBand(y);
        band.swap(runs);
        bandTop = y;
    }
    closeBand(argb.height());

    QRegion region;
    if (!rects.empty())
        region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

} // namespace ui
