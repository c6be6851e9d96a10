// Loading and keeping the skin's pictures.
#include "ui/controls/png_resource.h"

#include <QFile>

#include <map>
#include <mutex>

namespace ui {

namespace {

SharedImage Decode(std::uint16_t id)
{
    QFile file(QStringLiteral(":/png/%1.png").arg(id));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return {};
    QImage image;
    if (!image.loadFromData(bytes, "PNG") || image.isNull())
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
    // The window's thread loads the pictures while it builds the tree; the lock keeps the cache
    // sound should anything else ask at the same time.
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
