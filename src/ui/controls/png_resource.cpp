// Loading and keeping the skin's pictures.
#include "ui/controls/png_resource.h"

#include <QResource>
#include <QSysInfo>

#include <png.h>

#include <map>
#include <mutex>

namespace ui {

namespace {

// Straight from libpng's simplified interface rather than through QImageReader, which looks for
// image plugins and so reads Qt's library paths: that made a decode beside the application's
// construction crash. This one needs nothing of Qt but the resource and the pixels.
SharedImage Decode(std::uint16_t id)
{
    const QResource resource(QStringLiteral(":/png/%1.png").arg(id));
    const QByteArray bytes = resource.uncompressedData();
    if (bytes.isEmpty())
        return {};
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    // Frees libpng's state on every path; freeing twice is harmless.
    const std::unique_ptr<png_image, void (*)(png_imagep)> owner(&png, png_image_free);
    if (!png_image_begin_read_from_memory(&png, bytes.constData(),
                                          static_cast<std::size_t>(bytes.size())))
        return {};
    // QImage's ARGB32 is one native 32-bit word a pixel: B, G, R, A in memory on this machine.
    png.format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
    QImage image(static_cast<int>(png.width), static_cast<int>(png.height), QImage::Format_ARGB32);
    if (image.isNull() ||
        !png_image_finish_read(&png, nullptr, image.bits(), image.bytesPerLine(), nullptr))
        return {};
    // One format for every picture: premultiplied, the format of the frames, so that drawing is
    // QPainter's fast path (a frame of the main window's tree costs about a sixth of what it
    // does with straight pictures). Brightening and greying still compute on straight values.
    return std::make_shared<const QImage>(
        image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

} // namespace

SharedImage LoadPngResource(std::uint16_t id)
{
    // The window's thread asks while it builds the tree, and start-up decodes ahead on another
    // thread (PreloadMainTreePictures): the lock keeps the cache sound.
    static std::mutex mutex;
    static std::map<std::uint16_t, SharedImage> cache;

    const std::lock_guard lock(mutex);
    const auto found = cache.find(id);
    if (found != cache.end())
        return found->second;
    SharedImage image = Decode(id);
    cache.emplace(id, image);
    return image;
}

} // namespace ui
