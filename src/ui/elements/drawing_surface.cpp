// Drawing surface on QPainter/QImage, with device-space clipping and colour matrices done by
// the program's own pixel loop.
#include "ui/elements/drawing_surface.h"

#include "platform/mapped_pages.h"

#include <algorithm>
#include <memory>

namespace ui {

namespace {

// Keeps one off-screen bitmap within reason: a tree with a wrapped size must not allocate
// gigabytes.
constexpr std::int64_t kMaxBitmapBytes = std::int64_t{256} << 20;
// From this size on a bitmap's pixels are mapped straight from the system (see MapPixels).
constexpr std::int64_t kMappedBitmapBytes = std::int64_t{1} << 20;

struct MappedPixels {
    void* data;
    std::size_t bytes;
};

void UnmapPixels(void* info)
{
    const std::unique_ptr<MappedPixels> pixels(static_cast<MappedPixels*>(info));
    platform::UnmapPages(pixels->data, pixels->bytes);
}

// Window-sized frames are made at every change and dropped soon after. Taken from the
// allocator, a freed frame stays resident in the render thread's arena (two or three frames at
// idle); mapped, its memory goes back to the system with the last QImage that shares it. The
// pages come zeroed, which is transparent.
QImage MapPixels(std::int32_t width, std::int32_t height)
{
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    void* data = platform::MapZeroedPages(bytes);
    if (!data)
        return {};
    // The image owns the mapping from here on: its cleanup function gives it back.
    auto info = std::make_unique<MappedPixels>(MappedPixels{data, bytes});
    QImage image(static_cast<uchar*>(data), width, height, width * 4, kFramePixelFormat,
                 UnmapPixels, info.get());
    if (image.isNull()) {
        UnmapPixels(info.release());
        return {};
    }
    info.release();
    return image;
}

struct Box {
    std::int64_t left, top, right, bottom; // right and bottom exclusive
    bool Empty() const { return left >= right || top >= bottom; }
    Box Intersect(const Box& o) const
    {
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                std::min(bottom, o.bottom)};
    }
};

Box ToBox(const Rect& r, std::int64_t dx = 0, std::int64_t dy = 0)
{
    const std::int64_t x = std::int64_t{r.x} + dx, y = std::int64_t{r.y} + dy;
    return {x, y, x + std::max<std::int64_t>(r.width, 0), y + std::max<std::int64_t>(r.height, 0)};
}

QRect ToQRect(const Box& b)
{
    // Only called on boxes already cut to a bitmap, so every value fits an int.
    return QRect(static_cast<int>(b.left), static_cast<int>(b.top),
                 static_cast<int>(b.right - b.left), static_cast<int>(b.bottom - b.top));
}

std::uint8_t ToByte(float v)
{
    // Clamped first, so adding a half and truncating rounds to nearest as lround would.
    v = std::clamp(v, 0.0f, 1.0f);
    return static_cast<std::uint8_t>(v * 255.0f + 0.5f);
}

} // namespace

QImage CreateFrameBitmap(std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0 || std::int64_t{width} * height * 4 > kMaxBitmapBytes)
        return {};
    if (std::int64_t{width} * height * 4 >= kMappedBitmapBytes)
        return MapPixels(width, height);
    QImage image(width, height, kFramePixelFormat);
    if (!image.isNull())
        image.fill(Qt::transparent);
    return image;
}

void ApplyColorMatrix(QImage& image, const ColorMatrix& m)
{
    if (image.isNull())
        return;
    const bool premultiplied = image.format() == QImage::Format_ARGB32_Premultiplied;
    if (!premultiplied && image.format() != QImage::Format_ARGB32)
        image.convertTo(QImage::Format_ARGB32);
    const int w = image.width(), h = image.height();
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            QRgb px = line[x];
            if (premultiplied)
                px = qUnpremultiply(px);
            const float in[5] = {qRed(px) / 255.0f, qGreen(px) / 255.0f, qBlue(px) / 255.0f,
                                 qAlpha(px) / 255.0f, 1.0f};
            float out[4];
            for (int c = 0; c < 4; ++c) {
                float sum = 0.0f;
                for (int r = 0; r < 5; ++r)
                    sum += in[r] * m[r][c];
                out[c] = sum;
            }
            px = qRgba(ToByte(out[0]), ToByte(out[1]), ToByte(out[2]), ToByte(out[3]));
            line[x] = premultiplied ? qPremultiply(px) : px;
        }
    }
}

DrawingSurface::DrawingSurface(QImage& bitmap, Content content)
    : m_bitmap(&bitmap), m_stale(content == Content::Stale)
{
    if (!bitmap.isNull())
        m_painter.begin(&bitmap);
}

DrawingSurface::~DrawingSurface()
{
    End();
}

void DrawingSurface::End()
{
    if (!m_painter.isActive())
        return;
    if (m_stale)
        ClearStaleOutside({});
    m_painter.end();
}

void DrawingSurface::ClearStaleOutside(const QRect& keep)
{
    m_stale = false;
    const QRect all = m_bitmap->rect();
    m_painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (keep.isEmpty()) {
        m_painter.fillRect(all, Qt::transparent);
    } else {
        // The bands above and below keep, then the parts left and right of it.
        const QRect parts[] = {
            QRect(QPoint(0, 0), QPoint(all.right(), keep.top() - 1)),
            QRect(QPoint(0, keep.bottom() + 1), all.bottomRight()),
            QRect(QPoint(0, keep.top()), QPoint(keep.left() - 1, keep.bottom())),
            QRect(QPoint(keep.right() + 1, keep.top()), QPoint(all.right(), keep.bottom())),
        };
        for (const QRect& part : parts)
            if (part.isValid())
                m_painter.fillRect(part, Qt::transparent);
    }
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

QImage DrawingSurface::CreateCompatibleBitmap(std::int32_t width, std::int32_t height)
{
    QImage image = CreateFrameBitmap(width, height);
    if (image.isNull())
        return image;
    if (!m_bitmap->isNull() && m_bitmap->format() != image.format()) {
        image.convertTo(m_bitmap->format());
        image.fill(Qt::transparent);
    }
    return image;
}

void DrawingSurface::PrependTranslation(std::int32_t dx, std::int32_t dy)
{
    // Only translations are ever applied, so the transform is an integer offset and drawing
    // stays on whole pixels.
    m_dx += dx;
    m_dy += dy;
}

void DrawingSurface::SetClip(const Rect& r)
{
    const Box bounds{0, 0, m_bitmap->width(), m_bitmap->height()};
    const Box clip = ToBox(r, m_dx, m_dy).Intersect(bounds);
    m_clip = clip.Empty() ? QRect() : ToQRect(clip);
}

void DrawingSurface::ResetClip()
{
    m_clip.reset();
}

Size DrawingSurface::ImageSize(const QImage& image)
{
    return {image.width(), image.height()};
}

void DrawingSurface::DrawImage(QImage image, const Rect& destination, const Rect& source,
                               const ColorMatrix* matrix)
{
    if (!m_painter.isActive() || image.isNull() || destination.width <= 0 ||
        destination.height <= 0 || source.width <= 0 || source.height <= 0)
        return;
    Box visible =
        ToBox(destination, m_dx, m_dy).Intersect({0, 0, m_bitmap->width(), m_bitmap->height()});
    if (m_clip)
        visible =
            visible.Intersect(m_clip->isEmpty() ? Box{0, 0, 0, 0}
                                                : Box{m_clip->left(), m_clip->top(),
                                                      m_clip->right() + 1, m_clip->bottom() + 1});
    if (visible.Empty())
        return;

    const bool scaled = destination.width != source.width || destination.height != source.height;
    if (!scaled) {
        // A plain copy: cut the source to the visible part so that nothing outside the bitmap
        // reaches QPainter.
        const std::int64_t sx = std::int64_t{source.x} + (visible.left - (destination.x + m_dx));
        const std::int64_t sy = std::int64_t{source.y} + (visible.top - (destination.y + m_dy));
        Box src{sx, sy, sx + (visible.right - visible.left), sy + (visible.bottom - visible.top)};
        const Box imageBox{0, 0, image.width(), image.height()};
        const Box cut = src.Intersect(imageBox);
        if (cut.Empty())
            return;
        visible.left += cut.left - src.left;
        visible.top += cut.top - src.top;
        // Onto a stale bitmap the first image is copied: over transparent pixels that is what
        // drawing over them gives.
        const bool copy = m_stale;
        if (copy) {
            ClearStaleOutside(QRect(int(visible.left), int(visible.top),
                                    int(cut.right - cut.left), int(cut.bottom - cut.top)));
            m_painter.setCompositionMode(QPainter::CompositionMode_Source);
        }
        if (matrix) {
            // A bitmap handed over whole is coloured in place; only a part is copied.
            if (cut.left != 0 || cut.top != 0 || cut.right != image.width() ||
                cut.bottom != image.height())
                image = image.copy(ToQRect(cut));
            ApplyColorMatrix(image, *matrix);
            m_painter.drawImage(QPoint(int(visible.left), int(visible.top)), image);
        } else {
            m_painter.drawImage(QPoint(int(visible.left), int(visible.top)), image, ToQRect(cut));
        }
        if (copy)
            m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        return;
    }

    // Scaled drawing (no caller of the tree needs it): QPainter clips to the visible box.
    if (m_stale)
        ClearStaleOutside({});
    if (matrix) {
        ApplyColorMatrix(image, *matrix);
    }
    m_painter.save();
    m_painter.setClipRect(ToQRect(visible));
    m_painter.drawImage(QRectF(double(destination.x) + m_dx, double(destination.y) + m_dy,
                               destination.width, destination.height),
                        image, QRectF(source.x, source.y, source.width, source.height));
    m_painter.restore();
}

} // namespace ui
