// Pictures of the skin, loaded by number from the program's embedded PNG resources.
#pragma once

#include <QImage>

#include <cstdint>
#include <memory>

namespace ui {

// A decoded picture, premultiplied ARGB32. It is never changed after it is made, so one picture
// can be shared by several elements and by the render thread; an empty pointer means no picture.
using SharedImage = std::shared_ptr<const QImage>;

// The picture stored as the resource :/png/<id>.png, decoded on the first request and kept for
// the rest of the process. A missing, empty or undecodable resource gives an empty pointer (and
// is not looked up again). Any thread, also before the application exists.
SharedImage LoadPngResource(std::uint16_t id);

} // namespace ui
