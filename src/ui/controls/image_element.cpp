// The image element's measure and placement.
#include "ui/controls/image_element.h"

#include "ui/elements/drawing_surface.h"

namespace ui {

namespace {

Size PictureSize(const SharedImage& image)
{
    return image ? DrawingSurface::ImageSize(*image) : Size{};
}

std::int32_t Place(std::int32_t start, std::int32_t extent, std::int32_t size,
                   std::int32_t alignment)
{
    if (alignment == 1)
        return start;
    const std::int32_t spare = WrapSub(extent, size);
    if (alignment == 2)
        return WrapAdd(start, spare >> 1); // arithmetic shift: rounds toward minus infinity
    return WrapAdd(start, spare);
}

} // namespace

void ImageElement::SetImage(SharedImage image)
{
    ChangeProperty(m_image, image, prop::kImage, Invalidation::Layout);
}

void ImageElement::MeasureOverride(Size)
{
    const Size picture = PictureSize(m_image);
    SetDesiredSize({Width() != Unset ? Width() : picture.width,
                    Height() != Unset ? Height() : picture.height});
}

void ImageElement::RenderOverride(DrawingSurface& surface, Rect content)
{
    const Size picture = PictureSize(m_image);
    if (picture.width <= 0 || picture.height <= 0)
        return;
    const Rect destination{Place(content.x, content.width, picture.width, HorizontalAlignment()),
                           Place(content.y, content.height, picture.height, VerticalAlignment()),
                           picture.width, picture.height};
    surface.DrawImage(*m_image, destination, {0, 0, picture.width, picture.height});
}

} // namespace ui
