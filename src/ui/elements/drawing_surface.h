// The drawing surface of the render pass, on QPainter and QImage: compatible off-screen
// bitmaps, a translation prepended to the transform, a replaceable rectangular clip, and
// drawing an image from a source rectangle into a destination rectangle in pixels, optionally
// through a 5 x 5 colour matrix that the program applies itself to straight colour values.
#pragma once

#include "ui/elements/geometry.h"

#include <QImage>
#include <QPainter>

#include <array>
#include <cstdint>
#include <optional>

namespace ui {

// Rows in the order red, green, blue, alpha, offset; a colour is the row vector
// (r, g, b, a, 1) with components from 0 to 1, multiplied by the matrix.
using ColorMatrix = std::array<std::array<float, 5>, 5>;

// Each of red, green and blue becomes 0.30 r + 0.59 g + 0.11 b; alpha passes unchanged.
inline constexpr ColorMatrix kGreyMatrix = {{
    {0.30f, 0.30f, 0.30f, 0.0f, 0.0f},
    {0.59f, 0.59f, 0.59f, 0.0f, 0.0f},
    {0.11f, 0.11f, 0.11f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 0.0f, 1.0f},
}};

// The format of every frame and off-screen bitmap. Premultiplied ARGB is the format QPainter
// composites fastest (the element benchmark measures it against straight ARGB); colour
// matrices still work on straight values, see ApplyColorMatrix.
inline constexpr QImage::Format kFramePixelFormat = QImage::Format_ARGB32_Premultiplied;

// A new fully transparent bitmap in kFramePixelFormat; a null image when a side is not
// positive or the bitmap would be unreasonably large (the memory of one bitmap is bounded).
QImage CreateFrameBitmap(std::int32_t width, std::int32_t height);

// Applies m to every pixel of the part r of image, in place. Pixels are taken as straight
// colour (premultiplied formats are un-premultiplied first and premultiplied again after),
// components are clamped to 0..1 and rounded to the nearest 8-bit value. Images that are
// neither ARGB32 nor ARGB32_Premultiplied are converted to ARGB32 first.
void ApplyColorMatrix(QImage& image, const ColorMatrix& m);

class DrawingSurface {
public:
    // What the bitmap holds when the surface is made. A stale bitmap (a reused frame) is not
    // cleared first: the first image drawn is copied in, and everything else is cleared then,
    // so the pass costs one write of the bitmap, not a clear and a blend.
    enum class Content { Transparent, Stale };

    // A surface on the bitmap, which must outlive the surface. A null bitmap gives a surface
    // that draws nothing.
    explicit DrawingSurface(QImage& bitmap, Content content = Content::Transparent);
    DrawingSurface(const DrawingSurface&) = delete;
    DrawingSurface& operator=(const DrawingSurface&) = delete;
    ~DrawingSurface();

    // A fully transparent bitmap of the same format as this surface's bitmap.
    QImage CreateCompatibleBitmap(std::int32_t width, std::int32_t height);
    // Points drawn afterwards are moved by (dx, dy) before the existing transform.
    void PrependTranslation(std::int32_t dx, std::int32_t dy);
    // Replaces any clip in force by r (in the surface's coordinates); a rectangle with a side
    // that is not positive clips everything away.
    void SetClip(const Rect& r);
    // Back to no clip.
    void ResetClip();
    static Size ImageSize(const QImage& image);
    // Draws the part source of image into destination, in pixels, source-over, under the
    // current clip; optionally through a colour matrix. image is taken by value so that a
    // bitmap handed over with std::move is coloured in place without a copy.
    void DrawImage(QImage image, const Rect& destination, const Rect& source,
                   const ColorMatrix* matrix = nullptr);
    // Ends painting so the bitmap can be read; later drawing is ignored.
    void End();

private:
    // Clears everything of a stale bitmap but keep (in device pixels); from then on the bitmap
    // is only drawn over.
    void ClearStaleOutside(const QRect& keep);

    QImage* m_bitmap;
    bool m_stale;
    QPainter m_painter;
    std::int64_t m_dx = 0;
    std::int64_t m_dy = 0;
    // The clip in device pixels, already cut to the bitmap.
    std::optional<QRect> m_clip;
};

} // namespace ui
