// ImageElement: an element that shows one picture at its natural size, aligned inside the
// rectangle it gets and never scaled.
#pragma once

#include "ui/controls/png_resource.h"
#include "ui/elements/layout_element.h"

namespace ui {

namespace prop {
inline constexpr PropertyName kImage = u"Image";
} // namespace prop

class ImageElement : public LayoutElement {
public:
    const SharedImage& Image() const { return m_image; }
    // Full change protocol with InvalidateLayout; equal means the same picture object.
    void SetImage(SharedImage image);

protected:
    // The picture's size, or Width and Height where they are set; available is not consulted.
    void MeasureOverride(Size available) override;
    // Alignment 1 is near, 2 centre (the difference halved toward minus infinity, so a picture
    // larger than content is centred over it), anything else far.
    void RenderOverride(DrawingSurface& surface, Rect content) override;

private:
    SharedImage m_image;
};

} // namespace ui
