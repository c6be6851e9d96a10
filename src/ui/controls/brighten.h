// The brightening transform that makes a highlighted look from a picture that has none.
#pragma once

#include "ui/controls/png_resource.h"
#include "ui/elements/drawing_surface.h"

namespace ui {

// Each of red, green and blue becomes 1.05 times itself plus 0.05; alpha is kept.
inline constexpr ColorMatrix kBrightenMatrix = {{
    {1.05f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.0f, 1.05f, 0.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 1.05f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
    {0.05f, 0.05f, 0.05f, 0.0f, 1.0f},
}};

// A new picture of the source's size and pixel format: the source's straight colour values
// through kBrightenMatrix. Fully transparent pixels stay fully transparent. An empty source
// gives an empty result.
SharedImage Brighten(const SharedImage& source);

} // namespace ui
